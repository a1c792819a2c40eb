#pragma once

// VivArchive: the ".viv" car package.
//
// File layout (no padding anywhere; the header and directory are big-endian):
//
//   offset  size  field
//   0       4     magic        "BIGF" in archives this program writes; not checked on reading
//   4       4     total size   16 + directory size + sum of member sizes
//   8       4     member count number of directory entries
//   12      4     header size  16 + directory size = offset of the first member's data
//   16      ...   directory    member-count entries, back to back:
//                   0   4      offset   of the member's data from the start of the file
//                   4   4      size     of the member's data in bytes
//                   8   n + 1  name     n bytes (1..255) and one zero byte
//   ...           member data  in archives this program writes, back to back in directory order
//
// On reading, each member is taken from its own offset and size, whatever the layout, and a magic
// other than "BIGF" is reported in a warning and read all the same. Every entry
// is checked against the file before anything is unpacked: sizes and offsets must lie inside the
// file, and names must be safe as file names (no separators, no "." or "..", no control bytes).
//
// Loading reads the header and directory alone, then copies every member from the archive file,
// in the kernel where the system can, into a working directory that the archive creates itself
// under the temporary directory and removes when it is destroyed; the archive is never held in
// memory. It types each member file through
// the member factory; a member that is an archive itself is unpacked in turn, into a working
// directory of its own, down to kMaxArchiveNesting archives deep. All containers of such a tree
// share one UnpackBudget, which bounds what the tree may write to disk and what its loaded
// members hold. Writing asks every member to SaveAs its own path, lays out the directory from the
// member files as they then lie on disk and copies them into the target the same way; the result
// replaces the target only once it is complete.

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "files/byte_reader.h"
#include "files/errors.h"
#include "files/file_list.h"
#include "files/game_file.h"
#include "files/unpack_budget.h"
#include "files/working_directory.h"
#include "platform/read_only_file.h"

namespace carconv {

struct VivEntry {
    std::int32_t offset = 0;
    std::int32_t size = 0;
    std::string name;
};

// Header and directory of an archive, as read from its bytes.
struct VivDirectory {
    std::array<std::uint8_t, 4> magic{};
    std::int32_t totalSize = 0;
    std::int32_t memberCount = 0;
    std::int32_t headerSize = 0;
    std::vector<VivEntry> entries;
};

// An archive lies deeper inside other archives than kMaxArchiveNesting allows. Unlike other
// malformed members, this stops the load of every archive that holds it.
class ArchiveNestingError : public FormatError {
  public:
    using FormatError::FormatError;
};

class DirectoryProblemMemo;

class VivArchive : public GameFile {
  public:
    static constexpr std::size_t kHeaderSize = 16;
    static constexpr std::size_t kEntryFixedSize = 9;  // offset, size, name terminator
    static constexpr std::size_t kMaxNameLength = 255;
    static constexpr std::array<std::uint8_t, 4> kMagic = {'B', 'I', 'G', 'F'};
    // What loading reads first of an archive: the directory of any car package, and more.
    static constexpr std::size_t kDirectoryFirstRead = std::size_t{64} << 10;

    // `nestingDepth` is the number of archives this one lies in: 0 for a package on its own.
    // `budget` is the unpack budget of the tree this archive lies in; without one, Load makes
    // one from the archive's own size.
    explicit VivArchive(std::string path, int nestingDepth = 0,
                        std::shared_ptr<UnpackBudget> budget = nullptr);
    ~VivArchive() override;

    // Magic "BIGF" and a directory rebuilt from the member list; length = totalSize.
    int Reset() override;
    // Reads the archive, unpacks every member into a fresh working directory and types it.
    // Throws ArchiveNestingError, before reading anything, when the archive lies deeper than
    // kMaxArchiveNesting, and UnpackLimitError when the tree's unpack budget runs out.
    int Load() override;
    // Load for a run that only reads the archive: a member whose object can read its content
    // where it lies (CreateMemberInPlace: meshes, picture archives, textures, version-3 texts and
    // front-end files) is not copied out but typed from its range of the archive file, and
    // MembersInPackage tells where it lies. Such a
    // member's path holds no file, so an archive loaded this way cannot be written (SaveAs throws
    // std::logic_error).
    int LoadInPlace();
    // The members LoadInPlace left in the archive file, by the path their file would have had,
    // with their ranges there; of two members of one path, the later, as unpacking leaves it.
    const std::map<std::string, FileRange>& MembersInPackage() const { return inPackage_; }
    // Writes the archive of the member list to `target`, replacing it only when complete.
    int SaveAs(std::string target) override;
    // Load of an archive already in memory: the same checks, budget, errors and warnings, and the
    // same typed members, each read from its bytes in memory (ParseMemberFile) and named by the
    // archive's path joined with the member's name. Writes nothing and creates no working
    // directory, so members that need their files (SaveAs of the archive) cannot be packed.
    int Parse(ByteSpan bytes) override;

    // Creates the working directory that members are unpacked into or written to, if there is
    // none yet, and returns its path (no trailing separator).
    const std::string& CreateWorkingDirectory();
    // Before Load or CreateWorkingDirectory: the working directory is `directory`, empty, which
    // the caller keeps and empties again after the archive is gone, instead of one of its own.
    void UseWorkingDirectory(WorkingDirectory& directory) { borrowed_ = &directory; }
    // Empty before CreateWorkingDirectory or Load.
    std::string WorkingDirectoryPath() const;
    int NestingDepth() const { return nestingDepth_; }

    // Parses header and directory, validating every entry against the file's size.
    // `fileName` is used in error messages.
    static VivDirectory ReadDirectory(ByteSpan bytes, const std::string& fileName);
    // The same of an archive file, of which only the bytes the directory takes are read: first
    // `firstRead` bytes, then twice as many while the directory runs on. Also throws IoError for a
    // file of 2 GiB or more, which the format cannot describe.
    static VivDirectory ReadDirectory(const ReadOnlyFile& file, const std::string& fileName,
                                      std::size_t firstRead = kDirectoryFirstRead);
    // Parses header and directory from the first bytes of a file of `fileSize` bytes, as
    // ReadDirectory does; nullopt when the directory runs on past `prefix`.
    static std::optional<VivDirectory> ParseDirectory(ByteSpan prefix, std::uint64_t fileSize,
                                                      const std::string& fileName);
    // Whether `bytes` hold a sound header and directory, without throwing: nullopt and the
    // directory in `dir` when they do, else the problem as the FormatError of ReadDirectory tells
    // it after the file's name (FormatError::ProblemIn). Lets an archive member that is not one
    // cost no exception.
    static std::optional<std::string> DirectoryProblem(ByteSpan bytes, VivDirectory& dir);
    // Parse with `dir`, the directory that DirectoryProblem found sound in `bytes`. The members
    // that are archives are checked through `memo`, else through a memo of this archive's own;
    // `bytes` must stay as they are while `memo` is used.
    int ParseWithDirectory(ByteSpan bytes, VivDirectory dir, DirectoryProblemMemo* memo = nullptr);
    // One warning, naming `fileName` and the bytes it found, when an archive's magic is not
    // "BIGF". Such an archive is read all the same.
    static void ReportForeignMagic(const VivDirectory& directory, const std::string& fileName);

    std::array<std::uint8_t, 4> magic = kMagic;
    std::int32_t totalSize = 0;
    std::int32_t memberCount = 0;
    std::int32_t headerSize = 0;
    std::vector<VivEntry> directory;
    FileList members;

  private:
    enum class DirectoryScan { kComplete, kCut, kMalformed };
    // ParseDirectory's work: kMalformed with the problem in `problem` where it would throw, kCut
    // where it would return nullopt.
    static DirectoryScan ScanDirectory(ByteSpan prefix, std::uint64_t fileSize, VivDirectory& dir,
                                       std::string& problem);
    // Load, and LoadInPlace when `inPlace`.
    int LoadMembers(bool inPlace);
    int RebuildDirectory();
    // Throws ArchiveNestingError when the archive lies deeper than kMaxArchiveNesting.
    void RefuseTooDeep() const;
    // Load (`toDisk`) and Parse of the archive of `fileSize` bytes whose directory is `dir`, after
    // RefuseTooDeep. `makeMember(entry, memberPath, budget)` returns the typed object of one
    // member, whose file is to be `memberPath`, charged to `budget`; null for a member whose name
    // gives it no type (HasTypedName), which Unpack then carries as a plain GameFile of
    // `memberPath`, left unread as the typing step leaves it. It is called directly rather than
    // through a std::function, whose capture would be allocated for every archive Parse meets.
    template <class MemberMaker>
    int Unpack(VivDirectory dir, std::uint64_t fileSize, bool toDisk,
               const MemberMaker& makeMember);

    int nestingDepth_;
    std::shared_ptr<UnpackBudget> budget_;
    std::unique_ptr<WorkingDirectory> workingDirectory_;
    WorkingDirectory* borrowed_ = nullptr;
    std::map<std::string, FileRange> inPackage_;
    // The typed members that Load created; released with the archive.
    std::vector<std::unique_ptr<GameFile>> loadedMembers_;
    // The members carried unread, held in blocks of growing size rather than one allocation
    // each: a package may hold thousands of them.
    std::vector<std::unique_ptr<std::optional<GameFile>[]>> carriedMembers_;
};

// VivArchive::DirectoryProblem for the members of a tree of archives read from memory, which
// remembers the last bytes it found malformed and its problem: a crafted package may point
// thousands of entries, of its own and of the archives inside it, at the same bytes, which are
// then checked once. The answer depends on nothing but those bytes; the memo is used only while
// they stay as they are, that is while the outermost archive parses the bytes they lie in, and
// is known by their address and size there.
class DirectoryProblemMemo {
  public:
    // What DirectoryProblem finds in `bytes`: the problem, or null with the sound directory in
    // `dir`.
    const std::string* Problem(ByteSpan bytes, VivDirectory& dir);

  private:
    struct Found {
        std::optional<std::string> problem;
        VivDirectory directory;  // when sound
    };
    // By the address and length of the bytes within the outermost archive: members that name the
    // same range, however many and however deep, have it scanned once. Every sound directory
    // kept is then unpacked, its entries charged to the unpack budget, which bounds what this
    // holds.
    std::map<std::pair<const std::uint8_t*, std::size_t>, Found> found_;
};

}  // namespace carconv
