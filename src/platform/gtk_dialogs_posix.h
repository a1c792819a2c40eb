#pragma once

// File dialogs and the error box as GTK 3 windows. Compiled only when GTK 3 is available.

#include <memory>

#include "platform/file_dialogs.h"

namespace carconv {

// GTK dialogs when GTK can be initialised on this display; nothing when it cannot (no display,
// or the display cannot be opened), so that the caller can ask on the terminal instead.
std::unique_ptr<FileDialogs> MakeGtkFileDialogs();

}  // namespace carconv
