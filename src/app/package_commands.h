#pragma once

// The archive commands of the command line: list, unpack and pack.

#include <iosfwd>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace carconv {

class GameFile;
class VivArchive;

// The type tag the member factory gave `member`, or "-" for a plain member.
std::string MemberTypeTag(const GameFile& member);

// The members of a loaded archive, in directory order: {name, offset, size, type} each.
nlohmann::ordered_json DescribeMembers(const VivArchive& archive);
// The same, one line each: offset, size, name and type.
void PrintMembers(const VivArchive& archive, std::ostream& out);

// Loads `archive` (unpacking it into a working directory that is removed again) and lists its
// members with PrintMembers, or as the JSON array of DescribeMembers.
void ListArchive(const std::string& archive, bool json, std::ostream& out);

// Writes every member of `archive` into `directory` (created if missing), all of them or none:
// they are written into a fresh directory beside it first. Files of the members' names are
// replaced; nothing else in `directory` is touched. An archive whose members add up to more than
// its UnpackBudget allows is refused before anything is written.
void UnpackArchive(const std::string& archive, const std::string& directory);

// Packs the named files of `directory`, in the order given, into a new archive at `archive`.
// With no names: every regular file of `directory` sorted by name. Refused before anything is
// written when `archive` is one of the files (also through a link or in another letter case) or a
// name is given twice; names equal but for letter case are packed with a warning.
void PackArchive(const std::string& directory, const std::string& archive,
                 std::vector<std::string> names);

}  // namespace carconv
