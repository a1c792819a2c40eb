// Fuzz target: Carp3File from arbitrary bytes, in memory; what it writes, and its
// conversion, must parse again.

#include <cstddef>
#include <cstdint>

#include "carp/carp3_file.h"
#include "carp/carp4_file.h"
#include "fuzz_support.h"

using namespace carconv;
using namespace carconv::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    RunOne([&] {
        Carp3File carp("carp.txt");
        carp.Parse(Input(data, size));
        RoundTrip(carp);
        RoundTrip(*carp.ToCarp4("converted.txt"));
    });
    return 0;
}
