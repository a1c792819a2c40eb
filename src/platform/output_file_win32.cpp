// Output files on Windows: file handles, so that every failure carries the system's reason. The
// mark of ownership is the open handle itself, which shares reading and writing but not deletion:
// a sweep that can delete the file knows that its owner has ended.

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include <fmt/format.h>

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

// A new file takes the access of its folder: the user's temporary folder is the user's own.
std::unique_ptr<OutputFile> OutputFile::CreateNew(const std::string& path,
                                                  const std::string& shownAs, Access) {
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

std::unique_ptr<OutputFile> OutputFile::CreateInOwnDirectory(const std::string& path,
                                                             const std::string& shownAs,
                                                             Access access) {
    return CreateNew(path, shownAs, access);
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

// An OVERLAPPED offset on a synchronous handle moves the file pointer past what it wrote: it is
// put back, so that Write goes on where it was.
void OutputFile::WriteAt(std::int64_t offset, ByteSpan bytes) {
    LARGE_INTEGER none{};
    LARGE_INTEGER position{};
    if (!SetFilePointerEx(impl_->handle, none, &position, FILE_CURRENT))
        throw IoError(impl_->shownAs, "cannot write: " + Reason(GetLastError()));
    const std::uint8_t* data = bytes.data();
    std::size_t left = bytes.size();
    auto at = static_cast<std::uint64_t>(offset);
    while (left > 0) {
        OVERLAPPED where{};
        where.Offset = static_cast<DWORD>(at & 0xffffffffu);
        where.OffsetHigh = static_cast<DWORD>(at >> 32);
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(left, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(impl_->handle, data, piece, &written, &where))
            throw IoError(impl_->shownAs, "cannot write: " + Reason(GetLastError()));
        data += written;
        at += written;
        left -= written;
    }
    if (!SetFilePointerEx(impl_->handle, position, nullptr, FILE_BEGIN))
        throw IoError(impl_->shownAs, "cannot write: " + Reason(GetLastError()));
}

std::int64_t OutputFile::Append(const std::string& source) {
    const ReadOnlyFile in(source);
    return AppendRange(in, 0, in.Size());
}

std::int64_t OutputFile::AppendRange(const ReadOnlyFile& source, std::int64_t offset,
                                     std::int64_t count, CopyWay /*way*/, std::size_t chunk) {
    // Windows has no copy between two open files in the kernel: always a piece at a time.
    std::int64_t done = 0;
    while (done < count) {
        ThrowIfStopRequested();
        const Bytes piece =
            source.ReadAt(offset + done, static_cast<std::size_t>(std::min<std::int64_t>(
                                             count - done, static_cast<std::int64_t>(chunk))));
        if (piece.empty()) {
            throw IoError(source.Path(),
                          fmt::format("ends at byte {}, before the {} bytes from offset {} were "
                                      "copied",
                                      offset + done, count, offset));
        }
        Write(piece);
        done += static_cast<std::int64_t>(piece.size());
    }
    return count;
}

bool OutputFile::CloneFrom(const ReadOnlyFile& /*source*/) {
    return false;
}

void OutputFile::Finish(const std::string& target) {
    CloseHandle(std::exchange(impl_->handle, INVALID_HANDLE_VALUE));
    if (target.empty())
        return;
    RenameOver(impl_->path, target);
}

void RenameOver(const std::string& from, const std::string& to) {
    // Replaces an existing target in one step, as rename() does on POSIX systems.
    if (!MoveFileExW(Wide(from).c_str(), Wide(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        throw IoError(to, "cannot replace: " + Reason(GetLastError()));
    }
}

LinkResult LinkFile(const std::string& existing, const std::string& link) {
    if (CreateHardLinkW(Wide(link).c_str(), Wide(existing).c_str(), nullptr))
        return LinkResult::kLinked;
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)
        return LinkResult::kNameTaken;
    // Other volumes, file systems without links (FAT), too many links, or refused outright.
    return LinkResult::kUnsupported;
}

bool IsDeviceOrPipe(const std::string&) {
    // No device or pipe has a name in a Windows folder.
    return false;
}

bool CreatePrivateDirectory(const std::string& path) {
    // The new directory inherits the access of the user's own temporary folder.
    if (CreateDirectoryW(Wide(path).c_str(), nullptr))
        return true;
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)
        return false;
    throw IoError(path, "cannot create directory: " + Reason(error));
}

std::error_code RemoveTree(const std::string& path) {
    // remove_all deletes links themselves and never descends through them.
    std::error_code ec;
    std::filesystem::remove_all(NativePath(path), ec);
    if (ec)
        return ec;
    std::error_code lookup;
    if (std::filesystem::symlink_status(NativePath(path), lookup).type() !=
        std::filesystem::file_type::not_found)
        return lookup ? lookup : std::make_error_code(std::errc::directory_not_empty);
    return {};
}

std::error_code RemoveContent(const std::string& path) {
    std::error_code ec;
    std::filesystem::directory_iterator entries(NativePath(path), ec);
    std::error_code first = ec;
    for (; !ec && entries != std::filesystem::directory_iterator(); entries.increment(ec)) {
        const std::error_code removed = RemoveTree(PathString(entries->path()));
        if (removed && !first)
            first = removed;
    }
    return first ? first : ec;
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
