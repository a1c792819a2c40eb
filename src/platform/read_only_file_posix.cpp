// Read-only files on POSIX systems: a raw descriptor read with pread, so that reads at an offset
// need no shared file position.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "files/errors.h"
#include "platform/read_only_file.h"
#include "platform/temporary_path.h"

namespace carconv {

namespace {

std::string Reason(int error) {
    return std::generic_category().message(error);
}

}  // namespace

struct ReadOnlyFile::Impl {
    int fd = -1;
    std::string path;
    std::int64_t size = 0;
    // A range: where its byte 0 lies in the file, and that reads stop at its end.
    std::int64_t start = 0;
    bool bounded = false;
};

ReadOnlyFile::ReadOnlyFile(const std::string& path) : impl_(std::make_unique<Impl>()) {
    impl_->path = path;
    // Without O_NONBLOCK, opening a FIFO would wait for a writer before it could be refused. A
    // file of a working directory is the one the run wrote there, never what a link leads to.
    const bool own = IsInWorkingDirectory(path);
    impl_->fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | (own ? O_NOFOLLOW : 0));
    if (impl_->fd < 0) {
        if (own && errno == ELOOP)
            throw IoError(path, "is a link, not the file written there");
        throw IoError(path, "cannot open for reading: " + Reason(errno));
    }
    struct stat st {};
    if (fstat(impl_->fd, &st) != 0) {
        const int error = errno;
        close(impl_->fd);
        throw IoError(path, "cannot read: " + Reason(error));
    }
    if (!S_ISREG(st.st_mode)) {
        close(impl_->fd);
        throw IoError(path, "not a regular file");
    }
    impl_->size = static_cast<std::int64_t>(st.st_size);
}

ReadOnlyFile::ReadOnlyFile(const FileRange& range) : ReadOnlyFile(range.path) {
    const Window window = WindowOf(range, impl_->size);
    impl_->start = window.start;
    impl_->size = window.size;
    impl_->bounded = true;
}

ReadOnlyFile::~ReadOnlyFile() {
    close(impl_->fd);
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
    return impl_->fd;
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
        const ssize_t n = pread(impl_->fd, into.data() + got, count - got,
                                static_cast<off_t>(offset + static_cast<std::int64_t>(got)));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw IoError(impl_->path, "cannot read: " + Reason(errno));
        }
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    return got;
}

}  // namespace carconv
