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

class ReadOnlyFile {
  public:
    // Opens `path` for reading; it must be a regular file (a device or pipe is refused without
    // waiting for it). The size is measured once, here.
    explicit ReadOnlyFile(const std::string& path);
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

    // The descriptor (POSIX) or handle (Windows), for the copies of OutputFile.
    std::intptr_t NativeHandle() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace carconv
