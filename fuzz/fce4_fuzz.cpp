// Fuzz target: Fce4File from arbitrary bytes, in memory; what it writes must parse again.

#include <cstddef>
#include <cstdint>

#include "fuzz_support.h"
#include "mesh/fce4_file.h"

using namespace carconv;
using namespace carconv::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    RunOne([&] {
        Fce4File mesh("car.fce");
        mesh.Parse(Input(data, size));
        RoundTrip(mesh);
    });
    return 0;
}
