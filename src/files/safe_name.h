#pragma once

#include <string>

namespace carconv {

// True when a name read from a file may be used as a file name inside a working directory: not
// empty, not "." or "..", and free of '/', '\\', ':' and control characters. Anything else could
// name a file outside the directory or a device.
bool IsSafeFileName(const std::string& name);

// The name as it may appear in an error message: control characters shown as \xNN.
std::string PrintableName(const std::string& name);

}  // namespace carconv
