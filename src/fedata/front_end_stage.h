#pragma once

// The front-end stage of the conversion run.
//
// Converts the seven version-3 language files of the input ("fedata.eng", "fedata.bri",
// "fedata.ger", "fedata.fre", "fedata.ita", "fedata.spa", "fedata.swe") into version-4 files of
// the same names, held in memory for the archive writer (HeldFile members, typed as version-4
// front-end files), and appends them to the member list in that order. When the input holds the
// front-end picture archive "fedata.fsh", the stage carries it from the input into the output (no
// copy is made) and appends it immediately before "fedata.eng", so the car keeps its front-end
// pictures; a picture archive the loader finds malformed is carried all the same, with a warning
// (LoadCarriedPictureArchive). A missing language file stops the stage with the
// IoError naming it.

#include "app/stage.h"

namespace carconv {

void RunFrontEndStage(StageContext& context);

}  // namespace carconv
