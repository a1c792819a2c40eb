// Fuzz target: VivArchive from arbitrary bytes, in memory: the directory, the member typing, the
// unpack budget and every member's parser, nested archives included. What the members write is
// left to the targets of their formats, which take these members as seeds; the archive's own
// writer packs member files from disk and is exercised by the conversion target.

#include <cstddef>
#include <cstdint>

#include "files/viv_archive.h"
#include "fuzz_support.h"

using namespace carconv;
using namespace carconv::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    RunOne([&] {
        VivArchive archive("car.viv");
        archive.Parse(Input(data, size));
    });
    return 0;
}
