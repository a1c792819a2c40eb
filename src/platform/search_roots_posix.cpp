// Search roots and the templates directory on POSIX systems, which have no drive letters: the Wine
// drives c: to z: (where a Windows game is installed under Wine), then the places where users keep
// or mount other disks.

#include <cstdlib>

#include "platform/file_system.h"
#include "platform/search_roots.h"

namespace carconv {

namespace {

std::string Home() {
    const char* home = std::getenv("HOME");
    return home != nullptr ? std::string(home) : std::string();
}

}  // namespace

std::vector<std::string> PlatformSearchRoots() {
    std::vector<std::string> roots;
    const char* prefix = std::getenv("WINEPREFIX");
    std::string wine =
        (prefix != nullptr && *prefix != '\0') ? std::string(prefix) : JoinPath(Home(), ".wine");
    std::string devices = JoinPath(wine, "dosdevices");
    for (char letter = 'c'; letter <= 'z'; ++letter) {
        std::string drive = JoinPath(devices, std::string(1, letter) + ":");
        if (IsDirectory(drive))
            roots.push_back(drive);
    }
    for (const std::string& root :
         {Home(), std::string("/mnt"), std::string("/media"), std::string("/run/media")}) {
        if (!root.empty() && IsDirectory(root))
            roots.push_back(root);
    }
    return roots;
}

std::string PlatformTemplateDirectory(const std::string& /*programDirectory*/) {
    const char* data = std::getenv("XDG_DATA_HOME");
    std::string base =
        (data != nullptr && *data == '/') ? std::string(data) : JoinPath(Home(), ".local/share");
    return JoinPath(base, "carconv");
}

}  // namespace carconv
