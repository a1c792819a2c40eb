// Output files on POSIX systems: raw descriptors, so that every failure carries errno; the mark of
// ownership is a shared flock, which a sweep can take exclusively only once its owner has ended.

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <memory>
#include <span>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "files/errors.h"
#include "platform/interruption.h"
#include "platform/output_file.h"

namespace carconv {

namespace {

std::string Reason(int error) {
    return std::generic_category().message(error);
}

// Closes a descriptor when it goes.
class Descriptor {
  public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() { Reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }
    int Release() { return std::exchange(fd_, -1); }
    void Reset(int fd = -1) {
        if (fd_ >= 0)
            close(fd_);
        fd_ = fd;
    }

  private:
    int fd_;
};

bool IsDeviceOrPipeMode(mode_t mode) {
    return S_ISCHR(mode) || S_ISBLK(mode) || S_ISFIFO(mode);
}

// Whether the process's umask, as the kernel reports it without changing it, leaves the owner's
// bits alone; false where it does not tell. umask() itself cannot ask: between setting and
// restoring it, another thread would create its files with the wrong one.
bool UmaskKeepsOwnerBits() {
    std::FILE* status = std::fopen("/proc/self/status", "re");
    if (status == nullptr)
        return false;
    char line[256];
    bool keeps = false;
    while (std::fgets(line, sizeof line, status) != nullptr) {
        unsigned mask = 0;
        if (std::sscanf(line, "Umask: %o", &mask) == 1) {
            keeps = (mask & 0700) == 0;
            break;
        }
    }
    std::fclose(status);
    return keeps;
}

// Whether a new file or directory that this program creates for itself in a private directory
// gets exactly the mode it asks for (0600, 0700), so that no chmod needs to follow: while the
// umask leaves the owner's bits alone (it can only take bits away, and the group's and the
// others' are not asked for) and no private directory made so far inherited a default ACL (which
// replaces the umask and may take the owner's bits). The umask is read once, at the first use:
// the program never changes it.
std::atomic<bool>& PrivateModesExact() {
    static std::atomic<bool> exact{UmaskKeepsOwnerBits()};
    return exact;
}

// Gives the new file or directory `fd` exactly `mode`, where its creation may not have.
bool MakeExact(int fd, mode_t mode) {
    return PrivateModesExact().load() || fchmod(fd, mode) == 0;
}

// How long a FIFO without a reader is asked again whether one has come.
constexpr std::chrono::milliseconds kReaderPoll{50};
// Pieces of a copy in the kernel: a check for an interruption between two.
constexpr std::size_t kKernelPiece = std::size_t{8} << 20;
// The page of the kernel's copies: a multiple of the blocks file systems share.
constexpr std::int64_t kPageSize = 4096;

// Writes all of `bytes` at the descriptor's position: 0, or the errno of the write that failed.
int WriteAll(int fd, ByteSpan bytes) {
    const std::uint8_t* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t written = write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    return 0;
}

// The buffer of this thread's copies through memory, `bytes` long: kept from one copy to the next
// and never filled before use. A package's members are copied one after another, and a fresh buffer
// for each cost filling it, faulting its pages in and, in a process of several threads, taking
// them back from every processor when it was freed.
std::span<std::uint8_t> CopyBuffer(std::size_t bytes) {
    thread_local std::unique_ptr<std::uint8_t[]> buffer;
    thread_local std::size_t capacity = 0;
    if (capacity < bytes) {
        buffer.reset();
        capacity = 0;
        buffer = std::make_unique_for_overwrite<std::uint8_t[]>(bytes);
        capacity = bytes;
    }
    return {buffer.get(), bytes};
}

}  // namespace

struct OutputFile::Impl {
    int fd = -1;
    std::string path;
    std::string shownAs;
    bool owned = false;
};

OutputFile::OutputFile(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

OutputFile::~OutputFile() {
    if (impl_ && impl_->fd >= 0)
        close(impl_->fd);
}

std::unique_ptr<OutputFile> OutputFile::CreateNew(const std::string& path,
                                                  const std::string& shownAs, Access access) {
    const mode_t mode = access == Access::kPrivate ? 0600 : 0666;
    Descriptor fd(open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    if (fd.Get() < 0) {
        if (errno == EEXIST)
            return nullptr;
        throw IoError(shownAs, "cannot create: " + Reason(errno));
    }
    // A sweep that found the file before it was marked holds it exclusively, or has removed it
    // already: the name is given up. A file system without locks leaves the file unmarked, which
    // no sweep then removes either.
    if (flock(fd.Get(), LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        return nullptr;
    struct stat st {};
    if (fstat(fd.Get(), &st) != 0 || st.st_nlink == 0)
        return nullptr;
    // The umask or a default ACL can only take bits away; a private file gets exactly its mode.
    if (access == Access::kPrivate && (st.st_mode & 07777) != mode && fchmod(fd.Get(), mode) != 0)
        throw IoError(shownAs, "cannot create: " + Reason(errno));
    auto impl = std::make_unique<Impl>();
    impl->fd = fd.Release();
    impl->path = path;
    impl->shownAs = shownAs;
    impl->owned = true;
    return std::unique_ptr<OutputFile>(new OutputFile(std::move(impl)));
}

std::unique_ptr<OutputFile> OutputFile::CreateInOwnDirectory(const std::string& path,
                                                             const std::string& shownAs,
                                                             Access access) {
    const mode_t mode = access == Access::kPrivate ? 0600 : 0666;
    Descriptor fd(open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    if (fd.Get() < 0) {
        if (errno == EEXIST)
            return nullptr;
        throw IoError(shownAs, "cannot create: " + Reason(errno));
    }
    if (access == Access::kPrivate && !MakeExact(fd.Get(), mode))
        throw IoError(shownAs, "cannot create: " + Reason(errno));
    auto impl = std::make_unique<Impl>();
    impl->fd = fd.Release();
    impl->path = path;
    impl->shownAs = shownAs;
    return std::unique_ptr<OutputFile>(new OutputFile(std::move(impl)));
}

std::unique_ptr<OutputFile> OutputFile::OpenDevice(const std::string& path) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0)
        throw IoError(path, "cannot open for writing: " + Reason(errno));
    if (!IsDeviceOrPipeMode(st.st_mode))
        throw IoError(path, "not a device or pipe");
    Descriptor fd;
    for (;;) {
        // Without O_NONBLOCK a FIFO would hold the run in open() until a reader comes, deaf to
        // an interruption.
        fd.Reset(open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (fd.Get() >= 0)
            break;
        if (errno == EINTR)
            continue;
        if (errno != ENXIO || !S_ISFIFO(st.st_mode))
            throw IoError(path, "cannot open for writing: " + Reason(errno));
        ThrowIfStopRequested();
        std::this_thread::sleep_for(kReaderPoll);
    }
    if (fstat(fd.Get(), &st) != 0 || !IsDeviceOrPipeMode(st.st_mode))
        throw IoError(path, "not a device or pipe");
    const int flags = fcntl(fd.Get(), F_GETFL);
    if (flags < 0 || fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
        throw IoError(path, "cannot open for writing: " + Reason(errno));
    auto impl = std::make_unique<Impl>();
    impl->fd = fd.Release();
    impl->path = path;
    impl->shownAs = path;
    return std::unique_ptr<OutputFile>(new OutputFile(std::move(impl)));
}

void OutputFile::Write(ByteSpan bytes) {
    if (const int error = WriteAll(impl_->fd, bytes))
        throw IoError(impl_->shownAs, "cannot write: " + Reason(error));
}

void OutputFile::WriteAt(std::int64_t offset, ByteSpan bytes) {
    const std::uint8_t* data = bytes.data();
    std::size_t left = bytes.size();
    off_t at = static_cast<off_t>(offset);
    while (left > 0) {
        const ssize_t written = pwrite(impl_->fd, data, left, at);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            throw IoError(impl_->shownAs, "cannot write: " + Reason(errno));
        }
        data += written;
        at += written;
        left -= static_cast<std::size_t>(written);
    }
}

std::int64_t OutputFile::Append(const std::string& source) {
    const ReadOnlyFile in(source);
    return AppendRange(in, 0, in.Size());
}

std::int64_t OutputFile::AppendRange(const ReadOnlyFile& source, std::int64_t offset,
                                     std::int64_t count, CopyWay way, std::size_t chunk) {
    const int in = static_cast<int>(source.NativeHandle());
    // The descriptor's positions: a range of a file starts further in.
    off_t at = static_cast<off_t>(source.Start() + offset);
    std::int64_t left = count;
    auto endedEarly = [&]() {
        return IoError(
            source.Path(),
            fmt::format("ends at byte {}, before the {} bytes from offset {} were copied",
                        static_cast<std::int64_t>(at) - source.Start(), count, offset));
    };
    // Nothing is copied from past the size measured at opening (the end of a range).
    if (offset < 0 || count > source.Size() - offset) {
        at = static_cast<off_t>(source.Start() + source.Size());
        throw endedEarly();
    }
    auto failed = [&](int error) {
        return IoError(source.Path(), "cannot copy to " + impl_->shownAs + ": " + Reason(error));
    };
    // Not between these two files (other file systems, a device, older kernels): the next way.
    auto unsupported = [](int error) {
        return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP;
    };
    // Copies by `call` in the kernel while it can; false when it cannot between these two files,
    // and the next way takes over where it stopped.
    auto inKernel = [&](auto call) {
        while (left > 0) {
            ThrowIfStopRequested();
            const ssize_t copied = call(static_cast<std::size_t>(
                std::min<std::int64_t>(left, static_cast<std::int64_t>(kKernelPiece))));
            if (copied > 0)
                left -= copied;
            else if (copied == 0)
                throw endedEarly();
            else if (errno == EINTR)
                continue;
            else if (unsupported(errno))
                return false;
            else
                throw failed(errno);
        }
        return true;
    };
    // `bytes` of the range a bounded piece at a time, through a buffer of no more than they need.
    std::span<std::uint8_t> buffer;
    auto throughBuffer = [&](std::int64_t bytes) {
        const auto wanted = static_cast<std::size_t>(
            std::min<std::int64_t>(bytes, static_cast<std::int64_t>(chunk)));
        if (buffer.size() < wanted)
            buffer = CopyBuffer(wanted);
        while (bytes > 0) {
            ThrowIfStopRequested();
            const ssize_t got = pread(in, buffer.data(),
                                      static_cast<std::size_t>(std::min<std::int64_t>(
                                          bytes, static_cast<std::int64_t>(buffer.size()))),
                                      at);
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                throw IoError(source.Path(), "cannot read: " + Reason(errno));
            }
            if (got == 0)
                throw endedEarly();
            // A failure names both files, as the kernel's copy does.
            if (const int error = WriteAll(
                    impl_->fd, ByteSpan(buffer).first(static_cast<std::size_t>(got))))
                throw failed(error);
            at += got;
            left -= got;
            bytes -= got;
        }
    };
    if (way == CopyWay::kFastest) {
        // The kernel copies whole pages fast, and shares blocks only between offsets on block
        // boundaries; a range that starts inside a page on either side it copies more slowly than
        // a buffer does (a third more time for a range of a package, where members lie at any
        // offset). Through the buffer, then, up to where both sides lie on a page boundary, and
        // all of it when they never do.
        const off_t position = lseek(impl_->fd, 0, SEEK_CUR);
        if (position >= 0) {
            const std::int64_t fromPage = at % kPageSize;
            if (fromPage != position % kPageSize)
                throughBuffer(left);
            else if (fromPage != 0)
                throughBuffer(std::min<std::int64_t>(left, kPageSize - fromPage));
        }
        // Where the file system can, by sharing blocks.
        if (inKernel([&](std::size_t piece) {
                return copy_file_range(in, &at, impl_->fd, nullptr, piece, 0);
            }))
            return count;
    }
    // Also into a pipe or a device.
    if (way != CopyWay::kChunks &&
        inKernel([&](std::size_t piece) { return sendfile(impl_->fd, in, &at, piece); }))
        return count;
    throughBuffer(left);
    return count;
}

bool OutputFile::CloneFrom(const ReadOnlyFile& source) {
    // A clone takes the whole file: not for a range of it.
    if (source.Start() != 0)
        return false;
    return ioctl(impl_->fd, FICLONE, static_cast<int>(source.NativeHandle())) == 0;
}

void OutputFile::Finish(const std::string& target) {
    if (impl_->owned && !target.empty()) {
        // A second descriptor keeps the mark while the first is closed (which reports what a
        // network file system could not write) and until the file has its final name.
        Descriptor keep(open(impl_->path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        if (keep.Get() >= 0)
            flock(keep.Get(), LOCK_SH | LOCK_NB);
        if (close(std::exchange(impl_->fd, -1)) != 0)
            throw IoError(impl_->shownAs, "cannot write: " + Reason(errno));
        RenameOver(impl_->path, target);
        return;
    }
    if (close(std::exchange(impl_->fd, -1)) != 0)
        throw IoError(impl_->shownAs, "cannot write: " + Reason(errno));
}

void RenameOver(const std::string& from, const std::string& to) {
    if (rename(from.c_str(), to.c_str()) != 0)
        throw IoError(to, "cannot replace: " + Reason(errno));
}

LinkResult LinkFile(const std::string& existing, const std::string& link) {
    if (::link(existing.c_str(), link.c_str()) == 0)
        return LinkResult::kLinked;
    switch (errno) {
        case EEXIST:
            return LinkResult::kNameTaken;
        case EXDEV:
        case EPERM:
        case EMLINK:
        case ENOSYS:
        case EOPNOTSUPP:
            return LinkResult::kUnsupported;
        default:
            throw IoError(link, "cannot link to " + existing + ": " + Reason(errno));
    }
}

bool CreatePrivateDirectory(const std::string& path) {
    constexpr mode_t kMode = 0700;
    if (mkdir(path.c_str(), kMode) != 0) {
        if (errno == EEXIST)
            return false;
        throw IoError(path, "cannot create directory: " + Reason(errno));
    }
    // Checked and set on the directory just made, never on what its name might lead to by now.
    errno = 0;
    Descriptor fd(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (fd.Get() < 0 || fstat(fd.Get(), &st) != 0 || !S_ISDIR(st.st_mode) ||
        st.st_uid != geteuid() || ((st.st_mode & 07777) != kMode && fchmod(fd.Get(), kMode) != 0)) {
        const int error = errno;
        rmdir(path.c_str());
        throw IoError(path, "cannot create directory: " + Reason(error != 0 ? error : EPERM));
    }
    // A default ACL, inherited from the parent, would give the files created in the directory
    // the modes it says instead of those the umask leaves; from then on they are chmodded. Only
    // this user can set one on the directory, and the program does not.
    if (fgetxattr(fd.Get(), "system.posix_acl_default", nullptr, 0) >= 0 ||
        (errno != ENODATA && errno != ENOTSUP && errno != EOPNOTSUPP))
        PrivateModesExact().store(false);
    return true;
}

namespace {

// What the directory `fd` holds, "." and ".." aside, and whether each is known to be a directory
// (a file system that tells no kinds says so to unlinkat).
struct Held {
    std::string name;
    bool directory;
};
std::vector<Held> NamesIn(int fd) {
    std::vector<Held> names;
    alignas(dirent64) char buffer[16384];
    for (;;) {
        const ssize_t got = getdents64(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return names;
        for (ssize_t at = 0; at < got;) {
            const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
            at += entry->d_reclen;
            const std::string_view name = entry->d_name;
            if (name != "." && name != "..")
                names.push_back({std::string(name), entry->d_type == DT_DIR});
        }
    }
}

// How deep RemoveTree descends: far deeper than anything the program makes.
constexpr int kRemovalDepth = 64;

// Removes what the directory `fd` holds, each directory's content before it, by names relative to
// `fd`, so that nothing is reached through a link. Keeps the first failure in `error`.
void RemoveContentOf(int fd, int depth, std::error_code& error) {
    auto failed = [&error](int reason) {
        if (!error)
            error = std::error_code(reason, std::generic_category());
    };
    // The names first, the removals after: a directory is not read while it changes.
    for (const Held& entry : NamesIn(fd)) {
        const char* name = entry.name.c_str();
        // A directory says EISDIR (Linux) or EPERM to unlinkat.
        if (!entry.directory) {
            if (unlinkat(fd, name, 0) == 0 || errno == ENOENT)
                continue;
            if (errno != EISDIR && errno != EPERM) {
                failed(errno);
                continue;
            }
        }
        Descriptor inner(openat(fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (inner.Get() < 0) {
            // Replaced by a file or a link meanwhile, which goes itself.
            if (unlinkat(fd, name, 0) != 0 && errno != ENOENT)
                failed(errno);
            continue;
        }
        if (depth > 0)
            RemoveContentOf(inner.Get(), depth - 1, error);
        inner.Reset();
        if (unlinkat(fd, name, AT_REMOVEDIR) != 0 && errno != ENOENT)
            failed(errno);
    }
}

}  // namespace

std::error_code RemoveTree(const std::string& path) {
    std::error_code error;
    Descriptor fd(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.Get() < 0) {
        const int openError = errno;
        // Not a directory (ENOTDIR), a link (ELOOP): it goes itself.
        if (openError == ENOENT || unlink(path.c_str()) == 0 || errno == ENOENT)
            return error;
        // A directory that cannot be opened says why not.
        const int reason = errno == EISDIR || errno == EPERM ? openError : errno;
        return std::error_code(reason, std::generic_category());
    }
    RemoveContentOf(fd.Get(), kRemovalDepth, error);
    fd.Reset();
    if (rmdir(path.c_str()) == 0 || errno == ENOENT)
        return {};
    return error ? error : std::error_code(errno, std::generic_category());
}

std::error_code RemoveContent(const std::string& path) {
    Descriptor fd(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.Get() < 0)
        return std::error_code(errno, std::generic_category());
    std::error_code error;
    RemoveContentOf(fd.Get(), kRemovalDepth, error);
    return error;
}

bool IsDeviceOrPipe(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && IsDeviceOrPipeMode(st.st_mode);
}

bool OwnedByThisUser(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && st.st_uid == geteuid();
}

bool RemoveIfAbandoned(const std::string& markPath, const std::function<void()>& remove) {
    Descriptor fd(open(markPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fd.Get() < 0)
        return false;
    struct stat held {};
    if (fstat(fd.Get(), &held) != 0 || !S_ISREG(held.st_mode) || held.st_uid != geteuid())
        return false;
    if (flock(fd.Get(), LOCK_EX | LOCK_NB) != 0)
        return false;
    // Still the file of that name (not renamed into place or replaced meanwhile).
    struct stat named {};
    if (lstat(markPath.c_str(), &named) != 0 || named.st_dev != held.st_dev ||
        named.st_ino != held.st_ino) {
        return false;
    }
    remove();
    return true;
}

}  // namespace carconv
