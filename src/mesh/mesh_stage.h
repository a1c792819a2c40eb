#pragma once

// The mesh stage of the conversion run.

#include "app/stage.h"

namespace carconv {

// Converts the input package's "car.fce" from the version-3 to the version-4 layout into the
// output working directory as "car.fce", copies it to "car1.fce", "car2.fce" and "car3.fce", and
// appends the four, loaded as Fce4File, to the member list in that order. An input "car.fce"
// that is already a version-4 mesh (Fce4File::IsVersion4Mesh) is refused with CarconvError
// before anything is written: read as version 3 it would convert into garbage.
void RunMeshStage(StageContext& context);

}  // namespace carconv
