#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>

#include "files/errors.h"
#include "platform/terminal.h"

namespace carconv {

bool IsTerminal(std::FILE* stream) {
    return isatty(fileno(stream)) != 0;
}

void WriteStandardOutput(ByteSpan bytes) {
    std::cout.flush();
    if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() ||
        std::fflush(stdout) != 0) {
        throw IoError("standard output", std::strerror(errno));
    }
}

}  // namespace carconv
