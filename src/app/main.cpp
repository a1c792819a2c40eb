#include "app/command_line.h"
#include "platform/interruption.h"

int main(int argc, char** argv) {
    carconv::InstallInterruptionHandling();
    return carconv::RunCommandLine(argc, argv);
}
