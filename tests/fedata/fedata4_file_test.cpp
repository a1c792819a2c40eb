#include "fedata/fedata4_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

#include "fedata_test_files.h"
#include "support/test_util.h"

namespace carconv {
namespace {

using test::Bytes;

TEST(Fedata4File, ResetThenSaveWritesThe1165ByteEmptyFile) {
    test::ScratchDir dir;
    Fedata4File file(dir.File("fedata.eng"));
    EXPECT_EQ(file.typeTag, "FEDATA4");
    EXPECT_EQ(file.Reset(), 1);
    EXPECT_EQ(file.SaveAs(dir.File("out")), 1);
    const Bytes b = test::ReadFile(dir.File("out"));
    ASSERT_EQ(b.size(), 1165u);
    EXPECT_EQ(b[0], 4);
    EXPECT_EQ(b[904], 10);
    EXPECT_EQ(b[958], 41);
    for (int i = 0; i < 41; ++i)
        EXPECT_EQ(test::GetI32le(b, 960 + 4 * i), 1124 + i) << "slot " << i;
    for (std::size_t i = 0; i < b.size(); ++i) {
        if (i == 0 || i == 904 || i == 958 || (i >= 960 && i < 1124))
            continue;
        EXPECT_EQ(b[i], 0) << "byte " << i;
    }
    EXPECT_EQ(file.GetStringOffsets()[40], 1164);
}

TEST(Fedata4File, PlacesStringsOneAfterAnotherAndReadsThemBack) {
    test::ScratchDir dir;
    Fedata4File file(dir.File("f"));
    file.Reset();
    file.SetString(16, "a");
    file.SetString(17, "bc");
    file.Save();
    Bytes b = test::ReadFile(dir.File("f"));
    EXPECT_EQ(test::GetI32le(b, 960 + 4 * 16), 1140);
    EXPECT_EQ(test::GetI32le(b, 960 + 4 * 17), 1142);
    EXPECT_EQ(test::GetI32le(b, 960 + 4 * 18), 1145);
    EXPECT_EQ(test::GetCString(b, 1140, 8), "a");
    EXPECT_EQ(test::GetCString(b, 1142, 8), "bc");
    EXPECT_EQ(b.size(), 1165u + 3);

    Fedata4File loaded(dir.File("f"));
    loaded.Load();
    EXPECT_EQ(loaded.GetString(16), "a");
    EXPECT_EQ(loaded.GetString(17), "bc");
    EXPECT_EQ(loaded.GetString(15), "");
    EXPECT_EQ(loaded.GetString(18), "");

    // A 256-character string takes 257 bytes and moves every later string by as much.
    const std::string longest(256, '\xC4');
    file.SetString(3, longest);
    file.Save();
    b = test::ReadFile(dir.File("f"));
    EXPECT_EQ(test::GetI32le(b, 960 + 4 * 3), 1127);
    EXPECT_EQ(test::GetI32le(b, 960 + 4 * 4), 1127 + 257);
    EXPECT_EQ(test::GetI32le(b, 960 + 4 * 16), 1140 + 256);
    EXPECT_EQ(b.size(), 1165u + 3 + 256);
    loaded.Load();
    EXPECT_EQ(loaded.GetString(3), longest);
    EXPECT_EQ(loaded.GetString(17), "bc");

    // Strings that could not be read back the same are refused.
    EXPECT_THROW(file.SetString(0, std::string(257, 'x')), std::invalid_argument);
    EXPECT_THROW(file.SetString(0, std::string("a\0b", 3)), std::invalid_argument);
    EXPECT_THROW(file.SetString(41, "x"), std::out_of_range);
}

TEST(Fedata4File, LoadsEveryFieldAndSaveRepacksScatteredStrings) {
    test::ScratchDir dir;
    std::array<std::int32_t, 41> offsets{};
    offsets.fill(1130);  // an empty string after a gap
    offsets[0] = 1131;   // "later"
    offsets[1] = 1124;   // "early", stored first: not ascending
    offsets[2] = 1131;   // shared with slot 0
    offsets[40] = 1126;  // the tail of "early"
    Bytes bytes = test::Fedata4Header(offsets);
    test::Builder body;
    body.cstr("early")   // 1124
        .u8(0)           // 1130
        .cstr("later")   // 1131
        .fill(5, 0xEE);  // bytes after the last string
    bytes.insert(bytes.end(), body.bytes().begin(), body.bytes().end());
    test::WriteFile(dir.File("f"), bytes);

    Fedata4File file(dir.File("f"));
    EXPECT_EQ(file.Load(), 1);
    EXPECT_EQ(file.length, 1142);
    const Fedata4File::Header& h = file.GetHeader();
    EXPECT_EQ(h.leadingBlock[0], 4);
    EXPECT_EQ(h.leadingBlock[273], 0x01);
    EXPECT_EQ(h.fedata3Bytes, (std::array<std::uint8_t, 4>{0x51, 0x52, 0x53, 0x54}));
    EXPECT_EQ(h.block278[519], 0x02);
    EXPECT_EQ(h.value798, -798);
    EXPECT_EQ(h.block802[0], 0x03);
    EXPECT_EQ(h.flagWord, 0x8013);
    EXPECT_EQ(h.block892[5], 0x04);
    EXPECT_EQ(h.value898, -898);
    EXPECT_EQ(h.block902, (std::array<std::uint8_t, 3>{0x05, 0x06, 10}));
    EXPECT_EQ(h.byteFields[0], static_cast<std::int8_t>(0xE0));
    EXPECT_EQ(h.byteFields[20], static_cast<std::int8_t>(0xF4));
    EXPECT_EQ(h.value926, 926);
    EXPECT_EQ(h.value930, 930);
    EXPECT_EQ(h.value934, 934);
    EXPECT_EQ(h.value938, -938);
    EXPECT_EQ(h.block942[15], 0x07);
    EXPECT_EQ(h.block942[16], 41);
    EXPECT_EQ(h.block942[17], 0x08);
    EXPECT_EQ(file.GetStringOffsets()[1], 1124);
    EXPECT_EQ(file.GetString(0), "later");
    EXPECT_EQ(file.GetString(1), "early");
    EXPECT_EQ(file.GetString(2), "later");
    EXPECT_EQ(file.GetString(3), "");
    EXPECT_EQ(file.GetString(40), "rly");

    file.SaveAs(dir.File("packed"));
    EXPECT_EQ(file.length, 1142);  // SaveAs does not measure
    const Bytes packed = test::ReadFile(dir.File("packed"));
    ASSERT_EQ(packed.size(), 1124u + 6 + 6 + 6 + 37 + 4);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + 960, packed.begin()));
    EXPECT_EQ(test::GetI32le(packed, 960), 1124);
    EXPECT_EQ(test::GetI32le(packed, 964), 1130);
    EXPECT_EQ(test::GetI32le(packed, 968), 1136);
    EXPECT_EQ(test::GetI32le(packed, 972), 1142);
    EXPECT_EQ(test::GetI32le(packed, 1120), 1142 + 37);
    EXPECT_EQ(test::GetCString(packed, 1124, 8), "later");
    EXPECT_EQ(test::GetCString(packed, 1130, 8), "early");
    EXPECT_EQ(test::GetCString(packed, 1179, 8), "rly");
}

TEST(Fedata4File, LoadThenSaveReproducesItsOwnFilesByteForByte) {
    test::ScratchDir dir;
    std::array<std::string, 41> strings = test::NumberedStrings<41>("Zeile ");
    strings[7] = std::string(256, '\xFF');
    strings[8] = "";
    strings[40] = "\x01\x7F\x80";
    const Bytes bytes = test::Fedata4Packed(strings);
    test::WriteFile(dir.File("fedata.ita"), bytes);

    Fedata4File file(dir.File("fedata.ita"));
    file.Load();
    EXPECT_EQ(file.length, static_cast<std::int32_t>(bytes.size()));
    for (int i = 0; i < 41; ++i)
        EXPECT_EQ(file.GetString(i), strings[i]) << "string " << i;
    file.SaveAs(dir.File("copy"));
    EXPECT_EQ(test::ReadFile(dir.File("copy")), bytes);
    file.SaveAs(dir.File("copy"));
    EXPECT_EQ(test::ReadFile(dir.File("copy")), bytes);
    file.Save();
    EXPECT_EQ(test::ReadFile(dir.File("fedata.ita")), bytes);
}

TEST(Fedata4File, AFileThatHoldsWhatSaveWouldWriteIsLeftAloneAndARewriteReplacesIt) {
    namespace fs = std::filesystem;
    test::ScratchDir dir;
    const std::array<std::string, 41> strings = test::NumberedStrings<41>("Zeile ");
    const Bytes bytes = test::Fedata4Packed(strings);
    const std::string path = dir.File("fedata.eng");
    test::WriteFile(path, bytes);
    const bool linked = test::AddHardLink(path, dir.File("other.eng"));
    const fs::file_time_type old = test::Backdate(path);

    Fedata4File file(path);
    file.Load();
    file.Save();
    EXPECT_EQ(fs::last_write_time(test::Native(path)), old);  // not written

    // A change made through the header reference alone is written all the same.
    file.GetHeader().value798 ^= 1;
    file.Save();
    const Bytes changed = test::ReadFile(path);
    ASSERT_EQ(changed.size(), bytes.size());
    EXPECT_NE(changed, bytes);
    if (linked) {
        EXPECT_EQ(test::ReadFile(dir.File("other.eng")), bytes);  // replaced, not written through
    }
    file.SetString(3, "neu");
    file.Save();
    EXPECT_EQ(file.GetString(3), "neu");
    Fedata4File reread(path);
    reread.Load();
    EXPECT_EQ(reread.GetString(3), "neu");
}

TEST(Fedata4File, EveryPrefixLoadsWithTheMissingFieldsZeroAndTheStringsCut) {
    test::ScratchDir dir;
    const std::array<std::string, 41> strings = test::NumberedStrings<41>("v");
    const Bytes whole = test::Fedata4Packed(strings);
    for (std::size_t n = 0; n <= whole.size(); ++n) {
        SCOPED_TRACE(n);
        test::WriteFile(dir.File("f"), Bytes(whole.begin(), whole.begin() + n));
        Fedata4File file(dir.File("f"));
        ASSERT_NO_THROW(file.Load());
        EXPECT_EQ(file.length, static_cast<std::int32_t>(n));
        // Every header byte that is there comes back; every one that is not reads as zero.
        file.SaveAs(dir.File("saved"));
        const Bytes saved = test::ReadFile(dir.File("saved"));
        for (std::size_t i = 0; i < 960; ++i) {
            ASSERT_EQ(saved[i], i < n ? whole[i] : 0) << "byte " << i;
        }
        if (n >= 1124) {
            std::size_t at = 1124;
            for (int i = 0; i < 41; ++i) {
                const std::string expected = at >= n ? "" : strings[i].substr(0, n - at);
                EXPECT_EQ(file.GetString(i), expected) << "string " << i;
                at += strings[i].size() + 1;
            }
        }
    }
}

TEST(Fedata4File, OffsetsThatNameNoByteGiveEmptyStrings) {
    test::ScratchDir dir;
    std::array<std::int32_t, 41> offsets{};
    offsets.fill(1124);
    offsets[1] = 1125;  // final string, no NUL before the end
    offsets[2] = 1128;  // the end of the file
    offsets[3] = -2;
    offsets[4] = INT32_MAX;
    Bytes bytes = test::Fedata4Header(offsets);
    test::Builder body;
    body.u8(0)        // 1124: empty string
        .str("abc");  // 1125..1127, file ends
    bytes.insert(bytes.end(), body.bytes().begin(), body.bytes().end());
    test::WriteFile(dir.File("f"), bytes);
    Fedata4File file(dir.File("f"));
    file.Load();
    EXPECT_EQ(file.GetString(0), "");
    EXPECT_EQ(file.GetString(1), "abc");
    EXPECT_EQ(file.GetString(2), "");
    EXPECT_EQ(file.GetString(3), "");
    EXPECT_EQ(file.GetString(4), "");

    // Reset zeroes the header and keeps the strings.
    file.Reset();
    EXPECT_EQ(file.GetHeader().value798, 0);
    EXPECT_EQ(file.GetHeader().leadingBlock[1], 0);
    EXPECT_EQ(file.GetHeader().leadingBlock[0], 4);
    EXPECT_EQ(file.GetHeader().flagWord, 0);
    EXPECT_EQ(file.GetHeader().byteFields[20], 0);
    EXPECT_EQ(file.GetHeader().block942[17], 0);
    EXPECT_EQ(file.GetStringOffsets()[1], 0);
    EXPECT_EQ(file.GetString(1), "abc");
}

}  // namespace
}  // namespace carconv
