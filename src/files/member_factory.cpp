#include "files/member_factory.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>
#include <typeinfo>
#include <utility>

#include <fmt/format.h>

#include "carp/carp3_file.h"
#include "carp/carp4_file.h"
#include "carp/carp_text.h"
#include "fedata/fedata3_file.h"
#include "fedata/fedata4_file.h"
#include "files/carried_file.h"
#include "files/errors.h"
#include "files/name_index.h"
#include "files/safe_name.h"
#include "files/viv_archive.h"
#include "files/warnings.h"
#include "image/fsh_file.h"
#include "image/tga_file.h"
#include "mesh/fce3_file.h"
#include "mesh/fce4_file.h"
#include "platform/file_system.h"
#include "platform/read_only_file.h"

namespace carconv {

namespace {

// Tested in this order; the order only matters for the record, as no two overlap.
constexpr std::array<std::string_view, 7> kFedataNames = {"fedata.ita", "fedata.bri", "fedata.spa",
                                                          "fedata.fre", "fedata.swe", "fedata.eng",
                                                          "fedata.ger"};
constexpr std::array<std::string_view, 4> kCarpNames = {"carp.txt", "carp1.txt", "carp2.txt",
                                                        "carp3.txt"};
// Only the version-4 performance text has a section for parameter 80.
constexpr std::string_view kCarp4Marker = "(80)";
// Front-end data whose first byte, taken as signed, is at least this is in the version-3 layout.
constexpr int kFedata3FirstByteMin = 32;

bool EndsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

template <std::size_t N>
bool EndsWithAny(std::string_view text, const std::array<std::string_view, N>& suffixes) {
    return std::any_of(suffixes.begin(), suffixes.end(),
                       [text](std::string_view s) { return EndsWith(text, s); });
}

// What a member's name makes of it. The layouts within a family are told apart by content.
enum class MemberFamily { kArchive, kPictures, kTexture, kMesh, kFedata, kCarp, kOther };

// At least as long as every suffix the name tests look for, and short enough for a string to hold
// without an allocation of its own.
constexpr std::size_t kNameTailSize = 15;
constexpr bool FitsTail(std::string_view suffix) {
    return suffix.size() <= kNameTailSize;
}
static_assert(std::all_of(kFedataNames.begin(), kFedataNames.end(), FitsTail));
static_assert(std::all_of(kCarpNames.begin(), kCarpNames.end(), FitsTail));
// FamilyOf looks for the performance texts among names ending in ".txt", and for the front-end
// files among those with another extension of three bytes.
static_assert(std::all_of(kCarpNames.begin(), kCarpNames.end(),
                          [](std::string_view s) { return s.ends_with(".txt"); }));
static_assert(std::all_of(kFedataNames.begin(), kFedataNames.end(), [](std::string_view s) {
    return s.size() >= 4 && s[s.size() - 4] == '.' && !s.ends_with(".txt");
}));

// ASCII letters lower-cased and every other byte as it is, looked up rather than compared: every
// member of an archive is typed by its name.
constexpr std::array<char, 256> kLowerCase = [] {
    std::array<char, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[static_cast<std::size_t>(c)] =
            static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return table;
}();

// The three bytes of a name's extension as one number, for a switch.
constexpr std::uint32_t ExtensionKey(std::string_view ext) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(ext[0])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(ext[1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(ext[2]));
}

MemberFamily FamilyOf(std::string_view path) {
    // Only the end of the path matters: a member deep in nested archives has a long one. It is
    // lower-cased in place here, as every member of an archive is typed.
    std::array<char, kNameTailSize> tail{};
    const std::size_t tailSize = std::min(path.size(), kNameTailSize);
    const std::size_t tailStart = path.size() - tailSize;
    for (std::size_t i = 0; i < tailSize; ++i)
        tail[i] = kLowerCase[static_cast<unsigned char>(path[tailStart + i])];
    const std::string_view name(tail.data(), tailSize);
    // Every name that gives a type ends in a dot and three bytes, which choose the family or the
    // list of names to look in.
    if (tailSize < 4 || name[tailSize - 4] != '.')
        return MemberFamily::kOther;
    switch (ExtensionKey(name.substr(tailSize - 3))) {
        case ExtensionKey("viv"):
            return MemberFamily::kArchive;
        case ExtensionKey("fsh"):
            return MemberFamily::kPictures;
        case ExtensionKey("tga"):
            return MemberFamily::kTexture;
        case ExtensionKey("fce"):
            return MemberFamily::kMesh;
        case ExtensionKey("txt"):
            return EndsWithAny(name, kCarpNames) ? MemberFamily::kCarp : MemberFamily::kOther;
        default:
            return EndsWithAny(name, kFedataNames) ? MemberFamily::kFedata : MemberFamily::kOther;
    }
}

// The object for a member of `family` whose content begins with `content`: for a performance
// text all of it, for the other families with a content test at least the bytes that test reads.
std::unique_ptr<GameFile> NewOfFamily(MemberFamily family, ByteSpan content, std::string path,
                                      int nestingDepth, std::shared_ptr<UnpackBudget> budget) {
    switch (family) {
        case MemberFamily::kArchive:
            return std::make_unique<VivArchive>(std::move(path), nestingDepth, std::move(budget));
        case MemberFamily::kPictures:
            return std::make_unique<FshFile>(std::move(path), std::move(budget));
        case MemberFamily::kTexture:
            return std::make_unique<TgaFile>(std::move(path), std::move(budget));
        case MemberFamily::kMesh:
            if (Fce4File::HasVersionMark(content))
                return std::make_unique<Fce4File>(std::move(path));
            return std::make_unique<Fce3File>(std::move(path));
        case MemberFamily::kFedata:
            if (content.empty() || static_cast<std::int8_t>(content[0]) >= kFedata3FirstByteMin)
                return std::make_unique<Fedata3File>(std::move(path));
            return std::make_unique<Fedata4File>(std::move(path));
        case MemberFamily::kCarp: {
            const std::string_view text(reinterpret_cast<const char*>(content.data()),
                                        content.size());
            if (text.find(kCarp4Marker) != std::string_view::npos)
                return std::make_unique<Carp4File>(std::move(path));
            return std::make_unique<Carp3File>(std::move(path));
        }
        case MemberFamily::kOther:
            break;
    }
    return std::make_unique<GameFile>(std::move(path));
}

// NewMemberFile of the file at `path`, which the object takes over.
// How many of a member's first bytes NewOfFamily's content test for `family` reads: none for a
// family that has one layout.
std::size_t TestedBytes(MemberFamily family) {
    switch (family) {
        case MemberFamily::kMesh:
            return Fce4File::kVersionMarkAt + 1;
        case MemberFamily::kFedata:
            return 1;
        case MemberFamily::kCarp:
            return kMaxCarpTextSize + 1;
        default:
            return 0;
    }
}

std::unique_ptr<GameFile> NewOfFile(std::string path, int nestingDepth,
                                    std::shared_ptr<UnpackBudget> budget) {
    const MemberFamily family = FamilyOf(path);
    const std::size_t tested = TestedBytes(family);
    const Bytes content = tested != 0 ? ReadFilePrefix(path, tested) : Bytes();
    return NewOfFamily(family, content, std::move(path), nestingDepth, std::move(budget));
}

bool IsPlain(const GameFile& file) {
    return typeid(file) == typeid(GameFile);
}

// The warning for a member of type `typeTag` whose content is malformed (`problem`), which is kept
// unread as a plain member.
void ReportKeptUnread(const std::string& name, const std::string& typeTag,
                      const std::string& problem) {
    ReportWarning(fmt::format("{}: kept unread, it is not a valid {} file: {}", PrintableName(name),
                              typeTag, problem));
}

// `file`, read by `read` unless it is a plain GameFile; when `read` finds the content malformed,
// what `keepUnread` makes of the same path instead, with a warning.
// Both are called directly, not through a std::function: every member of an archive is typed
// here.
template <class Read, class KeepUnread>
std::unique_ptr<GameFile> ReadTyped(std::unique_ptr<GameFile> file, const Read& read,
                                    const KeepUnread& keepUnread) {
    if (IsPlain(*file))
        return file;
    try {
        read(*file);
    } catch (const ArchiveNestingError&) {
        throw;
    } catch (const UnpackLimitError&) {
        throw;
    } catch (const FormatError& e) {
        if (WarningsHeard())
            ReportKeptUnread(file->GetFileName(), file->typeTag, e.ProblemIn(file->path));
        // Released first: a container removes what it unpacked before it failed. Reading leaves
        // the path as it was, and no object needs its own to be released.
        std::string path = std::move(file->path);
        file.reset();
        file = keepUnread(std::move(path));
    }
    return file;
}

// ReadTyped of a member kept unread as a plain GameFile read by `read`.
template <class Read>
std::unique_ptr<GameFile> ReadTyped(std::unique_ptr<GameFile> file, const Read& read) {
    return ReadTyped(std::move(file), read, [&read](std::string path) {
        auto plain = std::make_unique<GameFile>(std::move(path));
        read(*plain);
        return std::unique_ptr<GameFile>(std::move(plain));
    });
}

// The classes whose objects read their content from a range of a file (LoadFrom), by exact type:
// a class derived from one of them may read otherwise.
template <typename... Formats>
struct RangeReaders {
    static bool Reads(const GameFile& file) { return ((typeid(file) == typeid(Formats)) || ...); }
    static void Load(GameFile& file, const FileRange& source) {
        static_cast<void>(((typeid(file) == typeid(Formats) &&
                            (static_cast<Formats&>(file).LoadFrom(source), true)) ||
                           ...));
    }
};
using InPlaceReaders = RangeReaders<Fce3File, Fce4File, FshFile, TgaFile, Carp3File, Fedata3File>;

}  // namespace

bool HasTypedName(const std::string& path) {
    return FamilyOf(path) != MemberFamily::kOther;
}

std::unique_ptr<GameFile> NewMemberFile(const std::string& path, int nestingDepth,
                                        std::shared_ptr<UnpackBudget> budget) {
    return NewOfFile(path, nestingDepth, std::move(budget));
}

std::unique_ptr<GameFile> NewMemberFile(const std::string& path, ByteSpan content, int nestingDepth,
                                        std::shared_ptr<UnpackBudget> budget) {
    return NewOfFamily(FamilyOf(path), content, path, nestingDepth, std::move(budget));
}

std::unique_ptr<GameFile> CreateMemberFile(std::string path, int nestingDepth,
                                           std::shared_ptr<UnpackBudget> budget) {
    std::unique_ptr<GameFile> file = NewOfFile(std::move(path), nestingDepth, std::move(budget));
    return ReadTyped(std::move(file), [](GameFile& f) { f.Load(); });
}

std::unique_ptr<GameFile> CreateMemberInPlace(std::string path, const FileRange& source,
                                              std::shared_ptr<UnpackBudget> budget) {
    const MemberFamily family = FamilyOf(path);
    if (family == MemberFamily::kArchive || family == MemberFamily::kOther)
        return nullptr;  // no class of theirs reads a range
    // The bytes the family's content test reads, as NewOfFile reads them from a file.
    const std::size_t tested = TestedBytes(family);
    const Bytes content = tested != 0 ? ReadFilePrefix(source, tested) : Bytes();
    std::unique_ptr<GameFile> file =
        NewOfFamily(family, content, std::move(path), 0, std::move(budget));
    if (!InPlaceReaders::Reads(*file))
        return nullptr;
    return ReadTyped(
        std::move(file), [&source](GameFile& f) { InPlaceReaders::Load(f, source); },
        [&source](std::string kept) -> std::unique_ptr<GameFile> {
            auto carried = std::make_unique<CarriedFile>(std::move(kept), source.path,
                                                         source.offset, source.size);
            carried->Load();
            return carried;
        });
}

std::unique_ptr<GameFile> ParseMemberFile(std::string&& path, ByteSpan content, int nestingDepth,
                                          std::shared_ptr<UnpackBudget> budget,
                                          DirectoryProblemMemo* memo) {
    const MemberFamily family = FamilyOf(path);
    if (family == MemberFamily::kOther)
        return nullptr;
    // An archive member is made an archive only once its directory proves sound: one that is not
    // is kept unread with the warning ReadTyped gives, and costs no exception and no object. Too
    // deep a nesting and a size past the format's reach still go through Parse, which refuses them.
    if (family == MemberFamily::kArchive && nestingDepth <= kMaxArchiveNesting &&
        content.size() <= INT32_MAX) {
        // Without a memo of the tree, one for the archives inside this member.
        DirectoryProblemMemo own;
        DirectoryProblemMemo& checks = memo != nullptr ? *memo : own;
        VivDirectory directory;
        if (const std::string* problem = checks.Problem(content, directory)) {
            // Carried as a member whose name gives no type: no object of its own.
            if (WarningsHeard()) {
                // The name as GameFile::GetFileName gives it (npos + 1 is the whole path).
                ReportKeptUnread(path.substr(path.find_last_of("\\/:") + 1), "VIV", *problem);
            }
            return nullptr;
        }
        auto archive =
            std::make_unique<VivArchive>(std::move(path), nestingDepth, std::move(budget));
        return ReadTyped(std::move(archive), [&](GameFile& f) {
            static_cast<VivArchive&>(f).ParseWithDirectory(content, std::move(directory), &checks);
        });
    }
    std::unique_ptr<GameFile> file =
        NewOfFamily(family, content, std::move(path), nestingDepth, std::move(budget));
    return ReadTyped(std::move(file), [content](GameFile& f) { f.Parse(content); });
}

}  // namespace carconv
