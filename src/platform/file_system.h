#pragma once

// The file layer: whole-file reads and writes, copies, directories and the directory search.
//
// Paths are byte strings in UTF-8. Every failure throws IoError naming the path and the reason;
// nothing here fails silently.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "files/byte_reader.h"
#include "platform/output_file.h"
#include "platform/read_only_file.h"
#include "platform/temporary_path.h"

namespace carconv {

// The separator used to join a directory and a name on this platform.
extern const char kPathSeparator;

// Converts a UTF-8 path to the platform's native path type, and back.
std::filesystem::path NativePath(const std::string& path);
std::string PathString(const std::filesystem::path& path);

// `dir` + separator + `name`; no separator is doubled when `dir` already ends in one.
std::string JoinPath(const std::string& dir, const std::string& name);
// Whether every character of `text` is a lower-case hex digit, as the names carconv makes hold.
bool IsHexDigits(std::string_view text);

// Reads a whole file into memory. Files of 2 GiB or more are refused: every format stores sizes
// as signed 32-bit numbers.
Bytes ReadWholeFile(const std::string& path);

// At most the first `count` bytes of a file: fewer when the file is shorter.
Bytes ReadFilePrefix(const std::string& path, std::size_t count);
// The same of a range of a file, or of a whole file (ReadOnlyFile).
Bytes ReadFilePrefix(const FileRange& source, std::size_t count);

// Calls `consume` with the file's bytes in order, a bounded piece at a time, and returns how many
// bytes there were. For passing on large files without holding them whole.
std::int64_t ReadFileInPieces(const std::string& path,
                              const std::function<void(ByteSpan piece)>& consume);

// Whether the regular file `path` holds exactly `bytes`; false also when it cannot be read. Reads
// no more than `bytes.size()` bytes of it.
bool FileHolds(const std::string& path, ByteSpan bytes);

// The size of a regular file in bytes.
std::int64_t FileSize(const std::string& path);

// Creates or truncates `path` and writes `bytes` to it, through whatever `path` names. Only for
// new files in a directory the program has just made for itself; a file that may have another
// name (ShareFileReplace) or belong to anyone else is written with WriteFileAtomically.
void WriteWholeFile(const std::string& path, ByteSpan bytes);

// Copies the regular file `from` to `to`, through a new file that replaces `to` only when
// complete (AtomicFileWriter): a link named `to` is replaced, never written through. The new file
// is a clone of `from` where the file system offers clones, else a copy made in the kernel; it is
// a file of its own either way, whatever later becomes of `from`. Failures carry the system's own
// reason.
void CopyFileReplace(const std::string& from, const std::string& to);

// Replaces `to` by a file with the content of `from` that costs no bytes where the file system
// allows: a further name of `from` itself (a hard link) where `to` is free, else a clone, else a
// link made beside `to` and renamed over it, else a copy as CopyFileReplace makes it. Only for
// files the program created itself in its working directories and that nothing writes into
// afterwards: every later change of either replaces its file (AtomicFileWriter) rather than writing
// through it, so that changing one cannot change the other.
void ShareFileReplace(const std::string& from, const std::string& to);

// Creates `path` and missing parents; an existing directory is not an error.
void CreateDirectories(const std::string& path);

bool IsDirectory(const std::string& path);
bool IsRegularFile(const std::string& path);

// One entry of a directory search. Links are reported as links and never followed.
struct DirectoryEntry {
    enum class Kind { kFile, kDirectory, kLink, kOther };
    std::string name;
    Kind kind;
};

// The entries of `dir` in the order the platform's directory search returns them, without the
// "." and ".." entries. Throws IoError when the directory cannot be read.
std::vector<DirectoryEntry> SearchDirectory(const std::string& dir);

// The process's current directory, ending in a separator.
std::string CurrentDirectory();

// The directory for temporary files (TMPDIR on POSIX, the user's temp folder on Windows). Throws
// IoError naming the path when it is not an existing directory.
std::string TemporaryDirectory();

}  // namespace carconv

namespace carconv {

// Temporary files are named kTemporaryFilePrefix, 8 hexadecimal digits that hash the target's file
// name (letter case aside), '-', 16 random hexadecimal digits and kTemporaryFileSuffix: short, so
// that beside any target whose name the file system accepts there is room for one, recognisable as
// ours whatever the target is called, and telling whose temporary file it is.
inline constexpr std::string_view kTemporaryFilePrefix = ".carconv-";
inline constexpr std::string_view kTemporaryFileSuffix = ".tmp";

// Writes a file so that it appears complete or not at all: the bytes go to a temporary file that
// the writer creates exclusively (never an existing file or link) in the target's directory, marks
// as its own (platform/output_file.h) and registers for removal on an interruption, and that
// replaces the target only on Commit(). Destroying an uncommitted writer removes the temporary
// file and leaves an existing target as it was.
//
// A target in a working directory that does not exist yet is written in place: the directory is
// the program's own and goes as a whole on an interruption, so a temporary name, a mark and a
// rename would only cost. It appears at once, and an uncommitted writer removes it.
//
// An existing target that is a directory is refused. One that is a device or FIFO is written into
// as it is when `devices` is kWriteInto (an output the user named: /dev/null, a pipe), and refused
// otherwise; a link to a device or FIFO is refused.
class AtomicFileWriter {
  public:
    enum class Devices { kRefuse, kWriteInto };

    explicit AtomicFileWriter(std::string target, Devices devices = Devices::kRefuse);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    void Write(ByteSpan bytes);
    // Writes `bytes` at `offset` (see OutputFile::WriteAt). For a file written by WriteAt alone,
    // BytesWritten is the end of the furthest byte written: the file's size.
    void WriteAt(std::int64_t offset, ByteSpan bytes);
    // Appends the regular file `source` (see OutputFile::Append).
    void Append(const std::string& source);
    // Appends `count` bytes of `source` from `offset` (see OutputFile::AppendRange).
    void AppendRange(const ReadOnlyFile& source, std::int64_t offset, std::int64_t count,
                     CopyWay way = CopyWay::kFastest, std::size_t chunk = kCopyChunkSize);
    // Makes the file, while nothing is written yet, a clone of `source` (see
    // OutputFile::CloneFrom).
    bool CloneFrom(const ReadOnlyFile& source);
    std::int64_t BytesWritten() const { return written_; }
    // Closes the temporary file and renames it over the target.
    void Commit();

  private:
    std::string target_;
    TemporaryPath temporary_;
    // Written in place (a new file of a working directory) and not committed yet.
    bool inPlace_ = false;
    std::unique_ptr<OutputFile> out_;
    std::int64_t written_ = 0;
};

// WriteWholeFile through an AtomicFileWriter.
void WriteFileAtomically(const std::string& path, ByteSpan bytes);

// Removes from `directory` the temporary files that writers in runs that have ended (killed, or
// the power lost) left behind, whatever file they were writing: files of our name pattern, owned
// by this user, not links, and marked by no live process. Anything else is left alone; nothing is
// reported.
void SweepAbandonedTemporaries(const std::string& directory);
// The same in the directory of `target`.
void SweepAbandonedTemporariesBeside(const std::string& target);

}  // namespace carconv
