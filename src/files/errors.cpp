#include "files/errors.h"

#include <fmt/format.h>

#include "files/safe_name.h"

namespace carconv {

IoError::IoError(const std::string& path, const std::string& reason)
    : CarconvError(PrintableName(path) + ": " + reason), path_(path) {}

FormatError::FormatError(const std::string& file, std::size_t offset, const std::string& what)
    : CarconvError(PrintableName(file) + ": " + what + " at offset " + HexOffset(offset)),
      file_(file) {}

FormatError::FormatError(const std::string& file, const std::string& what)
    : CarconvError(PrintableName(file) + ": " + what), file_(file) {}

std::string HexOffset(std::size_t offset) {
    return fmt::format("0x{:x}", offset);
}

}  // namespace carconv
