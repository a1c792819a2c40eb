#include "files/carried_file.h"

#include <cstdint>
#include <utility>

#include "files/errors.h"
#include "platform/file_system.h"

namespace carconv {

CarriedFile::CarriedFile(std::string path, std::string source)
    : GameFile(std::move(path)), source_(std::move(source)), wholeFile_(true) {}

CarriedFile::CarriedFile(std::string path, std::string source, std::int64_t offset,
                         std::int64_t size)
    : GameFile(std::move(path)), source_(std::move(source)), offset_(offset), wholeFile_(false) {
    if (offset < 0 || size < 0 || size > INT32_MAX)
        throw IoError(source_, "range to carry lies outside what a member can hold");
    length = static_cast<std::int32_t>(size);
}

int CarriedFile::Load() {
    if (!wholeFile_)
        return 1;
    const std::int64_t size = FileSize(source_);
    if (size > INT32_MAX)
        throw IoError(source_, "file is too large (2 GiB or more)");
    length = static_cast<std::int32_t>(size);
    return 1;
}

}  // namespace carconv
