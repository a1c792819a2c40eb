#include "image/skin_stage.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "files/errors.h"
#include "support/stage_run.h"
#include "support/test_util.h"

namespace carconv {
namespace {

using test::Builder;
using test::Bytes;
using test::ReadFile;
using test::WriteFile;

// A 2 x 3 skin at 24 bits with a 3-byte ID and a footer behind the image data.
Bytes Skin() {
    return Builder()
        .u8(3)                          // ID length
        .u8(0)                          // colour map type
        .u8(2)                          // image type: true-colour
        .zeros(5)                       // colour map fields
        .u16le(0)                       // X origin
        .u16le(0)                       // Y origin
        .u16le(2)                       // width
        .u16le(3)                       // height
        .u8(24)                         // pixel depth
        .u8(0x20)                       // image descriptor: top-left origin
        .str("car")                     // image ID
        .raw({1, 2, 3, 4, 5, 6})        // row 0
        .raw({7, 8, 9, 10, 11, 12})     // row 1
        .raw({13, 14, 15, 16, 17, 18})  // row 2
        .fill(26, 0x77)                 // footer bytes
        .bytes();
}

using StageRun = test::StageRun;

TEST(SkinStage, WritesTheFlippedSkinAndThreeCopiesAsMembers) {
    StageRun run;
    run.context.heldMemberLimit = 0;  // working files, as for a skin too large to hold
    WriteFile(run.in.File("car00.tga"), Skin());
    WriteFile(run.out.File("car200.tga"), "stale");  // replaced by the copy
    const std::size_t membersBefore = 0;

    RunSkinStage(run.Context());

    const Bytes skin = ReadFile(run.out.File("car00.tga"));
    ASSERT_EQ(skin.size(), Skin().size());
    const Bytes original = Skin();
    EXPECT_EQ(Bytes(skin.begin(), skin.begin() + 21),
              Bytes(original.begin(), original.begin() + 21));
    EXPECT_EQ(Bytes(skin.begin() + 21, skin.begin() + 39),
              (Bytes{13, 14, 15, 16, 17, 18, 7, 8, 9, 10, 11, 12, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(Bytes(skin.begin() + 39, skin.end()), Bytes(26, 0x77));
    for (const char* copy : {"car100.tga", "car200.tga", "car300.tga"}) {
        EXPECT_EQ(ReadFile(run.out.File(copy)), skin) << copy;
    }
    EXPECT_EQ(ReadFile(run.in.File("car00.tga")), original);  // the input stays as it was

    const std::vector<std::string> names = {"car00.tga", "car100.tga", "car200.tga", "car300.tga"};
    ASSERT_EQ(run.members.GetSize(), static_cast<int>(membersBefore + names.size()));
    for (int i = 0; i < run.members.GetSize(); ++i) {
        const GameFile& member = run.members.ElementAt(i);
        EXPECT_EQ(member.path, run.out.File(names[static_cast<std::size_t>(i)]));
        EXPECT_EQ(member.typeTag, "TGA");
        EXPECT_EQ(member.length, static_cast<std::int32_t>(skin.size()));
    }
    // The input texture is kept with the members but is not one of them.
    ASSERT_EQ(run.objects.size(), 5u);
    EXPECT_EQ(run.objects[0]->path, run.in.File("car00.tga"));
    for (std::size_t i = 1; i < 5; ++i) {
        EXPECT_EQ(run.objects[i].get(), &run.members.ElementAt(static_cast<int>(i - 1)));
    }

    // Packing the members after their SaveAs yields the same bytes: each rewrites its own file.
    for (int i = 0; i < run.members.GetSize(); ++i)
        run.members.ElementAt(i).Save();
    for (const std::string& name : names)
        EXPECT_EQ(ReadFile(run.out.File(name)), skin);
}

TEST(SkinStage, TheCopiesShareTheSkinsFileAndSavingTheMembersKeepsItSo) {
    namespace fs = std::filesystem;
    StageRun run;
    run.context.heldMemberLimit = 0;  // working files, as for a skin too large to hold
    WriteFile(run.in.File("car00.tga"), Skin());
    const bool links = test::AddHardLink(run.in.File("car00.tga"), run.out.File("probe"));
    fs::remove(test::Native(run.out.File("probe")));

    RunSkinStage(run.Context());
    for (int i = 0; i < run.members.GetSize(); ++i)
        run.members.ElementAt(i).Save();

    const std::string skin = run.out.File("car00.tga");
    for (const char* copy : {"car100.tga", "car200.tga", "car300.tga"}) {
        EXPECT_EQ(ReadFile(run.out.File(copy)), ReadFile(skin)) << copy;
        if (links) {
            EXPECT_TRUE(fs::equivalent(test::Native(skin), test::Native(run.out.File(copy))))
                << copy;
        }
    }
    // The input, which the user's package came from, is never one of them.
    EXPECT_FALSE(fs::equivalent(test::Native(run.in.File("car00.tga")), test::Native(skin)));
    EXPECT_EQ(fs::hard_link_count(test::Native(run.in.File("car00.tga"))), 1u);
}

TEST(SkinStage, AMissingSkinEndsTheStageNamingIt) {
    StageRun run;
    try {
        RunSkinStage(run.Context());
        ADD_FAILURE() << "a package without a skin converted";
    } catch (const CarconvError& e) {
        EXPECT_STREQ(e.what(), "in.viv has no member car00.tga");
    }
    EXPECT_EQ(run.members.GetSize(), 0);
    EXPECT_TRUE(test::ListNames(run.out.Path()).empty());
}

}  // namespace
}  // namespace carconv
