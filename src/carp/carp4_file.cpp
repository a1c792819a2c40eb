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
    const Bytes text = ReadWholeFile(path);
    std::array<std::string, kCarp4ParameterCount> values;
    std::array<bool, kCarp4ParameterCount> missing{};
    ParseCarpText(text, path, values, missing);
    parameters = std::move(values);
    parameterMissing = missing;
    loadedFrom_ = path;
    // ReadWholeFile refuses files that do not fit the 32-bit length.
    length = static_cast<std::int32_t>(text.size());
    return 1;
}

bool Carp4File::FileHoldsParameters() const {
    std::array<std::string, kCarp4ParameterCount> values;
    std::array<bool, kCarp4ParameterCount> missing{};
    try {
        ParseCarpText(ReadWholeFile(path), path, values, missing);
    } catch (const CarconvError&) {
        return false;  // gone or grown too large: written anew
    }
    return values == parameters;
}

int Carp4File::SaveAs(std::string target) {
    if (target == path && target == loadedFrom_ && FileHoldsParameters())
        return 1;
    WriteWholeFile(target, BuildCarpText(kCarp4SectionOrder, parameters, target));
    return 1;
}

}  // namespace carconv
