#include "app/version.h"

// Written at build time into the build directory: CARCONV_VERSION, and CARCONV_COMMIT (empty
// outside a checkout). Only this file is rebuilt when either changes.
#include "carconv_build.h"

namespace carconv {

std::string VersionText() {
    std::string text = std::string("carconv ") + CARCONV_VERSION;
    if (CARCONV_COMMIT[0] != '\0')
        text += std::string(" (commit ") + CARCONV_COMMIT + ")";
    text +=
        "\n\n"
        "Copyright (c) 2026 The carconv developers\n"
        "This is free software under the MIT licence: you may use, copy, change and pass it on.\n"
        "There is NO WARRANTY, to the extent permitted by law.";
    return text;
}

}  // namespace carconv
