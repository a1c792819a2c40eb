#pragma once

// A short, readable account of what a conversion did: it reads the version-3 package and the
// version-4 package made from it with the generator's own readers, compares them and says what
// was carried, moved, renamed and added.

#include <string>
#include <vector>

#include "sample_formats.h"

namespace carconv::samples {

// Throws std::runtime_error when a member that a package must hold is missing or too short.
std::string DescribeConversion(const std::vector<Member>& version3,
                               const std::vector<Member>& version4);

// The pixels of a 32-bit Targa file, rows in file order, run-length packets decoded.
// Throws std::runtime_error for a file that does not hold its image.
Bytes DecodeTgaPixels(const Bytes& tga);

// The values of parameters 0 to count - 1 of a performance text (CR LF, or LF when the text holds
// no CR); a missing marker gives an empty value.
std::vector<std::string> ReadCarpValues(const std::string& text, std::size_t count);

// The strings of a front-end file: `count` offsets at `tableOffset`, each string up to its NUL.
std::vector<std::string> ReadFrontEndStrings(const Bytes& file, std::size_t tableOffset,
                                             std::size_t count);

}  // namespace carconv::samples
