// The formats whose Load does not simply read the file and hand the bytes to Parse read the same
// from memory as from their file: Parse of a file's bytes gives the object, or the error, that
// Load of the file gives. Meshes check their header against the file's size and read their arrays
// later; archives and picture archives unpack to disk and type their members from the files. The
// fuzzers reach the parsers only through Parse, so a Parse that drifted from Load would leave Load
// unfuzzed without anyone noticing.
//
// Each format is tried on a well-formed file, every one of its short prefixes and a sample of the
// longer ones, and copies with header words overwritten by extreme values. An object is compared
// through what it shows of itself: its length and, where it writes, the bytes it would write.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <typeinfo>
#include <vector>

#include "files/errors.h"
#include "files/unpack_budget.h"
#include "files/viv_archive.h"
#include "files/warnings.h"
#include "image/fsh_file.h"
#include "image/fsh_image.h"
#include "mesh/fce3_file.h"
#include "mesh/fce4_file.h"
#include "mesh/mesh_bytes.h"
#include "support/packages.h"
#include "support/test_util.h"

namespace carconv {
namespace {

using test::ScratchDir;

std::string Text(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// The well-formed file, all prefixes up to 64 bytes and every 97th after, and copies with the
// 32-bit words of the first 64 bytes set to 0xFFFFFFFF and to 0x7FFFFFFF in turn.
std::vector<Bytes> Variants(const Bytes& good) {
    std::vector<Bytes> variants = {good};
    for (std::size_t n = 0; n < good.size(); n += n < 64 ? 1 : 97)
        variants.emplace_back(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
    for (std::size_t at = 0; at + 4 <= std::min<std::size_t>(good.size(), 64); at += 4) {
        for (std::uint8_t top : {std::uint8_t{0xFF}, std::uint8_t{0x7F}}) {
            Bytes damaged = good;
            std::fill_n(damaged.begin() + static_cast<std::ptrdiff_t>(at), 4, std::uint8_t{0xFF});
            damaged[at + 3] = top;
            variants.push_back(damaged);
        }
    }
    return variants;
}

// What reading did: the error's class and text, or the description of the object read, and the
// number of warnings reported on the way. `fileSystem` marks a refusal of the file system, which
// reading from memory cannot meet: an IoError, or (on Windows) a name that is no valid file name
// there.
struct Outcome {
    std::string error;
    std::string object;
    int warnings = 0;
    bool fileSystem = false;
};

template <class File>
using Describe = std::function<std::string(File&)>;

template <class File>
Outcome Read(const std::string& path, const std::function<void(File&)>& read,
             const Describe<File>& describe) {
    Outcome outcome;
    ScopedWarningSink count([&](const std::string&) { ++outcome.warnings; });
    File file(path);
    try {
        read(file);
    } catch (const IoError&) {
        outcome.fileSystem = true;
        return outcome;
    } catch (const std::filesystem::filesystem_error&) {
        outcome.fileSystem = true;
        return outcome;
    } catch (const CarconvError& e) {
        outcome.error = std::string(typeid(e).name()) + ": " + e.what();
        return outcome;
    }
    outcome.object = "length " + std::to_string(file.length) + "\n" + describe(file);
    return outcome;
}

// Load of each variant written to `name` and Parse of the same bytes under the same path agree.
template <class File>
void ExpectLoadAndParseAgree(const std::string& name, const Bytes& good,
                             const Describe<File>& describe) {
    ScratchDir dir;
    const std::string path = dir.File(name);
    int loaded = 0;
    for (const Bytes& bytes : Variants(good)) {
        SCOPED_TRACE(name + " of " + std::to_string(bytes.size()) + " bytes");
        test::WriteFile(path, bytes);
        const Outcome fromFile = Read<File>(
            path, [](File& f) { f.Load(); }, describe);
        const Outcome fromMemory = Read<File>(
            path, [&](File& f) { f.Parse(ByteSpan(bytes)); }, describe);
        if (fromFile.fileSystem)
            continue;
        EXPECT_EQ(fromMemory.error, fromFile.error);
        EXPECT_EQ(fromMemory.object, fromFile.object);
        EXPECT_EQ(fromMemory.warnings, fromFile.warnings);
        loaded += fromFile.error.empty() ? 1 : 0;
    }
    EXPECT_GT(loaded, 0) << "no variant of " << name << " loads";
}

TEST(ParseFromMemory, MeshesReadAsFromTheirFilesArraysIncluded) {
    ExpectLoadAndParseAgree<Fce3File>("car.fce", test::Fce3Mesh(3, 2, false), [](Fce3File& mesh) {
        std::string text = Text(Bytes(mesh.Header().begin(), mesh.Header().end()));
        for (int a = 0; a < Fce3File::kArrayCount; ++a)
            text += "\n" + Text(mesh.ArrayBytes(static_cast<Fce3File::ArrayId>(a)));
        return text + "\n" + Text(mesh.ToFce4("converted.fce")->Serialize("converted.fce"));
    });
    ExpectLoadAndParseAgree<Fce4File>("car.fce", test::Fce4PackedMesh(3, 2), [](Fce4File& mesh) {
        return Text(mesh.Serialize(mesh.path));
    });
}

std::string DescribeImage(const FshImage& image) {
    return std::to_string(image.FormatCode()) + " " + std::to_string(image.Width()) + "x" +
           std::to_string(image.Height()) + (image.PixelDataComplete() ? " complete " : " short ") +
           Text(image.Pixels()) + Text(Bytes(image.Palette().begin(), image.Palette().end()));
}

TEST(ParseFromMemory, PictureArchivesReadAsFromTheirFilesWithoutAWorkingDirectory) {
    const auto before = test::LeftoverWorkingDirectories();
    ExpectLoadAndParseAgree<FshFile>("dash.fsh", test::Fsh(), [](FshFile& pictures) {
        std::string text;
        for (const FshEntry& entry : pictures.Entries()) {
            text += entry.name + " " + std::to_string(entry.offset) + " " +
                    std::to_string(entry.size) + " " + DescribeImage(*entry.image) + "\n";
        }
        return text;
    });
    FshFile parsed("dash.fsh");
    parsed.Parse(test::Fsh());
    ASSERT_EQ(parsed.images.GetSize(), 1);
    EXPECT_EQ(parsed.images.ElementAt(0).GetFileName(), "dash");
    EXPECT_EQ(parsed.WorkingDirectoryPath(), "");
    EXPECT_EQ(test::LeftoverWorkingDirectories(), before);
}

TEST(ParseFromMemory, ArchivesTypeAndReadTheirMembersAsFromTheirFiles) {
    ScratchDir dir;
    std::vector<std::pair<std::string, test::Bytes>> members = test::Version3Members(true);
    members.emplace_back("dash.fce", test::EmptyFce4());  // a mesh of version 4 by its mark
    members.emplace_back("readme", test::Bytes{'x'});
    members.emplace_back("broken.tga", test::Bytes{1, 2, 3});  // kept plain, with a warning
    test::WriteArchive(dir.File("inner.viv"), {{"carp.txt", test::Bytes{'(', '0', ')'}}});
    members.emplace_back("inner.viv", test::ReadFile(dir.File("inner.viv")));
    test::WriteArchive(dir.File("package.viv"), members);
    const auto before = test::LeftoverWorkingDirectories();

    ExpectLoadAndParseAgree<VivArchive>(
        "car.viv", test::ReadFile(dir.File("package.viv")), [](VivArchive& archive) {
            std::string text = std::to_string(archive.memberCount) + " members\n";
            for (int i = 0; i < archive.members.GetSize(); ++i) {
                const GameFile& member = archive.members.ElementAt(i);
                text += member.typeTag + " " + member.GetFileName() + " " +
                        std::to_string(member.length) + "\n";
            }
            return text;
        });

    VivArchive parsed("car.viv");
    parsed.Parse(test::ReadFile(dir.File("package.viv")));
    ASSERT_EQ(parsed.members.GetSize(), static_cast<int>(members.size()));
    EXPECT_EQ(parsed.members.ElementAt(0).path, test::NativeSeparators("car.viv/fedata.eng"));
    EXPECT_EQ(parsed.WorkingDirectoryPath(), "");
    EXPECT_EQ(test::LeftoverWorkingDirectories(), before);
}

// Members that no type claims are carried unread in blocks of their own; they keep their places
// among the typed members, and the unpack budget counts every one of them as before.
TEST(ParseFromMemory, CarriedMembersKeepTheirPlacesWithinTheBudget) {
    struct Case {
        int carried;
        bool withinBudget;
    };
    // A package of n five-letter members holds 16 + 15 n bytes, so its file limit is
    // 1024 + (16 + 15 n) / 256 files.
    for (const Case c : {Case{1, true}, Case{600, true}, Case{1080, true}, Case{1200, false}}) {
        SCOPED_TRACE(std::to_string(c.carried) + " carried members");
        std::vector<std::pair<std::string, test::Bytes>> members;
        for (int i = 0; i < c.carried; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "m%04d", i);
            members.emplace_back(name, test::Bytes{});
            if (i == c.carried / 2)
                members.emplace_back("readme.viv", test::Bytes{1});  // typed, malformed, kept
        }
        ScopedWarningSink quiet([](const std::string&) {});
        VivArchive parsed("car.viv");
        if (!c.withinBudget) {
            EXPECT_THROW(parsed.Parse(test::ArchiveBytes(members)), UnpackLimitError);
            continue;
        }
        parsed.Parse(test::ArchiveBytes(members));
        ASSERT_EQ(parsed.members.GetSize(), static_cast<int>(members.size()));
        for (int i = 0; i < parsed.members.GetSize(); ++i) {
            const GameFile& member = parsed.members.ElementAt(i);
            ASSERT_EQ(member.path, test::NativeSeparators(
                                       "car.viv/" + members[static_cast<std::size_t>(i)].first));
            EXPECT_EQ(member.typeTag, "");
        }
    }
}

// A member named as an archive whose directory is malformed is kept unread with one warning that
// names the problem, the same from memory as from its file.
TEST(ParseFromMemory, MalformedNestedArchivesWarnAsFromTheirFiles) {
    const test::Bytes header = {'B', 'I', 'G', 'F', 0, 0, 0, 0};
    const auto withCount = [&](std::uint8_t count, test::Bytes rest) {
        test::Bytes bytes = header;
        bytes.insert(bytes.end(), {0, 0, 0, count, 0, 0, 0, 0});
        bytes.insert(bytes.end(), rest.begin(), rest.end());
        return bytes;
    };
    struct Case {
        test::Bytes inner;
        std::string problem;
    };
    const Case cases[] = {
        {{1, 2, 3}, "file of 3 bytes is too short for the 16-byte archive header"},
        {{'B', 'I', 'G', 'F', 0, 0, 0, 0, 0xff, 0xff, 0xff, 0xff, 0, 0, 0, 0},
         "negative member count -1 at offset 0x8"},
        // offset 0, size 0, name "abc" without its zero byte
        {withCount(1, {0, 0, 0, 0, 0, 0, 0, 0, 'a', 'b', 'c'}),
         "name of member 0 is not terminated at offset 0x18"},
        {withCount(1, {0, 0, 0, 0, 0, 0, 0, 0, 'a', '/', 'b', 0}),
         "member name \"a/b\" is not a safe file name at offset 0x18"},
        // offset 100, size 1, name "x"
        {withCount(1, {0, 0, 0, 100, 0, 0, 0, 1, 'x', 0}),
         "member \"x\" (offset 100, size 1) lies outside the file of 26 bytes at offset 0x10"},
        // a first entry named "abcdefghi", then two bytes of the second
        {withCount(2,
                   {0, 0, 0, 0, 0, 0, 0, 0, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 0, 0, 0}),
         "unexpected end of data while reading a 32-bit value [0x22, 0x26) at offset 0x22"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.problem);
        ScratchDir dir;
        test::WriteArchive(dir.File("car.viv"), {{"inner.viv", c.inner}});
        const std::vector<std::string> expected = {
            "inner.viv: kept unread, it is not a valid VIV file: " + c.problem};
        for (bool fromFile : {true, false}) {
            std::vector<std::string> warnings;
            ScopedWarningSink keep([&](const std::string& w) { warnings.push_back(w); });
            VivArchive archive(dir.File("car.viv"));
            if (fromFile)
                archive.Load();
            else
                archive.Parse(test::ReadFile(dir.File("car.viv")));
            EXPECT_EQ(warnings, expected) << (fromFile ? "Load" : "Parse");
            ASSERT_EQ(archive.members.GetSize(), 1);
            EXPECT_EQ(archive.members.ElementAt(0).typeTag, "");
            EXPECT_EQ(archive.members.ElementAt(0).length, static_cast<int>(c.inner.size()));
        }
    }
}

// An archive whose entries point into `data` (their offsets counted from its start), laid out
// after the directory: entries may share their bytes.
struct SharedEntry {
    std::string name;
    std::uint32_t offset;
    std::uint32_t size;
};
test::Bytes ArchiveOver(const std::vector<SharedEntry>& entries, const test::Bytes& data) {
    std::uint32_t header = 16;
    for (const SharedEntry& e : entries)
        header += 9 + static_cast<std::uint32_t>(e.name.size());
    test::Bytes bytes = {'B', 'I', 'G', 'F'};
    const auto word = [&](std::uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes.push_back(static_cast<std::uint8_t>(v >> shift));
    };
    word(header + static_cast<std::uint32_t>(data.size()));
    word(static_cast<std::uint32_t>(entries.size()));
    word(header);
    for (const SharedEntry& e : entries) {
        word(header + e.offset);
        word(e.size);
        bytes.insert(bytes.end(), e.name.begin(), e.name.end());
        bytes.push_back(0);
    }
    bytes.insert(bytes.end(), data.begin(), data.end());
    return bytes;
}

// Members named as archives whose entries share malformed bytes, directly and inside sound nested
// archives that share theirs, warn one by one as they do from their files: the same bytes give the
// same problem, and bytes at the same place but of another length, or of the same length elsewhere,
// give their own.
TEST(ParseFromMemory, MembersSharingMalformedBytesWarnAsFromTheirFiles) {
    // Bytes 0-2 are too short for a header, bytes 0-15 a header with a negative member count and
    // bytes 16-31 one whose single entry is missing.
    test::Bytes data = {'B', 'I', 'G', 'F', 0, 0, 0, 0, 0xff, 0xff, 0xff, 0xff, 0, 0, 0, 0,
                        'B', 'I', 'G', 'F', 0, 0, 0, 0, 0,    0,    0,    1,    0, 0, 0, 0};
    // A sound archive over the first 16 bytes, twice, and a piece of its own, at offset 19.
    const test::Bytes inner = ArchiveOver({{"x.viv", 0, 3}, {"y.viv", 0, 16}, {"z.viv", 0, 3}},
                                          test::Bytes(data.begin(), data.begin() + 16));
    const auto innerAt = static_cast<std::uint32_t>(data.size());
    data.insert(data.end(), inner.begin(), inner.end());
    const test::Bytes outer =
        ArchiveOver({{"a.viv", 0, 3},
                     {"b.viv", 0, 3},
                     {"c.viv", 0, 16},
                     {"d.viv", 16, 16},
                     {"e.viv", 0, 3},
                     {"n1.viv", innerAt, static_cast<std::uint32_t>(inner.size())},
                     {"n2.viv", innerAt, static_cast<std::uint32_t>(inner.size())},
                     {"f.viv", 0, 3}},
                    data);
    ScratchDir dir;
    test::WriteFile(dir.File("car.viv"), outer);
    std::vector<std::string> fromFile;
    for (bool file : {true, false}) {
        std::vector<std::string> warnings;
        ScopedWarningSink keep([&](const std::string& w) { warnings.push_back(w); });
        VivArchive archive(dir.File("car.viv"));
        if (file)
            archive.Load();
        else
            archive.Parse(outer);
        ASSERT_EQ(archive.members.GetSize(), 8);
        if (file)
            fromFile = warnings;
        else
            EXPECT_EQ(warnings, fromFile);
    }
    ASSERT_EQ(fromFile.size(), 12u);
    const std::string shortHeader = "file of 3 bytes is too short for the 16-byte archive header";
    EXPECT_EQ(fromFile[0], "a.viv: kept unread, it is not a valid VIV file: " + shortHeader);
    EXPECT_EQ(fromFile[2],
              "c.viv: kept unread, it is not a valid VIV file: negative member "
              "count -1 at offset 0x8");
    EXPECT_EQ(fromFile[3],
              "d.viv: kept unread, it is not a valid VIV file: member count 1 is "
              "more than the file can hold at offset 0x8");
    EXPECT_EQ(fromFile[6],
              "y.viv: kept unread, it is not a valid VIV file: negative member "
              "count -1 at offset 0x8");
}

}  // namespace
}  // namespace carconv
