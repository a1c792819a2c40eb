#pragma once

// GameFile: the base of every file the converter handles.
//
// An object names one file by its full path, knows its format by a type tag and remembers the
// file's size as last measured. The default operations treat the file as an opaque blob that
// already lies at its path:
//   Reset  - changes nothing;
//   Load   - measures the file into `length`;
//   Save   - SaveAs(path), dispatched to the concrete class;
//   SaveAs - writes nothing (the file is taken to be in place).
// The archive writer relies on this: it asks every member to SaveAs its own path and then packs
// the member's file as it lies on disk. A class that overrides SaveAs must therefore write, at its
// own path, what its Load read.
//
// Operations return 1 on success; failures are thrown (IoError, FormatError).

#include <cstdint>
#include <string>

namespace carconv {

class GameFile {
  public:
    explicit GameFile(std::string path);
    virtual ~GameFile();

    GameFile(const GameFile&) = delete;
    GameFile& operator=(const GameFile&) = delete;

    virtual int Reset();
    virtual int Load();
    virtual int Save();
    virtual int SaveAs(std::string target);

    // The last component of `path`: the text after the last '\\', '/' or ':'.
    std::string GetFileName() const;

    std::string typeTag;
    std::string path;
    std::int32_t length = 0;
};

}  // namespace carconv
