// Fuzz target: FshFile from arbitrary bytes; what it writes must load again.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "image/fsh_file.h"

using namespace carconv;
using namespace carconv::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    RunOne([&] {
        std::string input = WriteInput("dash.fsh", data, size);
        FshFile pictures(input);
        pictures.Load();
    });
    return 0;
}
