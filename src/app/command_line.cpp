#include "app/command_line.h"

namespace carconv {

int RunCommandLine(int, char**) { return 0; }

}  // namespace carconv
