#pragma once

// Minimal but well-formed packages and template files, laid out byte by byte for end-to-end tests.

#include <string>
#include <vector>

#include "support/test_util.h"

namespace carconv::test {

// The seven language files in package order.
extern const std::vector<std::string> kLanguages;

// A version-3 performance text: parameter N has the value "vN" (80 sections, CR LF).
std::string Carp3Text();
// A version-3 mesh without vertices or triangles whose part 12 is named `part12`.
Bytes EmptyFce3(const std::string& part12 = "Spoiler");
// An uncompressed 32-bit TGA of width × height whose pixel bytes count up from 0.
Bytes Tga32(int width, int height);
// A version-3 front-end file whose strings are "<tag>0" to "<tag>39".
Bytes Fedata3(const std::string& tag);
// A picture archive with one 2×1 32-bit image named "dash".
Bytes Fsh();
// A version-4 mesh without vertices or triangles, its first part named ":HB".
Bytes EmptyFce4();

// A "BIGF" archive of the (name, bytes) pairs: the directory, then the members back to back.
Bytes ArchiveBytes(const std::vector<std::pair<std::string, Bytes>>& members);
// Writes a member file for each (name, bytes) pair into a "BIGF" archive at `path`.
void WriteArchive(const std::string& path,
                  const std::vector<std::pair<std::string, Bytes>>& members);

// The members of a complete version-3 package; with `withPictures` also "fedata.fsh".
std::vector<std::pair<std::string, Bytes>> Version3Members(bool withPictures);

// The eight template files; the engine files hold "<name> data".
std::vector<std::pair<std::string, Bytes>> TemplateMembers();

// Writes the eight template files into `dir`.
void WriteTemplates(const std::string& dir);

// The members of an archive as (name, bytes), read with the test's own parser.
std::vector<std::pair<std::string, Bytes>> ReadArchive(const std::string& path);

// The environment (for RunCarconv) of a user whose templates are installed: settings and data
// folders inside `dir`, the marker set, the template files written.
std::string InstalledUser(const ScratchDir& dir);

}  // namespace carconv::test
