#pragma once

// Working directories of containers (car packages, picture archives).
//
// A container unpacks into a directory that the program creates itself, under the temporary
// directory and with a name no other directory has, so that unpacking can never overwrite or
// later delete anything a user keeps on disk. The directory is removed with everything beneath
// it when its owner is destroyed, on success and on failure alike.

#include <string>

namespace carconv {

// Deletes `directory` and everything beneath it. Links are removed, never followed. A trailing
// separator makes no difference; a path that does not exist changes nothing. Nothing is reported:
// what cannot be deleted stays.
void RemoveDirectoryTree(std::string directory);

class WorkingDirectory {
  public:
    // Creates a fresh directory named "carconv-<hint>-<unique>" under the temporary directory.
    // Throws IoError when no directory can be created.
    explicit WorkingDirectory(const std::string& hint);
    ~WorkingDirectory();

    WorkingDirectory(const WorkingDirectory&) = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;

    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

}  // namespace carconv
