#pragma once

// HeldFile: a member whose bytes a stage made in memory and that goes into an archive as they are,
// without a file of its own. A small member written by a stage (a converted text or table) would
// otherwise cost a file in the working directory that is written once, read back and removed;
// the archive writer instead writes the held bytes where the member lies in the archive. Members
// of several names may hold the same bytes.
//
// `path` is where the member's file would lie; its last component is the member's name in the
// archive. Nothing is ever written there: SaveAs writes nothing, and Load measures the held bytes.

#include <memory>
#include <string>

#include "files/byte_reader.h"
#include "files/game_file.h"

namespace carconv {

class HeldFile : public GameFile {
  public:
    // The bytes `content`, typed `typeTag` (the type of the object that made them).
    HeldFile(std::string path, std::string typeTag, std::shared_ptr<const Bytes> content);
    // Sets `length` to the size of the bytes; IoError naming `path` for 2 GiB or more.
    int Load() override;

    const Bytes& Content() const { return *content_; }

  private:
    std::shared_ptr<const Bytes> content_;
};

}  // namespace carconv
