// Fuzz target: Fce3File from arbitrary bytes; what it writes must load again.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "mesh/fce3_file.h"
#include "mesh/fce4_file.h"

using namespace carconv;
using namespace carconv::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    RunOne([&] {
        std::string input = WriteInput("car.fce", data, size);
        Fce3File mesh(input);
        mesh.Load();
        std::string converted = ScratchPath("converted.fce");
        mesh.ConvertToFce4(converted);
        MustLoad<Fce4File>(converted);
    });
    return 0;
}
