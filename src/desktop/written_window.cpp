#include "desktop/written_window.h"

namespace carconv {

std::string WrittenReportText(const WrittenReport& report) {
    std::string text = "Written: " + report.outputPath;
    if (!report.warnings.empty()) {
        text += report.warnings.size() == 1 ? "\n\nWarning:" : "\n\nWarnings:";
        for (const std::string& warning : report.warnings)
            text += "\n" + warning;
    }
    return text;
}

bool HasPicture(const WrittenReport& report) {
    return report.pictureWidth > 0 && report.pictureHeight > 0 &&
           report.pictureRgba.size() == static_cast<std::size_t>(report.pictureWidth) *
                                            static_cast<std::size_t>(report.pictureHeight) * 4;
}

}  // namespace carconv
