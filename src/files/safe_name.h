#pragma once

#include <string>
#include <string_view>

namespace carconv {

// True when a name read from a file may be used as a file name inside a working directory, on
// every platform alike (packages travel to Windows): not empty, not "." or "..", free of control
// characters and of / \ : < > " | ? *, not ending in a dot or space, and not a Windows device
// name (CON, PRN, AUX, NUL, COM1-9, LPT1-9, in any case, with or without an extension). Anything
// else could name a file outside the directory, a device, or a file other than the one named.
bool IsSafeFileName(std::string_view name);

// The name or path as it may appear in a message or listing: control characters (C0, DEL and, in
// UTF-8, C1) and every byte that is not part of well-formed UTF-8 shown as \xNN, so that no name
// can steer the terminal. Every name read from a file goes through this before it is printed.
std::string PrintableName(const std::string& name);

}  // namespace carconv
