#pragma once

// What the window shown after a desktop conversion of one package says: where the package went,
// what the conversion warned about, and a picture of the car.

#include <cstdint>
#include <string>
#include <vector>

namespace carconv {

inline constexpr const char* kWrittenWindowTitle = "V4 CAR File written";

struct WrittenReport {
    std::string outputPath;
    std::vector<std::string> warnings;
    // The car seen from the front left: RGBA, rows from the top, `pictureWidth` pixels each.
    // Empty when no picture could be drawn; the window then shows the text alone.
    int pictureWidth = 0;
    int pictureHeight = 0;
    std::vector<std::uint8_t> pictureRgba;
};

// The window's text under the picture: the path, then each warning on a line of its own.
std::string WrittenReportText(const WrittenReport& report);

// Whether the picture holds exactly width × height RGBA pixels (and any at all).
bool HasPicture(const WrittenReport& report);

}  // namespace carconv
