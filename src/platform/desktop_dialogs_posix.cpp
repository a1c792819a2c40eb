// The dialogs of the dialog-driven run on POSIX desktops: questions on the terminal.

#include <iostream>

#include "platform/file_dialogs.h"

namespace carconv {

std::unique_ptr<FileDialogs> MakeDesktopFileDialogs() {
    return std::make_unique<ConsoleFileDialogs>(std::cin, std::cerr);
}

}  // namespace carconv
