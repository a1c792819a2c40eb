#pragma once

#include "app/stage.h"

namespace carconv {

// The performance-data stage. Loads the input's "carp.txt" as a version-3 text, converts it to
// the output's "carp.txt" (reporting each missing version-3 parameter as a warning), and appends
// it and its copies "carp1.txt", "carp2.txt" and "carp3.txt" to the members, in that order: four
// HeldFile members, typed as the version-4 text, holding the one converted text for the archive
// writer (no file is written). All five objects go to context.Keep. Throws IoError when the input
// text is absent, FormatError when it cannot be read or written as a performance text.
void RunPerformanceStage(StageContext& context);

}  // namespace carconv
