#pragma once

// Read-only files: regular files the program reads a piece at a time, or copies from into an
// OutputFile without holding them in memory (an archive unpacked member by member, member files
// packed into an archive).
//
// Every failure throws IoError naming the file and the system's own reason.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "files/byte_reader.h"

namespace carconv {

// How OutputFile::AppendRange copies. kFastest lets the kernel copy, sharing blocks where the file
// system can, and falls back to the next way where it cannot; the others start further down the
// same road, so that each way can be proven on any system.
enum class CopyWay {
    kFastest,   // copy_file_range, else sendfile, else chunks
    kSendfile,  // sendfile, else chunks
    kChunks,    // read and write a bounded piece at a time
};

// The piece a chunked copy reads and writes at once, and the most a kernel copy moves between
// two checks for an interruption.
inline constexpr std::size_t kCopyChunkSize = std::size_t{1} << 20;

// A range of bytes of a file, read where it lies: a member inside its package. A negative size
// stands for the whole file, however long it is when it is opened.
struct FileRange {
    std::string path;
    std::int64_t offset = 0;
    std::int64_t size = -1;
};

class ReadOnlyFile {
  public:
    // Opens `path` for reading; it must be a regular file (a device or pipe is refused without
    // waiting for it). The size is measured once, here.
    explicit ReadOnlyFile(const std::string& path);
    // Opens the range `range` of its file as if it were a file of its own: offsets count from the
    // range's start and the file ends where the range does. Throws IoError, as for a file that
    // changed, when the file no longer holds the range.
    explicit ReadOnlyFile(const FileRange& range);
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    const std::string& Path() const;
    std::int64_t Size() const;
    // At most `count` bytes from `offset`: fewer only where the file ends.
    Bytes ReadAt(std::int64_t offset, std::size_t count) const;
    // ReadAt into a buffer of the caller's: fills `into` from `offset` and returns how many
    // bytes it holds, fewer than its size only where the file ends.
    std::size_t ReadInto(std::int64_t offset, std::span<std::uint8_t> into) const;

    // The descriptor (POSIX) or handle (Windows), for the copies of OutputFile, and where in the
    // file it reads byte 0 of this one (not 0 for a range).
    std::intptr_t NativeHandle() const;
    std::int64_t Start() const;

  private:
    struct Window {
        std::int64_t start;
        std::int64_t size;
    };
    // Where `range` lies in its file of `fileSize` bytes; throws IoError when it does not.
    static Window WindowOf(const FileRange& range, std::int64_t fileSize);

    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace carconv
