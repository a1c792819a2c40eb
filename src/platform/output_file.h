#pragma once

// Output files: the files the program writes. Either a new file that it creates for itself and
// marks as its own, or an existing device or FIFO that the user named as the output, written into
// as it is.
//
// The mark of ownership lasts exactly as long as the creating process: a lock that the operating
// system drops when the process ends, however it ends (on POSIX systems a shared flock on the
// file; on Windows the open handle, which lets nobody delete the file). A later run tells the
// leftovers of a run that was killed from the files of a run still at work by it
// (RemoveIfAbandoned).
//
// Every failure throws IoError with the system's own reason.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <system_error>

#include "files/byte_reader.h"
#include "platform/read_only_file.h"

namespace carconv {

// Who may use a new file: kShared leaves it the mode the user's umask gives new files (what the
// user asked for: an output package, unpacked members); kPrivate makes it this user's alone,
// whatever the umask (the program's own files: working files, marks).
enum class Access { kShared, kPrivate };

class OutputFile {
  public:
    // Creates `path`, which must not exist (not even as a link that leads nowhere), for writing and
    // marks it. Returns null when the name is taken, or when a sweep of another run claimed the
    // new file before it was marked. Errors name `shownAs` (the file the user knows of).
    static std::unique_ptr<OutputFile> CreateNew(const std::string& path,
                                                 const std::string& shownAs,
                                                 Access access = Access::kShared);
    // Creates `path`, which must not exist (not even as a link), for writing, in a directory that
    // this run created for itself and removes as a whole unless it completes: one open, and no
    // mark, since the directory stands for all its files. Returns null when the name is taken.
    // kPrivate is for a directory made by CreatePrivateDirectory (or beneath one), which tells
    // whether its new files get their mode exactly without a chmod.
    static std::unique_ptr<OutputFile> CreateInOwnDirectory(const std::string& path,
                                                            const std::string& shownAs,
                                                            Access access = Access::kShared);
    // Opens the device or FIFO `path` for writing into it: nothing is created, truncated or
    // replaced, and a link is not followed. Waiting for a FIFO's reader ends when the run is
    // interrupted.
    static std::unique_ptr<OutputFile> OpenDevice(const std::string& path);

    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void Write(ByteSpan bytes);
    // Writes `bytes` at file position `offset` of a new file, leaving the position that Write
    // continues from where it was; a gap before `offset` reads as zeros until it is written.
    void WriteAt(std::int64_t offset, ByteSpan bytes);
    // Appends the whole content of the regular file `source`, in the system's fastest way;
    // returns the number of bytes. Errors name `source` and this file.
    std::int64_t Append(const std::string& source);
    // Appends the `count` bytes of `source` that begin at `offset`, in the kernel where `way`
    // lets it, else `chunk` bytes at a time, checking for an interruption between pieces; returns
    // `count`. Throws IoError when `source` ends before them.
    std::int64_t AppendRange(const ReadOnlyFile& source, std::int64_t offset, std::int64_t count,
                             CopyWay way = CopyWay::kFastest, std::size_t chunk = kCopyChunkSize);
    // Makes this file, still empty, a clone of the whole of `source`: its own file that shares
    // the blocks until either is written. False, with nothing done, where the file system offers
    // no clones.
    bool CloneFrom(const ReadOnlyFile& source);
    // Closes the file; a new file is first renamed over `target` (replacing what has that name,
    // a link itself rather than what it leads to), keeping its mark until it is in place.
    void Finish(const std::string& target);

  private:
    struct Impl;
    explicit OutputFile(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// Creates the directory `path` for this user alone, whatever the umask (on POSIX systems mode
// 0700, checked on the new directory itself). False when the name is taken; other failures throw
// IoError with the system's reason.
bool CreatePrivateDirectory(const std::string& path);

// Whether `path` itself (not what a link leads to) is a device or a FIFO.
bool IsDeviceOrPipe(const std::string& path);

// Gives the file `existing` the further name `link` (a hard link) where the file system can; a
// `link` that exists already, file or link, is left as it is. Other failures throw IoError.
enum class LinkResult { kLinked, kNameTaken, kUnsupported };
LinkResult LinkFile(const std::string& existing, const std::string& link);

// Renames the file `from` to `to`, replacing in one step what has that name (a link itself
// rather than what it leads to).
void RenameOver(const std::string& from, const std::string& to);

// Removes `path` with everything beneath it: a directory's content before the directory, links
// themselves and never what they lead to. A path that does not exist changes nothing. Returns no
// error when nothing of that name is left, else the first reason something stayed (what can be
// removed goes all the same).
std::error_code RemoveTree(const std::string& path);
// The same for everything beneath the directory `path`, which stays.
std::error_code RemoveContent(const std::string& path);

// Whether this user owns `path` itself (always true where files have no owning user).
bool OwnedByThisUser(const std::string& path);

// When `markPath` is a regular file (not a link) of this user that no live process marks as its
// own, calls `remove` and returns true; the file is held meanwhile, so that no process can take it
// as its own. Otherwise returns false and calls nothing.
bool RemoveIfAbandoned(const std::string& markPath, const std::function<void()>& remove);

}  // namespace carconv
