#pragma once

#include <cstdio>

namespace carconv {

// True when `stream` is an interactive terminal (live progress is shown only there).
bool IsTerminal(std::FILE* stream);

}  // namespace carconv
