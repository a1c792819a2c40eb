#include "files/errors.h"

#include <fmt/format.h>

#include "files/safe_name.h"
#include "platform/temporary_path.h"

namespace carconv {

// A file of a working directory is named as the member of its package that it is: the directory
// is gone by the time the user reads the message.
IoError::IoError(const std::string& path, const std::string& reason)
    : CarconvError(PrintableName(ShownPath(path)) + ": " + reason), path_(path) {}

FormatError::FormatError(const std::string& file, std::size_t offset, const std::string& what)
    : CarconvError(fmt::format("{}: {} at offset 0x{:x}", PrintableName(ShownPath(file)), what,
                               offset)),
      file_(file) {}

FormatError::FormatError(const std::string& file, const std::string& what)
    : CarconvError(PrintableName(ShownPath(file)) + ": " + what), file_(file) {}

std::string HexOffset(std::size_t offset) {
    return fmt::format("0x{:x}", offset);
}

}  // namespace carconv
