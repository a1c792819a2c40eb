#include "app/stage.h"

#include <gtest/gtest.h>

#include <utility>

#include "files/held_file.h"
#include "image/skin_stage.h"
#include "mesh/mesh_bytes.h"
#include "mesh/mesh_stage.h"
#include "support/packages.h"
#include "support/stage_run.h"
#include "support/test_util.h"

namespace carconv {
namespace {

// A stage that writes one member under four names, and the size of that member.
struct FourCopyStage {
    const char* name;
    StageFunction run;
    const char* input;
    test::Bytes source;
    std::int64_t memberSize;
};

TEST(HeldMembers, StagesHoldMembersUpToTheLimitAndPackTheBytesTheirFilesWouldHold) {
    const test::Bytes skin = test::Tga32(4, 3);
    const FourCopyStage stages[] = {
        // A version-4 mesh is its 8248-byte header, 140 bytes a vertex and 68 a triangle.
        {"mesh", RunMeshStage, "car.fce", test::Fce3Mesh(3, 2, /*packed=*/false),
         8248 + 140 * 3 + 68 * 2},
        {"skin", RunSkinStage, "car00.tga", skin, static_cast<std::int64_t>(skin.size())},
    };
    for (const FourCopyStage& stage : stages) {
        SCOPED_TRACE(stage.name);
        // One byte over the limit: working files, as for a large car. At the limit: none.
        test::StageRun files;
        test::StageRun held;
        for (auto [run, limit] :
             {std::pair{&files, stage.memberSize - 1}, std::pair{&held, stage.memberSize}}) {
            run->context.heldMemberLimit = limit;
            test::WriteFile(run->in.File(stage.input), stage.source);
            stage.run(run->Context());
            ASSERT_EQ(run->members.GetSize(), 4);
        }
        EXPECT_EQ(test::ListNames(files.out.Path()).size(), 4u);
        EXPECT_TRUE(test::ListNames(held.out.Path()).empty()) << "a working file for a held member";

        const auto& first = dynamic_cast<const HeldFile&>(held.members.ElementAt(0));
        for (int i = 0; i < 4; ++i) {
            const GameFile& member = held.members.ElementAt(i);
            EXPECT_EQ(member.typeTag, files.members.ElementAt(i).typeTag);
            EXPECT_EQ(member.length, stage.memberSize);
            EXPECT_EQ(&dynamic_cast<const HeldFile&>(member).Content(), &first.Content())
                << "the four names share one copy of the bytes";
        }
        EXPECT_EQ(held.Packed(), files.Packed());  // the same names and bytes
    }
}

}  // namespace
}  // namespace carconv
