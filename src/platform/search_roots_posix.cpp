// Search roots and the templates directory on POSIX systems, which have no drive letters: the Wine
// drives c: to z: (where a Windows game is installed under Wine), then the places where users keep
// or mount other disks.

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "files/errors.h"
#include "platform/file_system.h"
#include "platform/search_roots.h"
#include "platform/user_folders.h"

namespace carconv {

namespace {

// The home folder, or "" when there is none: the search then leaves it out.
std::string Home() {
    try {
        return HomeDirectory();
    } catch (const CarconvError&) {
        return std::string();
    }
}

}  // namespace

std::vector<std::string> PlatformSearchRoots() {
    std::vector<std::string> roots;
    // Wine itself refuses a prefix that is not an absolute path.
    const char* prefix = std::getenv("WINEPREFIX");
    const std::string home = Home();
    std::string wine = (prefix != nullptr && prefix[0] == '/') ? std::string(prefix)
                       : home.empty()                         ? std::string()
                                                              : JoinPath(home, ".wine");
    std::string devices = JoinPath(wine, "dosdevices");
    for (char letter = 'c'; letter <= 'z' && !wine.empty(); ++letter) {
        std::string drive = JoinPath(devices, std::string(1, letter) + ":");
        // Wine maps z: to the whole file system by default: walking it would walk every disk
        // before the user's own folders, which the roots below cover.
        std::error_code ec;
        if (IsDirectory(drive) && std::filesystem::canonical(drive, ec) != "/")
            roots.push_back(drive);
    }
    for (const std::string& root :
         {home, std::string("/mnt"), std::string("/media"), std::string("/run/media")}) {
        if (!root.empty() && IsDirectory(root))
            roots.push_back(root);
    }
    return roots;
}

bool IsSystemFolder(const std::string& path) {
    const std::size_t end = path.find_last_not_of('/');
    if (end == std::string::npos)
        return false;  // "/" itself
    const std::size_t slash = path.find_last_of('/', end);
    const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    const std::string name = path.substr(start, end + 1 - start);
    if (name != "proc" && name != "sys" && name != "dev")
        return false;
    // The same folder as the system's, by device and inode: a folder of that name elsewhere is
    // searched, and a way round through a link to "/" is caught.
    struct stat folder {};
    struct stat system {};
    return stat(path.c_str(), &folder) == 0 && stat(("/" + name).c_str(), &system) == 0 &&
           folder.st_dev == system.st_dev && folder.st_ino == system.st_ino;
}

std::string PlatformTemplateDirectory(const std::string& /*programDirectory*/) {
    return JoinPath(UserFolder("XDG_DATA_HOME", ".local/share"), "carconv");
}

}  // namespace carconv
