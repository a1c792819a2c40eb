#include "carp/carp3_file.h"

#include <cstdint>
#include <utility>

#include <fmt/format.h>

#include "carp/carp4_file.h"
#include "files/warnings.h"
#include "platform/file_system.h"

namespace carconv {

Carp3File::Carp3File(std::string path) : GameFile(std::move(path)) {
    typeTag = "CARP3";
}

Carp3File::~Carp3File() = default;

int Carp3File::Reset() {
    return 1;
}

int Carp3File::Load() {
    const Bytes text = ReadWholeFile(path);
    std::array<std::string, kCarp3ParameterCount> values;
    std::array<bool, kCarp3ParameterCount> missing{};
    ParseCarpText(text, path, values, missing);
    parameters = std::move(values);
    parameterMissing = missing;
    // ReadWholeFile refuses files that do not fit the 32-bit length.
    length = static_cast<std::int32_t>(text.size());
    return 1;
}

int Carp3File::SaveAs(std::string target) {
    WriteWholeFile(target, BuildCarpText(kCarp3SectionOrder, parameters, target));
    return 1;
}

int Carp3File::ConvertToCarp4(std::string target) const {
    for (std::size_t number = 0; number < kCarp3ParameterCount; ++number) {
        if (!parameterMissing[number])
            continue;
        ReportWarning(GetFileName() + ": parameter " + std::to_string(number) + " (" +
                      std::string(ParameterLabels[number]) + ") is missing");
    }
    for (std::size_t number = 0; number < kCarp3ParameterCount; ++number) {
        for (std::size_t other : MarkersIn(parameters[number], kCarp4ParameterCount)) {
            if (other == number)
                continue;
            ReportWarning(fmt::format(
                "{}: the value of parameter {} ({}) holds \"{}\", the marker of parameter {} ({}); "
                "a reader may take parameter {} from there",
                GetFileName(), number, ParameterLabels[number], ParameterMarker(other), other,
                ParameterLabels[other], other));
        }
    }
    Carp4File converted(std::move(target));
    converted.Reset();
    for (std::size_t number = 0; number < kCarp3ParameterCount; ++number) {
        converted.parameters[number] = parameters[number];
    }
    converted.parameters[kUndersteerGradient] = kConvertedUndersteerGradient;
    converted.Save();
    return 1;
}

}  // namespace carconv
