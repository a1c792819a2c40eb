#include "platform/file_system.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <random>
#include <system_error>

#include <fmt/format.h>

#include "files/errors.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
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
    char last = dir.back();
    if (last == '/' || last == kPathSeparator)
        return dir + name;
    return dir + kPathSeparator + name;
}

Bytes ReadWholeFile(const std::string& path) {
    errno = 0;
    std::ifstream in(NativePath(path), std::ios::binary);
    if (!in)
        throw IoError(path, "cannot open for reading: " + ErrnoText());
    std::error_code ec;
    std::uintmax_t size = fs::file_size(NativePath(path), ec);
    if (ec)
        throw IoError(path, "cannot read: " + ec.message());
    if (size > static_cast<std::uintmax_t>(std::numeric_limits<std::int32_t>::max())) {
        throw IoError(path, "file is too large (2 GiB or more)");
    }
    Bytes bytes(static_cast<std::size_t>(size));
    if (size > 0 && !in.read(reinterpret_cast<char*>(bytes.data()),
                             static_cast<std::streamsize>(bytes.size()))) {
        throw IoError(path, "cannot read: " + ErrnoText());
    }
    // A file that grew between measuring and reading is read as measured; one that shrank fails
    // above.
    return bytes;
}

Bytes ReadFilePrefix(const std::string& path, std::size_t count) {
    errno = 0;
    std::ifstream in(NativePath(path), std::ios::binary);
    if (!in)
        throw IoError(path, "cannot open for reading: " + ErrnoText());
    Bytes bytes(count);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
    if (in.bad())
        throw IoError(path, "cannot read: " + ErrnoText());
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

std::int64_t ReadFileInPieces(const std::string& path,
                              const std::function<void(ByteSpan piece)>& consume) {
    constexpr std::size_t kPieceSize = 1 << 20;
    errno = 0;
    std::ifstream in(NativePath(path), std::ios::binary);
    if (!in)
        throw IoError(path, "cannot open for reading: " + ErrnoText());
    Bytes piece(kPieceSize);
    std::int64_t total = 0;
    while (in) {
        in.read(reinterpret_cast<char*>(piece.data()), static_cast<std::streamsize>(piece.size()));
        if (in.bad())
            throw IoError(path, "cannot read: " + ErrnoText());
        const auto got = static_cast<std::size_t>(in.gcount());
        if (got == 0)
            break;
        consume(ByteSpan(piece).first(got));
        total += static_cast<std::int64_t>(got);
    }
    return total;
}

std::int64_t FileSize(const std::string& path) {
    std::error_code ec;
    std::uintmax_t size = fs::file_size(NativePath(path), ec);
    if (ec)
        throw IoError(path, "cannot measure: " + ec.message());
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

void CopyFileReplace(const std::string& from, const std::string& to) {
#ifdef _WIN32
    // The standard library's copy_file refuses to replace an existing file here, whatever the
    // options say; CopyFileW replaces it.
    if (!CopyFileW(NativePath(from).c_str(), NativePath(to).c_str(), FALSE)) {
        std::error_code ec(static_cast<int>(GetLastError()), std::system_category());
        throw IoError(from, "cannot copy to " + to + ": " + ec.message());
    }
#else
    std::error_code ec;
    fs::copy_file(NativePath(from), NativePath(to), fs::copy_options::overwrite_existing, ec);
    if (ec)
        throw IoError(from, "cannot copy to " + to + ": " + ec.message());
#endif
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
    fs::path tmp = fs::temp_directory_path(ec);
    if (ec)
        throw IoError("(temporary directory)", ec.message());
    return PathString(tmp);
}

}  // namespace carconv

namespace carconv {

struct AtomicFileWriter::Impl {
    std::FILE* out = nullptr;
};

namespace {

// Creates `path` for writing; fails, with errno EEXIST, when anything of that name exists, a link
// included.
std::FILE* CreateExclusively(const std::string& path) {
#ifdef _WIN32
    int fd =
        _wopen(NativePath(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
               _S_IREAD | _S_IWRITE);
    if (fd < 0)
        return nullptr;
    std::FILE* file = _fdopen(fd, "wb");
    if (file == nullptr)
        _close(fd);
#else
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return nullptr;
    std::FILE* file = fdopen(fd, "wb");
    if (file == nullptr)
        close(fd);
#endif
    return file;
}

}  // namespace

AtomicFileWriter::AtomicFileWriter(std::string target)
    : target_(std::move(target)), impl_(new Impl) {
    static std::atomic<unsigned> counter{0};
    std::random_device device;
    const std::string directory = PathString(NativePath(target_).parent_path());
    for (int attempt = 0; attempt < 100 && impl_->out == nullptr; ++attempt) {
        const std::uint64_t unique =
            (std::uint64_t{device()} << 32 | device()) ^ counter.fetch_add(1);
        temporary_ = JoinPath(directory, fmt::format("{}{:016x}{}", kTemporaryFilePrefix, unique,
                                                     kTemporaryFileSuffix));
        errno = 0;
        impl_->out = CreateExclusively(temporary_);
        if (impl_->out == nullptr && errno != EEXIST) {
            std::string reason = ErrnoText();
            delete impl_;
            throw IoError(target_, "cannot create: " + reason);
        }
    }
    if (impl_->out == nullptr) {
        delete impl_;
        throw IoError(target_, "cannot choose a temporary file name");
    }
}

AtomicFileWriter::~AtomicFileWriter() {
    if (impl_ != nullptr) {
        if (impl_->out != nullptr)
            std::fclose(impl_->out);
        std::error_code ec;
        fs::remove(NativePath(temporary_), ec);
        delete impl_;
    }
}

void AtomicFileWriter::Write(ByteSpan bytes) {
    errno = 0;
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), impl_->out) != bytes.size())
        throw IoError(target_, "cannot write: " + ErrnoText());
    written_ += static_cast<std::int64_t>(bytes.size());
}

void AtomicFileWriter::Commit() {
    errno = 0;
    const int closed = std::fclose(impl_->out);
    impl_->out = nullptr;
    if (closed != 0)
        throw IoError(target_, "cannot write: " + ErrnoText());
    std::error_code ec;
#ifdef _WIN32
    // Replaces an existing target in one step, as rename() does on POSIX systems.
    if (!MoveFileExW(NativePath(temporary_).c_str(), NativePath(target_).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ec.assign(static_cast<int>(GetLastError()), std::system_category());
    }
#else
    fs::rename(NativePath(temporary_), NativePath(target_), ec);
#endif
    if (ec)
        throw IoError(target_, "cannot replace: " + ec.message());
    delete impl_;
    impl_ = nullptr;
}

void WriteFileAtomically(const std::string& path, ByteSpan bytes) {
    AtomicFileWriter writer(path);
    writer.Write(bytes);
    writer.Commit();
}

}  // namespace carconv
