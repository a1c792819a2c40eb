// The carconv executable, run as a user runs it.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "app/command_line.h"
#include "support/packages.h"
#include "support/test_util.h"

namespace carconv {
namespace {

using test::Bytes;
using test::ReadFile;
using test::RunCarconv;
using test::ScratchDir;
using test::WriteFile;

using test::InstalledUser;
using test::Q;

TEST(CommandLine, PackListUnpackRoundTripArbitraryFiles) {
    CARCONV_SKIP_ON_WINDOWS("runs the tool through a POSIX shell");
    ScratchDir dir;
    std::filesystem::create_directory(dir.File("in"));
    Bytes binary;
    for (int i = 0; i < 3000; ++i)
        binary.push_back(static_cast<std::uint8_t>(i * 7));
    WriteFile(dir.File("in/b.bin"), binary);
    WriteFile(dir.File("in/a.txt"), std::string("alpha\r\n"));
    WriteFile(dir.File("in/empty"), std::string());

    auto r = RunCarconv("pack " + Q(dir.File("in")) + " " + Q(dir.File("p.viv")));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    Bytes archive = ReadFile(dir.File("p.viv"));
    // Sorted by name: a.txt, b.bin, empty. Header 16 + (9+5) + (9+5) + (9+5) = 58.
    EXPECT_EQ(test::GetU32be(archive, 8), 3u);
    EXPECT_EQ(test::GetU32be(archive, 12), 58u);
    EXPECT_EQ(archive.size(), 58u + 7 + 3000);

    r = RunCarconv("list " + Q(dir.File("p.viv")));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "        58          7 a.txt -\n        65       3000 b.bin -\n      3065          0 "
              "empty -\n");

    r = RunCarconv("list --json " + Q(dir.File("p.viv")));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto json = nlohmann::json::parse(r.out);
    ASSERT_EQ(json.size(), 3u);
    EXPECT_EQ(json[1]["name"], "b.bin");
    EXPECT_EQ(json[1]["offset"], 65);
    EXPECT_EQ(json[1]["size"], 3000);
    EXPECT_EQ(json[1]["type"], "-");

    // Unpack into a directory that already holds one of the names and something else.
    std::filesystem::create_directory(dir.File("out"));
    WriteFile(dir.File("out/a.txt"), std::string("old"));
    WriteFile(dir.File("out/mine"), std::string("keep"));
    WriteFile(dir.File("secret"), std::string("secret"));
    std::filesystem::create_symlink(dir.File("secret"), dir.File("out/empty"));
    r = RunCarconv("unpack " + Q(dir.File("p.viv")) + " " + Q(dir.File("out")));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(dir.File("out/a.txt")), ReadFile(dir.File("in/a.txt")));
    EXPECT_EQ(ReadFile(dir.File("out/b.bin")), binary);
    EXPECT_TRUE(ReadFile(dir.File("out/empty")).empty());
    EXPECT_FALSE(std::filesystem::is_symlink(dir.File("out/empty")));
    EXPECT_EQ(ReadFile(dir.File("secret")).size(), 6u);  // the link's target was not written
    EXPECT_EQ(ReadFile(dir.File("out/mine")).size(), 4u);

    // Named members, in the order given.
    r = RunCarconv("pack " + Q(dir.File("in")) + " " + Q(dir.File("q.viv")) + " empty a.txt");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = RunCarconv("list " + Q(dir.File("q.viv")));
    EXPECT_EQ(r.out, "        44          0 empty -\n        44          7 a.txt -\n");
    r = RunCarconv("pack " + Q(dir.File("in")) + " " + Q(dir.File("r.viv")) + " ../secret");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(test::Exists(dir.File("r.viv")));
}

TEST(CommandLine, ConvertWritesTheFullPackageAndCleansUp) {
    CARCONV_SKIP_ON_WINDOWS("runs the tool through a POSIX shell");
    ScratchDir dir;
    std::string env = InstalledUser(dir);
    test::WriteArchive(dir.File("in.viv"), test::Version3Members(true));
    auto before = test::LeftoverWorkingDirectories();
    auto r = RunCarconv("convert " + Q(dir.File("in.viv")) + " " + Q(dir.File("out.viv")), "", env);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    auto members = test::ReadArchive(dir.File("out.viv"));
    std::vector<std::string> names;
    for (const auto& m : members)
        names.push_back(m.first);
    EXPECT_EQ(names, (std::vector<std::string>{
                         "carp.txt",   "carp1.txt",   "carp2.txt",  "carp3.txt",  "car.fce",
                         "car1.fce",   "car2.fce",    "car3.fce",   "car00.tga",  "car100.tga",
                         "car200.tga", "car300.tga",  "dash.fsh",   "dash.fce",   "dash00.tga",
                         "fedata.fsh", "fedata.eng",  "fedata.bri", "fedata.ger", "fedata.fre",
                         "fedata.ita", "fedata.spa",  "fedata.swe", "careng.ctb", "careng.ltb",
                         "careng.bnk", "ocareng.bnk", "scareng.bnk"}));
    // Copies are byte-identical to their first.
    for (std::size_t first : {0u, 4u, 8u}) {
        for (std::size_t k = 1; k < 4; ++k)
            EXPECT_EQ(members[first + k].second, members[first].second);
    }
    std::string carp(members[0].second.begin(), members[0].second.end());
    EXPECT_NE(carp.find("understeer gradient(80)\r\n1.000000\r\n"), std::string::npos);
    EXPECT_NE(carp.find("Serial Number(0)\r\nv0\r\n"), std::string::npos);
    EXPECT_EQ(members[4].second.size(), 8248u);
    EXPECT_EQ(test::GetCString(members[4].second, 3624, 64), ":HB");
    EXPECT_EQ(test::GetCString(members[4].second, 3624 + 12 * 64, 64), "spoiler");
    // The skin's three rows of 8 bytes, reversed.
    test::Bytes skin = members[8].second;
    ASSERT_EQ(skin.size(), 18u + 24);
    EXPECT_EQ(skin[18], 16);
    EXPECT_EQ(skin[18 + 16], 0);
    // Template files as they were, the front-end pictures as they lay in the input.
    auto templates = test::TemplateMembers();
    EXPECT_EQ(members[12].second, templates[0].second);
    EXPECT_EQ(members[13].second, templates[1].second);
    EXPECT_EQ(members[14].second, templates[2].second);
    EXPECT_EQ(members[15].second, test::Fsh());
    for (std::size_t k = 3; k < 8; ++k)
        EXPECT_EQ(members[20 + k].second, templates[k].second);
    // Front-end data: version 4, string 16 of version 3 stays, string 17 moves to 18.
    test::Bytes eng = members[16].second;
    EXPECT_EQ(eng[0], 4);
    EXPECT_EQ(test::GetCString(eng, test::GetU32le(eng, 960 + 4 * 16), 256), "eng16");
    EXPECT_EQ(test::GetCString(eng, test::GetU32le(eng, 960 + 4 * 17), 256), "");
    EXPECT_EQ(test::GetCString(eng, test::GetU32le(eng, 960 + 4 * 18), 256), "eng17");
    EXPECT_EQ(test::LeftoverWorkingDirectories(), before);

    // Without front-end pictures: the 27 members.
    test::WriteArchive(dir.File("in.viv"), test::Version3Members(false));
    r = RunCarconv("convert " + Q(dir.File("in.viv")) + " " + Q(dir.File("out.viv")), "", env);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(test::ReadArchive(dir.File("out.viv")).size(), 27u);
    EXPECT_EQ(test::LeftoverWorkingDirectories(), before);
}

TEST(CommandLine, FailuresPrintOneErrorLineAndLeaveNothingBehind) {
    CARCONV_SKIP_ON_WINDOWS("runs the tool through a POSIX shell");
    ScratchDir dir;
    std::string env = InstalledUser(dir);
    std::filesystem::create_directory(dir.File("work"));
    WriteFile(dir.File("work/out.viv"), std::string("existing"));
    auto before = test::LeftoverWorkingDirectories();
    auto r = RunCarconv(
        "convert " + Q(dir.File("work/missing.viv")) + " " + Q(dir.File("work/out.viv")), "", env);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "carconv: error: " + dir.File("work/missing.viv") +
                         ": cannot open for reading: No such file or directory\n");
    EXPECT_EQ(ReadFile(dir.File("work/out.viv")).size(), 8u);

    WriteFile(dir.File("work/bad.viv"), std::string("BIGF\0\0\0\0\0\0\0\x05\0\0\0\0", 16));
    r = RunCarconv("convert " + Q(dir.File("work/bad.viv")) + " " + Q(dir.File("work/out.viv")), "",
                   env);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("member count 5 is more than the file can hold"), std::string::npos);
    EXPECT_EQ(ReadFile(dir.File("work/out.viv")).size(), 8u);

    // A package without its mesh: the stage that needs it names it.
    auto members = test::Version3Members(false);
    members.erase(members.begin() + 8);  // car.fce
    test::WriteArchive(dir.File("work/nomesh.viv"), members);
    r = RunCarconv("convert " + Q(dir.File("work/nomesh.viv")) + " " + Q(dir.File("work/out.viv")),
                   "", env);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "carconv: error: " + dir.File("work/nomesh.viv") + " has no member car.fce\n");
    EXPECT_EQ(ReadFile(dir.File("work/out.viv")).size(), 8u);

    r = RunCarconv(
        "convert " + Q(dir.File("work/bad.viv")) + " " + Q(dir.File("no/such/dir/out.viv")), "",
        env);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(test::LeftoverWorkingDirectories(), before);
    EXPECT_EQ(test::ListNames(dir.File("work")),
              (std::vector<std::string>{"bad.viv", "nomesh.viv", "out.viv"}));
}

TEST(CommandLine, MalformedMembersWarnAndFailOnlyWhenAStageReadsThem) {
    CARCONV_SKIP_ON_WINDOWS("runs the tool through a POSIX shell");
    ScratchDir dir;
    std::string env = InstalledUser(dir);
    auto before = test::LeftoverWorkingDirectories();
    // An extra texture of image type 5, which no stage reads: a warning, and the package converts.
    auto members = test::Version3Members(false);
    members.push_back({"extra.tga", test::Builder().u8(0).u8(0).u8(5).zeros(15).bytes()});
    test::WriteArchive(dir.File("extra.viv"), members);
    auto r =
        RunCarconv("convert " + Q(dir.File("extra.viv")) + " " + Q(dir.File("out.viv")), "", env);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(
        r.err.rfind("carconv: warning: extra.tga: kept unread, it is not a valid TGA file: ", 0),
        0u)
        << r.err;
    EXPECT_NE(r.err.find("\ncarconv: warning: extra.viv: not carried into the version-4 package: "
                         "extra.tga\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2);
    EXPECT_EQ(test::ReadArchive(dir.File("out.viv")).size(), 27u);

    // A mesh too short for either layout, marked as version 4: the mesh stage stops the run.
    members = test::Version3Members(false);
    Bytes shortMesh(4000, 0);
    shortMesh[3624] = ':';
    for (auto& m : members) {
        if (m.first == "car.fce")
            m.second = shortMesh;
    }
    test::WriteArchive(dir.File("bad.viv"), members);
    r = RunCarconv("convert " + Q(dir.File("bad.viv")) + " " + Q(dir.File("bad-out.viv")), "", env);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("carconv: warning: car.fce: kept unread, it is not a valid FCE4 file"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("carconv: error: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("car.fce: file of 4000 bytes is shorter than"), std::string::npos)
        << r.err;
    EXPECT_FALSE(test::Exists(dir.File("bad-out.viv")));
    EXPECT_EQ(test::LeftoverWorkingDirectories(), before);
}

TEST(CommandLine, UsageHelpAndVersion) {
    CARCONV_SKIP_ON_WINDOWS("runs the tool through a POSIX shell");
    auto r = RunCarconv("frobnicate");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("carconv: usage error:"), std::string::npos);
    EXPECT_EQ(RunCarconv("convert onlyone.viv").exitCode, 2);
    r = RunCarconv("--help");
    EXPECT_EQ(r.exitCode, 0);
    for (const char* command : {"convert", "list", "info", "unpack", "pack"}) {
        EXPECT_NE(r.out.find(command), std::string::npos) << command;
    }
    r = RunCarconv("list --help");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("--json"), std::string::npos);
    r = RunCarconv("--version");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out.rfind("carconv ", 0), 0u);
}

TEST(CommandLine, DialogRunReadsTheTwoAnswersFromTheConsole) {
    CARCONV_SKIP_ON_WINDOWS("runs the tool through a POSIX shell");
    ScratchDir dir;
    std::string env = InstalledUser(dir);
    test::WriteArchive(dir.File("in.viv"), test::Version3Members(false));

    auto r = RunCarconv("", dir.File("in.viv") + "\n" + dir.File("out") + "\n", env);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err.find("Load V3 CAR File: "), 0u);
    EXPECT_NE(r.err.find("Save V4 CAR File: "), std::string::npos);
    EXPECT_TRUE(test::Exists(dir.File("out.viv")));  // default extension added

    for (const std::string& answers :
         {std::string(""), std::string("\n"), dir.File("in.viv") + "\n\n"}) {
        ScratchDir quiet;
        std::string quietEnv = InstalledUser(quiet);
        auto names = test::ListNames(quiet.Path());
        r = RunCarconv("", answers, quietEnv);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.err.find("error"), std::string::npos);
        EXPECT_EQ(test::ListNames(quiet.Path()), names);
    }
}

}  // namespace
}  // namespace carconv

namespace carconv {
namespace {

// A user on a first start: no settings, no templates, the game somewhere under HOME.
std::string FreshUser(const ScratchDir& dir) {
    return "HOME=" + Q(dir.File("home")) + " XDG_CONFIG_HOME=" + Q(dir.File("config")) +
           " XDG_DATA_HOME=" + Q(dir.File("data")) +
           " CARCONV_TEMPLATES= WINEPREFIX=" + Q(dir.File("nowine"));
}

TEST(CommandLine, InstallTemplatesFromASearchOrAPackage) {
    CARCONV_SKIP_ON_WINDOWS("runs the tool through a POSIX shell");
    ScratchDir dir;
    std::string env = FreshUser(dir);
    std::filesystem::create_directories(dir.File("home"));
    auto r = RunCarconv("install-templates --search " + Q(dir.File("home")), "", env);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("carconv: error: no stock car package"), std::string::npos) << r.err;
    EXPECT_FALSE(test::Exists(dir.File("config")));

    std::filesystem::create_directories(dir.File("home/Game/Data/Cars/FM50"));
    test::WriteArchive(dir.File("home/Game/Data/Cars/FM50/CAR.VIV"), test::TemplateMembers());
    r = RunCarconv("install-templates --search " + Q(dir.File("home")), "", env);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("found " + dir.File("home/Game/Data/Cars/FM50/CAR.VIV")),
              std::string::npos);
    EXPECT_EQ(ReadFile(dir.File("data/carconv/scareng.bnk")), test::TemplateMembers()[7].second);
    EXPECT_EQ(ReadFile(dir.File("config/Quillmark/carconv.ini")),
              (Bytes{'[', 'S', 'e', 't', 't', 'i', 'n', 'g', 's', ']', '\n', 'I',
                     'n', 's', 't', 'a', 'l', 'l', 'e', 'd', '=', '1', '\n'}));

    // From a named package into a named directory; a package that is not a stock car fails.
    r = RunCarconv("install-templates --from " + Q(dir.File("home/Game/Data/Cars/FM50/CAR.VIV")) +
                       " --templates " + Q(dir.File("t")),
                   "", env);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(test::ListNames(dir.File("t")).size(), 8u);
    test::WriteArchive(dir.File("notstock.viv"), test::Version3Members(false));
    r = RunCarconv("install-templates --from " + Q(dir.File("notstock.viv")) + " --templates " +
                       Q(dir.File("t2")),
                   "", env);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("holds no \"dash.fsh\""), std::string::npos) << r.err;
}

TEST(CommandLine, DialogRunOnAFirstStartInstallsThenConverts) {
    CARCONV_SKIP_ON_WINDOWS("runs the tool through a POSIX shell");
    ScratchDir dir;
    std::string env = FreshUser(dir);
    std::filesystem::create_directories(dir.File("home/games/data/cars/fm50"));
    test::WriteArchive(dir.File("home/games/data/cars/fm50/car.viv"), test::TemplateMembers());
    test::WriteArchive(dir.File("in.viv"), test::Version3Members(false));
    auto r = RunCarconv("", dir.File("in.viv") + "\n" + dir.File("out.viv") + "\n", env);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(test::ListNames(dir.File("data/carconv")).size(), 8u);
    EXPECT_EQ(test::ReadArchive(dir.File("out.viv")).size(), 27u);
    EXPECT_EQ(test::ListNames(dir.File("home/games/data/cars/fm50")),
              std::vector<std::string>{"car.viv"});

    // No game anywhere: the run ends before any question, with a message saying what to do.
    ScratchDir none;
    std::filesystem::create_directories(none.File("home"));
    r = RunCarconv("", "x\ny\n", FreshUser(none));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.find("Load V3 CAR File"), std::string::npos);
    EXPECT_NE(r.err.find("install-templates --from"), std::string::npos) << r.err;
}

TEST(CommandLine, NamedTemplatesAreUsedAsTheyAreOnAFreshMachine) {
    CARCONV_SKIP_ON_WINDOWS("runs the tool through a POSIX shell");
    ScratchDir dir;
    const std::string env = FreshUser(dir);
    std::filesystem::create_directories(dir.File("home"));
    std::filesystem::create_directories(dir.File("mine"));
    test::WriteTemplates(dir.File("mine"));
    test::WriteArchive(dir.File("in.viv"), test::Version3Members(false));

    // No game anywhere, no settings: the named directory is all a conversion needs.
    auto r = RunCarconv("convert " + Q(dir.File("in.viv")) + " " + Q(dir.File("a.viv")) +
                            " --templates " + Q(dir.File("mine")),
                        "", env);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(test::ReadArchive(dir.File("a.viv")).size(), 27u);
    const std::string named = env + " CARCONV_TEMPLATES=" + Q(dir.File("mine"));
    r = RunCarconv("convert " + Q(dir.File("in.viv")) + " " + Q(dir.File("b.viv")), "", named);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(dir.File("b.viv")), ReadFile(dir.File("a.viv")));
    r = RunCarconv("", dir.File("in.viv") + "\n" + dir.File("c.viv") + "\n", named);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(dir.File("c.viv")), ReadFile(dir.File("a.viv")));
    // Nothing was searched for, installed or recorded.
    EXPECT_EQ(r.err.find("search"), std::string::npos) << r.err;
    EXPECT_FALSE(test::Exists(dir.File("config")));
    EXPECT_FALSE(test::Exists(dir.File("data")));

    // A named directory that lacks a file is installed into as before: here nothing is found.
    std::filesystem::remove(dir.File("mine/careng.ltb"));
    r = RunCarconv("convert " + Q(dir.File("in.viv")) + " " + Q(dir.File("d.viv")), "", named);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("no stock car package found"), std::string::npos) << r.err;
}

TEST(CommandLine, UnpackWritesMemberNamesAsLongAsTheFormatAllows) {
    CARCONV_SKIP_ON_WINDOWS("runs the tool through a POSIX shell");
    ScratchDir dir;
    auto members = test::Version3Members(false);
    const std::string longMember = std::string(251, 'm') + ".bin";  // 255 bytes
    members.push_back({longMember, Bytes{1, 2, 3}});
    test::WriteArchive(dir.File("in.viv"), members);

    auto r = RunCarconv("unpack " + Q(dir.File("in.viv")) + " " + Q(dir.File("unpacked")));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(dir.File("unpacked/" + longMember)), (Bytes{1, 2, 3}));
    EXPECT_EQ(test::ListNames(dir.File("unpacked")).size(), members.size());
}

TEST(CommandLine, SettingsAreKeptUnderTheProgramNameWithoutExeInAnyCase) {
    CARCONV_SKIP_ON_WINDOWS("points the settings at a scratch folder through the environment");
#ifndef _WIN32
    ScratchDir dir;
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old != nullptr ? old : "";
    setenv("XDG_CONFIG_HOME", dir.File("config").c_str(), 1);
    test::WriteArchive(dir.File("stock.viv"), test::TemplateMembers());
    std::vector<std::string> args = {"/games/CarConv.EXE",  "install-templates", "--from",
                                     dir.File("stock.viv"), "--templates",       dir.File("t")};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    const int status = RunCommandLine(static_cast<int>(argv.size()), argv.data());
    if (old != nullptr)
        setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(test::ListNames(dir.File("config/Quillmark")),
              std::vector<std::string>{"CarConv.ini"});
#endif
}

TEST(CommandLine, ADamagedSettingsFileDoesNotStopARun) {
    CARCONV_SKIP_ON_WINDOWS("runs the tool through a POSIX shell");
    ScratchDir dir;
    const std::string env = InstalledUser(dir);
    const std::string ini = dir.File("config/Quillmark/carconv.ini");
    WriteFile(ini, std::string("[Settings]\nInstalled=1\n<<<<<<< merged by hand\n"));
    test::WriteArchive(dir.File("in.viv"), test::Version3Members(false));
    auto r = RunCarconv("convert " + Q(dir.File("in.viv")) + " " + Q(dir.File("out.viv")), "", env);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "carconv: warning: " + ini +
                         ": line 3 is malformed; what cannot be read counts as absent, and the "
                         "file is written anew when carconv next stores a setting\n");
    EXPECT_EQ(test::ReadArchive(dir.File("out.viv")).size(), 27u);

    // Storing the marker writes the file cleanly.
    test::WriteArchive(dir.File("stock.viv"), test::TemplateMembers());
    r = RunCarconv("install-templates --from " + Q(dir.File("stock.viv")), "", env);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(ReadFile(ini), (Bytes{'[', 'S', 'e', 't', 't', 'i', 'n', 'g', 's', ']', '\n', 'I',
                                    'n', 's', 't', 'a', 'l', 'l', 'e', 'd', '=', '1', '\n'}));
}

#ifndef _WIN32
TEST(CommandLine, AnOutputThatIsAPipeIsWrittenIntoNeverReplaced) {
    ScratchDir dir;
    const std::string env = InstalledUser(dir);
    test::WriteArchive(dir.File("in.viv"), test::Version3Members(false));
    ASSERT_EQ(mkfifo(dir.File("pipe.viv").c_str(), 0600), 0);
    // The reader is there before carconv starts, and reads until carconv has ended.
    const int reader = open(dir.File("pipe.viv").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    ScratchDir io;
    test::CarconvProcess run(env, io,
                             "convert " + Q(dir.File("in.viv")) + " " + Q(dir.File("pipe.viv")));
    Bytes received;
    for (;;) {
        std::uint8_t buffer[65536];
        const ssize_t got = read(reader, buffer, sizeof buffer);
        if (got > 0) {
            received.insert(received.end(), buffer, buffer + got);
        } else if (run.Wait(0)) {
            if (got == 0)
                break;
        } else {
            usleep(2000);
        }
    }
    close(reader);
    EXPECT_EQ(run.Wait(60), std::optional<int>(0)) << run.Err();
    EXPECT_TRUE(std::filesystem::is_fifo(std::filesystem::symlink_status(dir.File("pipe.viv"))));
    WriteFile(dir.File("received.viv"), received);
    EXPECT_EQ(test::ReadArchive(dir.File("received.viv")).size(), 27u);
}

TEST(CommandLine, ErrorsSayWhatHappenedAndDoomedRunsFailAtOnce) {
    ScratchDir dir;
    // A first start: a search of the home folder would find nothing.
    const std::string fresh = FreshUser(dir);
    std::filesystem::create_directories(dir.File("home"));
    test::WriteArchive(dir.File("in.viv"), test::Version3Members(false));
    const std::string in = Q(dir.File("in.viv"));
    struct Case {
        std::string arguments;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"convert " + Q(dir.File("missing.viv")) + " " + Q(dir.File("out.viv")),
         dir.File("missing.viv") + ": cannot open for reading: No such file or directory"},
        {"convert " + in + " " + Q(dir.File("none/out.viv")),
         dir.File("none/out.viv") + ": cannot write there: " + dir.File("none") +
             " does not exist"},
        {"convert " + in + " " + Q(dir.Path()), dir.Path() + ": is a directory"},
        {"convert " + in + " " + in, dir.File("in.viv") + ": is the input package " +
                                         dir.File("in.viv") +
                                         " itself (the same file); the conversion cannot be "
                                         "undone and would replace the version-3 original: "
                                         "choose another output"},
        // Control characters in a path reach the terminal escaped.
        {"convert " + Q(dir.File("in\x1b[2J.viv")) + " " + Q(dir.File("out.viv")),
         dir.File("in\\x1b[2J.viv") + ": cannot open for reading: No such file or directory"},
    };
    for (const Case& c : cases) {
        auto r = RunCarconv(c.arguments, "", fresh);
        EXPECT_EQ(r.exitCode, 1) << c.arguments;
        EXPECT_EQ(r.err, "carconv: error: " + c.error + "\n") << c.arguments;
    }
    EXPECT_EQ(test::ListNames(dir.Path()), (std::vector<std::string>{"home", "in.viv"}));

    // A temporary directory that is not there is named.
    auto r = RunCarconv("list " + in, "", "TMPDIR=" + Q(dir.File("gone")));
    EXPECT_EQ(
        r.err.rfind(
            "carconv: error: " + dir.File("gone") + ": cannot use as the temporary directory: ", 0),
        0u)
        << r.err;

    // Installed templates of which one has gone: the message names it and the directory.
    const std::string installed = InstalledUser(dir);
    std::filesystem::remove(dir.File("data/carconv/careng.bnk"));
    r = RunCarconv("convert " + in + " " + Q(dir.File("out.viv")), "", installed);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.rfind("carconv: error: the templates directory " + dir.File("data/carconv/") +
                              " lacks careng.bnk; no stock car package found",
                          0),
              0u)
        << r.err;

    // A copy that fails gives the system's reason: a file size limit stops the package, into
    // which the templates are copied straight from the templates directory; the message names
    // the one being copied.
    test::WriteTemplates(dir.File("data/carconv"));
    WriteFile(dir.File("data/carconv/careng.bnk"), Bytes(300000, 1));
    r = RunCarconv("convert " + in + " " + Q(dir.File("out.viv")), "",
                   "trap '' XFSZ; ulimit -f 100; " + installed);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.rfind("carconv: error: " + dir.File("data/carconv/"), 0), 0u) << r.err;
    EXPECT_NE(r.err.find(": cannot copy to " + dir.File("out.viv") + ": File too large\n"),
              std::string::npos)
        << r.err;
    EXPECT_FALSE(test::Exists(dir.File("out.viv")));
}
#endif

}  // namespace
}  // namespace carconv
