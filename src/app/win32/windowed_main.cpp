// carconvw.exe: the same program without a console window, for starting it from the desktop.
// Its settings are kept under the name "carconv", so that both programs share the installed
// marker.

#include "app/windows_command_line.h"

int main() {
    return carconv::RunWindowsCommandLine("carconv");
}
