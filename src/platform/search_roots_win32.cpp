// Search roots and the templates directory on Windows: the drives C: to Z: that exist, and a
// per-user templates folder.

#include <windows.h>

#include "platform/file_system.h"
#include "platform/search_roots.h"
#include "platform/wide_text.h"

namespace carconv {

std::vector<std::string> DriveRoots(unsigned long driveMask) {
    std::vector<std::string> roots;
    // A: and B: are floppy drives by convention; searching them is slow and pointless.
    for (int i = 2; i < 26; ++i) {
        if (driveMask & (1UL << i))
            roots.push_back(std::string(1, static_cast<char>('a' + i)) + ":\\");
    }
    return roots;
}

std::vector<std::string> PlatformSearchRoots() {
    return DriveRoots(GetLogicalDrives());
}

bool IsSystemFolder(const std::string&) {
    return false;
}

bool VisitedFolders::Enter(const std::string&) {
    return true;
}

// %LOCALAPPDATA%\carconv: writable for the user whatever folder the program is started from or
// installed in, and per user like the installed marker in the registry. Without LOCALAPPDATA, the
// program directory.
std::string PlatformTemplateDirectory(const std::string& programDirectory) {
    DWORD needed = GetEnvironmentVariableW(L"LOCALAPPDATA", nullptr, 0);
    if (needed == 0)
        return programDirectory;
    std::wstring value(needed, L'\0');
    DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", value.data(), needed);
    if (length == 0 || length >= needed)
        return programDirectory;
    value.resize(length);
    return JoinPath(NarrowToUtf8(value), "carconv");
}

}  // namespace carconv
