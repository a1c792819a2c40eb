#include <gtest/gtest.h>

#include <set>

#include "fedata/fedata3_file.h"
#include "fedata_test_files.h"
#include "support/test_util.h"

namespace carconv {
namespace {

using test::Bytes;

// Writes a version-3 file, loads it and converts it; returns the version-4 bytes.
Bytes Convert(const test::ScratchDir& dir, const test::Fedata3Fields& fields,
              const std::array<std::string, 40>& strings) {
    test::WriteFile(dir.File("v3"), test::Fedata3Packed(fields, strings));
    Fedata3File source(dir.File("v3"));
    source.Load();
    EXPECT_EQ(source.ConvertToFedata4(dir.File("v4")), 1);
    return test::ReadFile(dir.File("v4"));
}

TEST(Fedata4Conversion, SetsEveryVersion4FieldAtItsOffsetAndNothingElse) {
    test::ScratchDir dir;
    test::Fedata3Fields f;
    f.leading = {0x9A, 0x00, 0xFF, 0x7E};
    f.flag6 = 1;
    f.flag20 = 1;
    f.flag16 = 1;
    f.value10 = 32767;
    f.value24 = -2;
    f.byteValues = {10, 20, 30, 41};
    const Bytes b = Convert(dir, f, {});

    ASSERT_EQ(b.size(), 1165u);  // 40 empty strings and the added one
    std::set<std::size_t> named;
    auto expectByte = [&](std::size_t at, std::uint8_t value) {
        EXPECT_EQ(b[at], value) << "byte " << at;
        named.insert(at);
    };
    expectByte(0, 4);
    expectByte(274, 0x9A);  // the version-3 leading bytes, verbatim
    expectByte(275, 0x00);
    expectByte(276, 0xFF);
    expectByte(277, 0x7E);
    const std::uint8_t minusTwo[] = {0xFE, 0xFF, 0xFF, 0xFF};
    for (std::size_t k = 0; k < 4; ++k)
        expectByte(798 + k, minusTwo[k]);
    expectByte(890, 19);  // flag word 1 + 2 + 16
    expectByte(891, 0);
    const std::uint8_t plus32768[] = {0x00, 0x80, 0x00, 0x00};
    for (std::size_t k = 0; k < 4; ++k)
        expectByte(898 + k, plus32768[k]);
    expectByte(904, 10);
    for (std::size_t i = 0; i < 4; ++i) {
        expectByte(905 + i, 10);
        expectByte(909 + i, 20);
        expectByte(913 + i, 30);
        expectByte(917 + i, 41);
        expectByte(921 + i, 25);  // mean
    }
    expectByte(925, 0);
    for (std::size_t at : {926, 930, 934, 938}) {
        EXPECT_EQ(test::GetI32le(b, at), 100) << "field " << at;
        for (std::size_t k = 0; k < 4; ++k)
            named.insert(at + k);
    }
    expectByte(958, 41);
    for (int i = 0; i < 41; ++i) {
        EXPECT_EQ(test::GetI32le(b, 960 + 4 * i), 1124 + i);
        for (std::size_t k = 0; k < 4; ++k)
            named.insert(960 + 4 * i + k);
    }
    // Nothing else is set: the fields the version-3 file holds but nobody interprets (all
    // non-zero there) are not carried over.
    for (std::size_t i = 0; i < b.size(); ++i) {
        if (!named.count(i)) {
            EXPECT_EQ(b[i], 0) << "byte " << i;
        }
    }
}

TEST(Fedata4Conversion, FlagsNumbersAndMeansOfTheExamples) {
    test::ScratchDir dir;
    struct Case {
        std::int16_t flag6, flag20, flag16;
        std::uint16_t flagWord;
    };
    for (const Case& c : {Case{2, 0, -1, 0}, Case{1, 0, 0, 1}, Case{0, 1, 0, 2}, Case{0, 0, 1, 16},
                          Case{1, 1, 1, 19}}) {
        test::Fedata3Fields f;
        f.flag6 = c.flag6;
        f.flag20 = c.flag20;
        f.flag16 = c.flag16;
        EXPECT_EQ(test::GetU16le(Convert(dir, f, {}), 890), c.flagWord)
            << c.flag6 << " " << c.flag20 << " " << c.flag16;
    }
    for (auto [in, out] : {std::pair{32767, 32768}, {-1, 0}, {-32768, -32767}, {0, 1}}) {
        test::Fedata3Fields f;
        f.value10 = static_cast<std::int16_t>(in);
        EXPECT_EQ(test::GetI32le(Convert(dir, f, {}), 898), out) << in;
    }
    for (auto [in, out] : {std::pair{-2, -2}, {32767, 32767}, {-32768, -32768}}) {
        test::Fedata3Fields f;
        f.value24 = static_cast<std::int16_t>(in);
        EXPECT_EQ(test::GetI32le(Convert(dir, f, {}), 798), out) << in;
    }
    struct Mean {
        std::array<std::int8_t, 4> values;
        std::int8_t mean;
    };
    for (const Mean& m :
         {Mean{{10, 20, 30, 41}, 25}, Mean{{-1, -2, 0, 0}, 0}, Mean{{127, 127, 127, 127}, 127},
          Mean{{-128, -128, -128, -127}, -127}, Mean{{-7, 0, 0, 0}, -1}}) {
        test::Fedata3Fields f;
        f.byteValues = m.values;
        const Bytes b = Convert(dir, f, {});
        for (std::size_t i = 0; i < 4; ++i) {
            EXPECT_EQ(static_cast<std::int8_t>(b[905 + i]), m.values[0]);
            EXPECT_EQ(static_cast<std::int8_t>(b[917 + i]), m.values[3]);
            EXPECT_EQ(static_cast<std::int8_t>(b[921 + i]), m.mean) << int{m.values[0]};
        }
    }
}

TEST(Fedata4Conversion, InsertsAnEmptyString17AndMovesTheLaterOnesUp) {
    test::ScratchDir dir;
    std::array<std::string, 40> strings = test::NumberedStrings<40>("v3 string ");
    strings[20] = std::string(256, '\xE9');  // the longest string, bytes above 127 included
    const Bytes b = Convert(dir, {}, strings);

    auto stringAt = [&](int slot) {
        const auto offset = static_cast<std::size_t>(test::GetI32le(b, 960 + 4 * slot));
        return test::GetCString(b, offset, 300);
    };
    for (int k = 0; k <= 16; ++k)
        EXPECT_EQ(stringAt(k), strings[k]) << "slot " << k;
    EXPECT_EQ(stringAt(17), "");
    for (int k = 18; k <= 40; ++k)
        EXPECT_EQ(stringAt(k), strings[k - 1]) << "slot " << k;
    EXPECT_EQ(stringAt(34), "v3 string 33");
    EXPECT_EQ(stringAt(40), "v3 string 39");
    EXPECT_EQ(stringAt(21), std::string(256, '\xE9'));

    // Stored one after another in slot order, right after the header.
    std::size_t at = 1124;
    for (int k = 0; k <= 40; ++k) {
        EXPECT_EQ(test::GetI32le(b, 960 + 4 * k), static_cast<std::int32_t>(at));
        at += stringAt(k).size() + 1;
    }
    EXPECT_EQ(b.size(), at);
}

TEST(Fedata4Conversion, ReplacesAnExistingTargetAndLeavesTheSourceAlone) {
    test::ScratchDir dir;
    test::WriteFile(dir.File("v4"), Bytes(5000, 0xAB));
    test::Fedata3Fields f;
    f.flag6 = 1;
    const Bytes b = Convert(dir, f, test::NumberedStrings<40>(""));
    // Strings "0".."39": 70 characters and 40 NULs, and the NUL of the empty string 17.
    EXPECT_EQ(b.size(), 1124u + 110 + 1);
    EXPECT_EQ(b[5], 0);

    Fedata3File source(dir.File("v3"));
    source.Load();
    source.ConvertToFedata4(dir.File("v4"));
    EXPECT_EQ(source.GetHeader().flag6, 1);
    EXPECT_EQ(source.GetString(39), "39");
    EXPECT_EQ(test::ReadFile(dir.File("v4")), b);  // the same content converts the same
}

}  // namespace
}  // namespace carconv
