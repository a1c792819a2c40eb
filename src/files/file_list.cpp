#include "files/file_list.h"

#include <cassert>
#include <utility>

namespace carconv {

int FileList::Add(GameFile& file) {
    items_.push_back(&file);
    return static_cast<int>(items_.size()) - 1;
}

void FileList::Append(std::vector<GameFile*> files) {
    if (items_.empty()) {
        items_ = std::move(files);
        return;
    }
    items_.insert(items_.end(), files.begin(), files.end());
}

GameFile& FileList::ElementAt(int position) const {
    assert(position >= 0 && position < GetSize());
    return *items_[static_cast<std::size_t>(position)];
}

}  // namespace carconv
