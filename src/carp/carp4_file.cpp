#include "carp/carp4_file.h"

#include <cstdint>
#include <utility>

#include "files/errors.h"
#include "platform/file_system.h"

namespace carconv {

Carp4File::Carp4File(std::string path) : GameFile(std::move(path)) {
    typeTag = "CARP4";
}

Carp4File::~Carp4File() = default;

int Carp4File::Reset() {
    return 1;
}

int Carp4File::Load() {
    Parse(ReadWithin(kMaxCarpTextSize, "performance text"));
    loadedFrom_ = path;
    return 1;
}

int Carp4File::Parse(ByteSpan text) {
    std::array<std::string, kCarp4ParameterCount> values;
    std::array<bool, kCarp4ParameterCount> missing{};
    ParseCarpText(text, path, values, missing);
    parameters = std::move(values);
    parameterMissing = missing;
    loadedFrom_.clear();
    // ParseCarpText refuses texts larger than kMaxCarpTextSize, so the size fits.
    length = static_cast<std::int32_t>(text.size());
    return 1;
}

bool Carp4File::FileHoldsParameters() const {
    std::array<std::string, kCarp4ParameterCount> values;
    std::array<bool, kCarp4ParameterCount> missing{};
    try {
        ParseCarpText(ReadWithin(kMaxCarpTextSize, "performance text"), path, values, missing);
    } catch (const CarconvError&) {
        return false;  // gone or grown too large: written anew
    }
    return values == parameters;
}

int Carp4File::SaveAs(std::string target) {
    if (target == path && target == loadedFrom_ && FileHoldsParameters())
        return 1;
    WriteFileAtomically(target, Serialize(target));
    return 1;
}

Bytes Carp4File::Serialize(const std::string& target) const {
    return BuildCarpText(kCarp4SectionOrder, parameters, target);
}

}  // namespace carconv
