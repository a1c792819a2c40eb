#include "carp/carp_text.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "carp/parameter_labels.h"
#include "files/errors.h"

namespace carconv {

namespace {

struct LineEnds {
    std::size_t skipAfterMarker;  // bytes between a marker and its value
    std::string_view valueEnds;   // any of these bytes ends a value
};

// The style of the whole text.
LineEnds DetectLineEnds(std::string_view text) {
    if (text.find(kCarpLineEnd) != std::string_view::npos)
        return {kCarpLineEndSize, "\r"};
    if (text.find('\r') != std::string_view::npos)
        return {1, "\r"};
    return {1, "\n"};
}

// The size of the line end that starts at `at`: 2 for CR LF, 1 for CR or LF alone, 0 for none.
std::size_t LineEndAt(std::string_view text, std::size_t at) {
    if (at >= text.size())
        return 0;
    if (text[at] == '\r')
        return at + 1 < text.size() && text[at + 1] == '\n' ? kCarpLineEndSize : 1;
    return text[at] == '\n' ? 1 : 0;
}

std::string_view AsText(ByteSpan bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// Calls found(number, at, size) for every marker of a number below `count` in `text`, in text
// order: `at` is the position of its "(" and `size` its length. One pass over the text finds
// every occurrence of every marker, so a text costs the same whatever its number of markers.
template <class Found>
void ScanMarkers(std::string_view text, std::size_t count, Found found) {
    for (std::size_t open = text.find('('); open != std::string_view::npos;
         open = text.find('(', open + 1)) {
        std::size_t at = open + 1;
        std::size_t number = 0;
        // Digits beyond a number of `count` or more cannot make a marker below it.
        while (at < text.size() && text[at] >= '0' && text[at] <= '9' && number < count) {
            number = number * 10 + static_cast<std::size_t>(text[at] - '0');
            ++at;
        }
        const std::size_t digits = at - open - 1;
        // Markers have no sign and no leading zeros.
        const bool canonical = digits == 1 || (digits > 1 && text[open + 1] != '0');
        if (digits > 0 && canonical && at < text.size() && text[at] == ')' && number < count)
            found(number, open, at + 1 - open);
    }
}

// The marker of a parameter that a layout writes, made once.
const std::string& WrittenMarker(std::size_t number) {
    static const std::array<std::string, kCarp4ParameterCount> markers = [] {
        std::array<std::string, kCarp4ParameterCount> made;
        for (std::size_t n = 0; n < made.size(); ++n)
            made[n] = ParameterMarker(n);
        return made;
    }();
    return markers.at(number);
}

}  // namespace

std::string ParameterMarker(std::size_t number) {
    // Appended piece by piece: g++ 12 warns falsely (-Wrestrict) of "(" + std::string&&.
    std::string marker = "(";
    marker += std::to_string(number);
    marker += ')';
    return marker;
}

void ParseCarpText(ByteSpan text, const std::string& fileName, std::span<std::string> values,
                   std::span<bool> missing) {
    if (text.size() > kMaxCarpTextSize) {
        throw FormatError(fileName, "performance text of " + std::to_string(text.size()) +
                                        " bytes is larger than the limit of " +
                                        std::to_string(kMaxCarpTextSize) + " bytes");
    }
    const std::string_view whole = AsText(text);
    // Where the first occurrence of each marker ends, npos for a marker that does not occur.
    std::vector<std::size_t> markerEnds(values.size(), std::string_view::npos);
    bool lineFeedEndsLines = false;
    ScanMarkers(whole, values.size(), [&](std::size_t number, std::size_t at, std::size_t size) {
        if (markerEnds[number] != std::string_view::npos)
            return;  // only the first occurrence counts
        markerEnds[number] = at + size;
        lineFeedEndsLines =
            lineFeedEndsLines || (at + size < whole.size() && whole[at + size] == '\n');
    });
    LineEnds lineEnds = DetectLineEnds(whole);
    // A text that ends a marker line with LF alone uses LF to end lines, wherever CRs stand too;
    // in any other text a lone LF belongs to the value it stands in.
    if (lineFeedEndsLines)
        lineEnds.valueEnds = "\r\n";
    ByteReader reader(text, fileName);
    for (std::size_t number = 0; number < values.size(); ++number) {
        const std::size_t markerEnd = markerEnds[number];
        if (markerEnd == std::string_view::npos) {
            values[number].clear();
            missing[number] = true;
            continue;
        }
        // A marker found in the text ends inside it; the skip may run past a marker that stands
        // at the very end, so it is clamped (the value is then empty).
        const std::size_t lineEnd = LineEndAt(whole, markerEnd);
        const std::size_t skip = lineEnd > 0 ? lineEnd : lineEnds.skipAfterMarker;
        const std::size_t start = markerEnd + std::min(skip, whole.size() - markerEnd);
        // The first of the line-end bytes at or after `start`, each found by a fast search.
        std::size_t end = whole.size();
        for (char lineEnd : lineEnds.valueEnds)
            end = std::min(end, whole.find(lineEnd, start));
        reader.Seek(start);
        const std::string_view value = AsText(reader.Take(end - start));
        values[number].assign(value);
        missing[number] = false;
    }
}

std::vector<std::size_t> MarkersIn(std::string_view value, std::size_t count) {
    std::vector<std::size_t> numbers;
    ScanMarkers(value, count,
                [&](std::size_t number, std::size_t, std::size_t) { numbers.push_back(number); });
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    return numbers;
}

Bytes BuildCarpText(std::span<const std::size_t> order, std::span<const std::string> values,
                    const std::string& target) {
    // Checked and measured first, then copied piece by piece into bytes of the final size: a
    // text is a few hundred small pieces, and growing a string for each costs more than the copy.
    std::size_t size = 0;
    for (std::size_t number : order) {
        const std::string& value = values[number];
        if (value.find('\r') != std::string::npos) {
            throw FormatError(target, "the value of parameter " + std::to_string(number) +
                                          " holds a carriage return");
        }
        size += ParameterLabels[number].size() + WrittenMarker(number).size() + value.size() +
                kSectionFramingSize;
    }
    Bytes text(size);
    std::uint8_t* out = text.data();
    const auto put = [&out](std::string_view piece) {
        std::memcpy(out, piece.data(), piece.size());
        out += piece.size();
    };
    for (std::size_t number : order) {
        put(ParameterLabels[number]);
        put(WrittenMarker(number));
        put(kCarpLineEnd);
        put(values[number]);
        put(kCarpLineEnd);
    }
    return text;
}

}  // namespace carconv
