#pragma once

// Parts of the program that live in shared objects of their own, loaded only when they are
// needed: the desktop windows, whose toolkit would otherwise be loaded and started by every run.

#include <string>

namespace carconv {

#ifndef _WIN32
// The folder that holds the running program, with every link resolved (from /proc/self/exe);
// empty when the system cannot tell it. Never the current directory.
std::string ProgramDirectory();

// Loads the shared object at the absolute path `path` for the rest of the run (it is never
// unloaded, as objects it made may still be in use) and returns the address of its symbol
// `name`. Returns null, with the reason in `problem`, when the path is not absolute, the object
// cannot be loaded, or it has no such symbol.
void* LoadModuleSymbol(const std::string& path, const char* name, std::string& problem);
#endif

}  // namespace carconv
