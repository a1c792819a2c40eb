#include "platform/memory_tuning.h"

#include <cstddef>  // tells which C library this is

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace carconv {

namespace {

// Blocks below this are taken from the heap and kept there when freed; larger ones (a texture
// of a large car) are still mapped for themselves and unmapped when freed.
constexpr int kMapThreshold = 4 << 20;
// Free memory at the top of a heap is handed back once it exceeds this.
constexpr int kTrimThreshold = 16 << 20;

}  // namespace

void TuneMemoryAllocator() {
#if defined(__GLIBC__)
    // Either setting also turns off the allocator's own adjusting of both, so both are set.
    mallopt(M_MMAP_THRESHOLD, kMapThreshold);
    mallopt(M_TRIM_THRESHOLD, kTrimThreshold);
#endif
}

}  // namespace carconv
