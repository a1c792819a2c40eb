#pragma once

#include "app/stage.h"

namespace carconv {

// The performance-data stage. Loads the input's "carp.txt" as a version-3 text, converts it to
// the output's "carp.txt" (reporting each missing version-3 parameter as a warning), copies that
// file to "carp1.txt", "carp2.txt" and "carp3.txt", replacing existing files, and appends one
// loaded Carp4File per output file to the members, in that order. All five objects go to
// context.Keep. Throws IoError when the input text is absent or an output file cannot be written.
void RunPerformanceStage(StageContext& context);

}  // namespace carconv
