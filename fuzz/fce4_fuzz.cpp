// Fuzz target: Fce4File from arbitrary bytes; what it writes must load again.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "mesh/fce4_file.h"

using namespace carconv;
using namespace carconv::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    RunOne([&] {
        std::string input = WriteInput("car.fce", data, size);
        Fce4File mesh(input);
        mesh.Load();
        std::string same = ScratchPath("same.fce");
        mesh.SaveAs(same);
        MustLoad<Fce4File>(same);
    });
    return 0;
}
