#pragma once

// The performance text "carp.txt", as both layouts share it.
//
// Plain 8-bit text without header, signature or byte-order mark: a sequence of sections, one per
// parameter, and nothing else. Each section is two lines:
//   marker line  ParameterLabels[N], directly followed by the marker "(" N ")" (N in decimal, no
//                sign, no leading zeros), then CR LF;
//   value line   the value's bytes, then CR LF; an empty value gives an empty line.
// The text ends with the CR LF of the last value line, so a written section takes
//   label + marker + value + kSectionFramingSize bytes.
// Which sections a text holds, and in which order they are written, belongs to the layout
// (Carp3File, Carp4File).
//
// Values are opaque: they are copied as bytes, never parsed, trimmed or re-encoded. A value holds
// no CR; it may hold anything else, a lone LF included.
//
// Reading is more tolerant than writing. For each parameter N the first occurrence of its marker
// anywhere in the text is taken, so the order of the sections, the text in front of a marker and
// lines without a marker do not matter, and a marker that also occurs inside an earlier value is
// taken there. A marker includes its closing parenthesis: "(1)" never matches "(10)". The value
// starts one line end after the marker and runs up to the next line end or to the end of the
// text. Line ends are read line by line, so a text whose lines end in different ways reads as a
// person reading it would:
//   - the line end that follows a marker is skipped, two bytes for CR LF, one for CR or LF alone;
//     after a marker that no line end follows (one inside a value, say), two bytes are skipped,
//     whatever they are, when the text holds any CR LF pair, else one;
//   - a value ends at the next CR or LF when any marker taken is followed by LF alone (the text
//     uses LF to end lines); otherwise at the next CR, or at the next LF in a text without any
//     CR. In a text whose marker lines all end in CR LF a value may thus hold a lone LF.
// A text edited on another system loads the same values as its CR LF twin, one with a few lines
// ended otherwise than the rest loads as if they were not, and a text written with CR LF loads as
// it always has. A marker that does not occur gives an empty value and is
// reported as missing; nothing is ever read outside the text, wherever the markers stand.

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "files/byte_reader.h"

namespace carconv {

inline constexpr std::string_view kCarpLineEnd = "\r\n";
inline constexpr std::size_t kCarpLineEndSize = 2;
// A section's bytes besides its label, marker and value: the two line ends.
inline constexpr std::size_t kSectionFramingSize = 4;
static_assert(kCarpLineEndSize == kCarpLineEnd.size());
static_assert(kSectionFramingSize == 2 * kCarpLineEndSize);

// Real performance texts hold a few kilobytes. Because values may overlap (a value runs to the
// next line end, wherever its marker stands), the values of a text can take up to one copy of the
// text per parameter; this bound keeps that within a few dozen megabytes.
inline constexpr std::size_t kMaxCarpTextSize = std::size_t{1} << 20;

// True when `order` names every parameter number below N exactly once.
template <std::size_t N>
constexpr bool IsSectionOrder(const std::array<std::size_t, N>& order) {
    std::array<bool, N> seen{};
    for (std::size_t number : order) {
        if (number >= N || seen[number])
            return false;
        seen[number] = true;
    }
    return true;
}

// "(" + decimal `number` + ")".
std::string ParameterMarker(std::size_t number);

// Reads the values of parameters 0 to values.size() - 1 from `text` into `values`, and sets
// missing[N] when the marker of N does not occur (values[N] is then empty). `values` and
// `missing` have the same size. Throws FormatError naming `fileName` when the text is larger
// than kMaxCarpTextSize.
void ParseCarpText(ByteSpan text, const std::string& fileName, std::span<std::string> values,
                   std::span<bool> missing);

// The numbers below `count` of the parameters whose markers occur in `value`, ascending.
std::vector<std::size_t> MarkersIn(std::string_view value, std::size_t count);

// The text holding one section per entry of `order`, in that order. Throws FormatError naming
// `target` when a value holds a CR: such a text would not load back the same values.
Bytes BuildCarpText(std::span<const std::size_t> order, std::span<const std::string> values,
                    const std::string& target);

}  // namespace carconv
