#include "carp/carp_text.h"

#include <algorithm>
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
    const std::string_view rest = text.substr(at);
    if (rest.starts_with(kCarpLineEnd))
        return kCarpLineEndSize;
    return rest.starts_with('\r') || rest.starts_with('\n') ? 1 : 0;
}

std::string_view AsText(ByteSpan bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace

std::string ParameterMarker(std::size_t number) {
    return "(" + std::to_string(number) + ")";
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
    for (std::size_t number = 0; number < values.size(); ++number) {
        const std::string marker = ParameterMarker(number);
        const std::size_t at = whole.find(marker);
        if (at == std::string_view::npos)
            continue;
        markerEnds[number] = at + marker.size();
        lineFeedEndsLines = lineFeedEndsLines || whole.substr(at + marker.size()).starts_with('\n');
    }
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
        std::size_t end = whole.find_first_of(lineEnds.valueEnds, start);
        if (end == std::string_view::npos)
            end = whole.size();
        reader.Seek(start);
        const std::string_view value = AsText(reader.Take(end - start));
        values[number].assign(value);
        missing[number] = false;
    }
}

std::vector<std::size_t> MarkersIn(std::string_view value, std::size_t count) {
    std::vector<bool> found(count, false);
    for (std::size_t open = value.find('('); open != std::string_view::npos;
         open = value.find('(', open + 1)) {
        std::size_t at = open + 1;
        std::size_t number = 0;
        while (at < value.size() && value[at] >= '0' && value[at] <= '9' && number < count) {
            number = number * 10 + static_cast<std::size_t>(value[at] - '0');
            ++at;
        }
        const std::size_t digits = at - open - 1;
        // Markers have no sign and no leading zeros.
        const bool canonical = digits == 1 || (digits > 1 && value[open + 1] != '0');
        if (digits > 0 && canonical && at < value.size() && value[at] == ')' && number < count)
            found[number] = true;
    }
    std::vector<std::size_t> numbers;
    for (std::size_t number = 0; number < count; ++number) {
        if (found[number])
            numbers.push_back(number);
    }
    return numbers;
}

Bytes BuildCarpText(std::span<const std::size_t> order, std::span<const std::string> values,
                    const std::string& target) {
    ByteWriter out;
    for (std::size_t number : order) {
        const std::string& value = values[number];
        if (value.find('\r') != std::string::npos) {
            throw FormatError(target, "the value of parameter " + std::to_string(number) +
                                          " holds a carriage return");
        }
        out.Append(ParameterLabels[number]);
        out.Append(ParameterMarker(number));
        out.Append(kCarpLineEnd);
        out.Append(value);
        out.Append(kCarpLineEnd);
    }
    return out.Release();
}

}  // namespace carconv
