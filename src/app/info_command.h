#pragma once

// The info command: describes one file of any format the converter knows.
//
// The file is typed the way an archive member of its name is typed (by name, then content, see
// files/member_factory.h) and loaded; a malformed file is an error here, not a warning. What is
// shown, by type:
//   VIV              the members, as the list command shows them
//   FCE3, FCE4       layout version, counts, parts with their vertex and triangle ranges,
//                    colours, markers
//   CARP3, CARP4     every parameter with its number, label and value
//   FEDATA3, 4       the interpreted header numbers and every string with its offset
//   FSH              the entries with name, offset, size, format code, width and height
//   TGA              the header fields, whether the data was run-length encoded, the bytes after
//                    the image data and whether they end in a TGA 2.0 footer
//   - (plain)        name and size only
// Every description starts with the file's path, its type tag ("-" for a plain file) and its
// size on disk.

#include <iosfwd>
#include <string>

#include <nlohmann/json.hpp>

namespace carconv {

// The description as one JSON object; byte strings are kept as they are (the printer replaces
// what is not UTF-8).
nlohmann::ordered_json DescribeFile(const std::string& path);

// Prints the description of `path`: human-readable, or as JSON for scripts.
void PrintFileInfo(const std::string& path, bool json, std::ostream& out);

}  // namespace carconv
