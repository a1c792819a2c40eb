// Fuzz target: Carp4File from arbitrary bytes; what it writes must load again.

#include <cstddef>
#include <cstdint>
#include <string>

#include "carp/carp4_file.h"
#include "fuzz_support.h"

using namespace carconv;
using namespace carconv::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    RunOne([&] {
        std::string input = WriteInput("carp.txt", data, size);
        Carp4File carp(input);
        carp.Load();
        std::string same = ScratchPath("same.txt");
        carp.SaveAs(same);
        MustLoad<Carp4File>(same);
    });
    return 0;
}
