#pragma once

// FshFile: an FSH picture archive ("FSH"), a file that bundles images under four-byte names.
//
// File layout (integers 32-bit little-endian, signed):
//   offset     size           field
//   0          8              (not read)
//   8          4              entryCount   number of directory records
//   12         4              (not read)
//   16         8 x entryCount directory    one record per entry:
//                               +0  4  name    four bytes, no terminator; a zero byte ends it early
//                               +4  4  offset  file position of the entry's first byte
//   ...                       entries      entry i runs from its offset to the next entry's
//                                          offset; the last one to the end of the file
//
// Load unpacks the archive: each entry's bytes go, in the kernel where the system can, into a file
// named after the entry in a working directory of the archive's own, and an FshImage is made for
// that file, reading its header from the entry's bytes in the archive (its pixels when asked for).
// The FshFile owns the images and lists them, in directory order, in `images` (which, like every
// FileList, owns nothing). The working directory is created fresh under the temporary directory at
// the first Load, so unpacking can never touch anything beside the archive, and it is removed with
// everything in it when the FshFile is destroyed.
//
// Within a package, the entry files count against the unpack budget of the package's tree of
// containers (files/unpack_budget.h); a picture archive on its own has a budget of its own.
//
// Load validates the whole directory before it writes anything: an entry count that is negative
// or larger than the file can hold, a name that is not safe as a file name (the name ends at its
// first zero byte; an empty name is unsafe), and offsets that do not strictly ascend or lie outside
// the file are FormatErrors. Entries with the same name write the same file, the later one
// replacing the earlier; each image reads its own entry's bytes in the archive and so holds them.
//
// The archive is never rewritten: Reset, Save and SaveAs are the base class's and touch no file, so
// an FshFile in an output package is packed exactly as it lies on disk.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "files/file_list.h"
#include "files/game_file.h"
#include "files/unpack_budget.h"
#include "files/working_directory.h"
#include "image/fsh_image.h"
#include "platform/read_only_file.h"

namespace carconv {

// One directory entry as Load unpacked it.
struct FshEntry {
    std::string name;       // the file name used in the working directory
    std::int32_t offset;    // where the entry's bytes start in the archive
    std::int32_t size;      // number of bytes in the entry
    const FshImage* image;  // the image loaded from the entry; owned by the FshFile
};

class FshFile : public GameFile {
  public:
    static constexpr std::size_t kEntryCountOffset = 8;
    static constexpr std::size_t kDirectoryOffset = 16;
    static constexpr std::size_t kNameSize = 4;
    static constexpr std::size_t kRecordOffsetField = 4;
    static constexpr std::size_t kRecordSize = 8;

    static_assert(kDirectoryOffset == kEntryCountOffset + 4 + 4);
    static_assert(kRecordOffsetField == kNameSize);
    static_assert(kRecordSize == kRecordOffsetField + 4);

    // `budget`: the unpack budget of the tree of containers the archive lies in, if any.
    explicit FshFile(std::string path, std::shared_ptr<UnpackBudget> budget = nullptr);
    // Destroys the images and removes the working directory with everything in it.
    ~FshFile() override;

    // Unpacks the archive (see above) and sets `length` to its size. Loading again rewrites the
    // same working directory and appends a second set of images and entries. Throws
    // UnpackLimitError when the entries exceed the unpack budget.
    int Load() override;
    // Load of an archive already in memory: the same checks, budget and errors, and the same
    // images and entries, each image read from the entry's bytes; nothing is written, there is
    // no working directory, and each image's path is the archive's path joined with the entry's
    // name.
    int Parse(ByteSpan bytes) override;
    // Load of the archive that lies in `source` (a range of a file: a package's member, a
    // template), without unpacking it: the same checks, budget and errors (naming `path`), and the
    // same images and entries, each image reading its pixels from `source` when asked; nothing is
    // written, there is no working directory, and each image's path is as Parse gives it.
    int LoadFrom(const FileRange& source);

    // The images, in directory order. Non-owning; the FshFile keeps them alive.
    FileList images;

    // Read-only views for reporting.
    const std::vector<FshEntry>& Entries() const { return entries_; }
    // Empty before the first Load.
    std::string WorkingDirectoryPath() const;

    struct DirectoryRecord {
        std::string name;
        std::size_t offset;
        std::size_t size;
    };

  private:
    // Reads the image of one entry (whose file, on disk, is the image's path).
    using EntryReader = std::function<void(const DirectoryRecord& record, FshImage& image)>;
    // Load (`toDisk`) and LoadFrom of the archive `in`.
    int Read(const ReadOnlyFile& in, bool toDisk);
    // Load (`toDisk`), LoadFrom and Parse of an archive of `fileSize` bytes whose directory is
    // `records`.
    int Unpack(const std::vector<DirectoryRecord>& records, std::uint64_t fileSize, bool toDisk,
               const EntryReader& read);

    std::shared_ptr<UnpackBudget> budget_;
    std::unique_ptr<WorkingDirectory> workingDirectory_;
    std::vector<std::unique_ptr<FshImage>> ownedImages_;
    std::vector<FshEntry> entries_;
};

// A picture archive on its way into a package, where it is packed byte for byte whatever it holds:
// the archive in `source` (a range of a package, or a whole file) is checked as LoadFrom checks
// it and carried from there under the name of `path` (a CarriedFile, typed "FSH"; nothing is
// written at `path`). When the check finds the archive malformed, a warning names `path` and the
// problem and the bytes are carried all the same, untyped. A picture archive in a package is the
// game's to read, not ours; `info` and `list` still show it as malformed.
std::unique_ptr<GameFile> LoadCarriedPictureArchive(const std::string& path,
                                                    const FileRange& source);

}  // namespace carconv
