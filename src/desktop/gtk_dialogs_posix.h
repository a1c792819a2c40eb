#pragma once

// File dialogs and the error box as GTK 3 windows. Compiled only when GTK 3 is available.

#include <memory>

#include "desktop/file_dialogs.h"

namespace carconv {

// GTK dialogs when GTK can be initialised on this display; nothing when it cannot (no display,
// or the display cannot be opened), so that the caller can ask on the terminal instead.
std::unique_ptr<FileDialogs> MakeGtkFileDialogs();

// Lets GTK handle what is pending and waits until the display has done what was asked of it, so
// that a window destroyed before work that may take a while is gone from the screen.
void FlushGtkEvents();

// The search window as a GTK dialog without a main loop of its own. GTK must be initialised.
std::unique_ptr<SearchWindow> MakeGtkSearchWindow(const SearchWindowText& text);

// The window "V4 CAR File written", until the user closes it. GTK must be initialised.
void ShowGtkWrittenWindow(const WrittenReport& report);

}  // namespace carconv
