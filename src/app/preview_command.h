#pragma once

// The preview command of the command line: draws a package's car into a PNG.

#include <string>

#include "preview/car_preview.h"

namespace carconv {

// The PNG a preview of `input` goes to by default: beside it, named after it without its
// extension and with "-preview.png" ("car.viv" gives "car-preview.png").
std::string DefaultPreviewPath(const std::string& input);

// Draws `input` (RenderCarPreview) and writes the PNG to `output`: empty for
// DefaultPreviewPath, "-" for standard output. The file appears complete or not at all and
// replaces a file (or a link itself) of that name; a device or FIFO is written into. Throws
// IoError when `output` is `input` itself or a directory, before anything is read.
void WritePreview(const std::string& input, const std::string& output,
                  const PreviewOptions& options);

}  // namespace carconv
