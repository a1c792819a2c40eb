#include "carp/performance_stage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "carp/carp4_file.h"
#include "carp/carp_test_text.h"
#include "files/errors.h"
#include "files/held_file.h"
#include "files/warnings.h"
#include "support/stage_run.h"
#include "support/test_util.h"

namespace carconv {
namespace {

using test::ReadFile;
using test::WriteFile;

using StageRun = test::StageRun;

TEST(PerformanceStage, WritesTheConvertedTextAndThreeCopiesAndAppendsThemInOrder) {
    StageRun run;
    test::CarpValues values = test::SampleValues();
    // Input in another order, with other labels and a stray section for 80.
    test::Builder in;
    for (std::size_t n = 81; n-- > 0;) {
        test::AddSection(in, "P" + std::to_string(n), n, n == 80 ? "9.9" : values[n]);
    }
    WriteFile(run.in.File("carp.txt"), in.bytes());

    std::vector<std::string> warnings;
    ScopedWarningSink sink([&](const std::string& m) { warnings.push_back(m); });
    RunPerformanceStage(run.Context());
    EXPECT_TRUE(warnings.empty());

    values[80] = "1.000000";
    const test::Bytes expected = test::CanonicalText(true, values);
    const std::vector<std::string> names = {"carp.txt", "carp1.txt", "carp2.txt", "carp3.txt"};
    ASSERT_EQ(run.members.GetSize(), 4);
    const auto packed = run.Packed();
    for (int i = 0; i < 4; ++i) {
        const std::string file = run.out.File(names[static_cast<std::size_t>(i)]);
        EXPECT_EQ(packed[static_cast<std::size_t>(i)].second, expected) << file;
        const GameFile& member = run.members.ElementAt(i);
        EXPECT_EQ(member.path, file);
        EXPECT_EQ(member.typeTag, "CARP4");
        EXPECT_EQ(member.length, static_cast<std::int32_t>(expected.size()));
    }
    // The version-3 source and the four members, in creation order.
    ASSERT_EQ(run.objects.size(), 5u);
    EXPECT_EQ(run.objects[0]->typeTag, "CARP3");
    EXPECT_EQ(run.objects[0]->path, run.in.File("carp.txt"));
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(run.objects[static_cast<std::size_t>(i) + 1].get(), &run.members.ElementAt(i));
    }
}

TEST(PerformanceStage, TheTextAndItsCopiesHoldOneSetOfBytesAndWriteNoFile) {
    StageRun run;
    test::CarpValues values = test::SampleValues();
    test::Builder in;
    for (std::size_t n = 0; n < 75; ++n)
        test::AddSection(in, "P" + std::to_string(n), n, values[n]);
    WriteFile(run.in.File("carp.txt"), in.bytes());

    RunPerformanceStage(run.Context());
    ASSERT_EQ(run.members.GetSize(), 4);
    const auto& first = dynamic_cast<const HeldFile&>(run.members.ElementAt(0));
    for (int i = 1; i < 4; ++i) {
        EXPECT_EQ(&dynamic_cast<const HeldFile&>(run.members.ElementAt(i)).Content(),
                  &first.Content());
    }
    // Saving them all, as the archive writer does, writes nothing either.
    for (int i = 0; i < 4; ++i)
        run.members.ElementAt(i).Save();
    EXPECT_TRUE(test::ListNames(run.out.Path()).empty());
}

TEST(PerformanceStage, ATextWithAnotherParametersMarkerInAValueIsPackedAsWritten) {
    StageRun run;
    test::CarpValues values = test::SampleValues(false);
    values[20] = "12(33)5";
    test::Builder in;
    for (const test::CarpSection& s : test::kVersion4Sections) {
        if (s.number != 80)
            test::AddSection(in, "P" + std::to_string(s.number), s.number, values[s.number]);
    }
    WriteFile(run.in.File("carp.txt"), in.bytes());
    std::vector<std::string> warnings;
    ScopedWarningSink sink([&](const std::string& m) { warnings.push_back(m); });
    RunPerformanceStage(run.Context());
    ASSERT_FALSE(warnings.empty());
    EXPECT_NE(warnings[0].find("parameter 20 (gas increasing curve) holds \"(33)\""),
              std::string::npos)
        << warnings[0];

    // The first "(33)" stands inside 20: two bytes after it are skipped, and the value runs to
    // the end of the next line, which holds the input's own label of 21.
    values[33] = "\nP21(21)";
    values[80] = "1.000000";
    const test::Bytes expected = test::CanonicalText(true, values);
    // Read again, the written text would give 33 from inside 20 with the layout's label of 21;
    // what is packed is the text as written.
    for (const auto& [name, bytes] : run.Packed())
        EXPECT_EQ(bytes, expected) << name;
}

TEST(PerformanceStage, ReportsMissingParametersAndFailsWithoutInput) {
    StageRun run;
    try {
        RunPerformanceStage(run.Context());
        ADD_FAILURE() << "a package without carp.txt converted";
    } catch (const CarconvError& e) {
        EXPECT_STREQ(e.what(), "in.viv has no member carp.txt");
    }
    EXPECT_EQ(run.members.GetSize(), 0);
    EXPECT_TRUE(run.objects.empty());

    StageRun partial;
    test::Builder in;
    test::AddSection(in, "Serial Number", 0, "7");
    WriteFile(partial.in.File("carp.txt"), in.bytes());
    std::vector<std::string> warnings;
    ScopedWarningSink sink([&](const std::string& m) { warnings.push_back(m); });
    RunPerformanceStage(partial.Context());
    ASSERT_EQ(warnings.size(), 79u);
    EXPECT_EQ(warnings.front(), "carp.txt: parameter 1 (Car Classification) is missing");
    EXPECT_EQ(warnings.back(), "carp.txt: parameter 79 (final gear automatic) is missing");
    EXPECT_EQ(partial.members.GetSize(), 4);
}

}  // namespace
}  // namespace carconv
