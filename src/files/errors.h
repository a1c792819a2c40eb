#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

namespace carconv {

// Every failure that reaches the user derives from this; the front end prints what() once.
class CarconvError : public std::runtime_error {
  public:
    explicit CarconvError(const std::string& message) : std::runtime_error(message) {}
};

// A file could not be opened, created, read or written. what() is "<path>: <reason>", the path
// with its control characters escaped (PrintableName); a file of a working directory shown as the
// member of its package that it is (ShownPath).
class IoError : public CarconvError {
  public:
    IoError(const std::string& path, const std::string& reason);
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

// A file's content is malformed. what() is "<file>: <what> at offset 0x<offset>", or without
// the offset part when the problem has no single position; the file name escaped as above.
class FormatError : public CarconvError {
  public:
    FormatError(const std::string& file, std::size_t offset, const std::string& what);
    FormatError(const std::string& file, std::string what);
    const std::string& File() const { return file_; }
    // what() without its file part when the file is `file`, for a message that names it already;
    // what() itself for any other file.
    std::string ProblemIn(const std::string& file) const;

  private:
    std::string file_;
    std::string problem_;
};

// Formats a byte offset the way error messages show it: 0x followed by lower-case hex digits.
std::string HexOffset(std::size_t offset);

}  // namespace carconv
