#pragma once

// A large version-3 car for measuring the converter: the "full" sample car with its mesh replaced
// by a finely tessellated one, so that the package is mostly mesh data.

#include <cstddef>
#include <cstdint>

#include "sample_cars.h"

namespace carconv::samples {

// The mesh has the twelve standard parts, each a closed tube of grid vertices, made fine enough
// that the whole package is at least `minimumBytes` long. The same seed and size give the same
// bytes.
SampleCar LargeSampleCar(std::uint64_t seed, std::size_t minimumBytes);

}  // namespace carconv::samples
