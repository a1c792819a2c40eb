// Directory search on POSIX systems: readdir order, links reported and not followed.

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <system_error>

#include "files/errors.h"
#include "platform/file_system.h"

namespace carconv {

const char kPathSeparator = '/';

std::vector<DirectoryEntry> SearchDirectory(const std::string& dir) {
    std::unique_ptr<DIR, int (*)(DIR*)> handle(opendir(dir.c_str()), closedir);
    if (!handle)
        throw IoError(dir, "cannot search directory: " + std::generic_category().message(errno));
    std::vector<DirectoryEntry> entries;
    while (dirent* e = readdir(handle.get())) {
        std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        DirectoryEntry::Kind kind = DirectoryEntry::Kind::kOther;
        unsigned char type = e->d_type;
        if (type == DT_UNKNOWN) {
            struct stat st;
            if (lstat(JoinPath(dir, name).c_str(), &st) == 0) {
                if (S_ISREG(st.st_mode))
                    type = DT_REG;
                else if (S_ISDIR(st.st_mode))
                    type = DT_DIR;
                else if (S_ISLNK(st.st_mode))
                    type = DT_LNK;
            }
        }
        if (type == DT_REG)
            kind = DirectoryEntry::Kind::kFile;
        else if (type == DT_DIR)
            kind = DirectoryEntry::Kind::kDirectory;
        else if (type == DT_LNK)
            kind = DirectoryEntry::Kind::kLink;
        entries.push_back({std::move(name), kind});
    }
    return entries;
}

}  // namespace carconv
