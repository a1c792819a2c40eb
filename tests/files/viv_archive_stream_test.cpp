// Archives read from their files a piece at a time: the directory in growing reads, the members
// copied from file to file.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "app/package_commands.h"
#include "files/carried_file.h"
#include "files/errors.h"
#include "files/viv_archive.h"
#include "files/warnings.h"
#include "image/fsh_file.h"
#include "mesh/fce3_file.h"
#include "mesh/mesh_bytes.h"
#include "platform/file_system.h"
#include "platform/read_only_file.h"
#include "support/packages.h"
#include "support/test_util.h"

namespace carconv {
namespace {

using test::Bytes;
using test::ReadFile;
using test::ScratchDir;
using test::WriteFile;

using Member = std::pair<std::string, Bytes>;

Bytes Numbered(std::size_t size, std::uint8_t seed) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>((i * 7 + seed) % 253);
    return bytes;
}

// A directory longer than the first read, members larger than a copy's piece, an empty one and
// one whose name takes all 255 bytes.
std::vector<Member> ManyMembers() {
    std::vector<Member> members;
    members.push_back({"big.bin", Numbered((std::size_t{3} << 20) + 17, 1)});
    members.push_back({"empty.bin", {}});
    members.push_back({std::string(255, 'n'), Numbered(255, 2)});
    for (int i = 0; i < 400; ++i) {
        std::string name = "m" + std::to_string(i) + "-" + std::string(200, 'x');
        members.push_back({name, Numbered(static_cast<std::size_t>(i % 5), 3)});
    }
    return members;
}

std::string Describe(const VivDirectory& d) {
    std::string text = std::to_string(d.totalSize) + " " + std::to_string(d.memberCount) + " " +
                       std::to_string(d.headerSize) + " " +
                       std::string(d.magic.begin(), d.magic.end());
    for (const VivEntry& e : d.entries)
        text += "|" + std::to_string(e.offset) + "," + std::to_string(e.size) + "," + e.name;
    return text;
}

// The outcome of reading a directory: what it describes, or the error's text.
template <typename Read>
std::string Outcome(Read read) {
    try {
        return Describe(read());
    } catch (const FormatError& e) {
        return std::string("error: ") + e.what();
    }
}

TEST(VivArchiveStream, TheDirectoryReadInStepsIsTheDirectoryReadWholeAtEveryLength) {
    ScratchDir dir;
    // Names of 255 bytes, so entries straddle every read boundary; data after the directory.
    const Bytes whole = test::ArchiveBytes({{std::string(255, 'a'), Bytes{1, 2, 3}},
                                            {"b.txt", Bytes{4}},
                                            {std::string(255, 'c'), Bytes{5, 6}}});
    const std::string path = dir.File("cut.viv");
    for (std::size_t length = 0; length <= whole.size(); ++length) {
        const Bytes prefix(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
        WriteFile(path, prefix);
        const std::string expected =
            Outcome([&] { return VivArchive::ReadDirectory(prefix, "cut.viv"); });
        const ReadOnlyFile file(path);
        for (std::size_t firstRead :
             {std::size_t{1}, std::size_t{17}, std::size_t{300}, VivArchive::kDirectoryFirstRead}) {
            EXPECT_EQ(
                Outcome([&] { return VivArchive::ReadDirectory(file, "cut.viv", firstRead); }),
                expected)
                << "length " << length << ", first read " << firstRead;
        }
    }
    EXPECT_EQ(
        Outcome([&] { return VivArchive::ReadDirectory(whole, "cut.viv"); }).rfind("error", 0),
        std::string::npos);
}

TEST(VivArchiveStream, LoadAndUnpackCopyEveryMemberByteForByteAndPackingGivesThePackageBack) {
    ScratchDir dir;
    const std::vector<Member> members = ManyMembers();
    const Bytes package = test::ArchiveBytes(members);
    ASSERT_GT(test::GetU32be(package, 12), VivArchive::kDirectoryFirstRead);
    WriteFile(dir.File("many.viv"), package);

    std::vector<std::string> names;
    {
        VivArchive archive(dir.File("many.viv"));
        archive.Load();
        ASSERT_EQ(archive.members.GetSize(), static_cast<int>(members.size()));
        for (std::size_t i = 0; i < members.size(); ++i) {
            const std::string file =
                test::NativeSeparators(archive.WorkingDirectoryPath() + "/" + members[i].first);
            EXPECT_EQ(ReadFile(file), members[i].second) << members[i].first;
            names.push_back(members[i].first);
        }
        std::sort(names.begin(), names.end());
        // Nothing but the members: no temporary file of a copy is left.
        EXPECT_EQ(test::ListNames(archive.WorkingDirectoryPath()), names);

        archive.SaveAs(dir.File("again.viv"));
        EXPECT_EQ(ReadFile(dir.File("again.viv")), package);
    }

    UnpackArchive(dir.File("many.viv"), dir.File("out"));
    EXPECT_EQ(test::ListNames(dir.File("out")), names);
    for (const auto& [name, bytes] : members)
        EXPECT_EQ(ReadFile(dir.File("out/" + name)), bytes) << name;
}

TEST(VivArchiveStream, MembersCarriedFromSeveralFilesInTurnAreEachCopiedFromTheirOwn) {
    ScratchDir dir;
    const Bytes first = Numbered(5000, 1), second = Numbered(3000, 2);
    WriteFile(dir.File("first.bin"), first);
    WriteFile(dir.File("second.bin"), second);
    // From the first file, the second, the first again and the second again.
    const std::vector<std::tuple<std::string, std::string, std::int64_t, std::int64_t>> carried = {
        {"a", "first.bin", 10, 1000},
        {"b", "second.bin", 7, 2000},
        {"c", "first.bin", 4001, 999},
        {"d", "second.bin", 0, 3000}};
    VivArchive archive(dir.File("out.viv"));
    std::vector<std::unique_ptr<CarriedFile>> kept;
    std::vector<Member> expected;
    for (const auto& [name, source, offset, size] : carried) {
        kept.push_back(
            std::make_unique<CarriedFile>(dir.File(name), dir.File(source), offset, size));
        kept.back()->Load();
        archive.members.Add(*kept.back());
        const Bytes& from = source == "first.bin" ? first : second;
        expected.push_back({name, Bytes(from.begin() + offset, from.begin() + offset + size)});
    }
    archive.SaveAs(dir.File("out.viv"));
    EXPECT_EQ(test::ReadArchive(dir.File("out.viv")), expected);
}

TEST(VivArchiveStream, LoadInPlaceLeavesTheMembersItReadsInThePackageAndReadsThemWhereTheyLie) {
    ScratchDir dir;
    const std::string carpText = test::Carp3Text();
    const Bytes carp(carpText.begin(), carpText.end());
    const Bytes mesh = test::Fce3Mesh(5, 3, false);
    const std::vector<Member> members = {{"carp.txt", carp},          {"car.fce", mesh},
                                         {"bad.fce", Bytes(100, 7)},  {"notes.bin", {9}},
                                         {"fedata.fsh", test::Fsh()}, {"bad.fsh", Bytes(5, 1)}};
    const Bytes package = test::ArchiveBytes(members);
    const std::string path = dir.File("car.viv");
    WriteFile(path, package);
    WriteFile(dir.File("car.fce"), mesh);

    std::vector<std::string> unpacked;
    std::vector<std::string> inPlace;
    {
        const ScopedWarningSink sink([&](const std::string& w) { unpacked.push_back(w); });
        VivArchive(path).Load();
    }
    const ScopedWarningSink sink([&](const std::string& w) { inPlace.push_back(w); });
    VivArchive archive(path);
    archive.LoadInPlace();
    EXPECT_EQ(inPlace, unpacked);
    ASSERT_EQ(inPlace.size(), 2u);
    EXPECT_EQ(inPlace[0].rfind("bad.fce: kept unread", 0), 0u) << inPlace[0];
    EXPECT_EQ(inPlace[1].rfind("bad.fsh: kept unread", 0), 0u) << inPlace[1];

    // Every member whose object reads a range is no file of the working directory, and the
    // pictures have none of their own, but a range of the package.
    EXPECT_EQ(test::ListNames(archive.WorkingDirectoryPath()),
              (std::vector<std::string>{"notes.bin"}));
    const std::size_t dataStart = 16 + (9 + 8) + (9 + 7) + (9 + 7) + (9 + 9) + (9 + 10) + (9 + 7);
    const std::map<std::string, FileRange>& ranges = archive.MembersInPackage();
    ASSERT_EQ(ranges.size(), 5u);
    const std::size_t picturesAt = dataStart + carp.size() + mesh.size() + 100 + 1;
    for (const auto& [name, at] : {std::pair<std::string, std::size_t>{"carp.txt", dataStart},
                                   {"car.fce", dataStart + carp.size()},
                                   {"bad.fce", dataStart + carp.size() + mesh.size()},
                                   {"fedata.fsh", picturesAt},
                                   {"bad.fsh", picturesAt + test::Fsh().size()}}) {
        const auto found = ranges.find(JoinPath(archive.WorkingDirectoryPath(), name));
        ASSERT_NE(found, ranges.end()) << name;
        EXPECT_EQ(found->second.path, path);
        EXPECT_EQ(found->second.offset, static_cast<std::int64_t>(at)) << name;
    }
    auto* carried = dynamic_cast<CarriedFile*>(&archive.members.ElementAt(2));
    ASSERT_NE(carried, nullptr) << "the malformed mesh is carried unread";
    EXPECT_EQ(carried->length, 100);
    auto& pictures = dynamic_cast<FshFile&>(archive.members.ElementAt(4));
    EXPECT_TRUE(pictures.WorkingDirectoryPath().empty());
    EXPECT_EQ(dynamic_cast<const FshImage&>(pictures.images.ElementAt(0)).Pixels(),
              (Bytes{'R', 'G', 'B', 'A', 'r', 'g', 'b', 'a'}));
    EXPECT_NE(dynamic_cast<CarriedFile*>(&archive.members.ElementAt(5)), nullptr);

    // Converted from the package, the mesh gives the bytes it gives converted from a file.
    auto& fromPackage = dynamic_cast<Fce3File&>(archive.members.ElementAt(1));
    fromPackage.ConvertToFce4(dir.File("package.fce"));
    Fce3File fromFile(dir.File("car.fce"));
    fromFile.Load();
    fromFile.ConvertToFce4(dir.File("file.fce"));
    EXPECT_EQ(ReadFile(dir.File("package.fce")), ReadFile(dir.File("file.fce")));
    EXPECT_EQ(fromPackage.length, static_cast<std::int32_t>(mesh.size()));

    EXPECT_THROW(archive.SaveAs(dir.File("again.viv")), std::logic_error);
    // A package cut short under the run is an error, not a read of what follows the mesh.
    std::filesystem::resize_file(path, dataStart + carp.size() + mesh.size() - 1);
    EXPECT_THROW(fromPackage.ConvertToFce4(dir.File("cut.fce")), CarconvError);
}

}  // namespace
}  // namespace carconv
