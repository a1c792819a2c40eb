#include "files/viv_archive.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "files/errors.h"
#include "support/test_util.h"

namespace carconv {
namespace {

using test::Builder;
using test::ReadFile;
using test::ScratchDir;
using test::WriteFile;

// Two members out of order and overlapping: "b.txt" lies before "a.txt" and shares bytes with it.
Bytes OutOfOrderArchive() {
    Builder b;
    b.str("JUNK");                       // magic: foreign, kept as it is
    b.u32be(0x7fffffff);                 // total size: not checked
    b.u32be(2);                          // member count
    b.u32be(0);                          // header size: not checked
    b.u32be(47).u32be(5).cstr("a.txt");  // entry 0: offset 47, size 5
    b.u32be(44).u32be(6).cstr("b.txt");  // entry 1: offset 44, size 6
    b.str("0123456789");                 // data at 16 + 2 * (9 + 5) = 44
    return b.bytes();
}

TEST(VivArchive, EmptyArchiveIsSixteenBytes) {
    ScratchDir dir;
    VivArchive archive(dir.File("empty.viv"));
    archive.Reset();
    EXPECT_EQ(archive.length, 16);
    archive.Save();
    Bytes expected = Builder().str("BIGF").u32be(16).u32be(0).u32be(16).bytes();
    EXPECT_EQ(ReadFile(dir.File("empty.viv")), expected);

    VivArchive loaded(dir.File("empty.viv"));
    loaded.Load();
    EXPECT_EQ(loaded.members.GetSize(), 0);
    EXPECT_TRUE(std::filesystem::is_directory(loaded.WorkingDirectoryPath()));
    EXPECT_EQ(loaded.length, 16);
}

TEST(VivArchive, OneMemberLayoutAndSecondMemberFollowsWithoutPadding) {
    ScratchDir dir;
    WriteFile(dir.File("carp.txt"), std::string(100, 'p'));
    WriteFile(dir.File("x"), std::string(3, 'x'));
    GameFile carp(dir.File("carp.txt"));
    carp.Load();
    GameFile x(dir.File("x"));
    x.Load();

    VivArchive archive(dir.File("one.viv"));
    archive.members.Add(carp);
    archive.Reset();
    archive.SaveAs(dir.File("one.viv"));
    Bytes one = ReadFile(dir.File("one.viv"));
    Bytes expected = Builder()
                         .str("BIGF")
                         .u32be(133)  // total: 33 + 100
                         .u32be(1)    // one member
                         .u32be(33)   // header: 16 + 17-byte entry
                         .u32be(33)   // entry: offset
                         .u32be(100)  // entry: size
                         .cstr("carp.txt")
                         .str(std::string(100, 'p'))
                         .bytes();
    EXPECT_EQ(one, expected);
    EXPECT_EQ(archive.length, 133);

    archive.members.Add(x);
    archive.Save();
    Bytes two = ReadFile(dir.File("one.viv"));
    ASSERT_EQ(two.size(), 16u + 17 + 10 + 100 + 3);
    EXPECT_EQ(test::GetU32be(two, 12), 43u);   // header size
    EXPECT_EQ(test::GetU32be(two, 16), 43u);   // carp.txt offset
    EXPECT_EQ(test::GetU32be(two, 33), 143u);  // x offset = 43 + 100
    EXPECT_EQ(test::GetU32be(two, 37), 3u);    // x size
    EXPECT_EQ(std::string(two.end() - 3, two.end()), "xxx");
}

TEST(VivArchive, UnpacksOutOfOrderAndOverlappingMembersAndKeepsForeignMagic) {
    ScratchDir dir;
    WriteFile(dir.File("odd.viv"), OutOfOrderArchive());
    VivArchive archive(dir.File("odd.viv"));
    archive.Load();
    ASSERT_EQ(archive.members.GetSize(), 2);
    EXPECT_EQ(std::string(archive.magic.begin(), archive.magic.end()), "JUNK");
    EXPECT_EQ(archive.totalSize, 0x7fffffff);
    std::string work = archive.WorkingDirectoryPath();
    EXPECT_EQ(ReadFile(work + "/a.txt"), Bytes({'3', '4', '5', '6', '7'}));
    EXPECT_EQ(ReadFile(work + "/b.txt"), Bytes({'0', '1', '2', '3', '4', '5'}));
    EXPECT_EQ(archive.members.ElementAt(0).GetFileName(), "a.txt");

    // Written back: the foreign magic stays, the layout becomes packed.
    archive.members.ElementAt(0).Load();
    archive.members.ElementAt(1).Load();
    archive.SaveAs(dir.File("copy.viv"));
    Bytes copy = ReadFile(dir.File("copy.viv"));
    EXPECT_EQ(std::string(copy.begin(), copy.begin() + 4), "JUNK");
    EXPECT_EQ(test::GetU32be(copy, 4), copy.size());
    EXPECT_EQ(test::GetU32be(copy, 16), 44u);  // a.txt now first at the header's end
}

TEST(VivArchive, LongestNamesAreReadWholeUpToTheEndOfTheFile) {
    ScratchDir dir;
    std::string name255(255, 'n');
    std::string name254 = std::string(250, 'm') + ".bin";
    // Directory: two entries; the second name ends exactly at the end of the file, so fewer than
    // 256 bytes remain after its start.
    Builder b;
    b.str("BIGF").u32be(0).u32be(2).u32be(0);
    std::size_t dataOffset = 16;  // both members are empty and point at the header
    b.u32be(static_cast<std::uint32_t>(dataOffset)).u32be(0).cstr(name255);
    b.u32be(static_cast<std::uint32_t>(dataOffset)).u32be(4).cstr(name254);
    WriteFile(dir.File("long.viv"), b.bytes());

    VivArchive archive(dir.File("long.viv"));
    archive.Load();
    ASSERT_EQ(archive.directory.size(), 2u);
    EXPECT_EQ(archive.directory[0].name, name255);
    EXPECT_EQ(archive.directory[1].name, name254);
    EXPECT_EQ(ReadFile(archive.WorkingDirectoryPath() + "/" + name254).size(), 4u);
}

TEST(VivArchive, MalformedDirectoriesAreErrorsBeforeAnythingIsUnpacked) {
    ScratchDir dir;
    struct Case {
        const char* what;
        Bytes bytes;
        const char* message;  // expected text after "<path>: "
    };
    const Case cases[] = {
        {"short header", Builder().str("BIGF").u32be(0).bytes(),
         "file of 8 bytes is too short for the 16-byte archive header"},
        {"negative count", Builder().str("BIGF").u32be(0).i32be(-1).u32be(0).bytes(),
         "negative member count -1 at offset 0x8"},
        {"count the file cannot hold",
         Builder().str("BIGF").u32be(0).u32be(1000000000).u32be(0).zeros(100).bytes(),
         "member count 1000000000 is more than the file can hold at offset 0x8"},
        {"size past the end",
         Builder().str("BIGF").u32be(0).u32be(1).u32be(0).u32be(16).u32be(100).cstr("a").bytes(),
         "member \"a\" (offset 16, size 100) lies outside the file of 26 bytes at offset 0x10"},
        {"negative offset",
         Builder().str("BIGF").u32be(0).u32be(1).u32be(0).i32be(-4).u32be(1).cstr("a").bytes(),
         "member \"a\" (offset -4, size 1) lies outside the file of 26 bytes at offset 0x10"},
        {"negative size",
         Builder().str("BIGF").u32be(0).u32be(1).u32be(0).u32be(0).i32be(-1).cstr("a").bytes(),
         "member \"a\" (offset 0, size -1) lies outside the file of 26 bytes at offset 0x10"},
        {"parent name",
         Builder().str("BIGF").u32be(0).u32be(1).u32be(0).u32be(0).u32be(0).cstr("..").bytes(),
         "member name \"..\" is not a safe file name at offset 0x18"},
        {"path in name",
         Builder().str("BIGF").u32be(0).u32be(1).u32be(0).u32be(0).u32be(0).cstr("../x").bytes(),
         "member name \"../x\" is not a safe file name at offset 0x18"},
        {"backslash",
         Builder().str("BIGF").u32be(0).u32be(1).u32be(0).u32be(0).u32be(0).cstr("a\\b").bytes(),
         "member name \"a\\b\" is not a safe file name at offset 0x18"},
        {"drive",
         Builder().str("BIGF").u32be(0).u32be(1).u32be(0).u32be(0).u32be(0).cstr("c:x").bytes(),
         "member name \"c:x\" is not a safe file name at offset 0x18"},
        {"control",
         Builder().str("BIGF").u32be(0).u32be(1).u32be(0).u32be(0).u32be(0).cstr("a\nb").bytes(),
         "member name \"a\\x0ab\" is not a safe file name at offset 0x18"},
        {"device name",
         Builder().str("BIGF").u32be(0).u32be(1).u32be(0).u32be(0).u32be(0).cstr("Nul.txt").bytes(),
         "member name \"Nul.txt\" is not a safe file name at offset 0x18"},
        {"wildcard",
         Builder().str("BIGF").u32be(0).u32be(1).u32be(0).u32be(0).u32be(0).cstr("car*.fc").bytes(),
         "member name \"car*.fc\" is not a safe file name at offset 0x18"},
        {"trailing dot",
         Builder().str("BIGF").u32be(0).u32be(1).u32be(0).u32be(0).u32be(0).cstr("car.").bytes(),
         "member name \"car.\" is not a safe file name at offset 0x18"},
        {"empty name",
         Builder().str("BIGF").u32be(0).u32be(1).u32be(0).u32be(0).u32be(0).cstr("").bytes(),
         "member name \"\" is not a safe file name at offset 0x18"},
        {"unterminated",
         Builder().str("BIGF").u32be(0).u32be(1).u32be(0).u32be(0).u32be(0).str("abc").bytes(),
         "name of member 0 is not terminated at offset 0x18"},
        {"name too long",
         Builder()
             .str("BIGF")
             .u32be(0)
             .u32be(1)
             .u32be(0)
             .u32be(0)
             .u32be(0)
             .cstr(std::string(256, 'a'))
             .bytes(),
         "name of member 0 is longer than 255 bytes at offset 0x18"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string path = dir.File("bad.viv");
        WriteFile(path, c.bytes);
        auto before = test::LeftoverWorkingDirectories();
        try {
            VivArchive archive(path);
            archive.Load();
            ADD_FAILURE() << "loaded";
        } catch (const FormatError& e) {
            EXPECT_EQ(std::string(e.what()), path + ": " + c.message);
        }
        EXPECT_EQ(test::LeftoverWorkingDirectories(), before);
    }
}

TEST(VivArchive, EveryTruncationFailsCleanlyOrLoads) {
    ScratchDir dir;
    Bytes full = OutOfOrderArchive();
    for (std::size_t n = 0; n <= full.size(); ++n) {
        SCOPED_TRACE(n);
        WriteFile(dir.File("t.viv"), Bytes(full.begin(), full.begin() + static_cast<long>(n)));
        VivArchive archive(dir.File("t.viv"));
        // The last byte any entry uses is a.txt's at 51; bytes after it belong to no member.
        if (n < 52) {
            EXPECT_THROW(archive.Load(), FormatError);
        } else {
            EXPECT_NO_THROW(archive.Load());
        }
    }
}

TEST(VivArchive, WorkingDirectoryIsFreshAndRemovedWithDotFilesAndLinks) {
    ScratchDir dir;
    // A folder beside the package, as a modder keeps it: never touched.
    std::filesystem::create_directory(dir.File("car"));
    WriteFile(dir.File("car/keep.txt"), std::string("mine"));
    WriteFile(dir.File("outside.txt"), std::string("outside"));

    Builder b;
    b.str("BIGF").u32be(0).u32be(1).u32be(0).u32be(26).u32be(2).cstr("a").str("hi");
    WriteFile(dir.File("car.viv"), b.bytes());
    std::string work;
    {
        VivArchive archive(dir.File("car.viv"));
        archive.Load();
        work = archive.WorkingDirectoryPath();
        EXPECT_NE(work, dir.File("car"));
        EXPECT_TRUE(test::Exists(work + "/a"));
        // Things that land in the working directory later go with it; a link's target stays.
        WriteFile(work + "/.hidden", std::string("x"));
        std::filesystem::create_directories(work + "/sub/.deeper");
        WriteFile(work + "/sub/.deeper/f", std::string("x"));
#ifndef _WIN32  // making symbolic links needs a privilege on Windows
        std::filesystem::create_symlink(dir.File("car"), work + "/link");
        std::filesystem::create_symlink(dir.File("outside.txt"), work + "/sub/filelink");
#endif
    }
    EXPECT_FALSE(test::Exists(work));
    EXPECT_EQ(ReadFile(dir.File("car/keep.txt")), Bytes({'m', 'i', 'n', 'e'}));
    EXPECT_TRUE(test::Exists(dir.File("outside.txt")));
}

TEST(VivArchive, FailedSaveLeavesAnExistingTargetAlone) {
    ScratchDir dir;
    WriteFile(dir.File("out.viv"), std::string("precious"));
    WriteFile(dir.File("m.txt"), std::string("member"));
    auto member = std::make_unique<GameFile>(dir.File("m.txt"));
    member->Load();
    VivArchive archive(dir.File("out.viv"));
    archive.members.Add(*member);
    archive.Reset();
    std::filesystem::remove(dir.File("m.txt"));  // the member vanishes before packing
    EXPECT_THROW(archive.Save(), IoError);
    EXPECT_EQ(ReadFile(dir.File("out.viv")), Bytes({'p', 'r', 'e', 'c', 'i', 'o', 'u', 's'}));
    EXPECT_EQ(test::ListNames(dir.Path()), (std::vector<std::string>{"out.viv"}));
}

// A member whose SaveAs writes a different size than its Load measured.
class GrowingFile : public GameFile {
  public:
    using GameFile::GameFile;
    int SaveAs(std::string target) override {
        WriteFile(target, std::string(10, 'g'));
        return 1;
    }
};

TEST(VivArchive, DirectoryIsLaidOutFromTheFilesAsSaved) {
    ScratchDir dir;
    WriteFile(dir.File("g.bin"), std::string(3, 'g'));
    GrowingFile member(dir.File("g.bin"));
    member.Load();
    EXPECT_EQ(member.length, 3);
    VivArchive archive(dir.File("g.viv"));
    archive.members.Add(member);
    archive.Reset();
    archive.Save();
    Bytes bytes = ReadFile(dir.File("g.viv"));
    ASSERT_EQ(bytes.size(), 16u + 14 + 10);
    EXPECT_EQ(test::GetU32be(bytes, 4), bytes.size());  // total size agrees with the file
    EXPECT_EQ(test::GetU32be(bytes, 20), 10u);          // entry size is what was written
}

}  // namespace
}  // namespace carconv
