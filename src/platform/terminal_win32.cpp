#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstring>
#include <iostream>

#include "files/errors.h"
#include "platform/terminal.h"

namespace carconv {

// A console, not a pipe, file or the NUL device (which _isatty alone also reports).
bool IsTerminal(std::FILE* stream) {
    int fd = _fileno(stream);
    if (fd < 0 || !_isatty(fd))
        return false;
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

void WriteStandardOutput(ByteSpan bytes) {
    std::cout.flush();
    std::fflush(stdout);
    // Text mode would turn every 0x0A byte into 0x0D 0x0A.
    const int previous = _setmode(_fileno(stdout), _O_BINARY);
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size() &&
                         std::fflush(stdout) == 0;
    const int error = errno;
    if (previous != -1)
        _setmode(_fileno(stdout), previous);
    if (!written)
        throw IoError("standard output", std::strerror(error));
}

}  // namespace carconv
