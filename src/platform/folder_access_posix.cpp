#include "platform/folder_access.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace carconv {

std::optional<std::string> FolderWriteProblem(const std::string& folder) {
    // The effective ids decide, as they do when the file is created; a read-only file system
    // answers EROFS even to root.
    if (faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0)
        return std::nullopt;
    return std::generic_category().message(errno);
}

}  // namespace carconv
