#include "carp/performance_stage.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "carp/carp4_file.h"
#include "carp/carp_test_text.h"
#include "files/errors.h"
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
    WriteFile(run.out.File("carp2.txt"), "stale copy");  // replaced

    std::vector<std::string> warnings;
    ScopedWarningSink sink([&](const std::string& m) { warnings.push_back(m); });
    RunPerformanceStage(run.Context());
    EXPECT_TRUE(warnings.empty());

    values[80] = "1.000000";
    const test::Bytes expected = test::CanonicalText(true, values);
    const std::vector<std::string> names = {"carp.txt", "carp1.txt", "carp2.txt", "carp3.txt"};
    ASSERT_EQ(run.members.GetSize(), 4);
    for (int i = 0; i < 4; ++i) {
        const std::string file = run.out.File(names[static_cast<std::size_t>(i)]);
        EXPECT_EQ(ReadFile(file), expected) << file;
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

    // What the archive writer does with each member reproduces the file.
    for (int i = 0; i < 4; ++i)
        run.members.ElementAt(i).Save();
    for (const std::string& name : names)
        EXPECT_EQ(ReadFile(run.out.File(name)), expected);
}

TEST(PerformanceStage, TheCopiesCostNoBytesAndRewritingOneLeavesTheOthersAsTheyWere) {
    namespace fs = std::filesystem;
    StageRun run;
    test::CarpValues values = test::SampleValues();
    test::Builder in;
    for (std::size_t n = 0; n < 75; ++n)
        test::AddSection(in, "P" + std::to_string(n), n, values[n]);
    WriteFile(run.in.File("carp.txt"), in.bytes());
    // Whether this file system can give a file a second name at all.
    WriteFile(run.out.File("probe"), "p");
    const bool links = test::AddHardLink(run.out.File("probe"), run.out.File("probe2"));
    fs::remove(test::Native(run.out.File("probe2")));
    fs::remove(test::Native(run.out.File("probe")));

    RunPerformanceStage(run.Context());
    const std::string first = run.out.File("carp.txt");
    const test::Bytes converted = ReadFile(first);
    if (links) {
        for (const char* copy : {"carp1.txt", "carp2.txt", "carp3.txt"}) {
            EXPECT_TRUE(fs::equivalent(test::Native(first), test::Native(run.out.File(copy))))
                << copy;
        }
    }
    // Only the five files' names: no temporary name is left behind.
    EXPECT_EQ(test::ListNames(run.out.Path()),
              (std::vector<std::string>{"carp.txt", "carp1.txt", "carp2.txt", "carp3.txt"}));

    // Saving them all, as the archive writer does, leaves every file where it was.
    for (int i = 0; i < 4; ++i)
        run.members.ElementAt(i).Save();
    if (links) {
        EXPECT_TRUE(
            fs::equivalent(test::Native(first), test::Native(run.out.File("carp3.txt"))));
    }

    // A member that changes is written to a file of its own.
    auto& third = dynamic_cast<Carp4File&>(run.members.ElementAt(2));
    third.parameters[5] = "123.000000";
    third.Save();
    EXPECT_NE(ReadFile(run.out.File("carp2.txt")), converted);
    for (const char* name : {"carp.txt", "carp1.txt", "carp3.txt"})
        EXPECT_EQ(ReadFile(run.out.File(name)), converted) << name;
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
    EXPECT_EQ(ReadFile(run.out.File("carp.txt")), expected);
    // Read again, the written text gives 33 from inside 20 with the layout's label of 21; the
    // archive writer's SaveAs must not write that back.
    for (int i = 0; i < 4; ++i)
        run.members.ElementAt(i).Save();
    for (const char* name : {"carp.txt", "carp1.txt", "carp2.txt", "carp3.txt"})
        EXPECT_EQ(ReadFile(run.out.File(name)), expected) << name;
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
