// Fuzz target: FshImage from arbitrary bytes, in memory.

#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "image/fsh_image.h"

using namespace carconv;
using namespace carconv::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    RunOne([&] {
        FshImage image("dash");
        image.Parse(Input(data, size));
    });
    return 0;
}
