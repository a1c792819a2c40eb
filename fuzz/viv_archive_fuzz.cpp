// Fuzz target: VivArchive from arbitrary bytes; what it writes must load again.

#include <cstddef>
#include <cstdint>
#include <string>

#include "files/viv_archive.h"
#include "fuzz_support.h"

using namespace carconv;
using namespace carconv::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    RunOne([&] {
        std::string input = WriteInput("car.viv", data, size);
        VivArchive archive(input);
        archive.Load();
        std::string copy = ScratchPath("copy.viv");
        archive.SaveAs(copy);
        MustLoad<VivArchive>(copy);
    });
    return 0;
}
