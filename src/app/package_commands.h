#pragma once

// The archive commands of the command line: list, unpack and pack.

#include <iosfwd>
#include <string>
#include <vector>

namespace carconv {

// One line per directory entry, in directory order: offset, size, name; or a JSON array.
void ListArchive(const std::string& archive, bool json, std::ostream& out);

// Writes every member of `archive` into `directory` (created if missing). Files of the members'
// names are replaced; nothing else in `directory` is touched.
void UnpackArchive(const std::string& archive, const std::string& directory);

// Packs the named files of `directory`, in the order given, into a new archive at `archive`.
// With no names: every regular file of `directory` sorted by name, the archive itself excepted.
void PackArchive(const std::string& directory, const std::string& archive,
                 std::vector<std::string> names);

}  // namespace carconv
