// No loader allocates more than its file can back: every file here is about a kilobyte (a mesh
// header is 8 KB) and declares billions of records, or sizes and offsets far beyond its end. Each
// load must end quickly, with a FormatError that says what is wrong, or, for the formats that
// read leniently, load without the data that is not there. A loader that trusted the numbers
// would allocate gigabytes, which the sanitizer build's allocator refuses with an abort.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "app/converter_app.h"
#include "carp/carp3_file.h"
#include "fedata/fedata3_file.h"
#include "fedata/fedata4_file.h"
#include "files/errors.h"
#include "files/viv_archive.h"
#include "image/fsh_file.h"
#include "image/fsh_image.h"
#include "image/tga_file.h"
#include "mesh/fce3_file.h"
#include "mesh/fce4_file.h"
#include "support/packages.h"
#include "support/test_util.h"

namespace carconv {
namespace {

using test::Builder;
using test::ScratchDir;
using test::WriteFile;

constexpr std::uint32_t kMaxI32 = 0x7fffffff;
constexpr std::uint32_t kAllOnes = 0xffffffff;
// Far more than a kilobyte-sized load should ever take, even in a sanitizer build on a busy
// machine; a loader that walked billions of records would take minutes.
constexpr auto kQuickly = std::chrono::seconds(3);

// Runs `load` and expects a FormatError whose text holds `expected`, within kQuickly.
void ExpectQuickFormatError(const std::function<void()>& load, const std::string& expected) {
    const auto start = std::chrono::steady_clock::now();
    try {
        load();
        ADD_FAILURE() << "loaded; expected an error containing \"" << expected << "\"";
    } catch (const FormatError& e) {
        EXPECT_NE(std::string(e.what()).find(expected), std::string::npos) << e.what();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, kQuickly);
}

// A version-3 mesh header (7940 bytes) with the given counts and all six array offsets `offset`,
// followed by `tail` bytes.
Bytes Fce3Header(std::uint32_t triangles, std::uint32_t vertices, std::uint32_t offset,
                 std::size_t tail) {
    Builder b;
    b.u32le(0);          // 0x0000 not interpreted
    b.u32le(triangles);  // 0x0004 triangle count
    b.u32le(vertices);   // 0x0008 vertex count
    b.u32le(0);          // 0x000C auxiliary count
    for (int i = 0; i < 6; ++i)
        b.u32le(offset);   // 0x0010..0x0024 array offsets
    b.zeros(7940 - 0x28);  // extent, markers, parts, colours, names
    b.fill(tail, 0x11);    // a little array data
    return b.bytes();
}

// A version-4 mesh header (8248 bytes) with the given counts and all fourteen offsets `offset`.
Bytes Fce4Header(std::uint32_t triangles, std::uint32_t vertices, std::uint32_t offset,
                 std::size_t tail) {
    Builder b;
    b.u8(0x14).u8(0x10).u8(0x10).u8(0);  // 0x0000 leading word
    b.u32le(0);                          // 0x0004 reserved
    b.u32le(triangles);                  // 0x0008 triangle count
    b.u32le(vertices);                   // 0x000C vertex count
    b.u32le(0);                          // 0x0010 auxiliary count
    for (int i = 0; i < 14; ++i)
        b.u32le(offset);   // 0x0014..0x0048 array offsets
    b.zeros(8248 - 0x4C);  // extent, markers, parts, colours, names
    b.fill(tail, 0x22);
    return b.bytes();
}

TEST(HugeCounts, ArchiveDirectoryClaimsMoreThanTheFileHolds) {
    ScratchDir dir;
    const std::string path = dir.File("huge.viv");
    auto load = [&] { VivArchive(path).Load(); };

    // A member count of 2^31 - 1 in a kilobyte.
    WriteFile(path, Builder()
                        .str("BIGF")       // magic
                        .u32be(1024)       // total size
                        .u32be(kMaxI32)    // member count
                        .u32be(16)         // header size
                        .zeros(1024 - 16)  // room for about a hundred entries
                        .bytes());
    ExpectQuickFormatError(load, "member count 2147483647 is more than the file can hold");

    // 0xFFFFFFFF reads as a negative count.
    WriteFile(path,
              Builder().str("BIGF").u32be(1024).u32be(kAllOnes).u32be(16).zeros(1008).bytes());
    ExpectQuickFormatError(load, "negative member count -1");

    // One member of 2^31 - 1 bytes, and one at offset 2^31 - 1.
    for (auto [offset, size] : {std::pair{26u, kMaxI32}, std::pair{kMaxI32, 1u}}) {
        WriteFile(path, Builder()
                            .str("BIGF")      // magic
                            .u32be(1024)      // total size
                            .u32be(1)         // member count
                            .u32be(26)        // header size
                            .u32be(offset)    // entry offset
                            .u32be(size)      // entry size
                            .cstr("a")        // entry name
                            .fill(998, 0x33)  // data
                            .bytes());
        ExpectQuickFormatError(load, "lies outside the file of 1024 bytes");
    }
}

TEST(HugeCounts, ConversionOfAPackageThatClaimsBillionsOfMembers) {
    ScratchDir dir;
    test::WriteTemplates(dir.Path());
    WriteFile(dir.File("in.viv"),
              Builder().str("BIGF").u32be(1024).u32be(kMaxI32).u32be(16).zeros(1008).bytes());
    ExpectQuickFormatError(
        [&] { ConvertPackage(dir.File("in.viv"), dir.File("out.viv"), dir.Path() + "/"); },
        "member count 2147483647");
    EXPECT_FALSE(test::Exists(dir.File("out.viv")));
}

TEST(HugeCounts, PictureArchiveClaimsBillionsOfEntries) {
    ScratchDir dir;
    const std::string path = dir.File("dash.fsh");
    auto load = [&] { FshFile(path).Load(); };

    WriteFile(path, Builder()
                        .str("SHPI")       // signature
                        .u32le(1024)       // total size
                        .u32le(kMaxI32)    // entry count
                        .str("GIMX")       // directory id
                        .zeros(1024 - 16)  // room for 126 records
                        .bytes());
    ExpectQuickFormatError(load, "entry count 2147483647 needs");

    // One entry that starts at 2^31 - 1.
    WriteFile(path, Builder()
                        .str("SHPI")       // signature
                        .u32le(1024)       // total size
                        .u32le(1)          // entry count
                        .str("GIMX")       // directory id
                        .str("abcd")       // entry name
                        .u32le(kMaxI32)    // entry offset
                        .zeros(1024 - 24)  // data
                        .bytes());
    ExpectQuickFormatError(load, "starts at 2147483647, outside the file of 1024 bytes");
}

TEST(HugeCounts, PictureEntryOfTheLargestSizeLoadsItsHeaderAlone) {
    ScratchDir dir;
    const std::string path = dir.File("big0");
    // 32-bit pixels and the 8-bit palette format, each 32767 x 32767 pixels in a kilobyte.
    for (std::uint8_t format : {std::uint8_t{0x7d}, std::uint8_t{0x7b}, std::uint8_t{0x78}}) {
        WriteFile(path, Builder()
                            .u8(format)        // format code
                            .zeros(3)          // header bytes
                            .u16le(0x7fff)     // width
                            .u16le(0x7fff)     // height
                            .zeros(8)          // extra words
                            .fill(1008, 0x44)  // a kilobyte of pixels
                            .bytes());
        const auto start = std::chrono::steady_clock::now();
        FshImage image(path);
        image.Load();
        EXPECT_LT(std::chrono::steady_clock::now() - start, kQuickly);
        EXPECT_FALSE(image.PixelDataComplete()) << int{format};
        EXPECT_TRUE(image.Pixels().empty()) << int{format};
        EXPECT_EQ(image.Width(), 0x7fff);
        EXPECT_EQ(image.length, 1024);
    }
}

TEST(HugeCounts, TextureDeclaresTheLargestImageAndColourMap) {
    ScratchDir dir;
    const std::string path = dir.File("car00.tga");
    auto load = [&] { TgaFile(path).Load(); };
    // An 18-byte header of a 65535 x 65535 image of `type` with `mapType` and `mapEntries`.
    auto header = [](std::uint8_t type, std::uint8_t mapType, std::uint16_t mapEntries) {
        Builder b;
        b.u8(0);                              // id length
        b.u8(mapType);                        // colour map type
        b.u8(type);                           // image type
        b.u16le(0).u16le(mapEntries).u8(32);  // colour map: first index, entries, entry bits
        b.u16le(0).u16le(0);                  // x, y origin
        b.u16le(0xffff).u16le(0xffff);        // width, height
        b.u8(32).u8(8);                       // pixel depth, descriptor
        b.fill(1024 - 18, 0xff);              // a kilobyte: run packets of 128 pixels
        return b.bytes();
    };

    WriteFile(path, header(2, 0, 0));
    ExpectQuickFormatError(load,
                           "image data of 65535x65535 pixels at 32 bits needs 17179344900 "
                           "bytes, the file holds 1006");
    // Run-length data can expand 128-fold at most: 1006 bytes cannot fill 16 GiB.
    WriteFile(path, header(10, 0, 0));
    ExpectQuickFormatError(load,
                           "run-length data of 1006 bytes cannot fill an image of "
                           "65535x65535 pixels");
    WriteFile(path, header(1, 1, 0xffff));
    ExpectQuickFormatError(load, "colour map of 65535 entries of 32 bits needs 262140 bytes");
}

TEST(HugeCounts, MeshesWithBillionsOfVerticesAndTriangles) {
    ScratchDir dir;
    const std::string path = dir.File("car.fce");
    struct Case {
        std::uint32_t triangles, vertices, offset;
        const char* expected;
    };
    const Case cases[] = {
        {0, kMaxI32, 0, "array vertices (2147483647 records of 12 bytes) needs bytes"},
        {kMaxI32, 0, 0, "array triangles (2147483647 records of 56 bytes) needs bytes"},
        {kAllOnes, kAllOnes, 0, "array vertices: vertexCount is negative (-1)"},
        {1, 1, kMaxI32, "array vertices (1 records of 12 bytes) needs bytes"},
        {1, 1, kAllOnes, "array vertices: vertexOffset is negative (-1)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        WriteFile(path, Fce3Header(c.triangles, c.vertices, c.offset, 256));
        ExpectQuickFormatError([&] { Fce3File(path).Load(); }, c.expected);
        WriteFile(path, Fce4Header(c.triangles, c.vertices, c.offset, 256));
        ExpectQuickFormatError([&] { Fce4File(path).Load(); }, c.expected);
    }
}

TEST(HugeCounts, FrontEndFilesWithOffsetsFarBeyondTheEnd) {
    ScratchDir dir;
    const std::string path = dir.File("fedata.eng");
    // Every string offset 2^31 - 1 or -1: each names no byte of the file, so every string is
    // empty; nothing is read or allocated past the kilobyte.
    for (std::uint32_t offset : {kMaxI32, kAllOnes}) {
        Builder v3;
        v3.str("Abcd").zeros(47 - 4);  // lead bytes and header fields
        for (int i = 0; i < 40; ++i)
            v3.u32le(offset);  // string offsets
        v3.fill(1024 - v3.size(), 'x');
        WriteFile(path, v3.bytes());
        Fedata3File f3(path);
        f3.Load();
        for (int i = 0; i < 40; ++i)
            EXPECT_EQ(f3.GetString(i), "") << i;

        Builder v4;
        v4.u8(4).zeros(960 - 1);  // header up to the offset table
        for (int i = 0; i < 41; ++i)
            v4.u32le(offset);  // string offsets
        v4.fill(2048 - v4.size(), 'y');
        WriteFile(path, v4.bytes());
        Fedata4File f4(path);
        f4.Load();
        for (int i = 0; i < 41; ++i)
            EXPECT_EQ(f4.GetString(i), "") << i;
    }
}

}  // namespace
}  // namespace carconv
