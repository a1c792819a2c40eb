// The dialogs of the dialog-driven run on POSIX desktops: GTK windows where GTK is built in and
// a display can be opened, questions on the terminal otherwise.

#include <iostream>

#include "desktop/file_dialogs.h"
#ifdef CARCONV_HAVE_GTK
#include "desktop/gtk_dialogs_posix.h"
#endif

namespace carconv {

std::unique_ptr<FileDialogs> MakeDesktopFileDialogs() {
#ifdef CARCONV_HAVE_GTK
    if (std::unique_ptr<FileDialogs> gtk = MakeGtkFileDialogs())
        return gtk;
#endif
    return std::make_unique<ConsoleFileDialogs>(std::cin, std::cerr);
}

}  // namespace carconv
