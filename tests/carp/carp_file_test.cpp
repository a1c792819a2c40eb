#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "carp/carp3_file.h"
#include "carp/carp4_file.h"
#include "carp/carp_test_text.h"
#include "carp/parameter_labels.h"
#include "files/errors.h"
#include "files/warnings.h"
#include "support/test_util.h"

namespace carconv {
namespace {

using test::Builder;
using test::CanonicalText;
using test::CarpValues;
using test::ReadFile;
using test::SampleValues;
using test::ScratchDir;
using test::WriteFile;

std::string AsString(const test::Bytes& b) {
    return std::string(b.begin(), b.end());
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

template <typename File>
void ExpectValues(const File& file, const CarpValues& expected) {
    for (std::size_t n = 0; n < file.parameters.size(); ++n) {
        EXPECT_EQ(file.parameters[n], expected[n]) << "parameter " << n;
        EXPECT_FALSE(file.parameterMissing[n]) << "parameter " << n;
    }
}

TEST(ParameterLabels, HoldsEveryLabelUnderItsNumber) {
    ASSERT_EQ(ParameterLabels.size(), 81u);
    for (const test::CarpSection& s : test::kVersion4Sections) {
        EXPECT_EQ(ParameterLabels[s.number], s.label) << "parameter " << s.number;
    }
}

TEST(CarpFile, SaveAsWritesTheLayoutsSectionsInOrderWithCrLf) {
    ScratchDir dir;
    const CarpValues values = SampleValues();

    Carp4File four(dir.File("in4.txt"));
    EXPECT_EQ(four.typeTag, "CARP4");
    four.length = 17;
    for (std::size_t n = 0; n < 81; ++n)
        four.parameters[n] = values[n];
    EXPECT_EQ(four.SaveAs(dir.File("four.txt")), 1);
    const test::Bytes written4 = ReadFile(dir.File("four.txt"));
    EXPECT_EQ(AsString(written4), AsString(CanonicalText(true, values)));
    EXPECT_EQ(four.path, dir.File("in4.txt"));
    EXPECT_EQ(four.length, 17);

    Carp3File three(dir.File("in3.txt"));
    EXPECT_EQ(three.typeTag, "CARP3");
    for (std::size_t n = 0; n < 80; ++n)
        three.parameters[n] = values[n];
    EXPECT_EQ(three.SaveAs(dir.File("three.txt")), 1);
    const test::Bytes written3 = ReadFile(dir.File("three.txt"));
    EXPECT_EQ(AsString(written3), AsString(CanonicalText(false, values)));
    EXPECT_EQ(AsString(written3).find("(80)"), std::string::npos);

    // Size: label + marker + value + 4 per section.
    std::size_t size3 = 0;
    for (std::size_t n = 0; n < 80; ++n) {
        size3 += ParameterLabels[n].size() + std::to_string(n).size() + 2 + values[n].size() + 4;
    }
    EXPECT_EQ(written3.size(), size3);
    EXPECT_EQ(written4.size(), size3 + std::string("understeer gradient(80)\r\n0.5\r\n").size());

    // Spot checks at explicit offsets: the text opens with section 0 and section 75 follows 3.
    const std::string head = "Serial Number(0)\r\n4711\r\nCar Classification(1)\r\n1.250000\r\n";
    EXPECT_EQ(AsString(written3).substr(0, head.size()), head);
    const std::string text3 = AsString(written3);
    EXPECT_LT(text3.find("forward gears)(3)\r\n"), text3.find("(automatic, r, n, forward)(75)"));
    EXPECT_LT(text3.find("(75)"), text3.find("gear shift delay (ticks)(4)"));
}

TEST(CarpFile, LoadThenSaveReproducesTheTextByteForByte) {
    ScratchDir dir;
    const CarpValues values = SampleValues();
    const test::Bytes text4 = CanonicalText(true, values);
    const test::Bytes text3 = CanonicalText(false, values);
    WriteFile(dir.File("four.txt"), text4);
    WriteFile(dir.File("three.txt"), text3);

    Carp4File four(dir.File("four.txt"));
    EXPECT_EQ(four.Load(), 1);
    EXPECT_EQ(four.length, static_cast<std::int32_t>(text4.size()));
    ExpectValues(four, values);
    EXPECT_EQ(four.Save(), 1);
    EXPECT_EQ(ReadFile(dir.File("four.txt")), text4);

    Carp3File three(dir.File("three.txt"));
    EXPECT_EQ(three.Load(), 1);
    EXPECT_EQ(three.length, static_cast<std::int32_t>(text3.size()));
    ExpectValues(three, values);
    EXPECT_EQ(three.Reset(), 1);  // no defaults: Reset keeps what was loaded
    ExpectValues(three, values);
    EXPECT_EQ(three.SaveAs(dir.File("again.txt")), 1);
    EXPECT_EQ(ReadFile(dir.File("again.txt")), text3);
}

TEST(CarpFile, SectionOrderLabelsAndUnmarkedLinesDoNotMatter) {
    ScratchDir dir;
    const CarpValues values = SampleValues();
    Builder b;
    b.str("; written by hand\r\n");  // a line without a marker
    for (std::size_t i = test::kVersion4Sections.size(); i-- > 0;) {
        const std::size_t n = test::kVersion4Sections[i].number;
        // Foreign labels, some empty, and an unmarked line between the sections.
        test::AddSection(b, n % 3 == 0 ? "" : "Param #" + std::to_string(n) + " = ", n, values[n]);
        b.str("\r\n");
    }
    WriteFile(dir.File("mixed.txt"), b.bytes());

    Carp4File four(dir.File("mixed.txt"));
    four.Load();
    ExpectValues(four, values);
    four.SaveAs(dir.File("out4.txt"));
    EXPECT_EQ(ReadFile(dir.File("out4.txt")), CanonicalText(true, values));

    Carp3File three(dir.File("mixed.txt"));
    three.Load();
    ExpectValues(three, values);
    three.SaveAs(dir.File("out3.txt"));
    EXPECT_EQ(ReadFile(dir.File("out3.txt")), CanonicalText(false, values));
}

TEST(CarpFile, FirstOccurrenceOfAMarkerWinsAndMarkersIncludeTheirParenthesis) {
    ScratchDir dir;
    Builder b;
    test::AddSection(b, "mass [kg]", 2, "1500(5)ab77");  // "(5)" inside a value, before its section
    for (std::size_t n = 10; n <= 19; ++n)
        test::AddSection(b, "", n, "v" + std::to_string(n));
    test::AddSection(b, "understeer gradient", 80, "eighty");
    test::AddSection(b, "shift blip in rpm (size 8)", 5, "own");
    test::AddSection(b, "Car Classification", 1, "one");
    test::AddSection(b, "gear ratios (size 8)", 8, "eight");
    WriteFile(dir.File("t.txt"), b.bytes());

    Carp4File four(dir.File("t.txt"));
    four.Load();
    EXPECT_EQ(four.parameters[2], "1500(5)ab77");
    EXPECT_EQ(four.parameters[5], "77");  // two bytes after the early marker are skipped
    EXPECT_EQ(four.parameters[1], "one");
    EXPECT_EQ(four.parameters[10], "v10");
    EXPECT_EQ(four.parameters[19], "v19");
    EXPECT_EQ(four.parameters[8], "eight");
    EXPECT_EQ(four.parameters[80], "eighty");
    EXPECT_FALSE(four.parameterMissing[1]);
    EXPECT_TRUE(four.parameterMissing[0]);
    EXPECT_EQ(four.parameters[0], "");

    // Without sections 1 and 8, "(10)".."(19)" and "(80)" do not stand in for them.
    Builder c;
    for (std::size_t n = 10; n <= 19; ++n)
        test::AddSection(c, "", n, "x");
    test::AddSection(c, "", 80, "y");
    WriteFile(dir.File("u.txt"), c.bytes());
    Carp4File other(dir.File("u.txt"));
    other.Load();
    EXPECT_TRUE(other.parameterMissing[1]);
    EXPECT_TRUE(other.parameterMissing[8]);
    EXPECT_TRUE(other.parameterMissing[0]);
    EXPECT_FALSE(other.parameterMissing[80]);
}

TEST(CarpFile, VersionFourTextReadAsVersionThreeDropsParameterEighty) {
    ScratchDir dir;
    const CarpValues values = SampleValues();
    WriteFile(dir.File("four.txt"), CanonicalText(true, values));
    Carp3File three(dir.File("four.txt"));
    three.Load();
    ExpectValues(three, values);
    three.SaveAs(dir.File("three.txt"));
    const test::Bytes out = ReadFile(dir.File("three.txt"));
    EXPECT_EQ(out, CanonicalText(false, values));
    EXPECT_EQ(AsString(out).find("(80)"), std::string::npos);
}

TEST(CarpFile, LfAndCrTextsLoadLikeTheirCrLfTwin) {
    ScratchDir dir;
    const CarpValues values = SampleValues(false);
    const std::string crlf = AsString(CanonicalText(true, values));
    for (const std::string lineEnd : {"\r\n", "\n", "\r"}) {
        SCOPED_TRACE(lineEnd == "\n" ? "LF" : lineEnd == "\r" ? "CR" : "CR LF");
        // The last value line has no line end: its value runs to the end of the text.
        std::string text = Replace(crlf, "\r\n", lineEnd);
        text += "tail(81)" + lineEnd + "unterminated";
        WriteFile(dir.File("t.txt"), text);
        Carp4File four(dir.File("t.txt"));
        four.Load();
        ExpectValues(four, values);
        EXPECT_EQ(four.length, static_cast<std::int32_t>(text.size()));
        four.SaveAs(dir.File("out.txt"));
        EXPECT_EQ(AsString(ReadFile(dir.File("out.txt"))), crlf);

        Builder b;
        test::AddSection(b, "final gear", 11, "3.7", lineEnd);
        b.str("gear ratios (size 8)(8)").str(lineEnd).str("-1.0, 0.0, 3.2");  // no final line end
        WriteFile(dir.File("short.txt"), b.bytes());
        Carp3File three(dir.File("short.txt"));
        three.Load();
        EXPECT_EQ(three.parameters[11], "3.7");
        EXPECT_EQ(three.parameters[8], "-1.0, 0.0, 3.2");
    }
}

TEST(CarpFile, ACrLfTextKeepsExactlyTwoBytesAfterTheMarkerAndLoneLineFeeds) {
    ScratchDir dir;
    Builder b;
    test::AddSection(b, "final gear", 11, "\n3.7\n\n");  // lone LFs belong to the value
    b.str("wheel base(24)xy1.5\r\n");                    // whatever follows the marker is skipped
    b.str("front grip bias(25)\r");                      // marker at the end: nothing to read
    WriteFile(dir.File("t.txt"), b.bytes());
    Carp3File three(dir.File("t.txt"));
    three.Load();
    EXPECT_EQ(three.parameters[11], "\n3.7\n\n");
    EXPECT_EQ(three.parameters[24], "1.5");
    EXPECT_EQ(three.parameters[25], "");
    EXPECT_FALSE(three.parameterMissing[25]);
}

TEST(CarpFile, MixedLineEndsAreReadLineByLine) {
    ScratchDir dir;
    const CarpValues values = SampleValues(false);
    // An LF text in which a few lines end otherwise: a value line and a marker line with CR LF,
    // a marker line with CR alone.
    std::string text;
    for (const test::CarpSection& s : test::kVersion4Sections) {
        const std::string markerEnd = s.number == 20 ? "\r\n" : s.number == 33 ? "\r" : "\n";
        const std::string valueEnd = s.number == 5 ? "\r\n" : "\n";
        text += std::string(s.label) + "(" + std::to_string(s.number) + ")" + markerEnd +
                values[s.number] + valueEnd;
    }
    WriteFile(dir.File("mixed.txt"), text);
    Carp4File four(dir.File("mixed.txt"));
    four.Load();
    ExpectValues(four, values);
    four.SaveAs(dir.File("out.txt"));
    EXPECT_EQ(ReadFile(dir.File("out.txt")), CanonicalText(true, values));

    // A CR LF text with one line ended by LF alone: that line ends where a person sees it end.
    Builder b;
    test::AddSection(b, "final gear", 11, "3.7");
    b.str("engine minimum rpm(12)\n500\r\n");
    test::AddSection(b, "engine redline in rpm", 13, "7000");
    WriteFile(dir.File("crlf.txt"), b.bytes());
    Carp3File three(dir.File("crlf.txt"));
    three.Load();
    EXPECT_EQ(three.parameters[11], "3.7");
    EXPECT_EQ(three.parameters[12], "500");
    EXPECT_EQ(three.parameters[13], "7000");
}

TEST(CarpFile, AnUnchangedTextIsNotRewrittenOnItsOwnPath) {
    ScratchDir dir;
    CarpValues values = SampleValues(false);
    // LF line ends and labels of its own: SaveAs would write another text with the same values.
    Builder b;
    for (const test::CarpSection& s : test::kVersion4Sections)
        test::AddSection(b, "p", s.number, values[s.number], "\n");
    WriteFile(dir.File("carp.txt"), b.bytes());
    Carp4File four(dir.File("carp.txt"));
    four.Load();
    four.SaveAs(dir.File("carp.txt"));
    EXPECT_EQ(ReadFile(dir.File("carp.txt")), b.bytes());
    four.Save();
    EXPECT_EQ(ReadFile(dir.File("carp.txt")), b.bytes());
    // To another path, the layout's text.
    four.SaveAs(dir.File("other.txt"));
    EXPECT_EQ(ReadFile(dir.File("other.txt")), CanonicalText(true, values));

    // A changed value, or an object moved to another path, writes the layout's text.
    four.parameters[7] = "changed";
    values[7] = "changed";
    four.SaveAs(dir.File("carp.txt"));
    EXPECT_EQ(ReadFile(dir.File("carp.txt")), CanonicalText(true, values));
    WriteFile(dir.File("carp.txt"), b.bytes());
    four.Load();
    four.path = dir.File("moved.txt");
    WriteFile(dir.File("moved.txt"), b.bytes());
    four.SaveAs(dir.File("moved.txt"));
    EXPECT_EQ(ReadFile(dir.File("moved.txt")), CanonicalText(true, SampleValues(false)));
}

TEST(CarpFile, ConversionWarnsAboutAValueHoldingAnotherParametersMarker) {
    ScratchDir dir;
    CarpValues values = SampleValues(false);
    values[20] = "12(33)5";
    values[21] = "(21) (8) (80) (7 (081) (90)";  // its own, 8 and 80; not "(7", "(081)", "(90)"
    WriteFile(dir.File("carp.txt"), CanonicalText(false, values));
    Carp3File three(dir.File("carp.txt"));
    three.Load();
    std::vector<std::string> warnings;
    ScopedWarningSink sink([&](const std::string& m) { warnings.push_back(m); });
    three.ConvertToCarp4(dir.File("out.txt"));
    // Read as version 3, parameter 33 is taken from inside 20, up to the end of 21's marker line.
    EXPECT_EQ(three.parameters[33], "\ngas decreasing curve(21)");
    ASSERT_EQ(warnings.size(), 4u);
    EXPECT_EQ(warnings[0],
              "carp.txt: the value of parameter 20 (gas increasing curve) holds \"(33)\", the "
              "marker of parameter 33 (g transfer factor); a reader may take parameter 33 from "
              "there");
    EXPECT_NE(warnings[1].find("parameter 21 (gas decreasing curve) holds \"(8)\""),
              std::string::npos)
        << warnings[1];
    EXPECT_NE(warnings[2].find("parameter 21 (gas decreasing curve) holds \"(80)\""),
              std::string::npos)
        << warnings[2];
    EXPECT_NE(warnings[3].find("parameter 33 (g transfer factor) holds \"(21)\""),
              std::string::npos)
        << warnings[3];
}

TEST(CarpFile, MissingMarkersGiveEmptyValuesAndConversionWarnings) {
    ScratchDir dir;
    CarpValues values = SampleValues();
    Builder b;
    for (const test::CarpSection& s : test::kVersion4Sections) {
        if (s.number == 12 || s.number == 40 || s.number == 80)
            continue;
        test::AddSection(b, s.label, s.number, values[s.number]);
    }
    WriteFile(dir.File("carp.txt"), b.bytes());

    std::vector<std::string> warnings;
    ScopedWarningSink sink([&](const std::string& m) { warnings.push_back(m); });
    Carp3File three(dir.File("carp.txt"));
    three.Load();
    EXPECT_TRUE(warnings.empty());  // loading alone reports nothing
    for (std::size_t n = 0; n < 80; ++n) {
        const bool gone = n == 12 || n == 40;
        EXPECT_EQ(three.parameterMissing[n], gone) << n;
        EXPECT_EQ(three.parameters[n], gone ? "" : values[n]) << n;
    }

    three.ConvertToCarp4(dir.File("converted.txt"));
    EXPECT_EQ(warnings,
              (std::vector<std::string>{"carp.txt: parameter 12 (engine minimum rpm) is missing",
                                        "carp.txt: parameter 40 (Slide Velocity Cap) is missing"}));
    values[12] = "";
    values[40] = "";
    values[80] = "1.000000";
    EXPECT_EQ(ReadFile(dir.File("converted.txt")), CanonicalText(true, values));

    // A reload that finds every marker clears the flags.
    WriteFile(dir.File("carp.txt"), CanonicalText(false, values));
    three.Load();
    warnings.clear();
    three.ConvertToCarp4(dir.File("converted.txt"));
    EXPECT_TRUE(warnings.empty());
}

TEST(CarpFile, ConvertToCarp4CopiesEveryParameterAndSetsUndersteerGradient) {
    ScratchDir dir;
    CarpValues values = SampleValues();
    values[80] = "7.5";  // a version-4 section in the input is not read as version 3
    WriteFile(dir.File("in.txt"), CanonicalText(true, values));
    Carp3File three(dir.File("in.txt"));
    three.Load();
    std::vector<std::string> warnings;
    ScopedWarningSink sink([&](const std::string& m) { warnings.push_back(m); });
    EXPECT_EQ(three.ConvertToCarp4(dir.File("out.txt")), 1);
    EXPECT_TRUE(warnings.empty());

    values[80] = "1.000000";
    EXPECT_EQ(ReadFile(dir.File("out.txt")), CanonicalText(true, values));
    ExpectValues(three, values);  // the source is unchanged
    EXPECT_EQ(three.path, dir.File("in.txt"));
}

TEST(CarpFile, EveryTruncationLoadsCleanly) {
    ScratchDir dir;
    const CarpValues values = SampleValues();
    const test::Bytes full = CanonicalText(true, values);
    for (std::size_t size = 0; size <= full.size(); ++size) {
        const test::Bytes prefix(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(size));
        WriteFile(dir.File("t.txt"), prefix);
        Carp4File four(dir.File("t.txt"));
        ASSERT_NO_THROW(four.Load()) << size;
        ASSERT_EQ(four.length, static_cast<std::int32_t>(size));
        for (std::size_t n = 0; n < 81; ++n) {
            if (four.parameterMissing[n]) {
                ASSERT_EQ(four.parameters[n], "") << size << " " << n;
            } else {
                // What a cut text holds of a value is a beginning of it.
                ASSERT_EQ(values[n].compare(0, four.parameters[n].size(), four.parameters[n]), 0)
                    << size << " " << n;
            }
        }
        if (size == full.size())
            ExpectValues(four, values);
    }
}

TEST(CarpFile, FailuresAreReportedNotIgnored) {
    ScratchDir dir;
    Carp3File absent(dir.File("absent.txt"));
    EXPECT_THROW(absent.Load(), IoError);

    Carp4File four(dir.File("x.txt"));
    four.parameters[17] = "1\r2";
    try {
        four.SaveAs(dir.File("x.txt"));
        FAIL() << "a value with a CR was written";
    } catch (const FormatError& e) {
        EXPECT_EQ(std::string(e.what()),
                  dir.File("x.txt") + ": the value of parameter 17 holds a carriage return");
    }

    // 1 MiB loads; one byte more is not a performance text.
    std::string big = "Serial Number(0)\r\n";
    big.resize(1u << 20, 'x');
    WriteFile(dir.File("big.txt"), big);
    Carp3File fits(dir.File("big.txt"));
    EXPECT_NO_THROW(fits.Load());
    EXPECT_EQ(fits.parameters[0].size(), (1u << 20) - 18);
    WriteFile(dir.File("big.txt"), big + "x");
    try {
        fits.Load();
        FAIL() << "an oversized text was loaded";
    } catch (const FormatError& e) {
        EXPECT_EQ(std::string(e.what()),
                  dir.File("big.txt") +
                      ": performance text of 1048577 bytes is larger than the limit of 1048576 "
                      "bytes");
    }
    EXPECT_EQ(fits.parameters[0].size(), (1u << 20) - 18);  // a failed Load keeps the old values
}

}  // namespace
}  // namespace carconv
