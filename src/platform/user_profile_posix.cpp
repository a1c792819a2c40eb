// Where the settings live on POSIX desktops: an INI file under $XDG_CONFIG_HOME (default
// ~/.config).

#include <cstdlib>

#include "platform/file_system.h"
#include "platform/profile_store.h"

namespace carconv {

std::unique_ptr<ProfileStore> MakeUserProfileStore(const std::string& application) {
    std::string base;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && *xdg == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = JoinPath(home != nullptr ? home : ".", ".config");
    }
    return std::make_unique<IniProfileStore>(base, application);
}

}  // namespace carconv
