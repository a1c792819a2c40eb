#pragma once

// The names of the car performance parameters, shared by both layouts of the performance text.
//
// Parameter numbers mean the same parameter in both layouts: the version-3 text holds numbers 0 to
// 79, the version-4 text adds number 80. Labels are written in front of each section marker; the
// loader never looks at them, so they only need to be exact for what the game and people read.

#include <array>
#include <cstddef>
#include <string_view>

namespace carconv {

inline constexpr std::size_t kCarp3ParameterCount = 80;
inline constexpr std::size_t kCarp4ParameterCount = 81;

// The one parameter that only the version-4 layout has.
inline constexpr std::size_t kUndersteerGradient = 80;
static_assert(kCarp4ParameterCount == kCarp3ParameterCount + 1);
static_assert(kUndersteerGradient == kCarp3ParameterCount);

// Entry N is the label of parameter N.
extern const std::array<std::string_view, kCarp4ParameterCount> ParameterLabels;

}  // namespace carconv
