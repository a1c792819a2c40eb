#pragma once

#include <span>

#include "app/stage.h"

namespace carconv {

// The stages of the conversion run, in the order they run. Their order is the order of the
// members in the output package.
std::span<const Stage> ConversionStages();

}  // namespace carconv
