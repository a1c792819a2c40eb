#pragma once

// Carp4File: the car performance text "carp.txt" in the version-4 layout.
//
// 81 sections (parameters 0 to 80), written in this order:
//   0, 1, 2, 3, 75, 4, 5, 6, 7, 76, 8, 77, 9, 78, 10, 11, 79, 12 to 30, 80, 31 to 74.
// Each automatic-gearbox parameter (75 to 79) follows its manual counterpart (3, 7, 8, 9, 11), and
// "understeer gradient" (80) stands between 30 and 31. Section framing, line ends and how a text
// is read: carp/carp_text.h.
//
// Load of a text that SaveAs wrote, followed by SaveAs, reproduces that text byte for byte, so the
// length Load measures stays the size of the file the archive writer packs. A text that SaveAs
// would not reproduce (other line ends or labels, a value holding another parameter's marker) is
// left alone by SaveAs of the path it was loaded from, as long as it still holds the values, so
// the archive writer packs it as it was written.

#include <array>
#include <cstddef>
#include <string>

#include "carp/carp_text.h"
#include "carp/parameter_labels.h"
#include "files/game_file.h"

namespace carconv {

inline constexpr std::array<std::size_t, kCarp4ParameterCount> kCarp4SectionOrder = {
    0,  1,  2,  3,  75, 4,  5,  6,  7,  76, 8,  77, 9,  78, 10, 11, 79, 12, 13, 14, 15,
    16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 80, 31, 32, 33, 34, 35,
    36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56,
    57, 58, 59, 60, 61, 62, 63, 64, 65, 66, 67, 68, 69, 70, 71, 72, 73, 74};
static_assert(IsSectionOrder(kCarp4SectionOrder));

class Carp4File : public GameFile {
  public:
    // Every value empty, none flagged missing.
    explicit Carp4File(std::string path);
    ~Carp4File() override;

    // There are no default values: changes nothing.
    int Reset() override;
    // Reads the text at `path`, sets every value and missing flag and `length`. Throws IoError
    // when the file cannot be read, FormatError when it is too large to be a performance text.
    int Load() override;
    // Writes the version-4 text to `target`; changes neither `path` nor `length`. When `target`
    // is the path Load read and the text there still loads to `parameters`, it is left as it is.
    int SaveAs(std::string target) override;

    // parameters[N] is the value of parameter N.
    std::array<std::string, kCarp4ParameterCount> parameters;
    // parameterMissing[N]: the text the last Load read holds no marker for N.
    std::array<bool, kCarp4ParameterCount> parameterMissing{};

  private:
    // True when the text at `path` loads to `parameters`.
    bool FileHoldsParameters() const;

    // The file the last Load read (`path` may be changed afterwards).
    std::string loadedFrom_;
};

}  // namespace carconv
