#include <io.h>
#include <windows.h>

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

}  // namespace carconv
