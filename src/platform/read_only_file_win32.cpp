// Read-only files on Windows: a file handle read at explicit offsets (an OVERLAPPED offset on a
// synchronous handle), so that reads need no shared file position.

#include <windows.h>

#include <algorithm>
#include <system_error>

#include "files/errors.h"
#include "platform/file_system.h"
#include "platform/read_only_file.h"
#include "platform/temporary_path.h"

namespace carconv {

namespace {

std::string Reason(DWORD error) {
    return std::system_category().message(static_cast<int>(error));
}

}  // namespace

struct ReadOnlyFile::Impl {
    HANDLE handle = INVALID_HANDLE_VALUE;
    std::string path;
    std::int64_t size = 0;
    // A range: where its byte 0 lies in the file, and that reads stop at its end.
    std::int64_t start = 0;
    bool bounded = false;
};

ReadOnlyFile::ReadOnlyFile(const std::string& path) : impl_(std::make_unique<Impl>()) {
    impl_->path = path;
    // A file of a working directory is the one the run wrote there, never what a link leads to.
    const bool own = IsInWorkingDirectory(path);
    impl_->handle =
        CreateFileW(NativePath(path).wstring().c_str(), GENERIC_READ,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL | (own ? FILE_FLAG_OPEN_REPARSE_POINT : 0), nullptr);
    if (impl_->handle == INVALID_HANDLE_VALUE)
        throw IoError(path, "cannot open for reading: " + Reason(GetLastError()));
    BY_HANDLE_FILE_INFORMATION info{};
    if (own && GetFileInformationByHandle(impl_->handle, &info) &&
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        CloseHandle(impl_->handle);
        throw IoError(path, "is a link, not the file written there");
    }
    LARGE_INTEGER size{};
    if (GetFileType(impl_->handle) != FILE_TYPE_DISK ||
        !GetFileInformationByHandle(impl_->handle, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
        !GetFileSizeEx(impl_->handle, &size)) {
        CloseHandle(impl_->handle);
        throw IoError(path, "not a regular file");
    }
    impl_->size = size.QuadPart;
}

ReadOnlyFile::ReadOnlyFile(const FileRange& range) : ReadOnlyFile(range.path) {
    const Window window = WindowOf(range, impl_->size);
    impl_->start = window.start;
    impl_->size = window.size;
    impl_->bounded = true;
}

ReadOnlyFile::~ReadOnlyFile() {
    CloseHandle(impl_->handle);
}

const std::string& ReadOnlyFile::Path() const {
    return impl_->path;
}

std::int64_t ReadOnlyFile::Size() const {
    return impl_->size;
}

std::int64_t ReadOnlyFile::Start() const {
    return impl_->start;
}

std::intptr_t ReadOnlyFile::NativeHandle() const {
    return reinterpret_cast<std::intptr_t>(impl_->handle);
}

Bytes ReadOnlyFile::ReadAt(std::int64_t offset, std::size_t count) const {
    Bytes bytes(count);
    bytes.resize(ReadInto(offset, bytes));
    return bytes;
}

std::size_t ReadOnlyFile::ReadInto(std::int64_t offset, std::span<std::uint8_t> into) const {
    // Nothing past the end of a range, even where the file goes on.
    const std::size_t count =
        impl_->bounded ? static_cast<std::size_t>(std::clamp<std::int64_t>(
                             impl_->size - offset, 0, static_cast<std::int64_t>(into.size())))
                       : into.size();
    offset += impl_->start;
    std::size_t got = 0;
    while (got < count) {
        const std::int64_t at = offset + static_cast<std::int64_t>(got);
        OVERLAPPED where{};
        where.Offset = static_cast<DWORD>(static_cast<std::uint64_t>(at) & 0xffffffffu);
        where.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(at) >> 32);
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(count - got, 1u << 30));
        DWORD n = 0;
        if (!ReadFile(impl_->handle, into.data() + got, piece, &n, &where)) {
            const DWORD error = GetLastError();
            if (error == ERROR_HANDLE_EOF)
                break;
            throw IoError(impl_->path, "cannot read: " + Reason(error));
        }
        if (n == 0)
            break;
        got += n;
    }
    return got;
}

}  // namespace carconv
