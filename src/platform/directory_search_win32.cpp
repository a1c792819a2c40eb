// Directory search on Windows: FindFirstFileW order; reparse points (junctions, symbolic links)
// are reported as links and never followed.

#include <windows.h>

#include <memory>

#include <fmt/format.h>

#include "files/errors.h"
#include "platform/file_system.h"
#include "platform/wide_text.h"

namespace carconv {

const char kPathSeparator = '\\';

namespace {

struct FindCloser {
    void operator()(HANDLE handle) const { FindClose(handle); }
};

DirectoryEntry::Kind KindOf(const WIN32_FIND_DATAW& data) {
    if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return DirectoryEntry::Kind::kLink;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return DirectoryEntry::Kind::kDirectory;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE)
        return DirectoryEntry::Kind::kOther;
    return DirectoryEntry::Kind::kFile;
}

std::string SystemErrorText(DWORD code) {
    return std::system_category().message(static_cast<int>(code)) +
           fmt::format(" (error {})", code);
}

}  // namespace

std::vector<DirectoryEntry> SearchDirectory(const std::string& dir) {
    const std::wstring pattern = WidenUtf8(JoinPath(dir, "*"));
    WIN32_FIND_DATAW data;
    HANDLE first = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                    nullptr, 0);
    std::vector<DirectoryEntry> entries;
    if (first == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        // An empty drive root has not even "." and "..".
        if (error == ERROR_FILE_NOT_FOUND)
            return entries;
        throw IoError(dir, "cannot search directory: " + SystemErrorText(error));
    }
    std::unique_ptr<void, FindCloser> handle(first);
    do {
        std::string name = NarrowToUtf8(data.cFileName);
        if (name == "." || name == "..")
            continue;
        entries.push_back({std::move(name), KindOf(data)});
    } while (FindNextFileW(first, &data));
    DWORD error = GetLastError();
    if (error != ERROR_NO_MORE_FILES)
        throw IoError(dir, "cannot search directory: " + SystemErrorText(error));
    return entries;
}

}  // namespace carconv
