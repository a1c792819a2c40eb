// Output files on Windows: file handles, so that every failure carries the system's reason. The
// mark of ownership is the open handle itself, which shares reading and writing but not deletion:
// a sweep that can delete the file knows that its owner has ended.

#include <windows.h>

#include <algorithm>
#include <system_error>
#include <utility>
#include <vector>

#include "files/errors.h"
#include "platform/file_system.h"
#include "platform/interruption.h"
#include "platform/output_file.h"

namespace carconv {

namespace {

std::string Reason(DWORD error) {
    return std::system_category().message(static_cast<int>(error));
}

std::wstring Wide(const std::string& path) {
    return NativePath(path).wstring();
}

}  // namespace

struct OutputFile::Impl {
    HANDLE handle = INVALID_HANDLE_VALUE;
    std::string path;
    std::string shownAs;
};

OutputFile::OutputFile(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

OutputFile::~OutputFile() {
    if (impl_ && impl_->handle != INVALID_HANDLE_VALUE)
        CloseHandle(impl_->handle);
}

std::unique_ptr<OutputFile> OutputFile::CreateNew(const std::string& path,
                                                  const std::string& shownAs) {
    HANDLE handle =
        CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
            return nullptr;
        throw IoError(shownAs, "cannot create: " + Reason(error));
    }
    auto impl = std::make_unique<Impl>();
    impl->handle = handle;
    impl->path = path;
    impl->shownAs = shownAs;
    return std::unique_ptr<OutputFile>(new OutputFile(std::move(impl)));
}

std::unique_ptr<OutputFile> OutputFile::OpenDevice(const std::string& path) {
    throw IoError(path, "not a device or pipe");
}

void OutputFile::Write(ByteSpan bytes) {
    const std::uint8_t* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(left, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(impl_->handle, data, piece, &written, nullptr))
            throw IoError(impl_->shownAs, "cannot write: " + Reason(GetLastError()));
        data += written;
        left -= written;
    }
}

std::int64_t OutputFile::Append(const std::string& source) {
    HANDLE in = CreateFileW(Wide(source).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (in == INVALID_HANDLE_VALUE)
        throw IoError(source, "cannot open for reading: " + Reason(GetLastError()));
    struct Closer {
        HANDLE handle;
        ~Closer() { CloseHandle(handle); }
    } closer{in};
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(in) != FILE_TYPE_DISK || !GetFileInformationByHandle(in, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        throw IoError(source, "not a regular file");
    }
    std::vector<std::uint8_t> buffer(std::size_t{1} << 20);
    std::int64_t total = 0;
    for (;;) {
        ThrowIfStopRequested();
        DWORD got = 0;
        if (!ReadFile(in, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr))
            throw IoError(source, "cannot read: " + Reason(GetLastError()));
        if (got == 0)
            return total;
        Write(ByteSpan(buffer).first(got));
        total += got;
    }
}

void OutputFile::Finish(const std::string& target) {
    CloseHandle(std::exchange(impl_->handle, INVALID_HANDLE_VALUE));
    if (target.empty())
        return;
    // Replaces an existing target in one step, as rename() does on POSIX systems.
    if (!MoveFileExW(Wide(impl_->path).c_str(), Wide(target).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        throw IoError(target, "cannot replace: " + Reason(GetLastError()));
    }
}

bool IsDeviceOrPipe(const std::string&) {
    // No device or pipe has a name in a Windows folder.
    return false;
}

bool OwnedByThisUser(const std::string&) {
    // The temporary folder is the user's own.
    return true;
}

bool RemoveIfAbandoned(const std::string& markPath, const std::function<void()>& remove) {
    const DWORD attributes = GetFileAttributesW(Wide(markPath).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) {
        return false;
    }
    // Deleting succeeds only when no live owner holds the file open.
    if (!DeleteFileW(Wide(markPath).c_str()))
        return false;
    remove();
    return true;
}

}  // namespace carconv
