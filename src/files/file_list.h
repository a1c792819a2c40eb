#pragma once

// FileList: an ordered, growable list of GameFile references that owns none of them.

#include <cstddef>
#include <vector>

#include "files/game_file.h"

namespace carconv {

class FileList {
  public:
    // Appends `file` and returns its position (the number of elements before the call).
    int Add(GameFile& file);
    // Appends the files of `files` in their order; none may be null.
    void Append(std::vector<GameFile*> files);
    int GetSize() const { return static_cast<int>(items_.size()); }
    // `position` must lie in [0, GetSize()).
    GameFile& ElementAt(int position) const;
    // Empties the list; the objects stay alive.
    void RemoveAll() { items_.clear(); }

  private:
    std::vector<GameFile*> items_;
};

}  // namespace carconv
