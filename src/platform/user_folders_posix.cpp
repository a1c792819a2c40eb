#include "platform/user_folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "files/errors.h"
#include "platform/file_system.h"

namespace carconv {

namespace {

bool IsAbsolute(const char* path) {
    return path != nullptr && path[0] == '/';
}

}  // namespace

std::string HomeDirectory() {
    const char* home = std::getenv("HOME");
    if (IsAbsolute(home))
        return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && IsAbsolute(found->pw_dir))
        return found->pw_dir;
    throw CarconvError(
        "cannot find your home folder: HOME is not set to an absolute path and the password "
        "database has no home directory for this user; set HOME (or XDG_CONFIG_HOME and "
        "XDG_DATA_HOME)");
}

std::string UserFolder(const char* variable, const char* belowHome) {
    const char* value = std::getenv(variable);
    if (IsAbsolute(value))
        return value;
    return JoinPath(HomeDirectory(), belowHome);
}

}  // namespace carconv
