#include "files/held_file.h"

#include <utility>

namespace carconv {

HeldFile::HeldFile(std::string path, std::string typeTag, std::shared_ptr<const Bytes> content)
    : GameFile(std::move(path)), content_(std::move(content)) {
    this->typeTag = std::move(typeTag);
}

int HeldFile::Load() {
    length = LengthOf(*content_);
    return 1;
}

}  // namespace carconv
