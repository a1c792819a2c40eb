#include "carp/carp_text.h"

#include <algorithm>

#include "carp/parameter_labels.h"
#include "files/errors.h"

namespace carconv {

namespace {

struct LineEnds {
    std::size_t skipAfterMarker;  // bytes between a marker and its value
    char valueEnd;                // the byte that ends a value
};

LineEnds DetectLineEnds(std::string_view text) {
    if (text.find(kCarpLineEnd) != std::string_view::npos)
        return {kCarpLineEndSize, '\r'};
    if (text.find('\r') != std::string_view::npos)
        return {1, '\r'};
    return {1, '\n'};
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
    const LineEnds lineEnds = DetectLineEnds(whole);
    ByteReader reader(text, fileName);
    for (std::size_t number = 0; number < values.size(); ++number) {
        const std::string marker = ParameterMarker(number);
        const std::size_t at = whole.find(marker);
        if (at == std::string_view::npos) {
            values[number].clear();
            missing[number] = true;
            continue;
        }
        // A marker found in the text ends inside it; the skip may run past a marker that stands
        // at the very end, so it is clamped (the value is then empty).
        const std::size_t markerEnd = at + marker.size();
        const std::size_t start =
            markerEnd + std::min(lineEnds.skipAfterMarker, whole.size() - markerEnd);
        std::size_t end = whole.find(lineEnds.valueEnd, start);
        if (end == std::string_view::npos)
            end = whole.size();
        reader.Seek(start);
        const std::string_view value = AsText(reader.Take(end - start));
        values[number].assign(value);
        missing[number] = false;
    }
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
