// Fuzz target: Fedata3File from arbitrary bytes, in memory; its conversion must parse again.

#include <cstddef>
#include <cstdint>

#include "fedata/fedata3_file.h"
#include "fedata/fedata4_file.h"
#include "fuzz_support.h"

using namespace carconv;
using namespace carconv::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    RunOne([&] {
        Fedata3File frontEnd("fedata.eng");
        frontEnd.Parse(Input(data, size));
        RoundTrip(*frontEnd.ToFedata4("converted.eng"));
    });
    return 0;
}
