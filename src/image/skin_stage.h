#pragma once

#include "app/stage.h"

namespace carconv {

// The skin-texture stage. Loads the input's "car00.tga", reverses its rows and writes it to the
// output as "car00.tga", copies that file to "car100.tga", "car200.tga" and "car300.tga", then
// loads the four output files and appends them to the members in that order. The object of the
// input texture is kept with the others but is not a member.
void RunSkinStage(StageContext& context);

}  // namespace carconv
