#pragma once

// The check command: says whether a car package is sound, member by member, without unpacking it.
//
// The archive's directory is read and every member is read into memory from the archive file,
// charged to the archive's UnpackBudget like an unpack; nothing is written anywhere. Each member
// is then parsed by the reader of its format, and what a reader accepts is looked at further:
//
// Version 4 (a converted package):
//   - the 27 members of a conversion are present (any letter case) and each parses as its type;
//   - the car mesh is consistent: partCount within 0 to 64, every part's vertex and triangle
//     ranges inside the totals and not overlapping another part's, every triangle index inside
//     its part, no NaN or infinite position, normal or UV, parts 0-11 named ":HB" ... ":TB";
//   - the four meshes, the four performance texts and the four skins are copies (warning);
//   - the skin is a 32-bit image of 256 x 256 pixels (warning);
//   - the seven front-end files hold the same number of strings and every string offset lies
//     inside its file;
//   - the performance text holds all 81 parameters, "(80)" among them, each a list of numbers;
//   - the eight template members are present and parse where they have a type.
// Version 3 (a package to convert): the members the conversion reads are present and parse, its
// mesh is consistent as above, its performance text holds all 80 parameters, and the members the
// conversion does not carry into the version-4 package are named.
//
// A package is taken for version 4 when its "car.fce" is a version-4 mesh, else when its
// "carp.txt" holds "(80)", else when it holds any member that only the version-4 layout has.

#include <iosfwd>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace carconv {

enum class CheckLevel { kError, kWarning };

struct CheckFinding {
    std::string member;  // the member's name as the archive spells it, or "(archive)"
    CheckLevel level = CheckLevel::kError;
    std::string problem;
};

struct PackageReport {
    std::string package;
    int version = 0;  // 3 or 4; 0 when the archive itself could not be read
    int memberCount = 0;
    std::vector<CheckFinding> findings;
};

// The member name findings about the archive as a whole carry.
inline constexpr const char* kArchiveMember = "(archive)";

// Checks the package at `path`. A malformed archive is a finding; a file that cannot be read
// throws IoError.
PackageReport CheckPackage(const std::string& path);

// {package, version, findings: [{member, level, problem}]}.
nlohmann::ordered_json ReportJson(const PackageReport& report);

// One line "PACKAGE: member: error|warning: problem" per finding and a closing summary line, or
// the JSON object. Returns the exit status: 0 without findings, 1 with any.
int PrintReport(const PackageReport& report, bool json, std::ostream& out);

}  // namespace carconv
