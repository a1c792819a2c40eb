// Fuzz target: TgaFile from arbitrary bytes, in memory; what it writes must parse again.

#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "image/tga_file.h"

using namespace carconv;
using namespace carconv::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    RunOne([&] {
        TgaFile texture("car00.tga");
        texture.Parse(Input(data, size));
        RoundTrip(texture);
    });
    return 0;
}
