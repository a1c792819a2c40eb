// What both systems' read-only files share: the narrowing of a file to a range of it.

#include <fmt/format.h>

#include "files/errors.h"
#include "platform/read_only_file.h"

namespace carconv {

ReadOnlyFile::Window ReadOnlyFile::WindowOf(const FileRange& range, std::int64_t fileSize) {
    const std::int64_t size = range.size < 0 ? fileSize - range.offset : range.size;
    if (range.offset < 0 || range.offset > fileSize || size < 0 || size > fileSize - range.offset) {
        throw IoError(range.path,
                      range.size < 0
                          ? fmt::format("file changed: it ends before offset {}", range.offset)
                          : fmt::format("file changed: it no longer holds the {} bytes from "
                                        "offset {}",
                                        range.size, range.offset));
    }
    return {range.offset, size};
}

}  // namespace carconv
