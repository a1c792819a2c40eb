// Fuzz target: Carp4File from arbitrary bytes, in memory; what it writes must parse again.

#include <cstddef>
#include <cstdint>

#include "carp/carp4_file.h"
#include "fuzz_support.h"

using namespace carconv;
using namespace carconv::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    RunOne([&] {
        Carp4File carp("carp.txt");
        carp.Parse(Input(data, size));
        RoundTrip(carp);
    });
    return 0;
}
