#pragma once

#include <cstdio>

#include "files/byte_reader.h"

namespace carconv {

// True when `stream` is an interactive terminal (live progress is shown only there).
bool IsTerminal(std::FILE* stream);

// Writes `bytes` to standard output as they are (no newline translation on Windows) and flushes
// it, after whatever std::cout holds. Throws IoError naming standard output when it fails.
void WriteStandardOutput(ByteSpan bytes);

}  // namespace carconv
