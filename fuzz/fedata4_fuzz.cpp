// Fuzz target: Fedata4File from arbitrary bytes, in memory; what it writes must parse again.

#include <cstddef>
#include <cstdint>

#include "fedata/fedata4_file.h"
#include "fuzz_support.h"

using namespace carconv;
using namespace carconv::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    RunOne([&] {
        Fedata4File frontEnd("fedata.eng");
        frontEnd.Parse(Input(data, size));
        RoundTrip(frontEnd);
    });
    return 0;
}
