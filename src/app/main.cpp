#include "app/command_line.h"
#include "platform/interruption.h"
#include "platform/memory_tuning.h"

int main(int argc, char** argv) {
    carconv::TuneMemoryAllocator();
    carconv::InstallInterruptionHandling();
    return carconv::RunCommandLine(argc, argv);
}
