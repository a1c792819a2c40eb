#include "files/unpack_budget.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "app/package_commands.h"
#include "files/viv_archive.h"
#include "files/warnings.h"
#include "image/fsh_file.h"
#include "support/test_util.h"

namespace carconv {
namespace {

using test::Builder;
using test::ReadFile;
using test::ScratchDir;
using test::WriteFile;

constexpr std::uint64_t kMiB = 1024 * 1024;

// An archive of `count` members "m<i>.bin" that all name the same `dataSize` bytes after the
// directory. Names are two bytes up to ten members, so the directory is 16 + count x 15 bytes for
// count <= 10 and grows by one byte a member beyond.
Bytes OverlappingArchive(int count, std::size_t dataSize) {
    std::size_t directory = 16;
    for (int i = 0; i < count; ++i)
        directory += 9 + ("m" + std::to_string(i) + ".bin").size();
    Builder b;
    b.str("BIGF");                                              // magic
    b.u32be(static_cast<std::uint32_t>(directory + dataSize));  // total size
    b.u32be(static_cast<std::uint32_t>(count));                 // member count
    b.u32be(static_cast<std::uint32_t>(directory));             // header size
    for (int i = 0; i < count; ++i) {
        b.u32be(static_cast<std::uint32_t>(directory));  // offset: the one shared data block
        b.u32be(static_cast<std::uint32_t>(dataSize));   // size
        b.cstr("m" + std::to_string(i) + ".bin");        // name
    }
    b.fill(dataSize, 0x5a);  // the data every member names
    return b.bytes();
}

// An archive whose `fanOut` members "<i>.viv" all name one embedded copy of the archive one level
// down, `levels` levels deep; the innermost is an empty archive. Each level multiplies the number
// of archives to unpack by `fanOut`, while the file grows by only a directory per level.
Bytes FanOutArchive(int levels, int fanOut) {
    Bytes inner = Builder().str("BIGF").u32be(16).u32be(0).u32be(16).bytes();  // empty archive
    for (int level = 0; level < levels; ++level) {
        std::size_t directory = 16;
        for (int i = 0; i < fanOut; ++i)
            directory += 9 + (std::to_string(i) + ".viv").size();
        Builder b;
        b.str("BIGF");                                                  // magic
        b.u32be(static_cast<std::uint32_t>(directory + inner.size()));  // total size
        b.u32be(static_cast<std::uint32_t>(fanOut));                    // member count
        b.u32be(static_cast<std::uint32_t>(directory));                 // header size
        for (int i = 0; i < fanOut; ++i) {
            b.u32be(static_cast<std::uint32_t>(directory));     // offset: the one inner archive
            b.u32be(static_cast<std::uint32_t>(inner.size()));  // size
            b.cstr(std::to_string(i) + ".viv");                 // name
        }
        b.raw(inner);
        inner = b.bytes();
    }
    return inner;
}

TEST(UnpackBudget, LimitsFollowTheOutermostSizeAndAFailedChargeTakesNothing) {
    UnpackBudget budget("outer.viv", 1000);
    EXPECT_EQ(budget.ByteLimit(), kMiB + 4 * 1000);
    EXPECT_EQ(budget.FileLimit(), 1024u + 1000 / 256);

    budget.Charge(kMiB);
    budget.Charge(4000);  // exactly the limit
    EXPECT_EQ(budget.BytesUsed(), kMiB + 4000);
    try {
        budget.Charge(1);
        FAIL() << "a byte beyond the limit was granted";
    } catch (const UnpackLimitError& e) {
        EXPECT_EQ(e.File(), "outer.viv");
        EXPECT_NE(std::string(e.what()).find("more than 1052576 bytes"), std::string::npos)
            << e.what();
    }
    EXPECT_EQ(budget.BytesUsed(), kMiB + 4000);
    EXPECT_EQ(budget.FilesUsed(), 2u);

    // Empty files still count against the file limit.
    UnpackBudget files("tiny.viv", 0);
    for (int i = 0; i < 1024; ++i)
        files.Charge(0);
    EXPECT_THROW(files.Charge(0), UnpackLimitError);
    EXPECT_EQ(files.FilesUsed(), 1024u);
}

TEST(UnpackBudget, ModestOverlapsUnpackButAnAmplifyingArchiveIsRefused) {
    ScratchDir dir;
    // 64 KiB of shared data: the budget is 1 MiB + 4 x the file, about 1.25 MiB, so ten copies
    // fit and forty do not.
    const std::size_t data = 64 * 1024;
    WriteFile(dir.File("ten.viv"), OverlappingArchive(10, data));
    {
        VivArchive archive(dir.File("ten.viv"));
        archive.Load();
        ASSERT_EQ(archive.members.GetSize(), 10);
        for (int i = 0; i < 10; ++i) {
            Bytes member = ReadFile(archive.members.ElementAt(i).path);
            EXPECT_EQ(member, Bytes(data, 0x5a)) << i;
        }
    }

    WriteFile(dir.File("forty.viv"), OverlappingArchive(40, data));
    const auto before = test::LeftoverWorkingDirectories();
    {
        VivArchive archive(dir.File("forty.viv"));
        try {
            archive.Load();
            FAIL() << "an archive unpacking to 40 times its data loaded";
        } catch (const UnpackLimitError& e) {
            EXPECT_EQ(e.File(), dir.File("forty.viv"));
            EXPECT_NE(std::string(e.what()).find("unpacking would write more than"),
                      std::string::npos)
                << e.what();
        }
        EXPECT_EQ(archive.members.GetSize(), 0);
    }
    EXPECT_EQ(test::LeftoverWorkingDirectories(), before);
}

TEST(UnpackBudget, UnpackIsHeldToTheSameBudgetBeforeItWritesAnything) {
    ScratchDir dir;
    const std::size_t data = 64 * 1024;
    WriteFile(dir.File("ten.viv"), OverlappingArchive(10, data));
    UnpackArchive(dir.File("ten.viv"), dir.File("ten"));
    EXPECT_EQ(test::ListNames(dir.File("ten")).size(), 10u);

    WriteFile(dir.File("forty.viv"), OverlappingArchive(40, data));
    try {
        UnpackArchive(dir.File("forty.viv"), dir.File("forty"));
        FAIL() << "an archive unpacking to 40 times its data was unpacked";
    } catch (const UnpackLimitError& e) {
        EXPECT_EQ(e.File(), dir.File("forty.viv"));
        EXPECT_NE(std::string(e.what()).find("unpacking would write more than"), std::string::npos)
            << e.what();
    }
    EXPECT_FALSE(test::Exists(dir.File("forty")));
}

TEST(UnpackBudget, APackageOfThousandsOfEmptyMembersIsRefused) {
    ScratchDir dir;
    // `count` empty members "e<i>": a directory of 16 + sum(9 + name) bytes and no data.
    auto emptyMembers = [](int count) {
        std::size_t directory = 16;
        for (int i = 0; i < count; ++i)
            directory += 9 + ("e" + std::to_string(i)).size();
        Builder b;
        b.str("BIGF");                                   // magic
        b.u32be(static_cast<std::uint32_t>(directory));  // total size
        b.u32be(static_cast<std::uint32_t>(count));      // member count
        b.u32be(static_cast<std::uint32_t>(directory));  // header size
        for (int i = 0; i < count; ++i)
            b.u32be(static_cast<std::uint32_t>(directory)).u32be(0).cstr("e" + std::to_string(i));
        return b.bytes();
    };
    // 1000 members in about 14 KB: within 1024 + 14 KB / 256 files.
    WriteFile(dir.File("thousand.viv"), emptyMembers(1000));
    {
        VivArchive archive(dir.File("thousand.viv"));
        archive.Load();
        EXPECT_EQ(archive.members.GetSize(), 1000);
    }
    // 3000 members in about 44 KB: more than 1024 + 44 KB / 256 files.
    const Bytes many = emptyMembers(3000);
    WriteFile(dir.File("many.viv"), many);
    VivArchive archive(dir.File("many.viv"));
    try {
        archive.Load();
        FAIL() << "3000 empty members unpacked";
    } catch (const UnpackLimitError& e) {
        const std::string limit = std::to_string(1024 + many.size() / 256);
        EXPECT_NE(std::string(e.what()).find("would create more than " + limit + " files"),
                  std::string::npos)
            << e.what();
    }
}

TEST(UnpackBudget, NestedArchivesShareOneBudgetAndItsExhaustionIsNotForgiven) {
    ScratchDir dir;
    // Eight members a level, eight levels: 8^8 archives without a budget, from a file of about
    // a kilobyte. The nested archives' failure must stop the outer archive too, not be kept as
    // unreadable members.
    const Bytes fanOut = FanOutArchive(8, 8);
    ASSERT_LT(fanOut.size(), 2000u);
    WriteFile(dir.File("fan.viv"), fanOut);
    std::vector<std::string> warnings;
    ScopedWarningSink sink([&](const std::string& w) { warnings.push_back(w); });
    const auto before = test::LeftoverWorkingDirectories();
    {
        VivArchive archive(dir.File("fan.viv"));
        try {
            archive.Load();
            FAIL() << "a fan-out archive unpacked completely";
        } catch (const UnpackLimitError& e) {
            // The error names the outermost file, where the budget comes from.
            EXPECT_EQ(e.File(), dir.File("fan.viv"));
            // 1024 files and one for every 256 bytes of the outermost file.
            const std::string limit = std::to_string(1024 + fanOut.size() / 256);
            EXPECT_NE(std::string(e.what()).find("more than " + limit + " files"),
                      std::string::npos)
                << e.what();
        }
    }
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(test::LeftoverWorkingDirectories(), before);

    // Two members a level, three levels deep: fifteen archives, well inside the budget.
    WriteFile(dir.File("small.viv"), FanOutArchive(3, 2));
    VivArchive small(dir.File("small.viv"));
    small.Load();
    ASSERT_EQ(small.members.GetSize(), 2);
    auto& level1 = dynamic_cast<VivArchive&>(small.members.ElementAt(1));
    ASSERT_EQ(level1.members.GetSize(), 2);
    auto& level2 = dynamic_cast<VivArchive&>(level1.members.ElementAt(0));
    ASSERT_EQ(level2.members.GetSize(), 2);
    EXPECT_EQ(dynamic_cast<VivArchive&>(level2.members.ElementAt(1)).members.GetSize(), 0);
}

TEST(UnpackBudget, DecodedTexturesTakeTheirGrowthFromTheBudget) {
    ScratchDir dir;
    // A run-length texture of 128 x 128 32-bit pixels in 658 bytes: one run of 128 pixels a row.
    Builder tga;
    tga.u8(0).u8(0).u8(10);     // id length, colour map type, image type: run-length true-colour
    tga.zeros(5);               // colour map fields
    tga.u16le(0).u16le(0);      // x, y origin
    tga.u16le(128).u16le(128);  // width, height
    tga.u8(32).u8(8);           // pixel depth, descriptor
    for (int row = 0; row < 128; ++row)
        tga.u8(0xff).u8(1).u8(2).u8(3).u8(4);  // run packet: 128 x the pixel 01 02 03 04
    ASSERT_EQ(tga.size(), 658u);
    const std::uint64_t decoded = 18 + 128 * 128 * 4;

    // `count` members "t<i>.tga" that all name the one texture.
    auto textures = [&](int count) {
        std::size_t directory = 16;
        for (int i = 0; i < count; ++i)
            directory += 9 + ("t" + std::to_string(i) + ".tga").size();
        Builder b;
        b.str("BIGF");                                                // magic
        b.u32be(static_cast<std::uint32_t>(directory + tga.size()));  // total size
        b.u32be(static_cast<std::uint32_t>(count));                   // member count
        b.u32be(static_cast<std::uint32_t>(directory));               // header size
        for (int i = 0; i < count; ++i) {
            b.u32be(static_cast<std::uint32_t>(directory));   // offset: the one texture
            b.u32be(static_cast<std::uint32_t>(tga.size()));  // size
            b.cstr("t" + std::to_string(i) + ".tga");         // name
        }
        b.raw(tga.bytes());
        return b.bytes();
    };

    // Eight decoded copies, half a megabyte, fit the 1 MiB allowance.
    WriteFile(dir.File("eight.viv"), textures(8));
    {
        VivArchive archive(dir.File("eight.viv"));
        archive.Load();
        ASSERT_EQ(archive.members.GetSize(), 8);
        EXPECT_EQ(archive.members.ElementAt(7).length, static_cast<std::int32_t>(decoded));
    }
    // Sixty-four of them, 4 MiB from a file of under 2 KB, do not: the file alone would fit.
    const Bytes many = textures(64);
    ASSERT_LT(64 * tga.size(), kMiB + 4 * many.size());
    ASSERT_GT(64 * decoded, kMiB + 4 * many.size());
    WriteFile(dir.File("many.viv"), many);
    VivArchive archive(dir.File("many.viv"));
    EXPECT_THROW(archive.Load(), UnpackLimitError);
}

TEST(UnpackBudget, PictureArchivesInAPackageChargeThePackagesBudget) {
    ScratchDir dir;
    // A picture archive of one 64 KiB entry named "big0".
    Builder fsh;
    fsh.str("SHPI");                      // signature (not read)
    fsh.u32le(16 + 8 + 64 * 1024);        // total size (not read)
    fsh.u32le(1);                         // entry count
    fsh.str("GIMX");                      // directory id (not read)
    fsh.str("big0").u32le(24);            // entry 0: name, offset
    fsh.u8(0x7d).fill(64 * 1024 - 1, 1);  // the entry: a format code and filler
    const Bytes pictures = fsh.bytes();

    // Alone, the picture archive unpacks its one entry.
    WriteFile(dir.File("alone.fsh"), pictures);
    {
        FshFile alone(dir.File("alone.fsh"));
        alone.Load();
        EXPECT_EQ(alone.images.GetSize(), 1);
    }

    // Twelve package members name the same picture archive: each member costs its size, and
    // each unpacked picture archive its entry once more, 24 x 64 KiB against a budget of about
    // 1 MiB + 4 x 66 KiB. Without the pictures' share, the members alone would fit.
    std::size_t directory = 16;
    for (int i = 0; i < 12; ++i)
        directory += 9 + ("p" + std::to_string(i) + ".fsh").size();
    Builder viv;
    viv.str("BIGF");                                                     // magic
    viv.u32be(static_cast<std::uint32_t>(directory + pictures.size()));  // total size
    viv.u32be(12);                                                       // member count
    viv.u32be(static_cast<std::uint32_t>(directory));                    // header size
    for (int i = 0; i < 12; ++i) {
        viv.u32be(static_cast<std::uint32_t>(directory));        // offset: the one picture file
        viv.u32be(static_cast<std::uint32_t>(pictures.size()));  // size
        viv.cstr("p" + std::to_string(i) + ".fsh");              // name
    }
    viv.raw(pictures);
    ASSERT_LT(12 * pictures.size(), kMiB + 4 * viv.size());
    ASSERT_GT(24 * pictures.size(), kMiB + 4 * viv.size());
    WriteFile(dir.File("pictures.viv"), viv.bytes());
    VivArchive archive(dir.File("pictures.viv"));
    EXPECT_THROW(archive.Load(), UnpackLimitError);
}

}  // namespace
}  // namespace carconv
