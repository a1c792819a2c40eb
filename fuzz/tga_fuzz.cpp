// Fuzz target: TgaFile from arbitrary bytes; what it writes must load again.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "image/tga_file.h"

using namespace carconv;
using namespace carconv::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    RunOne([&] {
        std::string input = WriteInput("car00.tga", data, size);
        TgaFile texture(input);
        texture.Load();
        std::string same = ScratchPath("same.tga");
        texture.SaveAs(same);
        MustLoad<TgaFile>(same);
    });
    return 0;
}
