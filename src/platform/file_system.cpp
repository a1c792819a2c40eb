#include "platform/file_system.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <optional>
#include <system_error>

#include <fmt/format.h>

#include "files/errors.h"
#include "platform/interruption.h"
#include "platform/temporary_path.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace carconv {

namespace fs = std::filesystem;

namespace {

// std::strerror may share one buffer between threads; the error category does not.
std::string ErrnoText() {
    return std::generic_category().message(errno);
}

}  // namespace

fs::path NativePath(const std::string& path) {
    // Paths are UTF-8 throughout the program; char8_t makes the conversion explicit on every
    // platform (on Windows it becomes a wide path).
    return fs::path(std::u8string(path.begin(), path.end()));
}

std::string PathString(const fs::path& path) {
    std::u8string s = path.u8string();
    return std::string(s.begin(), s.end());
}

std::string JoinPath(const std::string& dir, const std::string& name) {
    if (dir.empty())
        return name;
    const char last = dir.back();
    const bool separated = last == '/' || last == kPathSeparator;
    // One allocation: an archive joins a path for every member it unpacks.
    std::string joined;
    joined.reserve(dir.size() + (separated ? 0 : 1) + name.size());
    joined += dir;
    if (!separated)
        joined += kPathSeparator;
    joined += name;
    return joined;
}

// The reads below go through ReadOnlyFile: one way of opening, which takes regular files only and
// never reads a working directory's file through a link.

Bytes ReadWholeFile(const std::string& path) {
    const ReadOnlyFile in(path);
    if (in.Size() > std::int64_t{std::numeric_limits<std::int32_t>::max()})
        throw IoError(path, "file is too large (2 GiB or more)");
    const std::size_t size = static_cast<std::size_t>(in.Size());
    Bytes bytes = in.ReadAt(0, size);
    // A file that grew between measuring and reading is read as measured.
    if (bytes.size() != size)
        throw IoError(path, "file changed while it was read");
    return bytes;
}

Bytes ReadFilePrefix(const std::string& path, std::size_t count) {
    return ReadFilePrefix(FileRange{path}, count);
}

Bytes ReadFilePrefix(const FileRange& source, std::size_t count) {
    const ReadOnlyFile in(source);
    return in.ReadAt(0, static_cast<std::size_t>(
                            std::min<std::int64_t>(static_cast<std::int64_t>(count), in.Size())));
}

std::int64_t ReadFileInPieces(const std::string& path,
                              const std::function<void(ByteSpan piece)>& consume) {
    constexpr std::size_t kPieceSize = 1 << 20;
    const ReadOnlyFile in(path);
    std::int64_t total = 0;
    for (;;) {
        ThrowIfStopRequested();
        const Bytes piece = in.ReadAt(total, kPieceSize);
        if (piece.empty())
            break;
        consume(piece);
        total += static_cast<std::int64_t>(piece.size());
    }
    return total;
}

bool FileHolds(const std::string& path, ByteSpan bytes) {
    try {
        const ReadOnlyFile file(path);
        if (file.Size() != static_cast<std::int64_t>(bytes.size()))
            return false;
        const Bytes held = file.ReadAt(0, bytes.size());
        return std::equal(held.begin(), held.end(), bytes.begin(), bytes.end());
    } catch (const IoError&) {
        return false;
    }
}

std::int64_t FileSize(const std::string& path) {
#ifndef _WIN32
    // A regular file of a working directory is measured by one look at the name itself, which
    // also tells that it is not a link; anything else is named below.
    if (IsInWorkingDirectory(path)) {
        struct stat st {};
        if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            return static_cast<std::int64_t>(st.st_size);
    }
#endif
    std::error_code ec;
    // A working directory's file is measured as itself, never through a link (as it is read).
    if (IsInWorkingDirectory(path) && fs::is_symlink(fs::symlink_status(NativePath(path), ec)))
        throw IoError(path, "is a link, not the file written there");
    std::uintmax_t size = fs::file_size(NativePath(path), ec);
    if (ec) {
        // A pipe, device or directory has no size to measure, whatever the system calls that.
        std::error_code statusError;
        const fs::file_status status = fs::status(NativePath(path), statusError);
        if (!statusError && fs::exists(status) && !fs::is_regular_file(status))
            throw IoError(path, "not a regular file");
        throw IoError(path, "cannot measure: " + ec.message());
    }
    return static_cast<std::int64_t>(size);
}

void WriteWholeFile(const std::string& path, ByteSpan bytes) {
    errno = 0;
    std::ofstream out(NativePath(path), std::ios::binary | std::ios::trunc);
    if (!out)
        throw IoError(path, "cannot create: " + ErrnoText());
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out)
        throw IoError(path, "cannot write: " + ErrnoText());
}

void CreateDirectories(const std::string& path) {
    std::error_code ec;
    fs::create_directories(NativePath(path), ec);
    if (ec)
        throw IoError(path, "cannot create directory: " + ec.message());
}

bool IsDirectory(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(NativePath(path), ec);
}

bool IsRegularFile(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(NativePath(path), ec);
}

std::string CurrentDirectory() {
    std::error_code ec;
    fs::path cwd = fs::current_path(ec);
    if (ec)
        throw IoError(".", "cannot determine the current directory: " + ec.message());
    std::string dir = PathString(cwd);
    if (dir.empty() || (dir.back() != kPathSeparator && dir.back() != '/'))
        dir += kPathSeparator;
    return dir;
}

std::string TemporaryDirectory() {
    std::error_code ec;
#ifdef _WIN32
    fs::path tmp = fs::temp_directory_path(ec);
    if (!ec)
        return PathString(tmp);
    // The message names the folder that was asked for, as the standard library looked for it.
    std::string named;
    std::wstring buffer(MAX_PATH + 1, L'\0');
    const DWORD length = GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length > 0 && length < buffer.size())
        named = PathString(fs::path(buffer.substr(0, length)));
    throw IoError(named, "cannot use as the temporary directory: " + ec.message());
#else
    // The variables the standard library reads, in its order, but an empty one counts as unset
    // (the standard library would take it for a folder named "").
    std::string named = "/tmp";
    for (const char* variable : {"TMPDIR", "TMP", "TEMP", "TEMPDIR"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            named = value;
            break;
        }
    }
    const fs::file_status status = fs::status(NativePath(named), ec);
    if (fs::is_directory(status))
        return named;
    throw IoError(named, "cannot use as the temporary directory: " +
                             (ec                   ? ec.message()
                              : fs::exists(status) ? std::string("Not a directory")
                                                   : std::string("No such file or directory")));
#endif
}

}  // namespace carconv

namespace carconv {

bool IsHexDigits(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

namespace {

// FNV-1a of the name with ASCII letters in lower case: the same target, however a file system that
// ignores letter case is asked for it, gives the same temporary names.
std::uint32_t TargetNameHash(const std::string& name) {
    std::uint32_t hash = 2166136261u;
    for (char c : name) {
        const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        hash = (hash ^ static_cast<std::uint8_t>(lower)) * 16777619u;
    }
    return hash;
}

// kTemporaryFilePrefix, the hash of `targetName` and '-': what every temporary file of that target
// begins with.
std::string TemporaryStem(const std::string& targetName) {
    return fmt::format("{}{:08x}-", kTemporaryFilePrefix, TargetNameHash(targetName));
}

constexpr std::size_t kRandomDigits = 16;

// The target's directory, as a path the directory search and JoinPath take.
std::string DirectoryOf(const std::string& target) {
    return PathString(NativePath(target).parent_path());
}

std::string FileNameOf(const std::string& target) {
    return PathString(NativePath(target).filename());
}

constexpr int kTemporaryNameAttempts = 100;

// A fresh temporary file name in the directory of `target`, for writing `target`.
std::string TemporaryNameBeside(const std::string& target) {
    static std::atomic<unsigned> counter{0};
    const std::uint64_t unique = FreshNameBits() ^ counter.fetch_add(1);
    return JoinPath(DirectoryOf(target),
                    fmt::format("{}{:016x}{}", TemporaryStem(FileNameOf(target)), unique,
                                kTemporaryFileSuffix));
}

// Replaces `to` by a hard link to `from`, made under a temporary name beside `to` and renamed
// over it. False, with nothing changed, where the file system has no links between the two.
bool LinkReplace(const std::string& from, const std::string& to) {
    std::error_code ec;
    // Renaming a name over another of the same file would leave both names.
    if (fs::equivalent(NativePath(from), NativePath(to), ec))
        return true;
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        const std::string temporary = TemporaryNameBeside(to);
        LinkResult result = LinkResult::kUnsupported;
        TemporaryPath link = TemporaryPath::Create(temporary, TemporaryPath::Kind::kFile, [&]() {
            result = LinkFile(from, temporary);
            return result == LinkResult::kLinked;
        });
        if (result == LinkResult::kUnsupported)
            return false;
        if (!link)
            continue;
        RenameOver(temporary, to);
        link.Keep();
        return true;
    }
    throw IoError(to, "cannot choose a temporary file name");
}

}  // namespace

void CopyFileReplace(const std::string& from, const std::string& to) {
    const ReadOnlyFile in(from);
    AtomicFileWriter out(to);
    if (!out.CloneFrom(in))
        out.AppendRange(in, 0, in.Size());
    out.Commit();
}

void ShareFileReplace(const std::string& from, const std::string& to) {
    // A free name takes a link at once: link() makes the name only where none is, never through a
    // link of the same name, and costs neither a file nor a rename. Whatever stops it (a taken
    // name, a missing source) is left to the ways below, which say what is wrong.
    try {
        if (LinkFile(from, to) == LinkResult::kLinked)
            return;
    } catch (const IoError&) {
    }
    const ReadOnlyFile in(from);
    std::optional<AtomicFileWriter> out(std::in_place, to);
    if (!out->CloneFrom(in)) {
        // The file made for the clone goes before a link takes the name: a writer that made its
        // target in place removes it when it goes uncommitted.
        out.reset();
        if (LinkReplace(from, to))
            return;
        out.emplace(to);
        out->AppendRange(in, 0, in.Size());
    }
    out->Commit();
}

AtomicFileWriter::AtomicFileWriter(std::string target, Devices devices)
    : target_(std::move(target)) {
    // The program's own files are its user's alone; what the user asked for gets the usual mode.
    const bool own = IsInWorkingDirectory(target_);
    const Access access = own ? Access::kPrivate : Access::kShared;
    // A name of a working directory is mostly new: the exclusive open that creates it refuses
    // whatever has the name (a file, a link, a directory, a device), so the name is looked at only
    // when that open fails, and then as for any target, which names the problem as before.
    if (own) {
        try {
            out_ = OutputFile::CreateInOwnDirectory(target_, target_, access);
        } catch (const IoError&) {
        }
        if (out_) {
            inPlace_ = true;
            return;
        }
    }
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(NativePath(target_), ec);
    if (fs::is_directory(status))
        throw IoError(target_, "is a directory");
    if (IsDeviceOrPipe(target_)) {
        if (devices != Devices::kWriteInto)
            throw IoError(target_, "is a device or pipe, not a file");
        out_ = OutputFile::OpenDevice(target_);
        return;
    }
    if (fs::is_symlink(status)) {
        const fs::file_status leadsTo = fs::status(NativePath(target_), ec);
        if (fs::is_character_file(leadsTo) || fs::is_block_file(leadsTo) || fs::is_fifo(leadsTo))
            throw IoError(target_, "is a link to a device or pipe; name the device itself");
    }

    if (own && status.type() == fs::file_type::not_found) {
        out_ = OutputFile::CreateInOwnDirectory(target_, target_, access);
        inPlace_ = out_ != nullptr;
    }
    for (int attempt = 0; attempt < kTemporaryNameAttempts && !out_; ++attempt) {
        const std::string temporary = TemporaryNameBeside(target_);
        temporary_ = TemporaryPath::Create(temporary, TemporaryPath::Kind::kFile, [&]() {
            out_ = OutputFile::CreateNew(temporary, target_, access);
            return out_ != nullptr;
        });
    }
    if (!out_)
        throw IoError(target_, "cannot choose a temporary file name");
}

AtomicFileWriter::~AtomicFileWriter() {
    // Closed before it is removed: Windows cannot delete an open file.
    out_.reset();
    if (inPlace_) {
        std::error_code ec;
        fs::remove(NativePath(target_), ec);
    }
}

void AtomicFileWriter::Write(ByteSpan bytes) {
    out_->Write(bytes);
    written_ += static_cast<std::int64_t>(bytes.size());
}

void AtomicFileWriter::WriteAt(std::int64_t offset, ByteSpan bytes) {
    out_->WriteAt(offset, bytes);
    written_ = std::max(written_, offset + static_cast<std::int64_t>(bytes.size()));
}

void AtomicFileWriter::Append(const std::string& source) {
    written_ += out_->Append(source);
}

void AtomicFileWriter::AppendRange(const ReadOnlyFile& source, std::int64_t offset,
                                   std::int64_t count, CopyWay way, std::size_t chunk) {
    written_ += out_->AppendRange(source, offset, count, way, chunk);
}

bool AtomicFileWriter::CloneFrom(const ReadOnlyFile& source) {
    if (written_ != 0 || !out_->CloneFrom(source))
        return false;
    written_ = source.Size();
    return true;
}

void AtomicFileWriter::Commit() {
    out_->Finish(temporary_ ? target_ : std::string());
    temporary_.Keep();
    out_.reset();
    inPlace_ = false;
}

void WriteFileAtomically(const std::string& path, ByteSpan bytes) {
    AtomicFileWriter writer(path);
    writer.Write(bytes);
    writer.Commit();
}

void SweepAbandonedTemporaries(const std::string& directory) {
    std::vector<DirectoryEntry> entries;
    try {
        entries = SearchDirectory(directory.empty() ? std::string(".") : directory);
    } catch (const IoError&) {
        return;
    }
    // The prefix, the target's hash, '-', the random digits and the suffix.
    constexpr std::size_t kHashDigits = 8;
    const std::size_t stemLength = kTemporaryFilePrefix.size() + kHashDigits + 1;
    const std::size_t nameLength = stemLength + kRandomDigits + kTemporaryFileSuffix.size();
    for (const DirectoryEntry& entry : entries) {
        const std::string_view name = entry.name;
        if (entry.kind != DirectoryEntry::Kind::kFile || name.size() != nameLength ||
            name.substr(0, kTemporaryFilePrefix.size()) != kTemporaryFilePrefix ||
            !IsHexDigits(name.substr(kTemporaryFilePrefix.size(), kHashDigits)) ||
            name[stemLength - 1] != '-' || !IsHexDigits(name.substr(stemLength, kRandomDigits)) ||
            name.substr(nameLength - kTemporaryFileSuffix.size()) != kTemporaryFileSuffix) {
            continue;
        }
        const std::string path = JoinPath(directory, entry.name);
        RemoveIfAbandoned(path, [&path]() {
            std::error_code ec;
            fs::remove(NativePath(path), ec);
        });
    }
}

void SweepAbandonedTemporariesBeside(const std::string& target) {
    SweepAbandonedTemporaries(DirectoryOf(target));
}

}  // namespace carconv
