#pragma once

// The sample packages: version-3 cars that differ in the ways that matter to a conversion, and a
// pretend version-4 game folder whose stock car package holds the template files. Everything is
// made up from a seed; the same seed gives the same bytes.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "sample_formats.h"

namespace carconv::samples {

// The seven language files, in package order.
extern const std::vector<std::string> kLanguageFiles;
// The eight template files, in installation order.
extern const std::vector<std::string> kTemplateNames;

struct SampleCar {
    std::string name;               // the package is `name` + ".viv"
    std::string description;        // what makes this car different, one line
    std::vector<std::string> carp;  // the 80 version-3 parameter values
    std::string carpLineEnd;        // "\r\n" or "\n"
    MeshModel mesh;
    Texture skin;
    std::vector<std::pair<std::string, FrontEnd3>> frontEnd;  // kLanguageFiles order
    std::vector<Picture> pictures;                            // "fedata.fsh"; none when empty
    // The package's members, in the order this car's archive stores them.
    std::vector<Member> Members() const;
};

// "full": every part of a car, an uncompressed skin with an image ID, front-end pictures.
// "rle-lf": a run-length-encoded skin with a footer, a performance text with LF line ends,
//           members stored in another order.
// "minimal": an empty mesh, every front-end string empty.
std::vector<SampleCar> SampleCars(std::uint64_t seed);

// The version-4 stock car package of the pretend game: the eight template files and a few other
// members.
std::vector<Member> StockCarMembers(std::uint64_t seed);
inline constexpr const char* kStockCarPath = "game/data/cars/fm50/car.viv";

// Writes `outDir`/<name>.viv for every sample car and `outDir`/kStockCarPath, creating folders as
// needed. Returns the written car packages' paths, in SampleCars order. Throws
// std::runtime_error when a file cannot be written.
std::vector<std::string> WriteSamples(const std::string& outDir, std::uint64_t seed);

}  // namespace carconv::samples
