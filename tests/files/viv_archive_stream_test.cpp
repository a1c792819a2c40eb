// Archives read from their files a piece at a time: the directory in growing reads, the members
// copied from file to file.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "app/package_commands.h"
#include "files/errors.h"
#include "files/viv_archive.h"
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

}  // namespace
}  // namespace carconv
