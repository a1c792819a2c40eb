// Search roots and the templates directory on POSIX systems, which have no drive letters: the Wine
// drives c: to z: (where a Windows game is installed under Wine), then the places where users keep
// or mount other disks.

#include <sys/stat.h>
#ifdef __linux__
#include <sys/vfs.h>
#endif

#include <algorithm>
#include <iterator>

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
                       : home.empty()                          ? std::string()
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

namespace {

#ifdef __linux__
// The kernel's own file systems (their statfs magic numbers), which hold no game and whose walk is
// slow or reads devices, and network file systems and automount points, whose walk may hang.
bool IsSkippedFileSystem(const std::string& path) {
    static constexpr unsigned long kSkipped[] = {
        0x9fa0,      // proc
        0x62656572,  // sysfs
        0x1cd1,      // devpts
        0x27e0eb,    // cgroup
        0x63677270,  // cgroup2
        0x74726163,  // tracefs
        0x64626720,  // debugfs
        0x73636673,  // securityfs
        0x65735543,  // fusectl
        0x6165676c,  // pstore
        0xcafe4a11,  // bpf
        0x62656570,  // configfs
        0x19800202,  // mqueue
        0x0187,      // autofs
        0x42494e4d,  // binfmt_misc
        0x6969,      // nfs
        0xff534d42,  // cifs
        0xfe534d42,  // smb2
        0x517b,      // smb
    };
    struct statfs info {};
    if (statfs(path.c_str(), &info) != 0)
        return false;
    const auto type = static_cast<unsigned long>(info.f_type) & 0xffffffffUL;
    return std::find(std::begin(kSkipped), std::end(kSkipped), type) != std::end(kSkipped);
}
#else
bool IsSkippedFileSystem(const std::string&) {
    return false;
}
#endif

}  // namespace

namespace {

using Identity = std::pair<std::uint64_t, std::uint64_t>;

Identity IdentityOf(const struct stat& info) {
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

// /proc, /sys and /dev as they are now, those that exist.
std::vector<Identity> SystemFolders() {
    std::vector<Identity> folders;
    for (const char* system : {"/proc", "/sys", "/dev"}) {
        struct stat info {};
        if (stat(system, &info) == 0)
            folders.push_back(IdentityOf(info));
    }
    return folders;
}

}  // namespace

bool IsSystemFolder(const std::string& path) {
    if (IsSkippedFileSystem(path))
        return true;
    // devtmpfs tells itself from tmpfs by no statfs type, and a container may mount something
    // else on /proc or /sys: the system's three folders are also known by device and inode,
    // however the search reaches them.
    struct stat folder {};
    if (stat(path.c_str(), &folder) != 0)
        return false;
    const std::vector<Identity> system = SystemFolders();
    return std::find(system.begin(), system.end(), IdentityOf(folder)) != system.end();
}

// IsSystemFolder and the first-visit test from a single stat of the folder: a file system's type
// belongs to its device, so statfs is asked once for each device the search meets.
bool VisitedFolders::Enter(const std::string& path) {
    struct stat folder {};
    if (stat(path.c_str(), &folder) != 0)
        return !IsSystemFolder(path);
    if (!systemKnown_) {
        system_ = SystemFolders();
        systemKnown_ = true;
    }
    const Identity identity = IdentityOf(folder);
    if (std::find(system_.begin(), system_.end(), identity) != system_.end())
        return false;
    auto [device, isNew] = skippedDevice_.emplace(identity.first, false);
    if (isNew)
        device->second = IsSkippedFileSystem(path);
    return !device->second && seen_.insert(identity).second;
}

std::string PlatformTemplateDirectory(const std::string& /*programDirectory*/) {
    return JoinPath(UserFolder("XDG_DATA_HOME", ".local/share"), "carconv");
}

}  // namespace carconv
