#include "files/member_factory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "files/errors.h"
#include "files/viv_archive.h"
#include "files/warnings.h"
#include "support/packages.h"
#include "support/test_util.h"

namespace carconv {
namespace {

using test::Builder;
using test::ScratchDir;
using test::WriteFile;

std::string TypeOf(const std::string& path) {
    return NewMemberFile(path, 1)->typeTag;
}

// A mesh-sized file of zeros with `mark` at `at` (nothing when `at` lies past the end).
test::Bytes MeshProbe(std::size_t size, std::size_t at, std::uint8_t mark) {
    test::Bytes b(size, 0);
    if (at < size)
        b[at] = mark;
    return b;
}

TEST(MemberFactory, MeshRowDecidesByTheByteAt3624) {
    ScratchDir dir;
    WriteFile(dir.File("car.fce"), test::EmptyFce4());
    WriteFile(dir.File("dash.fce"), test::EmptyFce3());
    WriteFile(dir.File("before.fce"), MeshProbe(8248, 3623, ':'));
    WriteFile(dir.File("after.fce"), MeshProbe(8248, 3625, ':'));
    WriteFile(dir.File("exact.fce"), MeshProbe(3625, 3624, ':'));  // the mark is the last byte
    WriteFile(dir.File("short.fce"), MeshProbe(3624, 3624, ':'));  // no byte at 3624
    WriteFile(dir.File("empty.fce"), std::string());
    EXPECT_EQ(TypeOf(dir.File("car.fce")), "FCE4");
    EXPECT_EQ(TypeOf(dir.File("dash.fce")), "FCE3");
    EXPECT_EQ(TypeOf(dir.File("before.fce")), "FCE3");
    EXPECT_EQ(TypeOf(dir.File("after.fce")), "FCE3");
    EXPECT_EQ(TypeOf(dir.File("exact.fce")), "FCE4");
    EXPECT_EQ(TypeOf(dir.File("short.fce")), "FCE3");
    EXPECT_EQ(TypeOf(dir.File("empty.fce")), "FCE3");

    // Loaded as the class says: the length is measured.
    auto mesh = CreateMemberFile(dir.File("car.fce"));
    EXPECT_EQ(mesh->typeTag, "FCE4");
    EXPECT_EQ(mesh->length, 8248);
    mesh = CreateMemberFile(dir.File("dash.fce"));
    EXPECT_EQ(mesh->typeTag, "FCE3");
    EXPECT_EQ(mesh->length, 7940);
}

TEST(MemberFactory, FrontEndRowDecidesByTheSignedFirstByte) {
    ScratchDir dir;
    struct Case {
        int firstByte;
        const char* type;
    };
    for (Case c : {Case{0, "FEDATA4"}, Case{4, "FEDATA4"}, Case{31, "FEDATA4"}, Case{32, "FEDATA3"},
                   Case{'A', "FEDATA3"}, Case{127, "FEDATA3"}, Case{128, "FEDATA4"},
                   Case{200, "FEDATA4"}, Case{255, "FEDATA4"}}) {
        WriteFile(dir.File("fedata.eng"), Builder()
                                              .u8(static_cast<std::uint8_t>(c.firstByte))
                                              .str("BCD")  // bytes 1-3 are not looked at
                                              .bytes());
        EXPECT_EQ(TypeOf(dir.File("fedata.eng")), c.type) << c.firstByte;
    }
    WriteFile(dir.File("fedata.swe"), std::string());
    EXPECT_EQ(TypeOf(dir.File("fedata.swe")), "FEDATA3");

    // Every language, in any case, and names that merely end in one.
    for (const char* name :
         {"fedata.ita", "fedata.bri", "fedata.spa", "fedata.fre", "fedata.swe", "fedata.eng",
          "fedata.ger", "FEDATA.GER", "FeData.Ita", "myfedata.eng", "xfedata.spa"}) {
        WriteFile(dir.File(name), test::Fedata3("s"));
        auto file = CreateMemberFile(dir.File(name));
        EXPECT_EQ(file->typeTag, "FEDATA3") << name;
        EXPECT_EQ(file->length, static_cast<std::int32_t>(test::Fedata3("s").size())) << name;
        EXPECT_EQ(file->path, dir.File(name)) << "the path is kept as it lies on disk";
    }
    // Not a language this system knows, or not at the end of the name.
    for (const char* name : {"fedata.deu", "fedata.eng.old", "fedata.en"}) {
        WriteFile(dir.File(name), test::Fedata3("s"));
        EXPECT_EQ(TypeOf(dir.File(name)), "") << name;
    }
}

TEST(MemberFactory, PerformanceRowLooksForTheMarkerOfParameter80Anywhere) {
    ScratchDir dir;
    const std::string carp3 = test::Carp3Text();
    WriteFile(dir.File("carp.txt"), carp3);
    EXPECT_EQ(TypeOf(dir.File("carp.txt")), "CARP3");
    // "(80)" inside a value makes a version-3 text a version-4 one.
    std::string inValue = carp3;
    inValue.replace(inValue.find("v12\r\n"), 3, "x(80)y");
    WriteFile(dir.File("carp.txt"), inValue);
    EXPECT_EQ(TypeOf(dir.File("carp.txt")), "CARP4");
    // At the very end, without a line end.
    WriteFile(dir.File("carp.txt"), carp3 + "(80)");
    EXPECT_EQ(TypeOf(dir.File("carp.txt")), "CARP4");
    // Near misses.
    for (const char* tail : {"(800)", "(8)", "80)", "(80", "( 80)"}) {
        WriteFile(dir.File("carp.txt"), carp3 + tail);
        EXPECT_EQ(TypeOf(dir.File("carp.txt")), "CARP3") << tail;
    }
    WriteFile(dir.File("carp.txt"), std::string());
    EXPECT_EQ(TypeOf(dir.File("carp.txt")), "CARP3");

    for (const char* name : {"carp.txt", "carp1.txt", "carp2.txt", "carp3.txt", "Carp.TXT",
                             "CARP2.TXT", "xcarp.txt"}) {
        WriteFile(dir.File(name), carp3);
        auto file = CreateMemberFile(dir.File(name));
        EXPECT_EQ(file->typeTag, "CARP3") << name;
        EXPECT_EQ(file->length, static_cast<std::int32_t>(carp3.size())) << name;
        EXPECT_EQ(file->path, dir.File(name));
    }
    // Plain members are not loaded: their length stays unset.
    for (const char* name : {"carp.txt.bak", "carp4.txt", "carp.tx", "carp10.txt"}) {
        WriteFile(dir.File(name), carp3);
        auto file = CreateMemberFile(dir.File(name));
        EXPECT_EQ(file->typeTag, "") << name;
        EXPECT_EQ(file->length, 0) << name;
    }
}

TEST(MemberFactory, ContainerAndTextureRowsComeFirst) {
    ScratchDir dir;
    WriteFile(dir.File("dash.fsh"), test::Fsh());
    WriteFile(dir.File("fedata.fsh"), test::Fsh());  // ".fsh" wins over the front-end names
    WriteFile(dir.File("DASH.FSH"), test::Fsh());
    WriteFile(dir.File("car00.tga"), test::Tga32(2, 3));
    WriteFile(dir.File("car.fsh.tga"), test::Tga32(1, 1));
    WriteFile(dir.File("Dash00.TGA"), test::Tga32(1, 1));
    WriteFile(dir.File("carp.tga"), test::Tga32(1, 1));
    WriteFile(dir.File("inner.VIV"), Builder().str("BIGF").u32be(16).u32be(0).u32be(16).bytes());
    for (auto [name, type] :
         std::vector<std::pair<const char*, const char*>>{{"dash.fsh", "FSH"},
                                                          {"fedata.fsh", "FSH"},
                                                          {"DASH.FSH", "FSH"},
                                                          {"car00.tga", "TGA"},
                                                          {"car.fsh.tga", "TGA"},
                                                          {"Dash00.TGA", "TGA"},
                                                          {"carp.tga", "TGA"},
                                                          {"inner.VIV", "VIV"}}) {
        auto file = CreateMemberFile(dir.File(name));
        EXPECT_EQ(file->typeTag, type) << name;
        EXPECT_GT(file->length, 0) << name << " is loaded";
    }
    WriteFile(dir.File("careng.bnk"), std::string("sound"));
    auto plain = CreateMemberFile(dir.File("careng.bnk"));
    EXPECT_EQ(plain->typeTag, "");
    EXPECT_EQ(plain->length, 0);
}

// The name alone decides whether a member is typed: its last bytes, in any case, however long the
// path before them.
TEST(MemberFactory, TypedNamesAreToldByTheirEndsInAnyCase) {
    const std::string deep = "car.viv/a.viv/b.viv/c.viv/d.viv/e.viv/";
    for (const char* name : {".viv", "a.VIV", "dash.Fsh", "car00.tga", "CAR.FCE", "fedata.SPA",
                             "xfedata.ger", "carp.txt", "CARP3.TXT", "xcarp1.txt"}) {
        EXPECT_TRUE(HasTypedName(name)) << name;
        EXPECT_TRUE(HasTypedName(deep + name)) << name;
    }
    for (const char* name : {"", "viv", "aviv", "a.viv.", "a.viva", "a_viv", "x.fc", ".tx",
                             "carp4.txt", "a.txt", "fedata.txt", "fedata.deu", "fedata.eng.bak",
                             "fedata_eng"}) {
        EXPECT_FALSE(HasTypedName(name)) << name;
        EXPECT_FALSE(HasTypedName(deep + name)) << name;
    }
}

TEST(MemberFactory, MalformedMembersAreKeptPlainWithAWarning) {
    ScratchDir dir;
    std::vector<std::string> warnings;
    ScopedWarningSink sink([&warnings](const std::string& m) { warnings.push_back(m); });

    // A TGA of image type 5, which has no layout; a version-4 mesh mark in a file too short for
    // the version-4 header.
    WriteFile(dir.File("car00.tga"), Builder().u8(0).u8(0).u8(5).zeros(15).bytes());
    WriteFile(dir.File("car.fce"), MeshProbe(4000, 3624, ':'));
    auto tga = CreateMemberFile(dir.File("car00.tga"));
    auto mesh = CreateMemberFile(dir.File("car.fce"));
    EXPECT_EQ(tga->typeTag, "");
    EXPECT_EQ(tga->length, 18) << "measured";
    EXPECT_EQ(mesh->typeTag, "");
    EXPECT_EQ(mesh->length, 4000);
    ASSERT_EQ(warnings.size(), 2u);
    // The member is named once, ahead of the problem.
    EXPECT_EQ(warnings[0], "car00.tga: kept unread, it is not a valid TGA file: unsupported image "
                           "type 5 at offset 0x2");
    EXPECT_EQ(warnings[1],
              "car.fce: kept unread, it is not a valid FCE4 file: file of 4000 bytes is shorter "
              "than the 8248-byte mesh header");

    // A missing file is no content problem: it propagates.
    EXPECT_THROW(CreateMemberFile(dir.File("missing.fce")), IoError);
    EXPECT_THROW(CreateMemberFile(dir.File("missing.txt/carp.txt")), IoError);
    EXPECT_EQ(warnings.size(), 2u);

    // Under a sink that drops warnings the member is kept the same, and no warning reaches the
    // sink around it.
    {
        ScopedWarningSink dropped{DropWarnings{}};
        EXPECT_FALSE(WarningsHeard());
        EXPECT_EQ(CreateMemberFile(dir.File("car00.tga"))->length, 18);
        ReportWarning("dropped");
    }
    EXPECT_TRUE(WarningsHeard());
    EXPECT_EQ(warnings.size(), 2u);
}

// An archive holding the given members, as bytes.
test::Bytes ArchiveBytes(const ScratchDir& dir,
                         const std::vector<std::pair<std::string, test::Bytes>>& members) {
    test::WriteArchive(dir.File("tmp.viv"), members);
    test::Bytes bytes = test::ReadFile(dir.File("tmp.viv"));
    std::filesystem::remove(dir.File("tmp.viv"));
    return bytes;
}

TEST(MemberFactory, NestedArchivesAreUnpackedIntoTheirOwnDirectoriesAndRemoved) {
    ScratchDir dir;
    const std::string carp3 = test::Carp3Text();
    test::Bytes inner = ArchiveBytes(
        dir, {{"carp.txt", test::Bytes(carp3.begin(), carp3.end())}, {"notes", test::Bytes{'n'}}});
    test::Bytes middle = ArchiveBytes(dir, {{"Inner.viv", inner}, {"car.fce", test::EmptyFce4()}});
    test::WriteArchive(dir.File("outer.viv"), {{"middle.viv", middle}});

    auto before = test::LeftoverWorkingDirectories();
    std::vector<std::string> workDirs;
    {
        VivArchive outer(dir.File("outer.viv"));
        outer.Load();
        ASSERT_EQ(outer.members.GetSize(), 1);
        auto& mid = dynamic_cast<VivArchive&>(outer.members.ElementAt(0));
        EXPECT_EQ(mid.NestingDepth(), 1);
        ASSERT_EQ(mid.members.GetSize(), 2);
        EXPECT_EQ(mid.members.ElementAt(1).typeTag, "FCE4");
        auto& in = dynamic_cast<VivArchive&>(mid.members.ElementAt(0));
        EXPECT_EQ(in.NestingDepth(), 2);
        ASSERT_EQ(in.members.GetSize(), 2);
        EXPECT_EQ(in.members.ElementAt(0).typeTag, "CARP3");
        EXPECT_EQ(in.members.ElementAt(0).length, static_cast<std::int32_t>(carp3.size()));
        EXPECT_EQ(in.members.ElementAt(1).typeTag, "");
        EXPECT_EQ(test::ReadFile(in.WorkingDirectoryPath() + "/carp.txt").size(), carp3.size());
        workDirs = {outer.WorkingDirectoryPath(), mid.WorkingDirectoryPath(),
                    in.WorkingDirectoryPath()};
        EXPECT_NE(workDirs[0], workDirs[1]);
        EXPECT_NE(workDirs[1], workDirs[2]);
        EXPECT_EQ(test::LeftoverWorkingDirectories().size(), before.size() + 3);
    }
    for (const std::string& d : workDirs)
        EXPECT_FALSE(std::filesystem::exists(d)) << d;
    EXPECT_EQ(test::LeftoverWorkingDirectories(), before);
}

TEST(MemberFactory, NestingIsLimitedAndAMalformedNestedArchiveIsKeptPlain) {
    ScratchDir dir;
    auto before = test::LeftoverWorkingDirectories();
    // kMaxArchiveNesting archives inside the top one load; one more is refused outright.
    test::Bytes nested = ArchiveBytes(dir, {{"x", test::Bytes{'x'}}});
    for (int level = 1; level <= 16; ++level)
        nested = ArchiveBytes(dir, {{"n.viv", nested}});
    WriteFile(dir.File("deep16.viv"), nested);
    {
        VivArchive top(dir.File("deep16.viv"));
        top.Load();
        VivArchive* a = &top;
        for (int level = 1; level <= 16; ++level)
            a = &dynamic_cast<VivArchive&>(a->members.ElementAt(0));
        EXPECT_EQ(a->NestingDepth(), 16);
        EXPECT_EQ(a->members.ElementAt(0).GetFileName(), "x");
    }
    nested = ArchiveBytes(dir, {{"n.viv", nested}});
    WriteFile(dir.File("deep17.viv"), nested);
    {
        std::vector<std::string> warnings;
        ScopedWarningSink sink([&warnings](const std::string& m) { warnings.push_back(m); });
        VivArchive top(dir.File("deep17.viv"));
        try {
            top.Load();
            ADD_FAILURE() << "17 nested archives loaded";
        } catch (const ArchiveNestingError& e) {
            EXPECT_NE(std::string(e.what()).find(
                          "n.viv: archive nested 17 archives deep; at most 16 are unpacked"),
                      std::string::npos)
                << e.what();
        }
        EXPECT_TRUE(warnings.empty());
        EXPECT_EQ(top.members.GetSize(), 0);
    }
    EXPECT_EQ(test::LeftoverWorkingDirectories(), before);

    // A nested archive whose directory is broken is just a member that cannot be read.
    std::vector<std::string> warnings;
    ScopedWarningSink sink([&warnings](const std::string& m) { warnings.push_back(m); });
    test::WriteArchive(dir.File("outer.viv"),
                       {{"bad.viv", Builder().str("BIGF").u32be(0).u32be(9).u32be(0).bytes()}});
    VivArchive outer(dir.File("outer.viv"));
    outer.Load();
    ASSERT_EQ(outer.members.GetSize(), 1);
    EXPECT_EQ(outer.members.ElementAt(0).typeTag, "");
    EXPECT_EQ(outer.members.ElementAt(0).length, 16);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("member count 9 is more than the file can hold"), std::string::npos);
}

}  // namespace
}  // namespace carconv
