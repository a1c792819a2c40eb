#include "image/tga_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "files/errors.h"
#include "support/test_util.h"

namespace carconv {
namespace {

using test::Builder;
using test::Bytes;
using test::GetU16le;
using test::ReadFile;
using test::ScratchDir;
using test::WriteFile;

struct HeaderFields {
    std::uint8_t idLength = 0;
    std::uint8_t colourMapType = 0;
    std::uint8_t imageType = 2;
    std::uint16_t mapFirst = 0;
    std::uint16_t mapLength = 0;
    std::uint8_t mapBits = 0;
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::uint8_t depth = 24;
    std::uint8_t descriptor = 0x28;
};

// The 18 header bytes of a Targa file.
Builder Header(const HeaderFields& f) {
    Builder b;
    b.u8(f.idLength)          // ID length
        .u8(f.colourMapType)  // colour map type
        .u8(f.imageType)      // image type
        .u16le(f.mapFirst)    // colour map fields: first entry index
        .u16le(f.mapLength)   // colour map fields: number of entries
        .u8(f.mapBits)        // colour map fields: bits per entry
        .u16le(0x1234)        // X origin
        .u16le(0x5678)        // Y origin
        .u16le(f.width)       // width
        .u16le(f.height)      // height
        .u8(f.depth)          // pixel depth
        .u8(f.descriptor);    // image descriptor
    return b;
}

// Row `r` of a test image: bytes that differ from row to row and within a row.
Bytes Row(int r, std::size_t rowBytes) {
    Bytes row(rowBytes);
    for (std::size_t i = 0; i < rowBytes; ++i)
        row[i] = static_cast<std::uint8_t>(r * 37 + i * 11 + 1);
    return row;
}

Bytes Rows(int height, std::size_t rowBytes, bool reversed) {
    Bytes out;
    for (int i = 0; i < height; ++i) {
        Bytes row = Row(reversed ? height - 1 - i : i, rowBytes);
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

Bytes Slice(const Bytes& b, std::size_t from, std::size_t n) {
    return Bytes(b.begin() + static_cast<std::ptrdiff_t>(from),
                 b.begin() + static_cast<std::ptrdiff_t>(from + n));
}

Bytes IdField(std::size_t n) {
    Bytes id(n);
    for (std::size_t i = 0; i < n; ++i)
        id[i] = static_cast<std::uint8_t>(0xff - i);
    return id;
}

// A TGA 2.0 footer: extension offset, developer offset, signature.
Bytes Footer() {
    return Builder()
        .u32le(0x1000)  // extension area offset
        .u32le(0)       // developer directory offset
        .str("TRUEVISION-XFILE")
        .u8('.')  // signature
        .u8(0)    // terminator
        .bytes();
}

// `bytes` written to `name` in `dir`; returns the file's path.
std::string Written(const ScratchDir& dir, const std::string& name, const Bytes& bytes) {
    WriteFile(dir.File(name), bytes);
    return dir.File(name);
}

// What `tga` wrote, saved as `name` in `dir`.
Bytes SavedAs(TgaFile& tga, const ScratchDir& dir, const std::string& name) {
    tga.SaveAs(dir.File(name));
    return ReadFile(dir.File(name));
}

TEST(TgaFile, FlipsRowsOfEveryDepthAndKeepsEachPixelsBytes) {
    ScratchDir dir;
    struct Depth {
        std::uint8_t bits;
        std::uint8_t imageType;
        std::size_t bytesPerPixel;
    };
    // 15-bit pixels occupy two bytes each.
    const std::vector<Depth> depths = {{8, 3, 1}, {15, 2, 2}, {16, 2, 2}, {24, 2, 3}, {32, 2, 4}};
    for (const Depth& d : depths) {
        for (int height : {1, 3, 4}) {
            SCOPED_TRACE(testing::Message() << d.bits << " bits, height " << height);
            const std::uint16_t width = 3;
            const std::size_t rowBytes = width * d.bytesPerPixel;
            HeaderFields f;
            f.imageType = d.imageType;
            f.width = width;
            f.height = static_cast<std::uint16_t>(height);
            f.depth = d.bits;
            const Bytes input = Header(f).raw(Rows(height, rowBytes, false)).bytes();
            TgaFile tga(Written(dir, "in.tga", input));
            EXPECT_EQ(tga.typeTag, "TGA");
            ASSERT_EQ(tga.Load(), 1);
            EXPECT_EQ(tga.length, static_cast<std::int32_t>(input.size()));
            EXPECT_EQ(tga.Header().width, width);
            EXPECT_EQ(tga.Header().height, height);

            // Unflipped, SaveAs reproduces the file.
            EXPECT_EQ(SavedAs(tga, dir, "same.tga"), input);

            EXPECT_EQ(tga.FlipRows(), 1);
            const Bytes out = SavedAs(tga, dir, "out.tga");
            ASSERT_EQ(out.size(), 18 + rowBytes * height);
            EXPECT_EQ(Slice(out, 0, 18), Slice(input, 0, 18));
            EXPECT_EQ(Slice(out, 18, rowBytes * height), Rows(height, rowBytes, true));
            EXPECT_EQ(tga.length, static_cast<std::int32_t>(input.size()));  // SaveAs keeps it

            // Flipping twice restores the rows.
            tga.FlipRows();
            EXPECT_EQ(SavedAs(tga, dir, "twice.tga"), input);
        }
    }
}

TEST(TgaFile, OddHeightKeepsTheMiddleRowAndNamedBytesLandWhereExpected) {
    ScratchDir dir;
    HeaderFields f;
    f.width = 2;
    f.height = 3;
    f.depth = 32;
    // Pixels as B, G, R, A with a marker per row.
    const Bytes input = Header(f)
                            .raw({1, 2, 3, 4, 5, 6, 7, 8})          // row 0
                            .raw({9, 10, 11, 12, 13, 14, 15, 16})   // row 1
                            .raw({17, 18, 19, 20, 21, 22, 23, 24})  // row 2
                            .bytes();
    TgaFile tga(Written(dir, "a.tga", input));
    tga.Load();
    tga.FlipRows();
    tga.Save();
    const Bytes out = ReadFile(dir.File("a.tga"));
    EXPECT_EQ(Slice(out, 18, 24), (Bytes{17, 18, 19, 20, 21, 22, 23, 24, 9, 10, 11, 12,
                                         13, 14, 15, 16, 1,  2,  3,  4,  5, 6,  7,  8}));
    EXPECT_EQ(GetU16le(out, 8), 0x1234);   // X origin
    EXPECT_EQ(GetU16le(out, 10), 0x5678);  // Y origin
    EXPECT_EQ(out[17], 0x28);              // descriptor, origin bits untouched
}

TEST(TgaFile, KeepsIdFieldsOfAnyLength) {
    ScratchDir dir;
    for (std::size_t idLength : {0u, 1u, 128u, 200u, 255u}) {
        SCOPED_TRACE(idLength);
        HeaderFields f;
        f.idLength = static_cast<std::uint8_t>(idLength);
        f.width = 2;
        f.height = 2;
        const Bytes input = Header(f).raw(IdField(idLength)).raw(Rows(2, 6, false)).bytes();
        TgaFile tga(Written(dir, "id.tga", input));
        tga.Load();
        EXPECT_EQ(tga.ImageId(), IdField(idLength));
        tga.FlipRows();
        const Bytes out = SavedAs(tga, dir, "out.tga");
        ASSERT_EQ(out.size(), 18 + idLength + 12);
        EXPECT_EQ(out[0], static_cast<std::uint8_t>(idLength));
        EXPECT_EQ(Slice(out, 18, idLength), IdField(idLength));
        EXPECT_EQ(Slice(out, 18 + idLength, 12), Rows(2, 6, true));
    }
}

TEST(TgaFile, KeepsAColourMapVerbatimAndFlipsTheIndexRows) {
    ScratchDir dir;
    struct Map {
        std::uint8_t bits;
        std::size_t entryBytes;
    };
    for (const Map& m : {Map{24, 3}, Map{15, 2}, Map{32, 4}}) {
        SCOPED_TRACE(int{m.bits});
        HeaderFields f;
        f.idLength = 3;
        f.colourMapType = 1;
        f.imageType = 1;
        f.mapFirst = 2;
        f.mapLength = 5;
        f.mapBits = m.bits;
        f.width = 4;
        f.height = 3;
        f.depth = 8;
        Bytes map(5 * m.entryBytes);
        for (std::size_t i = 0; i < map.size(); ++i)
            map[i] = static_cast<std::uint8_t>(0xa0 + i);
        const Bytes input = Header(f)
                                .str("abc")              // image ID
                                .raw(map)                // colour map
                                .raw(Rows(3, 4, false))  // palette indices
                                .bytes();
        TgaFile tga(Written(dir, "map.tga", input));
        tga.Load();
        EXPECT_EQ(tga.ColourMap(), map);
        tga.FlipRows();
        tga.Save();
        const Bytes out = ReadFile(dir.File("map.tga"));
        ASSERT_EQ(out.size(), input.size());
        EXPECT_EQ(Slice(out, 0, 21 + map.size()), Slice(input, 0, 21 + map.size()));
        EXPECT_EQ(Slice(out, 21 + map.size(), 12), Rows(3, 4, true));
    }
}

TEST(TgaFile, KeepsBytesAfterTheImageDataSoSaveWritesWhatLoadMeasured) {
    ScratchDir dir;
    HeaderFields f;
    f.width = 3;
    f.height = 2;
    const Bytes extension = Bytes(495, 0x5a);  // a TGA 2.0 extension area
    const Bytes input = Header(f).raw(Rows(2, 9, false)).raw(extension).raw(Footer()).bytes();
    TgaFile tga(Written(dir, "footer.tga", input));
    tga.Load();
    EXPECT_TRUE(tga.HasTrailingBytes());
    EXPECT_EQ(tga.TrailingBytes().size(), 495u + 26u);
    EXPECT_EQ(tga.length, static_cast<std::int32_t>(input.size()));
    tga.FlipRows();
    tga.Save();
    const Bytes out = ReadFile(dir.File("footer.tga"));
    ASSERT_EQ(out.size(), static_cast<std::size_t>(tga.length));
    EXPECT_EQ(Slice(out, 18, 18), Rows(2, 9, true));
    EXPECT_EQ(Slice(out, 36, 495), extension);
    EXPECT_EQ(Slice(out, 36 + 495, 26), Footer());

    // Without such bytes there is nothing to report.
    WriteFile(dir.File("plain.tga"), Header(f).raw(Rows(2, 9, false)).bytes());
    TgaFile plain(dir.File("plain.tga"));
    plain.Load();
    EXPECT_FALSE(plain.HasTrailingBytes());
}

TEST(TgaFile, AnUnchangedTextureIsNotRewrittenAndARewriteNeverChangesAnotherNameOfTheFile) {
    namespace fs = std::filesystem;
    ScratchDir dir;
    HeaderFields f;
    f.width = 3;
    f.height = 2;
    const Bytes input = Header(f).raw(Rows(2, 9, false)).raw(Footer()).bytes();
    const std::string path = dir.File("car00.tga");
    WriteFile(path, input);
    // A second name of the same file, as a copy that costs no bytes is.
    const bool linked = test::AddHardLink(path, dir.File("car100.tga"));
    const fs::file_time_type old = test::Backdate(path);

    TgaFile tga(path);
    tga.Load();
    tga.Save();
    EXPECT_EQ(fs::last_write_time(test::Native(path)), old);  // not written
    EXPECT_EQ(ReadFile(path), input);

    tga.FlipRows();
    tga.Save();
    const Bytes flipped = Header(f).raw(Rows(2, 9, true)).raw(Footer()).bytes();
    EXPECT_EQ(ReadFile(path), flipped);
    if (linked) {
        // Replaced, not written through: the other name keeps what it held.
        EXPECT_EQ(ReadFile(dir.File("car100.tga")), input);
        EXPECT_FALSE(fs::equivalent(test::Native(path), test::Native(dir.File("car100.tga"))));
    }
    // Having written its file, it leaves it alone again.
    fs::last_write_time(test::Native(path), old);
    tga.Save();
    EXPECT_EQ(fs::last_write_time(test::Native(path)), old);
    // Another target is always written.
    EXPECT_EQ(SavedAs(tga, dir, "other.tga"), flipped);
}

TEST(TgaFile, DecodesRunLengthDataAndWritesItUncompressed) {
    ScratchDir dir;
    HeaderFields f;
    f.idLength = 2;
    f.imageType = 10;  // run-length true-colour
    f.width = 4;
    f.height = 3;
    f.depth = 24;
    const Bytes input = Header(f)
                            .str("id")  // image ID
                            .u8(0x82)
                            .raw({1, 2, 3})  // run of 3
                            .u8(0x01)
                            .raw({4, 5, 6, 7, 8, 9})  // 2 raw pixels, across rows
                            .u8(0x86)
                            .raw({10, 11, 12})  // run of 7 to the end
                            .raw(Footer())      // footer, to be dropped
                            .bytes();
    TgaFile tga(Written(dir, "rle.tga", input));
    tga.Load();
    EXPECT_TRUE(tga.WasRunLengthEncoded());
    EXPECT_EQ(tga.DroppedByteCount(), 26u);
    EXPECT_EQ(tga.length, 18 + 2 + 36);
    tga.FlipRows();
    const Bytes out = SavedAs(tga, dir, "out.tga");
    ASSERT_EQ(out.size(), static_cast<std::size_t>(tga.length));
    EXPECT_EQ(out[2], 2);  // written as uncompressed true-colour
    EXPECT_EQ(Slice(out, 3, 15), Slice(input, 3, 15));
    EXPECT_EQ(out[0], 2);
    EXPECT_EQ(Slice(out, 18, 2), (Bytes{'i', 'd'}));
    // Decoded rows: {1,2,3}x3 {4,5,6} | {7,8,9} {10,11,12}x3 | {10,11,12}x4; written bottom first.
    const Bytes expected = {10, 11, 12, 10, 11, 12, 10, 11, 12, 10, 11, 12,  //
                            7,  8,  9,  10, 11, 12, 10, 11, 12, 10, 11, 12,  //
                            1,  2,  3,  1,  2,  3,  1,  2,  3,  4,  5,  6};
    EXPECT_EQ(Slice(out, 20, 36), expected);

    // Saving to its own path writes exactly `length` bytes, and reloading sees a plain image.
    tga.Save();
    EXPECT_EQ(ReadFile(dir.File("rle.tga")).size(), static_cast<std::size_t>(tga.length));
    TgaFile again(dir.File("rle.tga"));
    again.Load();
    EXPECT_FALSE(again.WasRunLengthEncoded());
    EXPECT_EQ(again.length, tga.length);

    // 1.2 MiB of raw packets of 128 pixels (513 bytes each): the data is read more than one
    // window at a time, and a packet lies across the windows' edge.
    f = HeaderFields{};
    f.imageType = 10;
    f.width = 1024;
    f.height = 300;
    f.depth = 32;
    Builder large = Header(f);
    Bytes pixels;
    for (int packet = 0; packet < 1024 * 300 / 128; ++packet) {
        for (int i = 0; i < 128 * 4; ++i)
            pixels.push_back(static_cast<std::uint8_t>(packet * 7 + i));
        large.u8(0x7F).raw(Bytes(pixels.end() - 128 * 4, pixels.end()));
    }
    TgaFile windowed(Written(dir, "large.tga", large.raw(Footer()).bytes()));
    windowed.Load();
    EXPECT_EQ(windowed.DroppedByteCount(), 26u);
    EXPECT_EQ(windowed.Pixels(), pixels);
}

TEST(TgaFile, AnImageLoadedFromARangeOfAPackageReadsAndWritesAsOneLoadedFromItsFile) {
    ScratchDir dir;
    HeaderFields plain;
    plain.width = 3;
    plain.height = 2;
    HeaderFields rle = plain;
    rle.imageType = 10;
    rle.depth = 24;
    const std::vector<Bytes> images = {Header(plain).raw(Rows(2, 9, false)).raw(Footer()).bytes(),
                                       Header(rle).u8(0x85).raw({1, 2, 3}).raw(Footer()).bytes()};
    for (const Bytes& image : images) {
        // The image between other bytes, as a member lies in a package.
        Bytes package = Builder().fill(33, 0xaa).bytes();
        for (std::uint8_t byte : image)
            package.push_back(byte);
        package.resize(package.size() + 5, 0xbb);
        WriteFile(dir.File("car.viv"), package);

        TgaFile fromFile(Written(dir, "file.tga", image));
        fromFile.Load();
        TgaFile fromRange(dir.File("car00.tga"));
        fromRange.LoadFrom(
            FileRange{dir.File("car.viv"), 33, static_cast<std::int64_t>(image.size())});
        EXPECT_EQ(fromRange.length, fromFile.length);
        EXPECT_EQ(fromRange.Pixels(), fromFile.Pixels());
        // Unchanged, it still writes its own path: the bytes it read lie elsewhere.
        fromRange.Save();
        EXPECT_EQ(ReadFile(dir.File("car00.tga")), SavedAs(fromFile, dir, "expected.tga"));
        fromRange.FlipRows();
        fromFile.FlipRows();
        EXPECT_EQ(SavedAs(fromRange, dir, "a.tga"), SavedAs(fromFile, dir, "b.tga"));
    }
}

TEST(TgaFile, DecodesColourMappedAndGreyRunLengthData) {
    ScratchDir dir;
    HeaderFields mapped;
    mapped.colourMapType = 1;
    mapped.imageType = 9;
    mapped.mapLength = 2;
    mapped.mapBits = 16;
    mapped.width = 2;
    mapped.height = 2;
    mapped.depth = 8;
    WriteFile(dir.File("m.tga"), Header(mapped)
                                     .raw({0xe0, 0xe1, 0xe2, 0xe3})  // colour map, 2 x 16 bits
                                     .u8(0x00)
                                     .u8(7)  // 1 raw index
                                     .u8(0x82)
                                     .u8(9)  // run of 3
                                     .bytes());
    TgaFile m(dir.File("m.tga"));
    m.Load();
    m.FlipRows();
    m.Save();
    const Bytes out = ReadFile(dir.File("m.tga"));
    ASSERT_EQ(out.size(), 18u + 4 + 4);
    EXPECT_EQ(out[2], 1);
    EXPECT_EQ(Slice(out, 18, 4), (Bytes{0xe0, 0xe1, 0xe2, 0xe3}));
    EXPECT_EQ(Slice(out, 22, 4), (Bytes{9, 9, 7, 9}));

    HeaderFields grey;
    grey.imageType = 11;
    grey.width = 3;
    grey.height = 1;
    grey.depth = 8;
    WriteFile(dir.File("g.tga"), Header(grey).u8(0x02).raw({4, 5, 6}).bytes());  // 3 raw
    TgaFile g(dir.File("g.tga"));
    g.Load();
    g.Save();
    const Bytes gout = ReadFile(dir.File("g.tga"));
    EXPECT_EQ(gout[2], 3);
    EXPECT_EQ(Slice(gout, 18, 3), (Bytes{4, 5, 6}));
}

std::string LoadError(const std::string& path) {
    TgaFile tga(path);
    try {
        tga.Load();
    } catch (const FormatError& e) {
        return e.what();
    }
    return "(loaded)";
}

TEST(TgaFile, RejectsRunLengthDataThatOverrunsOrEndsEarly) {
    ScratchDir dir;
    HeaderFields f;
    f.imageType = 10;
    f.width = 2;
    f.height = 2;
    f.depth = 24;
    const std::string path = dir.File("bad.tga");

    WriteFile(path, Header(f).u8(0x80).raw({1, 2, 3}).u8(0x83).raw({4, 5, 6}).bytes());
    EXPECT_EQ(LoadError(path),
              path +
                  ": run-length packet of 4 pixels overruns the image (3 of 4 pixels left) at "
                  "offset 0x16");

    WriteFile(path,
              Header(f).u8(0x02).raw({1, 2, 3, 4, 5, 6, 7, 8, 9}).u8(0x01).raw({1, 2, 3}).bytes());
    EXPECT_EQ(LoadError(path),
              path +
                  ": run-length packet of 2 pixels overruns the image (1 of 4 pixels left) at "
                  "offset 0x1c");

    WriteFile(path, Header(f).u8(0x81).raw({1, 2, 3}).bytes());
    EXPECT_EQ(LoadError(path), path + ": run-length data ends after 2 of 4 pixels at offset 0x16");

    WriteFile(path, Header(f).u8(0x83).raw({1, 2}).bytes());
    EXPECT_EQ(LoadError(path),
              path + ": run-length data ends inside a packet after 0 of 4 pixels at offset 0x12");

    // A header that promises far more pixels than any packet stream this short could yield.
    f.width = 65535;
    f.height = 65535;
    f.depth = 32;
    WriteFile(path, Header(f).u8(0xff).raw({1, 2, 3, 4}).bytes());
    EXPECT_EQ(LoadError(path), path +
                                   ": run-length data of 5 bytes cannot fill an image of "
                                   "65535x65535 pixels at 32 bits at offset 0x12");
}

TEST(TgaFile, RejectsDataTheFileCannotHold) {
    ScratchDir dir;
    const std::string path = dir.File("short.tga");
    HeaderFields f;
    f.width = 4;
    f.height = 3;
    WriteFile(path, Header(f).raw(Rows(3, 12, false)).bytes());
    {
        Bytes cut = ReadFile(path);
        cut.pop_back();
        WriteFile(path, cut);
    }
    EXPECT_EQ(LoadError(path), path +
                                   ": image data of 4x3 pixels at 24 bits needs 36 bytes, the "
                                   "file holds 35 at offset 0x12");

    f.width = 65535;
    f.height = 65535;
    f.depth = 32;
    WriteFile(path, Header(f).zeros(16).bytes());
    EXPECT_EQ(LoadError(path), path +
                                   ": image data of 65535x65535 pixels at 32 bits needs "
                                   "17179344900 bytes, the file holds 16 at offset 0x12");

    WriteFile(path, Builder().zeros(17).bytes());
    EXPECT_EQ(LoadError(path), path + ": file of 17 bytes is shorter than the 18-byte header");

    HeaderFields unknown;
    unknown.imageType = 32;  // compressed with a scheme this tool does not decode
    WriteFile(path, Header(unknown).bytes());
    EXPECT_EQ(LoadError(path), path + ": unsupported image type 32 at offset 0x2");

    HeaderFields mapType;
    mapType.colourMapType = 2;
    WriteFile(path, Header(mapType).bytes());
    EXPECT_EQ(LoadError(path), path + ": unsupported colour map type 2 at offset 0x1");

    TgaFile missing(dir.File("missing.tga"));
    EXPECT_THROW(missing.Load(), IoError);
}

TEST(TgaFile, EveryTruncationFailsCleanlyOrLoadsWhatIsThere) {
    ScratchDir dir;
    const std::string path = dir.File("cut.tga");

    HeaderFields mapped;
    mapped.idLength = 4;
    mapped.colourMapType = 1;
    mapped.imageType = 1;
    mapped.mapLength = 3;
    mapped.mapBits = 24;
    mapped.width = 3;
    mapped.height = 3;
    mapped.depth = 8;
    const Bytes plain = Header(mapped).str("name").zeros(9).raw(Rows(3, 3, false)).bytes();

    HeaderFields rle;
    rle.imageType = 10;
    rle.width = 3;
    rle.height = 2;
    rle.depth = 16;
    const Bytes packed = Header(rle)
                             .u8(0x81)
                             .raw({1, 2})  // run of 2
                             .u8(0x02)
                             .raw({3, 4, 5, 6, 7, 8})  // 3 raw
                             .u8(0x80)
                             .raw({9, 10})   // run of 1
                             .raw(Footer())  // dropped
                             .bytes();
    const std::size_t packedDataEnd = packed.size() - 26;

    for (std::size_t n = 0; n <= plain.size(); ++n) {
        WriteFile(path, Slice(plain, 0, n));
        TgaFile tga(path);
        if (n < plain.size()) {
            EXPECT_THROW(tga.Load(), FormatError) << n;
        } else {
            EXPECT_NO_THROW(tga.Load());
        }
    }
    for (std::size_t n = 0; n <= packed.size(); ++n) {
        WriteFile(path, Slice(packed, 0, n));
        TgaFile tga(path);
        if (n < packedDataEnd) {
            EXPECT_THROW(tga.Load(), FormatError) << n;
        } else {
            ASSERT_NO_THROW(tga.Load()) << n;
            EXPECT_EQ(tga.length, 18 + 12);
            EXPECT_EQ(tga.DroppedByteCount(), n - packedDataEnd);
        }
    }
}

TEST(TgaFile, ResetEmptiesEverythingAndAFailedLoadKeepsThePreviousContent) {
    ScratchDir dir;
    HeaderFields f;
    f.idLength = 1;
    f.width = 1;
    f.height = 2;
    const Bytes input = Header(f).u8(0x42).raw(Rows(2, 3, false)).raw(Footer()).bytes();
    TgaFile tga(Written(dir, "a.tga", input));
    tga.Load();
    // Image data that Load left in the file cannot be read once the file has changed.
    TgaFile unread(dir.File("a.tga"));
    unread.Load();
    ASSERT_EQ(tga.Pixels().size(), 6u);

    // A failed Load leaves what the object held.
    WriteFile(dir.File("a.tga"), Builder().zeros(5).bytes());
    EXPECT_THROW(unread.Pixels(), IoError);
    EXPECT_THROW(tga.Load(), FormatError);
    EXPECT_EQ(SavedAs(tga, dir, "kept.tga"), input);

    EXPECT_EQ(tga.Reset(), 1);
    EXPECT_EQ(tga.FlipRows(), 1);
    EXPECT_EQ(SavedAs(tga, dir, "empty.tga"), Bytes(18, 0));
}

TEST(TgaFile, AnImageWithoutDataKeepsWhatFollowsItsHeader) {
    ScratchDir dir;
    HeaderFields f;
    f.idLength = 2;
    f.imageType = 0;  // no image data, whatever the dimensions say
    f.width = 10;
    f.height = 10;
    const Bytes input = Header(f).str("ab").raw({1, 2, 3}).bytes();
    TgaFile tga(Written(dir, "none.tga", input));
    tga.Load();
    EXPECT_TRUE(tga.Pixels().empty());
    tga.FlipRows();
    EXPECT_EQ(SavedAs(tga, dir, "out.tga"), input);
}

}  // namespace
}  // namespace carconv
