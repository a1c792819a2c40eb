#pragma once

// Carp3File: the car performance text "carp.txt" in the version-3 layout.
//
// 80 sections (parameters 0 to 79), written in this order:
//   0, 1, 2, 3, 75, 4, 5, 6, 7, 76, 8, 77, 9, 78, 10, 11, 79, 12 to 74.
// Each automatic-gearbox parameter (75 to 79) follows its manual counterpart (3, 7, 8, 9, 11).
// Section framing, line ends and how a text is read: carp/carp_text.h. A version-4 text loads as
// well: its section for parameter 80 is never looked for.

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "carp/carp_text.h"
#include "carp/parameter_labels.h"
#include "files/game_file.h"

namespace carconv {

class Carp4File;

inline constexpr std::array<std::size_t, kCarp3ParameterCount> kCarp3SectionOrder = {
    0,  1,  2,  3,  75, 4,  5,  6,  7,  76, 8,  77, 9,  78, 10, 11, 79, 12, 13, 14,
    15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34,
    35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54,
    55, 56, 57, 58, 59, 60, 61, 62, 63, 64, 65, 66, 67, 68, 69, 70, 71, 72, 73, 74};
static_assert(IsSectionOrder(kCarp3SectionOrder));

// The value the conversion gives "understeer gradient", which the version-3 layout lacks.
inline constexpr std::string_view kConvertedUndersteerGradient = "1.000000";

class Carp3File : public GameFile {
  public:
    // Every value empty, none flagged missing.
    explicit Carp3File(std::string path);
    ~Carp3File() override;

    // There are no default values: changes nothing.
    int Reset() override;
    // Reads the text at `path`, sets every value and missing flag and `length`. Throws IoError
    // when the file cannot be read, FormatError when it is too large to be a performance text.
    int Load() override;
    // Load of the text that lies in `source` (a range of a package, or a whole file).
    int LoadFrom(const FileRange& source);
    // Writes the version-3 text to `target`; changes neither `path` nor `length`.
    int SaveAs(std::string target) override;
    // Load of a text already in memory: sets every value and missing flag and `length`, with the
    // errors of Load.
    int Parse(ByteSpan text) override;
    // The text SaveAs writes. Throws FormatError naming `target` when a value holds a CR.
    Bytes Serialize(const std::string& target) const;

    // Writes the version-4 text to `target`: parameters 0 to 79 copied unchanged by number,
    // parameter 80 set to kConvertedUndersteerGradient. The conversion needs every version-3
    // parameter, so each one the last Load found no marker for is reported as the warning
    // "<file name>: parameter N (<label>) is missing"; its empty value is converted as it stands.
    // A value that holds the marker of another parameter is converted as it stands too, with a
    // warning: a reader that takes the first occurrence of a marker, as Load does, takes that
    // parameter from inside the value. Leaves this object unchanged.
    int ConvertToCarp4(std::string target) const;
    // The version-4 object that ConvertToCarp4 writes, for `target`, with the same warnings;
    // nothing is written.
    std::unique_ptr<Carp4File> ToCarp4(std::string target) const;

    // parameters[N] is the value of parameter N.
    std::array<std::string, kCarp3ParameterCount> parameters;
    // parameterMissing[N]: the text the last Load read holds no marker for N.
    std::array<bool, kCarp3ParameterCount> parameterMissing{};
};

}  // namespace carconv
