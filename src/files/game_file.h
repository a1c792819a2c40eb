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
// Parse is the in-memory twin of Load: it takes the file's bytes instead of reading them, so a
// format can be read without a file. Every format's Load reads its file through the file layer
// and parses the bytes as its Parse does (a mesh's Load keeps only the header and reads its arrays
// again when needed; a container's Load also unpacks its members to disk); the object Parse makes
// of the bytes, and the errors it throws, are those of Load. The base's Parse measures the bytes
// into `length`.
// The archive writer relies on this: it asks every member to SaveAs its own path and then packs
// the member's file as it lies on disk (a CarriedFile or a HeldFile has none: their range of
// another file or their bytes are packed). A class that overrides SaveAs must therefore write, at
// its own path, what its Load read.
//
// Operations return 1 on success; failures are thrown (IoError, FormatError).

#include <cstdint>
#include <string>

#include "files/byte_reader.h"
#include "platform/read_only_file.h"

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
    virtual int Parse(ByteSpan bytes);

    // The last component of `path`: the text after the last '\\', '/' or ':'.
    std::string GetFileName() const;

    std::string typeTag;
    std::string path;
    std::int32_t length = 0;

  protected:
    // For formats that only small files take (texts, tables): the whole file at `path`, of which
    // no more than `limit` + 1 bytes are ever read. A larger file is a FormatError,
    // "`what` of N bytes is larger than the limit of `limit` bytes", as RefuseLargerThan gives.
    Bytes ReadWithin(std::size_t limit, const char* what) const;
    // The same for the bytes of `source` (a range of a file, or a whole file).
    Bytes ReadWithin(const FileRange& source, std::size_t limit, const char* what) const;
    // Throws that FormatError when `size` is larger than `limit`.
    void RefuseLargerThan(std::uint64_t size, std::size_t limit, const char* what) const;

    // The size of `bytes` as a file length. Throws IoError naming `path` for 2 GiB or more, which
    // the formats' 32-bit sizes cannot describe (the file layer refuses such files as well).
    std::int32_t LengthOf(ByteSpan bytes) const;
};

}  // namespace carconv
