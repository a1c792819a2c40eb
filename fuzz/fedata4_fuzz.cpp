// Fuzz target: Fedata4File from arbitrary bytes; what it writes must load again.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fedata/fedata4_file.h"
#include "fuzz_support.h"

using namespace carconv;
using namespace carconv::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    RunOne([&] {
        std::string input = WriteInput("fedata.eng", data, size);
        Fedata4File data(input);
        data.Load();
        std::string same = ScratchPath("same.eng");
        data.SaveAs(same);
        MustLoad<Fedata4File>(same);
    });
    return 0;
}
