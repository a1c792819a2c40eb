#pragma once

namespace carconv {

// Sets the C library's allocator for what a conversion allocates: buffers of up to a few MiB
// (a skin, a mesh array, a copy buffer), made and freed again for every member and package.
// With the allocator's defaults, most of them are mapped fresh from the system and handed back
// when freed, so every package of a batch faults its pages in again, and more so in a worker
// thread's arena. Kept for reuse, they cost their faults once per process. Call it once, at the
// start, before any thread is started. Does nothing where the allocator has no such settings.
void TuneMemoryAllocator();

}  // namespace carconv
