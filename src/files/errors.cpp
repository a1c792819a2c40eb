#include "files/errors.h"

#include <utility>

#include <fmt/format.h>

#include "files/safe_name.h"
#include "platform/temporary_path.h"

namespace carconv {

// A file of a working directory is named as the member of its package that it is: the directory
// is gone by the time the user reads the message.
IoError::IoError(const std::string& path, const std::string& reason)
    : CarconvError(PrintableName(ShownPath(path)) + ": " + reason), path_(path) {}

namespace {

// "<file>: <what>", composed in one string: parsers of malformed members throw these often.
std::string FormatMessage(const std::string& file, const std::string& what) {
    std::string message = PrintableName(ShownPath(file));
    message.reserve(message.size() + 2 + what.size());
    message += ": ";
    message += what;
    return message;
}

}  // namespace

FormatError::FormatError(const std::string& file, std::size_t offset, const std::string& what)
    : FormatError(file, fmt::format("{} at offset {}", what, HexOffset(offset))) {}

FormatError::FormatError(const std::string& file, std::string what)
    : CarconvError(FormatMessage(file, what)), file_(file), problem_(std::move(what)) {}

std::string FormatError::ProblemIn(const std::string& file) const {
    return file == file_ ? problem_ : std::string(this->what());
}

std::string HexOffset(std::size_t offset) {
    return fmt::format("0x{:x}", offset);
}

}  // namespace carconv
