// Fuzz target: Fedata3File from arbitrary bytes; what it writes must load again.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fedata/fedata3_file.h"
#include "fedata/fedata4_file.h"
#include "fuzz_support.h"

using namespace carconv;
using namespace carconv::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    RunOne([&] {
        std::string input = WriteInput("fedata.eng", data, size);
        Fedata3File data(input);
        data.Load();
        std::string converted = ScratchPath("converted.eng");
        data.ConvertToFedata4(converted);
        MustLoad<Fedata4File>(converted);
    });
    return 0;
}
