#include "files/viv_archive.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <utility>

#include <fmt/format.h>

#include "files/carried_file.h"
#include "files/errors.h"
#include "files/held_file.h"
#include "files/member_factory.h"
#include "files/safe_name.h"
#include "files/warnings.h"
#include "platform/file_system.h"
#include "platform/interruption.h"
#include "platform/read_only_file.h"

namespace carconv {

namespace {

// The most members carried unread that one allocation holds.
constexpr std::size_t kCarriedBlockMax = 256;
// The most directory entries held before any is read.
constexpr std::size_t kEntriesReservedAtOnce = 64;

}  // namespace

VivArchive::VivArchive(std::string path, int nestingDepth, std::shared_ptr<UnpackBudget> budget)
    : GameFile(std::move(path)), nestingDepth_(nestingDepth), budget_(std::move(budget)) {
    typeTag = "VIV";
}

VivArchive::~VivArchive() {
    // Members first: nested archives and picture archives remove their own working directories.
    members.RemoveAll();
    while (!loadedMembers_.empty())
        loadedMembers_.pop_back();
}

const std::string& VivArchive::CreateWorkingDirectory() {
    if (borrowed_ != nullptr)
        return borrowed_->Path();
    if (!workingDirectory_)
        workingDirectory_ = std::make_unique<WorkingDirectory>(GetFileName(), path);
    return workingDirectory_->Path();
}

std::string VivArchive::WorkingDirectoryPath() const {
    if (borrowed_ != nullptr)
        return borrowed_->Path();
    return workingDirectory_ ? workingDirectory_->Path() : std::string();
}

int VivArchive::Reset() {
    magic = kMagic;
    RebuildDirectory();
    length = totalSize;
    return 1;
}

namespace {

// Moves the elements of `from` to the end of `to`.
template <class T>
void AppendAll(std::vector<T>& to, std::vector<T>&& from) {
    if (to.empty()) {
        to = std::move(from);
        return;
    }
    to.reserve(to.size() + from.size());
    for (T& element : from)
        to.push_back(std::move(element));
}

// What FormatError(file, offset, what) shows after the file's name.
std::string AtOffset(std::string what, std::size_t offset) {
    what += " at offset ";
    what += HexOffset(offset);
    return what;
}

std::uint32_t LoadU32be(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}

}  // namespace

VivArchive::DirectoryScan VivArchive::ScanDirectory(ByteSpan prefix, std::uint64_t fileSize,
                                                    VivDirectory& dir, std::string& problem) {
    assert(prefix.size() <= fileSize &&
           prefix.size() >= std::min<std::uint64_t>(fileSize, kHeaderSize));
    if (fileSize < kHeaderSize) {
        problem = fmt::format("file of {} bytes is too short for the {}-byte archive header",
                              fileSize, kHeaderSize);
        return DirectoryScan::kMalformed;
    }
    const std::uint8_t* bytes = prefix.data();
    std::copy_n(bytes, dir.magic.size(), dir.magic.begin());
    dir.totalSize = static_cast<std::int32_t>(LoadU32be(bytes + 4));
    dir.memberCount = static_cast<std::int32_t>(LoadU32be(bytes + 8));
    dir.headerSize = static_cast<std::int32_t>(LoadU32be(bytes + 12));
    if (dir.memberCount < 0) {
        problem = AtOffset(fmt::format("negative member count {}", dir.memberCount), 8);
        return DirectoryScan::kMalformed;
    }
    if (static_cast<std::uint64_t>(dir.memberCount) > (fileSize - kHeaderSize) / kEntryFixedSize) {
        problem = AtOffset(
            fmt::format("member count {} is more than the file can hold", dir.memberCount), 8);
        return DirectoryScan::kMalformed;
    }
    const bool wholeFile = prefix.size() == fileSize;
    // No more than the bytes at hand can hold: a directory read in steps is held in step. Past a
    // car package's worth, the list grows as the entries prove to be there: a count that the
    // bytes merely could hold would otherwise cost a large allocation for a directory that fails
    // at its first entries. Nor is the list made before its first entry proves sound: a directory
    // that fails there, as most malformed ones do, costs no allocation.
    std::size_t pos = kHeaderSize;
    const std::size_t reserved =
        std::min({static_cast<std::size_t>(dir.memberCount),
                  (prefix.size() - pos) / kEntryFixedSize, kEntriesReservedAtOnce});
    for (std::int32_t i = 0; i < dir.memberCount; ++i) {
        const std::size_t entryStart = pos;
        // The longest entry that can begin here: offset, size and a name with its zero byte.
        const std::uint64_t longest = std::min<std::uint64_t>(
            fileSize - entryStart, kEntryFixedSize - 1 + kMaxNameLength + 1);
        if (!wholeFile && prefix.size() - pos < longest)
            return DirectoryScan::kCut;
        // Offset and size, as a bounded reader reports a cut.
        for (int field = 0; field < 2; ++field) {
            if (prefix.size() - pos < 4) {
                problem = AtOffset("unexpected end of data while reading a 32-bit value [" +
                                       HexOffset(pos) + ", " + HexOffset(pos + 4) + ")",
                                   pos);
                return DirectoryScan::kMalformed;
            }
            pos += 4;
        }
        const auto offset = static_cast<std::int32_t>(LoadU32be(bytes + entryStart));
        const auto size = static_cast<std::int32_t>(LoadU32be(bytes + entryStart + 4));
        // The name runs to its zero byte, which must come within 256 bytes and inside the file.
        const std::size_t nameStart = pos;
        const std::size_t window = static_cast<std::size_t>(
            std::min<std::uint64_t>(fileSize - nameStart, kMaxNameLength + 1));
        const void* zero = window == 0 ? nullptr : std::memchr(bytes + nameStart, 0, window);
        if (zero == nullptr) {
            problem = AtOffset(
                window > kMaxNameLength
                    ? fmt::format("name of member {} is longer than {} bytes", i, kMaxNameLength)
                    : fmt::format("name of member {} is not terminated", i),
                nameStart);
            return DirectoryScan::kMalformed;
        }
        const std::size_t nameLength =
            static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - (bytes + nameStart));
        const std::string_view name(reinterpret_cast<const char*>(bytes + nameStart), nameLength);
        pos = nameStart + nameLength + 1;
        if (!IsSafeFileName(name)) {
            problem = AtOffset(fmt::format("member name \"{}\" is not a safe file name",
                                           PrintableName(std::string(name))),
                               nameStart);
            return DirectoryScan::kMalformed;
        }
        if (offset < 0 || size < 0 ||
            !RangeFits(static_cast<std::uint64_t>(offset), static_cast<std::uint64_t>(size),
                       fileSize)) {
            problem =
                AtOffset(fmt::format("member \"{}\" (offset {}, size {}) lies outside the "
                                     "file of {} bytes",
                                     PrintableName(std::string(name)), offset, size, fileSize),
                         entryStart);
            return DirectoryScan::kMalformed;
        }
        if (i == 0)
            dir.entries.reserve(reserved);
        VivEntry& entry = dir.entries.emplace_back();
        entry.offset = offset;
        entry.size = size;
        entry.name.assign(name);
    }
    return DirectoryScan::kComplete;
}

std::optional<VivDirectory> VivArchive::ParseDirectory(ByteSpan prefix, std::uint64_t fileSize,
                                                       const std::string& fileName) {
    VivDirectory dir;
    std::string problem;
    switch (ScanDirectory(prefix, fileSize, dir, problem)) {
        case DirectoryScan::kComplete:
            return dir;
        case DirectoryScan::kCut:
            return std::nullopt;
        case DirectoryScan::kMalformed:
            break;
    }
    throw FormatError(fileName, problem);
}

std::optional<std::string> VivArchive::DirectoryProblem(ByteSpan bytes, VivDirectory& dir) {
    std::string problem;
    if (ScanDirectory(bytes, bytes.size(), dir, problem) == DirectoryScan::kMalformed)
        return problem;
    return std::nullopt;
}

const std::string* DirectoryProblemMemo::Problem(ByteSpan bytes, VivDirectory& dir) {
    auto [at, isNew] = found_.try_emplace({bytes.data(), bytes.size()});
    Found& found = at->second;
    if (isNew) {
        found.problem = VivArchive::DirectoryProblem(bytes, found.directory);
        if (found.problem)
            found.directory = VivDirectory();
    }
    if (found.problem)
        return &*found.problem;
    dir = found.directory;
    return nullptr;
}

VivDirectory VivArchive::ReadDirectory(ByteSpan bytes, const std::string& fileName) {
    return *ParseDirectory(bytes, bytes.size(), fileName);
}

VivDirectory VivArchive::ReadDirectory(const ReadOnlyFile& file, const std::string& fileName,
                                       std::size_t firstRead) {
    const std::uint64_t fileSize = static_cast<std::uint64_t>(file.Size());
    if (fileSize > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()))
        throw IoError(file.Path(), "file is too large (2 GiB or more)");
    // Only as much of the file as the directory takes: read again, twice as much, while the
    // directory runs on past what was read.
    std::uint64_t want = std::max<std::uint64_t>(firstRead, kHeaderSize);
    for (;;) {
        const std::size_t count = static_cast<std::size_t>(std::min(want, fileSize));
        const Bytes prefix = file.ReadAt(0, count);
        if (prefix.size() != count)
            throw IoError(file.Path(), "file changed while it was read");
        if (std::optional<VivDirectory> dir = ParseDirectory(prefix, fileSize, fileName))
            return std::move(*dir);
        want *= 2;
    }
}

void VivArchive::ReportForeignMagic(const VivDirectory& directory, const std::string& fileName) {
    if (directory.magic == kMagic)
        return;
    std::string shown;
    for (std::uint8_t b : directory.magic) {
        if (b >= 0x20 && b < 0x7f)
            shown += static_cast<char>(b);
        else
            shown += fmt::format("\\x{:02x}", b);
    }
    ReportWarning(
        fmt::format("{}: the archive begins with \"{}\", not \"BIGF\"; read as a BIGF "
                    "archive",
                    PrintableName(fileName), shown));
}

void VivArchive::RefuseTooDeep() const {
    if (nestingDepth_ > kMaxArchiveNesting) {
        throw ArchiveNestingError(
            path, fmt::format("archive nested {} archives deep; at most {} are unpacked",
                              nestingDepth_, kMaxArchiveNesting));
    }
}

template <class MemberMaker>
int VivArchive::Unpack(VivDirectory dir, std::uint64_t fileSize, bool toDisk,
                       const MemberMaker& makeMember) {
    std::shared_ptr<UnpackBudget> budget = UnpackBudget::ForContainer(budget_, path, fileSize);

    if (WarningsHeard())
        ReportForeignMagic(dir, GetFileName());

    const std::string& memberDirectory = toDisk ? CreateWorkingDirectory() : path;
    // Until every member is made, the members live here: a container that fails removes what it
    // unpacked before the failure goes on. The lists are sized for the entries left, which the
    // file holds, when their first member comes: an archive of many members, or many archives,
    // grows none of them, and one whose members are all carried has no list of typed ones.
    std::vector<std::unique_ptr<GameFile>> typed;
    std::vector<std::unique_ptr<std::optional<GameFile>[]>> carried;
    std::size_t carriedFree = 0;  // unused places in the last block of `carried`
    std::size_t carriedBlock = 0;
    std::vector<GameFile*> order;
    order.reserve(dir.entries.size());
    for (const VivEntry& entry : dir.entries) {
        ThrowIfStopRequested();
        const std::size_t entriesLeft = dir.entries.size() - order.size();
        budget->Charge(static_cast<std::uint64_t>(entry.size));
        // A member that grows when it is loaded (a decoded texture) charges its growth itself,
        // before it allocates it.
        std::string memberPath = JoinPath(memberDirectory, entry.name);
        if (std::unique_ptr<GameFile> member = makeMember(entry, memberPath, budget)) {
            if (typed.empty())
                typed.reserve(entriesLeft);
            order.push_back(member.get());
            typed.push_back(std::move(member));
        } else {
            if (carriedFree == 0) {
                if (carried.empty())
                    carried.reserve((entriesLeft + kCarriedBlockMax - 1) / kCarriedBlockMax);
                carriedBlock = std::min(entriesLeft, kCarriedBlockMax);
                carried.push_back(std::make_unique<std::optional<GameFile>[]>(carriedBlock));
                carriedFree = carriedBlock;
            }
            // Measured from the directory, as a member kept unread is by its Load or Parse.
            GameFile& plain =
                carried.back()[carriedBlock - carriedFree--].emplace(std::move(memberPath));
            plain.length = entry.size;
            order.push_back(&plain);
        }
    }

    length = static_cast<std::int32_t>(fileSize);
    magic = dir.magic;
    totalSize = dir.totalSize;
    memberCount = dir.memberCount;
    headerSize = dir.headerSize;
    directory = std::move(dir.entries);
    members.Append(std::move(order));
    AppendAll(loadedMembers_, std::move(typed));
    AppendAll(carriedMembers_, std::move(carried));
    return 1;
}

int VivArchive::Load() {
    return LoadMembers(false);
}

int VivArchive::LoadInPlace() {
    return LoadMembers(true);
}

int VivArchive::LoadMembers(bool inPlace) {
    RefuseTooDeep();
    const ReadOnlyFile in(path);
    VivDirectory dir = ReadDirectory(in, path);
    // Members of one name are of one type: all are left in the package, or none.
    std::map<std::string, FileRange> inPackage;
    // Each member goes from the archive file into its own file, in the kernel where it can: the
    // archive is never held in memory, whatever its size.
    Unpack(std::move(dir), static_cast<std::uint64_t>(in.Size()), true,
           [&](const VivEntry& entry, std::string& memberPath,
               std::shared_ptr<UnpackBudget> budget) -> std::unique_ptr<GameFile> {
               if (inPlace) {
                   FileRange range{path, entry.offset, entry.size};
                   if (std::unique_ptr<GameFile> member =
                           CreateMemberInPlace(memberPath, range, budget)) {
                       inPackage[memberPath] = std::move(range);
                       return member;
                   }
               }
               AtomicFileWriter out(memberPath);
               out.AppendRange(in, entry.offset, entry.size);
               out.Commit();
               if (!HasTypedName(entry.name))
                   return nullptr;
               return CreateMemberFile(std::move(memberPath), nestingDepth_ + 1, std::move(budget));
           });
    inPackage_ = std::move(inPackage);
    return 1;
}

int VivArchive::Parse(ByteSpan bytes) {
    RefuseTooDeep();
    LengthOf(bytes);
    return ParseWithDirectory(bytes, ReadDirectory(bytes, path));
}

int VivArchive::ParseWithDirectory(ByteSpan bytes, VivDirectory dir, DirectoryProblemMemo* memo) {
    RefuseTooDeep();
    LengthOf(bytes);
    DirectoryProblemMemo own;
    DirectoryProblemMemo& checks = memo != nullptr ? *memo : own;
    return Unpack(std::move(dir), bytes.size(), false,
                  [&](const VivEntry& entry, std::string& memberPath,
                      std::shared_ptr<UnpackBudget> budget) -> std::unique_ptr<GameFile> {
                      return ParseMemberFile(std::move(memberPath),
                                             bytes.subspan(static_cast<std::size_t>(entry.offset),
                                                           static_cast<std::size_t>(entry.size)),
                                             nestingDepth_ + 1, std::move(budget), &checks);
                  });
}

int VivArchive::RebuildDirectory() {
    directory.clear();
    std::vector<VivEntry> entries;
    std::int64_t header = kHeaderSize;
    std::int64_t data = 0;
    for (int i = 0; i < members.GetSize(); ++i) {
        GameFile& member = members.ElementAt(i);
        member.SaveAs(member.path);
        VivEntry entry;
        entry.name = member.GetFileName();
        if (entry.name.empty() || entry.name.size() > kMaxNameLength) {
            throw IoError(member.path,
                          fmt::format("member name must be 1 to {} bytes long", kMaxNameLength));
        }
        // A carried or held member has no file of its own: its size is that of its source range
        // or of its bytes.
        std::int64_t size = 0;
        if (const auto* carried = dynamic_cast<const CarriedFile*>(&member))
            size = carried->length;
        else if (const auto* held = dynamic_cast<const HeldFile*>(&member))
            size = static_cast<std::int64_t>(held->Content().size());
        else
            size = FileSize(member.path);
        header += static_cast<std::int64_t>(kEntryFixedSize + entry.name.size());
        data += size;
        if (header + data > std::numeric_limits<std::int32_t>::max()) {
            throw IoError(path, "archive would reach 2 GiB, more than the format can hold");
        }
        entry.size = static_cast<std::int32_t>(size);
        entries.push_back(std::move(entry));
    }
    std::int32_t offset = static_cast<std::int32_t>(header);
    for (VivEntry& entry : entries) {
        entry.offset = offset;
        offset += entry.size;
    }
    memberCount = static_cast<std::int32_t>(entries.size());
    headerSize = static_cast<std::int32_t>(header);
    totalSize = static_cast<std::int32_t>(header + data);
    directory = std::move(entries);
    return 1;
}

int VivArchive::SaveAs(std::string target) {
    if (!inPackage_.empty())
        throw std::logic_error("VivArchive: an archive loaded in place cannot be written");
    RebuildDirectory();

    ByteWriter head;
    for (std::uint8_t b : magic)
        head.U8(b);
    head.I32be(totalSize);
    head.I32be(memberCount);
    head.I32be(headerSize);
    for (const VivEntry& entry : directory) {
        head.I32be(entry.offset);
        head.I32be(entry.size);
        head.Append(entry.name);
        head.U8(0);
    }

    // The target is a package the user named: a device or pipe there is written into.
    AtomicFileWriter out(target, AtomicFileWriter::Devices::kWriteInto);
    out.Write(head.Data());
    // The package the last carried member came from, open for the next ones from it.
    std::optional<ReadOnlyFile> package;
    for (int i = 0; i < members.GetSize(); ++i) {
        const GameFile& member = members.ElementAt(i);
        // From file to file in the kernel where it can: a package is never held in memory.
        const std::int32_t expected = directory[static_cast<std::size_t>(i)].size;
        if (const auto* carried = dynamic_cast<const CarriedFile*>(&member)) {
            if (!package || package->Path() != carried->Source())
                package.emplace(carried->Source());
            const ReadOnlyFile& in = *package;
            if (carried->Offset() > in.Size() || expected > in.Size() - carried->Offset())
                throw IoError(carried->Source(), "file changed while the archive was written");
            out.AppendRange(in, carried->Offset(), expected);
            continue;
        }
        if (const auto* held = dynamic_cast<const HeldFile*>(&member)) {
            out.Write(held->Content());
            continue;
        }
        const ReadOnlyFile in(member.path);
        if (in.Size() != expected)
            throw IoError(member.path, "member file changed while the archive was written");
        out.AppendRange(in, 0, expected);
    }
    out.Commit();
    length = totalSize;
    return 1;
}

}  // namespace carconv
