// Fuzz target: Fce3File from arbitrary bytes, in memory; its conversion must parse again.

#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "mesh/fce3_file.h"
#include "mesh/fce4_file.h"

using namespace carconv;
using namespace carconv::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    RunOne([&] {
        Fce3File mesh("car.fce");
        mesh.Parse(Input(data, size));
        RoundTrip(*mesh.ToFce4("converted.fce"));
    });
    return 0;
}
