#include "image/fsh_file.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "files/errors.h"
#include "support/test_util.h"

namespace carconv {
namespace {

using test::Builder;
using test::Bytes;
using test::ReadFile;
using test::ScratchDir;
using test::WriteFile;

struct Entry {
    std::string name;  // exactly four bytes, zeros included
    Bytes body;
};

// An archive with the entries laid out one after another behind the directory.
Bytes Archive(const std::vector<Entry>& entries, std::int32_t count) {
    Builder b;
    b.str("SHPI")           // bytes 0-3, not read
        .u32le(0xdeadbeef)  // bytes 4-7, not read
        .i32le(count)       // entry count
        .str("GIMX");       // bytes 12-15, not read
    std::uint32_t offset = 16 + 8 * static_cast<std::uint32_t>(entries.size());
    for (const Entry& e : entries) {
        b.str(e.name)        // entry name
            .u32le(offset);  // entry offset
        offset += static_cast<std::uint32_t>(e.body.size());
    }
    for (const Entry& e : entries)
        b.raw(e.body);  // entry bytes
    return b.bytes();
}

Bytes Archive(const std::vector<Entry>& entries) {
    return Archive(entries, static_cast<std::int32_t>(entries.size()));
}

// An image entry: header and pixel bytes.
Bytes Image(std::uint8_t code, std::int16_t width, std::int16_t height, const Bytes& pixels) {
    return Builder()
        .u8(code)                                   // format code
        .zeros(3)                                   // header bytes
        .u16le(static_cast<std::uint16_t>(width))   // width
        .u16le(static_cast<std::uint16_t>(height))  // height
        .zeros(8)                                   // extra words
        .raw(pixels)                                // pixel data
        .bytes();
}

// Working directories that an archive of this file name created and left behind.
std::vector<std::string> LeftoverFor(const std::string& archiveName) {
    std::vector<std::string> out;
    for (const std::string& name : test::LeftoverWorkingDirectories()) {
        if (name.rfind("carconv-" + archiveName + "-", 0) == 0)
            out.push_back(name);
    }
    return out;
}

const FshImage& ImageAt(const FshFile& fsh, int i) {
    return dynamic_cast<const FshImage&>(fsh.images.ElementAt(i));
}

TEST(FshFile, UnpacksEachEntryAndLoadsItsImage) {
    ScratchDir dir;
    const Bytes a = Image(0x7D, 1, 1, {1, 2, 3, 4});
    Bytes b = Image(0x78, 2, 1, {5, 6, 7, 8});
    b.insert(b.end(), {0xee, 0xee});  // padding before the next entry belongs to this one
    const Bytes c = Image(0x7B, 1, 1, Builder().u8(9).fill(1040, 0x44).bytes());
    const Bytes archive = Archive({{"tga0", a}, {"dash", b}, {"ab12", c}});
    const std::string path = dir.File("fshtest-unpack.fsh");
    WriteFile(path, archive);

    std::string workingDirectory;
    {
        FshFile fsh(path);
        EXPECT_EQ(fsh.typeTag, "FSH");
        EXPECT_TRUE(fsh.WorkingDirectoryPath().empty());
        ASSERT_EQ(fsh.Load(), 1);
        EXPECT_EQ(fsh.length, static_cast<std::int32_t>(archive.size()));
        workingDirectory = fsh.WorkingDirectoryPath();
        ASSERT_TRUE(test::Exists(workingDirectory));
        EXPECT_NE(workingDirectory.rfind(dir.Path(), 0), 0u);  // not beside the archive
        EXPECT_EQ(test::ListNames(workingDirectory),
                  (std::vector<std::string>{"ab12", "dash", "tga0"}));
        EXPECT_EQ(ReadFile(workingDirectory + "/tga0"), a);
        EXPECT_EQ(ReadFile(workingDirectory + "/dash"), b);
        EXPECT_EQ(ReadFile(workingDirectory + "/ab12"), c);

        ASSERT_EQ(fsh.images.GetSize(), 3);
        EXPECT_EQ(fsh.images.ElementAt(0).path, workingDirectory + test::kSeparator + "tga0");
        EXPECT_EQ(fsh.images.ElementAt(1).path, workingDirectory + test::kSeparator + "dash");
        EXPECT_EQ(fsh.images.ElementAt(2).typeTag, "FSHImage");
        EXPECT_EQ(ImageAt(fsh, 0).Pixels(), (Bytes{1, 2, 3, 4}));
        EXPECT_EQ(ImageAt(fsh, 1).Pixels(), (Bytes{5, 6, 7, 8}));
        EXPECT_EQ(ImageAt(fsh, 2).Pixels(), (Bytes{9}));
        EXPECT_EQ(ImageAt(fsh, 2).Palette()[0], 0x44);

        const auto& entries = fsh.Entries();
        ASSERT_EQ(entries.size(), 3u);
        EXPECT_EQ(entries[0].name, "tga0");
        EXPECT_EQ(entries[0].offset, 40);
        EXPECT_EQ(entries[0].size, 20);
        EXPECT_EQ(entries[1].offset, 60);
        EXPECT_EQ(entries[1].size, 22);
        EXPECT_EQ(entries[2].offset, 82);
        EXPECT_EQ(entries[2].size, 16 + 1 + 1040);
        EXPECT_EQ(entries[2].image->FormatCode(), 0x7B);
        EXPECT_EQ(entries[1].image->Width(), 2);
        EXPECT_EQ(entries[1].image, &ImageAt(fsh, 1));

        // The archive is never rewritten.
        EXPECT_EQ(fsh.Save(), 1);
        EXPECT_EQ(fsh.SaveAs(dir.File("other.fsh")), 1);
        EXPECT_EQ(ReadFile(path), archive);
        EXPECT_FALSE(test::Exists(dir.File("other.fsh")));
    }
    EXPECT_FALSE(test::Exists(workingDirectory));
    EXPECT_TRUE(test::Exists(path));
    EXPECT_TRUE(LeftoverFor("fshtest-unpack.fsh").empty());
}

TEST(FshFile, LoadFromAFileRangeReadsEntriesAndPixelsThereAndUnpacksNothing) {
    ScratchDir dir;
    const Bytes a = Image(0x7D, 1, 1, {1, 2, 3, 4});
    const Bytes c = Image(0x7B, 1, 1, Builder().u8(9).fill(1040, 0x44).bytes());
    const Bytes archive = Archive({{"tga0", a}, {"ab12", c}});
    // The archive as a member of a larger file: 100 bytes before it, 7 after.
    Bytes package = Builder().fill(100, 0xaa).bytes();
    for (std::uint8_t byte : archive)
        package.push_back(byte);
    package.resize(package.size() + 7, 0xbb);
    WriteFile(dir.File("package.viv"), package);

    FshFile fsh(dir.File("fedata.fsh"));
    ASSERT_EQ(fsh.LoadFrom(FileRange{dir.File("package.viv"), 100,
                                     static_cast<std::int64_t>(archive.size())}),
              1);
    EXPECT_EQ(fsh.length, static_cast<std::int32_t>(archive.size()));
    EXPECT_TRUE(fsh.WorkingDirectoryPath().empty());
    EXPECT_TRUE(LeftoverFor("fedata.fsh").empty());
    ASSERT_EQ(fsh.Entries().size(), 2u);
    EXPECT_EQ(fsh.Entries()[1].size, 16 + 1 + 1040);  // ends with the range, not the file
    EXPECT_EQ(ImageAt(fsh, 0).Pixels(), (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(ImageAt(fsh, 1).Pixels(), (Bytes{9}));
    EXPECT_EQ(ImageAt(fsh, 1).Palette()[0], 0x44);

    // The same checks as Load, naming the archive.
    package[100 + 8] = 200;  // entry count 200: more records than the range holds
    WriteFile(dir.File("package.viv"), package);
    try {
        FshFile(dir.File("fedata.fsh"))
            .LoadFrom(
                FileRange{dir.File("package.viv"), 100, static_cast<std::int64_t>(archive.size())});
        FAIL() << "a count the range cannot hold was loaded";
    } catch (const FormatError& e) {
        EXPECT_EQ(e.ProblemIn(dir.File("fedata.fsh")).rfind("entry count 200 needs", 0), 0u)
            << e.what();
    }
}

TEST(FshFile, ZeroEntriesGiveAnEmptyWorkingDirectory) {
    ScratchDir dir;
    const std::string path = dir.File("fshtest-empty.fsh");
    WriteFile(path, Archive({}));
    FshFile fsh(path);
    EXPECT_EQ(fsh.Load(), 1);
    EXPECT_EQ(fsh.length, 16);
    EXPECT_EQ(fsh.images.GetSize(), 0);
    EXPECT_TRUE(fsh.Entries().empty());
    ASSERT_TRUE(test::Exists(fsh.WorkingDirectoryPath()));
    EXPECT_TRUE(test::ListNames(fsh.WorkingDirectoryPath()).empty());
}

TEST(FshFile, DuplicateNamesShareAFileButEachImageKeepsItsOwnEntry) {
    ScratchDir dir;
    const Bytes first = Image(0x7D, 1, 1, {1, 1, 1, 1});
    const Bytes second = Image(0x7D, 1, 1, {2, 2, 2, 2});
    const std::string path = dir.File("fshtest-dup.fsh");
    WriteFile(path, Archive({{"same", first}, {"same", second}}));
    FshFile fsh(path);
    fsh.Load();
    EXPECT_EQ(test::ListNames(fsh.WorkingDirectoryPath()), (std::vector<std::string>{"same"}));
    EXPECT_EQ(ReadFile(fsh.WorkingDirectoryPath() + "/same"), second);
    ASSERT_EQ(fsh.images.GetSize(), 2);
    EXPECT_EQ(fsh.images.ElementAt(0).path, fsh.images.ElementAt(1).path);
    EXPECT_EQ(ImageAt(fsh, 0).Pixels(), (Bytes{1, 1, 1, 1}));
    EXPECT_EQ(ImageAt(fsh, 1).Pixels(), (Bytes{2, 2, 2, 2}));
}

TEST(FshFile, AZeroNameByteEndsTheName) {
    ScratchDir dir;
    const std::string path = dir.File("fshtest-zero.fsh");
    WriteFile(path, Archive({{std::string("ab\0d", 4), Image(0, 0, 0, {})},
                             {std::string("x\0\0\0", 4), Image(0, 0, 0, {})}}));
    FshFile fsh(path);
    fsh.Load();
    EXPECT_EQ(test::ListNames(fsh.WorkingDirectoryPath()), (std::vector<std::string>{"ab", "x"}));
    EXPECT_EQ(fsh.Entries()[0].name, "ab");
    EXPECT_EQ(fsh.Entries()[1].name, "x");
}

std::string LoadError(const std::string& path) {
    FshFile fsh(path);
    try {
        fsh.Load();
    } catch (const FormatError& e) {
        EXPECT_TRUE(fsh.WorkingDirectoryPath().empty());
        EXPECT_EQ(fsh.images.GetSize(), 0);
        return e.what();
    }
    return "(loaded)";
}

TEST(FshFile, RejectsNamesThatAreUnsafeAsFileNames) {
    ScratchDir dir;
    const std::string path = dir.File("fshtest-unsafe.fsh");
    const std::vector<std::string> unsafe = {
        std::string("\0abc", 4),
        std::string("..\0\0", 4),
        std::string(".\0\0\0", 4),
        "a/bc",
        "a\\bc",
        "c:xy",
        "\x01"
        "abc",
        "ab\x7f"
        "c",
    };
    for (const std::string& name : unsafe) {
        SCOPED_TRACE(name);
        // The unsafe entry comes second: nothing may be written for the safe one either.
        WriteFile(path, Archive({{"good", Image(0, 0, 0, {})}, {name, Image(0, 0, 0, {})}}));
        EXPECT_NE(LoadError(path).find("entry 1 has a name that is unsafe as a file name"),
                  std::string::npos);
    }
    WriteFile(path, Archive({{std::string("..\0\0", 4), Image(0, 0, 0, {})}}));
    EXPECT_EQ(LoadError(path), path +
                                   ": entry 0 has a name that is unsafe as a file name: "
                                   "\"..\\x00\\x00\" at offset 0x10");
    EXPECT_TRUE(LeftoverFor("fshtest-unsafe.fsh").empty());
    EXPECT_EQ(test::ListNames(dir.Path()), (std::vector<std::string>{"fshtest-unsafe.fsh"}));
}

TEST(FshFile, RejectsCountsAndOffsetsTheFileCannotHold) {
    ScratchDir dir;
    const std::string path = dir.File("fshtest-bad.fsh");
    const Bytes body = Image(0, 0, 0, {});  // 16 bytes

    WriteFile(path, Archive({}, -1));
    EXPECT_EQ(LoadError(path), path + ": negative entry count -1 at offset 0x8");

    WriteFile(path, Archive({{"aaaa", {}}}, 2));  // two records promised, 24 bytes present
    EXPECT_EQ(LoadError(path), path +
                                   ": entry count 2 needs 32 bytes of header and directory, "
                                   "the file holds 24 at offset 0x8");

    WriteFile(path, Archive({}, 0x7fffffff));
    EXPECT_NE(LoadError(path).find("entry count 2147483647 needs"), std::string::npos);

    WriteFile(path, Builder().zeros(11).bytes());
    EXPECT_EQ(LoadError(path), path + ": file of 11 bytes is too short to hold an entry count");

    auto withOffsets = [&](std::int32_t first, std::int32_t second) {
        return Builder()
            .zeros(8)       // not read
            .i32le(2)       // entry count
            .zeros(4)       // not read
            .str("aaaa")    // name 0
            .i32le(first)   // offset 0
            .str("bbbb")    // name 1
            .i32le(second)  // offset 1
            .raw(body)      // entry bytes at 32
            .raw(body)      // entry bytes at 48
            .bytes();       // 64 bytes in all
    };
    WriteFile(path, withOffsets(32, 32));
    EXPECT_EQ(LoadError(path),
              path + ": entry 1 (\"bbbb\") starts at 32, not after entry 0 at 32 at offset 0x1c");
    WriteFile(path, withOffsets(48, 32));
    EXPECT_EQ(LoadError(path),
              path + ": entry 1 (\"bbbb\") starts at 32, not after entry 0 at 48 at offset 0x1c");
    WriteFile(path, withOffsets(32, 65));
    EXPECT_EQ(LoadError(path),
              path +
                  ": entry 1 (\"bbbb\") starts at 65, outside the file of 64 bytes at offset "
                  "0x1c");
    WriteFile(path, withOffsets(-16, 32));
    EXPECT_EQ(LoadError(path),
              path +
                  ": entry 0 (\"aaaa\") starts at -16, outside the file of 64 bytes at offset "
                  "0x14");

    // The last entry may be empty: an offset at the very end is inside the file.
    WriteFile(path, withOffsets(32, 64));
    FshFile fsh(path);
    EXPECT_EQ(fsh.Load(), 1);
    EXPECT_EQ(fsh.Entries()[0].size, 32);
    EXPECT_EQ(fsh.Entries()[1].size, 0);
    EXPECT_TRUE(ReadFile(fsh.WorkingDirectoryPath() + "/bbbb").empty());
    EXPECT_EQ(ImageAt(fsh, 1).FormatCode(), 0);
}

TEST(FshFile, EveryTruncationFailsCleanlyOrLoadsAShorterLastEntry) {
    ScratchDir dir;
    const std::string path = dir.File("fshtest-cut.fsh");
    const Bytes archive = Archive({{"aaaa", Bytes(8, 0xa1)}, {"bbbb", Bytes(8, 0xb2)}});
    ASSERT_EQ(archive.size(), 48u);
    for (std::size_t n = 0; n <= archive.size(); ++n) {
        WriteFile(path, Bytes(archive.begin(), archive.begin() + static_cast<std::ptrdiff_t>(n)));
        FshFile fsh(path);
        if (n < 40) {  // the second entry starts at 40
            EXPECT_THROW(fsh.Load(), FormatError) << n;
        } else {
            ASSERT_NO_THROW(fsh.Load()) << n;
            EXPECT_EQ(ReadFile(fsh.WorkingDirectoryPath() + "/aaaa"), Bytes(8, 0xa1));
            EXPECT_EQ(ReadFile(fsh.WorkingDirectoryPath() + "/bbbb"), Bytes(n - 40, 0xb2));
        }
    }
    EXPECT_TRUE(LeftoverFor("fshtest-cut.fsh").empty());
}

TEST(FshFile, LoadingTwiceRewritesTheSameDirectoryAndAppendsImages) {
    ScratchDir dir;
    const std::string path = dir.File("fshtest-twice.fsh");
    WriteFile(path, Archive({{"one1", Image(0x78, 1, 1, {3, 4})}}));
    auto fsh = std::make_unique<FshFile>(path);
    fsh->Load();
    const std::string first = fsh->WorkingDirectoryPath();
    fsh->Load();
    EXPECT_EQ(fsh->WorkingDirectoryPath(), first);
    ASSERT_EQ(fsh->images.GetSize(), 2);
    EXPECT_EQ(fsh->Entries().size(), 2u);
    EXPECT_EQ(ImageAt(*fsh, 1).Pixels(), (Bytes{3, 4}));
    EXPECT_EQ(test::ListNames(first), (std::vector<std::string>{"one1"}));

    // A failed reload keeps the directory and the images of the earlier one.
    WriteFile(path, Archive({}, -5));
    EXPECT_THROW(fsh->Load(), FormatError);
    EXPECT_EQ(fsh->images.GetSize(), 2);
    EXPECT_TRUE(test::Exists(first + "/one1"));

    fsh.reset();
    EXPECT_FALSE(test::Exists(first));
    EXPECT_TRUE(LeftoverFor("fshtest-twice.fsh").empty());
}

TEST(FshFile, AMissingArchiveIsAnIoError) {
    ScratchDir dir;
    FshFile fsh(dir.File("fshtest-missing.fsh"));
    EXPECT_THROW(fsh.Load(), IoError);
    EXPECT_TRUE(fsh.WorkingDirectoryPath().empty());
}

}  // namespace
}  // namespace carconv
