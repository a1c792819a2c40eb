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
    return LoadFrom(FileRange{path});
}

int Carp3File::LoadFrom(const FileRange& source) {
    return Parse(ReadWithin(source, kMaxCarpTextSize, "performance text"));
}

int Carp3File::Parse(ByteSpan text) {
    std::array<std::string, kCarp3ParameterCount> values;
    std::array<bool, kCarp3ParameterCount> missing{};
    ParseCarpText(text, path, values, missing);
    parameters = std::move(values);
    parameterMissing = missing;
    // ParseCarpText refuses texts larger than kMaxCarpTextSize, so the size fits.
    length = static_cast<std::int32_t>(text.size());
    return 1;
}

int Carp3File::SaveAs(std::string target) {
    WriteFileAtomically(target, Serialize(target));
    return 1;
}

Bytes Carp3File::Serialize(const std::string& target) const {
    return BuildCarpText(kCarp3SectionOrder, parameters, target);
}

int Carp3File::ConvertToCarp4(std::string target) const {
    ToCarp4(std::move(target))->Save();
    return 1;
}

std::unique_ptr<Carp4File> Carp3File::ToCarp4(std::string target) const {
    // The warnings are composed only for a sink that hears them. The values are scanned for
    // markers under any sink, so that the fuzz targets go on exercising the scan.
    const bool heard = WarningsHeard();
    for (std::size_t number = 0; number < kCarp3ParameterCount; ++number) {
        if (!heard || !parameterMissing[number])
            continue;
        ReportWarning(GetFileName() + ": parameter " + std::to_string(number) + " (" +
                      std::string(ParameterLabels[number]) + ") is missing");
    }
    for (std::size_t number = 0; number < kCarp3ParameterCount; ++number) {
        for (std::size_t other : MarkersIn(parameters[number], kCarp4ParameterCount)) {
            if (other == number || !heard)
                continue;
            ReportWarning(fmt::format(
                "{}: the value of parameter {} ({}) holds \"{}\", the marker of parameter {} ({}); "
                "a reader may take parameter {} from there",
                GetFileName(), number, ParameterLabels[number], ParameterMarker(other), other,
                ParameterLabels[other], other));
        }
    }
    auto converted = std::make_unique<Carp4File>(std::move(target));
    converted->Reset();
    for (std::size_t number = 0; number < kCarp3ParameterCount; ++number) {
        converted->parameters[number] = parameters[number];
    }
    converted->parameters[kUndersteerGradient] = kConvertedUndersteerGradient;
    return converted;
}

}  // namespace carconv
