#pragma once

// File dialogs and the error box as GTK 3 windows. Compiled only when GTK 3 is available, into a
// module of its own (carconv-gtk.so) that the program loads only when it shows a window: the rest
// of the program does not link GTK. The module takes the program's own functions from the
// program that loads it.

#include <memory>

#include "desktop/file_dialogs.h"

namespace carconv {

// What the program looks up in the module by name: the version of carconv it was built for
// (a NUL-terminated text), and the function that makes the dialogs as MakeGtkFileDialogs() does,
// for the caller to own.
inline constexpr char kGtkModuleVersionSymbol[] = "carconv_gtk_module_version";
inline constexpr char kGtkDialogsSymbol[] = "carconv_gtk_file_dialogs";
using GtkDialogsFunction = FileDialogs* (*)();

// GTK dialogs when GTK can be initialised on the display the environment names; nothing when it
// cannot be opened, so that the caller can ask on the terminal instead.
std::unique_ptr<FileDialogs> MakeGtkFileDialogs();

// Lets GTK handle what is pending and waits until the display has done what was asked of it, so
// that a window destroyed before work that may take a while is gone from the screen.
void FlushGtkEvents();

// The search window as a GTK dialog without a main loop of its own. GTK must be initialised.
std::unique_ptr<SearchWindow> MakeGtkSearchWindow(const SearchWindowText& text);

// The window "V4 CAR File written", until the user closes it. GTK must be initialised.
void ShowGtkWrittenWindow(const WrittenReport& report);

}  // namespace carconv
