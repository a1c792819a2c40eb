// Where the settings live on POSIX desktops: an INI file under $XDG_CONFIG_HOME (default
// ~/.config).

#include "platform/profile_store.h"
#include "platform/user_folders.h"

namespace carconv {

std::unique_ptr<ProfileStore> MakeUserProfileStore(const std::string& application) {
    return std::make_unique<IniProfileStore>(UserFolder("XDG_CONFIG_HOME", ".config"),
                                             application);
}

}  // namespace carconv
