#include "fedata/front_end_stage.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "fedata/fedata4_file.h"
#include "fedata_test_files.h"
#include "files/carried_file.h"
#include "files/errors.h"
#include "support/stage_run.h"
#include "support/test_util.h"

namespace carconv {
namespace {

using test::Bytes;

const char* const kLanguages[] = {"eng", "bri", "ger", "fre", "ita", "spa", "swe"};

struct StageRun : test::StageRun {

    // Writes the seven version-3 language files, each with its language in string 0.
    void WriteLanguages() {
        for (const char* language : kLanguages) {
            std::array<std::string, 40> strings = test::NumberedStrings<40>("s");
            strings[0] = language;
            test::Fedata3Fields fields;
            fields.flag16 = 1;
            test::WriteFile(in.File(std::string("fedata.") + language),
                            test::Fedata3Packed(fields, strings));
        }
    }

    void Run() { RunFrontEndStage(Context()); }

    std::vector<std::string> MemberNames() const {
        std::vector<std::string> names;
        for (int i = 0; i < members.GetSize(); ++i)
            names.push_back(members.ElementAt(i).GetFileName());
        return names;
    }
};

const std::vector<std::string> kLanguageFiles = {"fedata.eng", "fedata.bri", "fedata.ger",
                                                 "fedata.fre", "fedata.ita", "fedata.spa",
                                                 "fedata.swe"};

TEST(FrontEndStage, ConvertsTheSevenLanguagesInOrder) {
    StageRun run;
    run.WriteLanguages();
    run.Run();

    EXPECT_EQ(run.MemberNames(), kLanguageFiles);
    EXPECT_EQ(run.objects.size(), 14u);  // seven of each layout
    EXPECT_FALSE(test::Exists(run.out.File("fedata.fsh")));
    // Held for the archive writer: no file is written.
    EXPECT_TRUE(test::ListNames(run.out.Path()).empty());
    const auto packed = run.Packed();
    for (int i = 0; i < 7; ++i) {
        SCOPED_TRACE(kLanguageFiles[i]);
        GameFile& member = run.members.ElementAt(i);
        EXPECT_EQ(member.typeTag, "FEDATA4");
        EXPECT_EQ(member.path, run.out.File(kLanguageFiles[i]));
        const Bytes& b = packed[static_cast<std::size_t>(i)].second;
        EXPECT_EQ(member.length, static_cast<std::int32_t>(b.size()));
        EXPECT_EQ(test::GetU16le(b, 890), 16);
        EXPECT_EQ(test::GetCString(b, test::GetU32le(b, 960), 8), kLanguages[i]);
        EXPECT_EQ(test::GetCString(b, test::GetU32le(b, 960 + 4 * 18), 8), "s17");
    }
}

TEST(FrontEndStage, CarriesThePictureArchiveJustBeforeTheLanguages) {
    StageRun run;
    run.WriteLanguages();
    // A picture archive with no entries: tag, size, entry count 0, directory tag.
    const Bytes pictures = test::Builder().str("SHPI").u32le(16).u32le(0).str("GIMX").bytes();
    test::WriteFile(run.in.File("fedata.fsh"), pictures);
    run.Run();

    std::vector<std::string> expected = {"fedata.fsh"};
    expected.insert(expected.end(), kLanguageFiles.begin(), kLanguageFiles.end());
    EXPECT_EQ(run.MemberNames(), expected);
    EXPECT_EQ(run.objects.size(), 15u);
    GameFile& member = run.members.ElementAt(0);
    EXPECT_EQ(member.path, run.out.File("fedata.fsh"));
    EXPECT_EQ(member.typeTag, "FSH");
    EXPECT_EQ(member.length, 16);
    // Carried from the input as it lies: no copy is made.
    const auto* carried = dynamic_cast<const CarriedFile*>(&member);
    ASSERT_NE(carried, nullptr);
    EXPECT_EQ(test::ReadFile(carried->Source()), pictures);
    EXPECT_FALSE(std::filesystem::exists(run.out.File("fedata.fsh")));
}

TEST(FrontEndStage, AMissingLanguageFileStopsTheStageNamingIt) {
    StageRun run;
    run.WriteLanguages();
    std::remove(run.in.File("fedata.ita").c_str());
    try {
        run.Run();
        FAIL() << "the stage ran without fedata.ita";
    } catch (const CarconvError& e) {
        EXPECT_STREQ(e.what(), "in.viv has no member fedata.ita");
    }
    EXPECT_EQ(run.members.GetSize(), 4);  // the languages before it
}

}  // namespace
}  // namespace carconv
