#pragma once

// Temporary paths: the files and directory trees that the program creates for its own use while
// it runs (working directories, temporary output files) and that must not outlive the run.
//
// Each one is registered in one process-wide registry before it is created and stays registered
// until it is gone, so whatever exists is registered. Creating and removing run outside the
// registry's lock (threads converting side by side do not wait for each other's file-system work);
// meanwhile the entry is busy. Its TemporaryPath removes it when destroyed, unless Keep() was
// called (a temporary file renamed into place), and an interruption that the run does not answer
// in time removes everything still registered (RemoveAllTemporaryPaths, which waits for busy
// entries to settle) before the process ends.

#include <cstdint>
#include <functional>
#include <string>

namespace carconv {

class TemporaryPath {
  public:
    // kWorkingDirectory is a directory tree of the program's own, private to this user: what is
    // created beneath it is this user's alone and is never read through a link
    // (IsInWorkingDirectory), and messages name what lies beneath it after the container it
    // unpacks (ShownPath).
    enum class Kind { kFile, kDirectoryTree, kWorkingDirectory };

    // Registers `path`, then runs `create`; when it reports that it created `path`, the
    // returned object holds `path`, else nothing. With a `markPath`, that file is created first
    // and marked as this process's own (OutputFile::CreateNew); it stays open while `path` exists
    // and is removed right after it; nothing is created when the mark's name is taken. Exceptions
    // pass through. After RemoveAllTemporaryPaths(true) nothing is created any more: throws
    // InterruptedError. `shownAs` is what messages call a working directory (ShownPath).
    static TemporaryPath Create(const std::string& path, Kind kind,
                                const std::function<bool()>& create,
                                const std::string& markPath = std::string(),
                                const std::string& shownAs = std::string());

    TemporaryPath() = default;
    TemporaryPath(TemporaryPath&& other) noexcept;
    TemporaryPath& operator=(TemporaryPath&& other) noexcept;
    TemporaryPath(const TemporaryPath&) = delete;
    TemporaryPath& operator=(const TemporaryPath&) = delete;
    ~TemporaryPath();

    explicit operator bool() const { return id_ != 0; }
    const std::string& Path() const { return path_; }

    // Removes the path now, with everything beneath it, links removed and never followed; also
    // when RemoveAllTemporaryPaths has gone over it already.
    void Remove();
    // Leaves the path on disk and forgets it: it is no longer temporary, and its mark is removed.
    void Keep();
    // What messages call this working directory from now on (ShownPath).
    void ShowAs(const std::string& shownAs);

  private:
    std::uint64_t id_ = 0;
    std::string path_;
    Kind kind_ = Kind::kFile;
};

// Removes every registered path, newest first, after waiting for those being created or removed
// by their owners right now. With `forGood`, nothing can be created through TemporaryPath::Create
// afterwards: for the end of an interrupted process.
void RemoveAllTemporaryPaths(bool forGood);

// Whether `path` lies beneath a working directory (Kind::kWorkingDirectory) that is registered.
bool IsInWorkingDirectory(const std::string& path);

// What messages call `path`: for a file beneath a working directory, the name that directory was
// registered with, ": member " and the file's name in it (the working directory is gone by the
// time the user reads the message); any other path as it is.
std::string ShownPath(const std::string& path);

// 64 random bits for a fresh temporary name. Each thread has a generator of its own, seeded once
// from the system's random source: asking that source for every name costs more than the name
// (in a virtual machine, a trip to the host). A name that is taken all the same is found so when
// it is created exclusively, and another is drawn.
std::uint64_t FreshNameBits();

// The number of paths registered now. For tests.
std::size_t TemporaryPathCount();

}  // namespace carconv
