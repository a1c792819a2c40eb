#pragma once

// Working directories of containers (car packages, picture archives).
//
// A container unpacks into a directory that the program creates itself, under the temporary
// directory and with a name no other directory has, so that unpacking can never overwrite or
// later delete anything a user keeps on disk. The directory is removed with everything beneath
// it when its owner is destroyed, on success and on failure alike, and when the run is
// interrupted (platform/temporary_path.h).
//
// A run that is killed outright cannot remove anything. So every working directory has a mark
// file beside it (OwnerMarkPath) that its process marks as its own for as long as it lives
// (platform/output_file.h), and every run first removes the working directories whose process
// has ended (SweepAbandonedWorkingDirectories).

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "platform/temporary_path.h"

namespace carconv {

// Deletes `directory` and everything beneath it. Links are removed, never followed. A trailing
// separator makes no difference; a path that does not exist changes nothing. Nothing is reported:
// what cannot be deleted stays.
void RemoveDirectoryTree(std::string directory);

// The mark file of the working directory `directory`: beside it, named "." + its name + ".owner",
// so that the working directory holds nothing but what is unpacked into it.
std::string OwnerMarkPath(const std::string& directory);

class WorkingDirectory {
  public:
    // Creates a fresh directory named "carconv-<hint>-<unique>" under the temporary directory,
    // this user's alone (mode 0700, files 0600 beneath it) and marked as this process's own.
    // Messages name its files as members of `container` (ShownPath), when one is given. Throws
    // IoError when no directory can be created.
    explicit WorkingDirectory(const std::string& hint, const std::string& container = {});
    ~WorkingDirectory();

    WorkingDirectory(const WorkingDirectory&) = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;

    const std::string& Path() const { return directory_.Path(); }
    // Removes everything beneath the directory, which stays; false when something could not be
    // removed.
    bool Empty();
    // Messages name what the directory holds as members of `container` from now on.
    void ShowAs(const std::string& container);

  private:
    TemporaryPath directory_;
};

// Working directories that the conversions one thread runs one after another (a batch's worker)
// use in turn while a scope of this class is open on the thread, emptied in between: making and
// removing directories for every package costs more than the package's own files on some
// systems (a removed directory's block may be discarded on the device before rmdir returns).
// Without an open scope, every conversion makes its own.
class WorkingDirectoryReuse {
  public:
    WorkingDirectoryReuse();
    // Removes the directories kept, with whatever is in them.
    ~WorkingDirectoryReuse();
    WorkingDirectoryReuse(const WorkingDirectoryReuse&) = delete;
    WorkingDirectoryReuse& operator=(const WorkingDirectoryReuse&) = delete;

    // The directory in `slot` (0 or 1) of the scope open on this thread, empty, its files shown
    // as members of `container` (made as WorkingDirectory(hint, container) makes one when the
    // slot has none); null when no scope is open here.
    static WorkingDirectory* Take(std::size_t slot, const std::string& hint,
                                  const std::string& container);
    // Gives back the directory of `slot` after use: emptied for the next, or dropped (removed
    // with what is in it) when it cannot be emptied.
    static void Return(std::size_t slot) noexcept;

  private:
    static constexpr std::size_t kSlots = 2;
    std::unique_ptr<WorkingDirectory> kept_[kSlots];
    WorkingDirectoryReuse* outer_;
};

// Removes from the temporary directory the working directories that runs which have ended left
// behind: directories (not links) named as WorkingDirectory names them, owned by this user, whose
// mark file no live process marks any more, and such mark files without their directory. Anything
// else is left alone; nothing is reported.
void SweepAbandonedWorkingDirectories();
// The same sweep in `base`, of the directories whose names `isOurs` accepts, each marked by
// OwnerMarkPath beside it.
void SweepAbandonedDirectories(const std::string& base,
                               const std::function<bool(const std::string& name)>& isOurs);

}  // namespace carconv
