// Fuzz target: Carp3File from arbitrary bytes; what it writes must load again.

#include <cstddef>
#include <cstdint>
#include <string>

#include "carp/carp3_file.h"
#include "carp/carp4_file.h"
#include "fuzz_support.h"

using namespace carconv;
using namespace carconv::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    RunOne([&] {
        std::string input = WriteInput("carp.txt", data, size);
        Carp3File carp(input);
        carp.Load();
        std::string same = ScratchPath("same.txt");
        carp.SaveAs(same);
        MustLoad<Carp3File>(same);
        std::string converted = ScratchPath("converted.txt");
        carp.ConvertToCarp4(converted);
        MustLoad<Carp4File>(converted);
    });
    return 0;
}
