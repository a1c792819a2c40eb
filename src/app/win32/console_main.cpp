// carconv.exe: the command-line tool (console subsystem). Without arguments it runs the dialogs.

#include "app/windows_command_line.h"

int main() {
    return carconv::RunWindowsCommandLine(std::string());
}
