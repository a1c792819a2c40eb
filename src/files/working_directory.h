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

#include <functional>
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

  private:
    TemporaryPath directory_;
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
