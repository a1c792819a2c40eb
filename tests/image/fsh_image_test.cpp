#include "image/fsh_image.h"

#include <gtest/gtest.h>

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

// The 16-byte header of an entry.
Builder EntryHeader(std::uint8_t code, std::int16_t width, std::int16_t height) {
    Builder b;
    b.u8(code)                                      // format code
        .raw({0x11, 0x22, 0x33})                    // three header bytes
        .u16le(static_cast<std::uint16_t>(width))   // width
        .u16le(static_cast<std::uint16_t>(height))  // height
        .u16le(0xfffe)                              // extra word 0 (-2)
        .u16le(7)                                   // extra word 1
        .u16le(0x8000)                              // extra word 2 (-32768)
        .u16le(0);                                  // extra word 3
    return b;
}

Bytes Pattern(std::size_t n, std::uint8_t seed) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>(seed + i * 3);
    return b;
}

TEST(FshImage, ReadsThePixelDataEachFormatCodeCallsFor) {
    ScratchDir dir;
    struct Case {
        std::uint8_t code;
        std::size_t pixelBytes;  // for 3 x 2 pixels
        bool palette;
    };
    const std::vector<Case> cases = {
        {0x78, 12, false}, {0x7B, 6, true},  {0x7D, 24, false}, {0x7E, 12, false},
        {0x79, 0, false},  {0x7A, 0, false}, {0x7C, 0, false},  {0x00, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int{c.code});
        // Every entry carries 1040 + 24 bytes after its header, more than any format reads.
        const Bytes body = Pattern(24, 1);
        const Bytes paletteHeader = Pattern(16, 100);
        const Bytes palette = Pattern(1024, 7);
        Builder entry = EntryHeader(c.code, 3, 2);
        entry.raw(Bytes(body.begin(), body.begin() + static_cast<std::ptrdiff_t>(c.pixelBytes)));
        entry.raw(paletteHeader).raw(palette).raw(Pattern(24, 50));  // then trailing bytes
        WriteFile(dir.File("e"), entry.bytes());

        FshImage image(dir.File("e"));
        EXPECT_EQ(image.typeTag, "FSHImage");
        ASSERT_EQ(image.Load(), 1);
        EXPECT_EQ(image.length, static_cast<std::int32_t>(entry.size()));
        EXPECT_EQ(image.FormatCode(), c.code);
        EXPECT_EQ(image.HeaderBytes()[0], 0x11);
        EXPECT_EQ(image.HeaderBytes()[2], 0x33);
        EXPECT_EQ(image.Width(), 3);
        EXPECT_EQ(image.Height(), 2);
        EXPECT_EQ(image.ExtraWords()[0], -2);
        EXPECT_EQ(image.ExtraWords()[1], 7);
        EXPECT_EQ(image.ExtraWords()[2], -32768);
        EXPECT_TRUE(image.PixelDataComplete());
        EXPECT_EQ(image.Pixels(),
                  Bytes(body.begin(), body.begin() + static_cast<std::ptrdiff_t>(c.pixelBytes)));
        if (c.palette) {
            EXPECT_EQ(Bytes(image.PaletteHeader().begin(), image.PaletteHeader().end()),
                      paletteHeader);
            EXPECT_EQ(Bytes(image.Palette().begin(), image.Palette().end()), palette);
        } else {
            EXPECT_EQ(Bytes(image.Palette().begin(), image.Palette().end()), Bytes(1024, 0));
        }
    }
}

TEST(FshImage, ZeroDimensionsReadNoPixelsButStillThePalette) {
    ScratchDir dir;
    const Bytes palette = Pattern(1024, 9);
    WriteFile(dir.File("p"), EntryHeader(0x7B, 0, 5)
                                 .fill(16, 0xcc)  // palette header
                                 .raw(palette)    // palette
                                 .bytes());
    FshImage p(dir.File("p"));
    p.Load();
    EXPECT_TRUE(p.Pixels().empty());
    EXPECT_TRUE(p.PixelDataComplete());
    EXPECT_EQ(p.PaletteHeader()[15], 0xcc);
    EXPECT_EQ(Bytes(p.Palette().begin(), p.Palette().end()), palette);

    WriteFile(dir.File("q"), EntryHeader(0x7D, 4, 0).bytes());
    FshImage q(dir.File("q"));
    q.Load();
    EXPECT_TRUE(q.Pixels().empty());
    EXPECT_TRUE(q.PixelDataComplete());
}

TEST(FshImage, NegativeSizesAndShortEntriesLoadTheHeaderOnly) {
    ScratchDir dir;
    for (auto [w, h] : {std::pair<int, int>{-1, 4}, {4, -1}, {-32768, -32768}}) {
        SCOPED_TRACE(testing::Message() << w << "x" << h);
        WriteFile(dir.File("n"),
                  EntryHeader(0x7D, static_cast<std::int16_t>(w), static_cast<std::int16_t>(h))
                      .raw(Pattern(64, 1))  // pixel bytes
                      .bytes());
        FshImage image(dir.File("n"));
        EXPECT_EQ(image.Load(), 1);
        EXPECT_EQ(image.Width(), w);
        EXPECT_EQ(image.Height(), h);
        EXPECT_TRUE(image.Pixels().empty());
        EXPECT_FALSE(image.PixelDataComplete());
    }

    // A header that promises 32767 x 32767 x 4 bytes in a 20-byte entry.
    WriteFile(dir.File("big"), EntryHeader(0x7D, 32767, 32767).zeros(4).bytes());
    FshImage big(dir.File("big"));
    EXPECT_EQ(big.Load(), 1);
    EXPECT_TRUE(big.Pixels().empty());
    EXPECT_FALSE(big.PixelDataComplete());

    // Prefixes of a palette entry load; only the whole entry brings its pixels and palette.
    const Bytes whole = EntryHeader(0x7B, 2, 2)
                            .raw({1, 2, 3, 4})  // indices
                            .fill(16, 0xaa)     // palette header
                            .fill(1024, 0xbb)   // palette
                            .bytes();
    std::vector<std::size_t> lengths;
    for (std::size_t n = 0; n <= 24; ++n)
        lengths.push_back(n);  // header, pixels, palette start
    for (std::size_t n = whole.size() - 2; n <= whole.size(); ++n)
        lengths.push_back(n);
    for (std::size_t n : lengths) {
        WriteFile(dir.File("cut"),
                  Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n)));
        FshImage cut(dir.File("cut"));
        ASSERT_EQ(cut.Load(), 1) << n;
        EXPECT_EQ(cut.length, static_cast<std::int32_t>(n));
        const bool full = n == whole.size();
        // An empty file has format code 0, which calls for no pixel data.
        EXPECT_EQ(cut.PixelDataComplete(), full || n == 0) << n;
        EXPECT_EQ(cut.Pixels(), full ? Bytes({1, 2, 3, 4}) : Bytes()) << n;
        EXPECT_EQ(cut.Palette()[1023], full ? 0xbb : 0) << n;
        // The header bytes present are read; the missing ones read as zero.
        EXPECT_EQ(cut.FormatCode(), n >= 1 ? 0x7B : 0) << n;
        EXPECT_EQ(cut.Height(), n >= 7 ? 2 : 0) << n;  // byte 7 holds the high half, 0
    }
}

TEST(FshImage, NeverWritesAndReportsAMissingFile) {
    ScratchDir dir;
    WriteFile(dir.File("e"), EntryHeader(0x78, 1, 1).raw({5, 6}).bytes());
    FshImage image(dir.File("e"));
    image.Load();
    EXPECT_EQ(image.SaveAs(dir.File("copy")), 1);
    EXPECT_EQ(image.Save(), 1);
    EXPECT_EQ(image.Reset(), 1);
    EXPECT_FALSE(test::Exists(dir.File("copy")));
    EXPECT_EQ(ReadFile(dir.File("e")), EntryHeader(0x78, 1, 1).raw({5, 6}).bytes());
    EXPECT_EQ(image.Pixels(), (Bytes{5, 6}));  // Reset changes nothing

    FshImage missing(dir.File("missing"));
    EXPECT_THROW(missing.Load(), IoError);
}

}  // namespace
}  // namespace carconv
