#pragma once

// CarriedFile: a member that goes into an archive byte for byte from a range of another file (a
// template, a member of the input package), without a file of its own. Where nothing reads or
// rewrites a member between its source and the archive being written, a copy in the working
// directory would only cost a file; the archive writer instead copies the range from the source
// when it writes the archive, in the kernel where it can.
//
// `path` is where the member's file would lie; its last component is the member's name in the
// archive. Nothing is ever written there, and SaveAs writes nothing. Load measures the source
// range; the archive writer checks, when it writes, that the source still holds it.

#include <cstdint>
#include <string>

#include "files/game_file.h"

namespace carconv {

class CarriedFile : public GameFile {
  public:
    // The whole of the regular file `source`, carried under the name of `path`.
    CarriedFile(std::string path, std::string source);
    // `size` bytes of `source` from `offset`.
    CarriedFile(std::string path, std::string source, std::int64_t offset, std::int64_t size);

    // Measures the whole source file (for the first form) into `length`; throws IoError for a
    // file that is not a regular file or is 2 GiB or more.
    int Load() override;

    const std::string& Source() const { return source_; }
    std::int64_t Offset() const { return offset_; }

  private:
    std::string source_;
    std::int64_t offset_ = 0;
    bool wholeFile_;
};

}  // namespace carconv
