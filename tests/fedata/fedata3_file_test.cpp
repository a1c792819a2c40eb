#include "fedata/fedata3_file.h"

#include <gtest/gtest.h>

#include "fedata_test_files.h"
#include "files/errors.h"
#include "support/test_util.h"

namespace carconv {
namespace {

using test::Bytes;

TEST(Fedata3File, LoadsEveryHeaderFieldWithItsSignAndTheStringsThroughTheTable) {
    test::ScratchDir dir;
    test::Fedata3Fields f;
    f.flag6 = -2;
    f.value10 = -32768;
    f.flag16 = 1;
    f.flag20 = 300;
    f.value24 = -2;
    f.byteValues = {-128, 127, -1, 5};
    Bytes bytes = test::Fedata3Packed(f, test::NumberedStrings<40>("text "));
    bytes.insert(bytes.end(), {0xEE, 0xEE});  // trailing bytes no string covers
    test::WriteFile(dir.File("fedata.eng"), bytes);

    Fedata3File file(dir.File("fedata.eng"));
    EXPECT_EQ(file.typeTag, "FEDATA3");
    EXPECT_EQ(file.Load(), 1);
    EXPECT_EQ(file.length, static_cast<std::int32_t>(bytes.size()));
    const Fedata3File::Header& h = file.GetHeader();
    EXPECT_EQ(h.leadingBytes, (std::array<std::uint8_t, 4>{0x31, 0x32, 0x33, 0x34}));
    EXPECT_EQ(h.field4, 0xA504);
    EXPECT_EQ(h.flag6, -2);
    EXPECT_EQ(h.field8, 0xA508);
    EXPECT_EQ(h.value10, -32768);
    EXPECT_EQ(h.field12, 0xA512A512u);
    EXPECT_EQ(h.flag16, 1);
    EXPECT_EQ(h.field18, 0xA518);
    EXPECT_EQ(h.flag20, 300);
    EXPECT_EQ(h.field22, 0xA522);
    EXPECT_EQ(h.value24, -2);
    EXPECT_EQ(h.block26[0], 0xA6);
    EXPECT_EQ(h.block26[13], 0xA6);
    EXPECT_EQ(h.byteValues, (std::array<std::int8_t, 4>{-128, 127, -1, 5}));
    EXPECT_EQ(h.block44[2], 0xA7);
    EXPECT_EQ(file.GetStringOffsets()[0], 207);
    EXPECT_EQ(file.GetStringOffsets()[1], 207 + 7);  // "text 0" and its NUL
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(file.GetString(i), "text " + std::to_string(i));
}

TEST(Fedata3File, OffsetsNeedNotAscendAndMayBeShared) {
    test::ScratchDir dir;
    std::array<std::int32_t, 40> offsets{};
    offsets.fill(207);     // every slot names the first string
    offsets[5] = 214;      // a later string
    offsets[6] = 207 + 3;  // the middle of the first string
    offsets[39] = 214;
    Bytes bytes = test::Fedata3Header({}, offsets);
    test::Builder body;
    body.cstr("first!")   // 207
        .cstr("second");  // 214
    bytes.insert(bytes.end(), body.bytes().begin(), body.bytes().end());
    test::WriteFile(dir.File("f"), bytes);

    Fedata3File file(dir.File("f"));
    file.Load();
    EXPECT_EQ(file.GetString(0), "first!");
    EXPECT_EQ(file.GetString(5), "second");
    EXPECT_EQ(file.GetString(6), "st!");
    EXPECT_EQ(file.GetString(38), "first!");
    EXPECT_EQ(file.GetString(39), "second");

    // All 40 slots naming the same NUL byte give 40 empty strings.
    offsets.fill(207);
    bytes = test::Fedata3Header({}, offsets);
    bytes.push_back(0);
    test::WriteFile(dir.File("f"), bytes);
    file.Load();
    for (const std::string& s : file.GetStrings())
        EXPECT_EQ(s, "");
}

TEST(Fedata3File, StringsWithoutANulAndOffsetsThatNameNoByte) {
    test::ScratchDir dir;
    std::array<std::int32_t, 40> offsets{};
    offsets.fill(207);  // an empty string
    offsets[0] = 208;   // 300 characters without a NUL in the first 256
    offsets[1] = 508;   // the final string, without a NUL before the end
    offsets[2] = 511;   // exactly the end of the file
    offsets[3] = 512;   // one past the end
    offsets[4] = -1;
    offsets[5] = INT32_MIN;
    offsets[6] = INT32_MAX;
    offsets[7] = 0;  // inside the header: its bytes up to the first NUL
    Bytes bytes = test::Fedata3Header({}, offsets);
    test::Builder body;
    body.u8(0)                       // 207: empty string
        .str(std::string(300, 'x'))  // 208..507
        .str("end");                 // 508..510, file ends
    bytes.insert(bytes.end(), body.bytes().begin(), body.bytes().end());
    ASSERT_EQ(bytes.size(), 511u);
    test::WriteFile(dir.File("f"), bytes);

    Fedata3File file(dir.File("f"));
    file.Load();
    EXPECT_EQ(file.GetString(0), std::string(256, 'x'));
    EXPECT_EQ(file.GetString(1), "end");
    for (int i = 2; i <= 6; ++i)
        EXPECT_EQ(file.GetString(i), "") << "slot " << i;
    EXPECT_EQ(file.GetString(7), "1234\x04\xA5");  // leading bytes and field4; flag6 is 0
    EXPECT_EQ(file.GetString(8), "");
}

TEST(Fedata3File, EveryPrefixLoadsWithTheMissingFieldsZeroAndTheStringsCut) {
    test::ScratchDir dir;
    test::Fedata3Fields f;
    f.flag6 = -3;
    f.value10 = 0x1234;
    f.value24 = -5;
    f.byteValues = {1, -2, 3, -4};
    const Bytes whole = test::Fedata3Packed(f, test::NumberedStrings<40>("s"));
    for (std::size_t n = 0; n <= whole.size(); ++n) {
        SCOPED_TRACE(n);
        test::WriteFile(dir.File("f"), Bytes(whole.begin(), whole.begin() + n));
        Fedata3File file(dir.File("f"));
        ASSERT_NO_THROW(file.Load());
        EXPECT_EQ(file.length, static_cast<std::int32_t>(n));
        const Fedata3File::Header& h = file.GetHeader();
        // A field wholly inside the prefix reads as written, one wholly beyond it as zero.
        auto check = [n](std::size_t offset, std::size_t size, int actual, int written) {
            if (n >= offset + size) {
                EXPECT_EQ(actual, written) << "field " << offset;
            } else if (n <= offset) {
                EXPECT_EQ(actual, 0) << "field " << offset;
            }
        };
        check(0, 1, h.leadingBytes[0], 0x31);
        check(3, 1, h.leadingBytes[3], 0x34);
        check(6, 2, h.flag6, -3);
        check(10, 2, h.value10, 0x1234);
        check(24, 2, h.value24, -5);
        check(43, 1, h.byteValues[3], -4);
        if (n == 11) {
            EXPECT_EQ(h.value10, 0x34);  // the low byte is there, the high one not
        }
        if (n >= 207) {
            // Strings "s0".."s39" lie one after another from 207; each is cut at the end.
            std::size_t at = 207;
            for (int i = 0; i < 40; ++i) {
                std::string expected = "s" + std::to_string(i);
                expected = at >= n ? "" : expected.substr(0, n - at);
                EXPECT_EQ(file.GetString(i), expected) << "string " << i;
                at += 3 + (i >= 10);  // "sN" or "sNN" and the NUL
            }
        } else if (n < 47) {
            // No offset is there: every slot reads 0, which names the header's own bytes up to
            // the first NUL (flag16, at 16) or the end of the prefix.
            EXPECT_EQ(file.GetStringOffsets()[39], 0);
            EXPECT_EQ(file.GetString(39),
                      std::string(whole.begin(), whole.begin() + std::min<std::size_t>(n, 16)));
        }
    }
}

TEST(Fedata3File, NeverWritesAndResetKeepsTheStrings) {
    test::ScratchDir dir;
    test::Fedata3Fields f;
    f.flag16 = 1;
    f.value24 = 9;
    f.byteValues = {1, 2, 3, 4};
    const Bytes bytes = test::Fedata3Packed(f, test::NumberedStrings<40>("t"));
    test::WriteFile(dir.File("fedata.ger"), bytes);
    Fedata3File file(dir.File("fedata.ger"));
    file.Load();

    EXPECT_EQ(file.SaveAs(dir.File("elsewhere")), 1);
    EXPECT_FALSE(test::Exists(dir.File("elsewhere")));
    EXPECT_EQ(file.Save(), 1);
    EXPECT_EQ(test::ReadFile(dir.File("fedata.ger")), bytes);

    EXPECT_EQ(file.Reset(), 1);
    EXPECT_EQ(file.GetHeader().leadingBytes[0], 0);
    EXPECT_EQ(file.GetHeader().field4, 0);
    EXPECT_EQ(file.GetHeader().flag16, 0);
    EXPECT_EQ(file.GetHeader().value24, 0);
    EXPECT_EQ(file.GetHeader().block26[0], 0);
    EXPECT_EQ(file.GetHeader().byteValues[2], 0);
    for (std::int32_t o : file.GetStringOffsets())
        EXPECT_EQ(o, 0);
    EXPECT_EQ(file.GetString(39), "t39");
}

TEST(Fedata3File, AMissingFileIsAnIoErrorNamingIt) {
    test::ScratchDir dir;
    Fedata3File file(dir.File("fedata.swe"));
    try {
        file.Load();
        FAIL() << "loaded a missing file";
    } catch (const IoError& e) {
        EXPECT_EQ(e.Path(), dir.File("fedata.swe"));
        EXPECT_NE(std::string(e.what()).find("fedata.swe"), std::string::npos);
    }
}

}  // namespace
}  // namespace carconv
