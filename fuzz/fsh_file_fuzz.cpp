// Fuzz target: FshFile (directory and images) from arbitrary bytes, in memory.

#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "image/fsh_file.h"

using namespace carconv;
using namespace carconv::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    RunOne([&] {
        FshFile pictures("dash.fsh");
        pictures.Parse(Input(data, size));
    });
    return 0;
}
