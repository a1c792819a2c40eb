// The carconv executable, run as a user runs it.

#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "support/test_util.h"

namespace carconv {
namespace {

using test::Bytes;
using test::ReadFile;
using test::RunCarconv;
using test::ScratchDir;
using test::WriteFile;

std::string Q(const std::string& s) { return "'" + s + "'"; }

TEST(CommandLine, PackListUnpackRoundTripArbitraryFiles) {
    ScratchDir dir;
    std::filesystem::create_directory(dir.File("in"));
    Bytes binary;
    for (int i = 0; i < 3000; ++i) binary.push_back(static_cast<std::uint8_t>(i * 7));
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
    EXPECT_EQ(r.out, "        58          7 a.txt\n        65       3000 b.bin\n      3065          0 empty\n");

    r = RunCarconv("list --json " + Q(dir.File("p.viv")));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto json = nlohmann::json::parse(r.out);
    ASSERT_EQ(json.size(), 3u);
    EXPECT_EQ(json[1]["name"], "b.bin");
    EXPECT_EQ(json[1]["offset"], 65);
    EXPECT_EQ(json[1]["size"], 3000);

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
    EXPECT_EQ(r.out, "        44          0 empty\n        44          7 a.txt\n");
    r = RunCarconv("pack " + Q(dir.File("in")) + " " + Q(dir.File("r.viv")) + " ../secret");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(test::Exists(dir.File("r.viv")));
}

TEST(CommandLine, ConvertWritesAWellFormedArchiveAndCleansUp) {
    ScratchDir dir;
    WriteFile(dir.File("in.viv"), test::Builder().str("BIGF").u32be(16).u32be(0).u32be(16).bytes());
    auto before = test::LeftoverWorkingDirectories();
    auto r = RunCarconv("convert " + Q(dir.File("in.viv")) + " " + Q(dir.File("out.viv")));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    Bytes out = ReadFile(dir.File("out.viv"));
    ASSERT_GE(out.size(), 16u);
    EXPECT_EQ(std::string(out.begin(), out.begin() + 4), "BIGF");
    EXPECT_EQ(test::GetU32be(out, 4), out.size());
    EXPECT_EQ(test::LeftoverWorkingDirectories(), before);

    // Input and output may be the same file.
    r = RunCarconv("convert " + Q(dir.File("out.viv")) + " " + Q(dir.File("out.viv")));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(test::ListNames(dir.Path()), (std::vector<std::string>{"in.viv", "out.viv"}));
}

TEST(CommandLine, FailuresPrintOneErrorLineAndLeaveNothingBehind) {
    ScratchDir dir;
    WriteFile(dir.File("out.viv"), std::string("existing"));
    auto before = test::LeftoverWorkingDirectories();
    auto r = RunCarconv("convert " + Q(dir.File("missing.viv")) + " " + Q(dir.File("out.viv")));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "carconv: error: " + dir.File("missing.viv") +
                         ": cannot open for reading: No such file or directory\n");
    EXPECT_EQ(ReadFile(dir.File("out.viv")).size(), 8u);

    WriteFile(dir.File("bad.viv"), std::string("BIGF\0\0\0\0\0\0\0\x05\0\0\0\0", 16));
    r = RunCarconv("convert " + Q(dir.File("bad.viv")) + " " + Q(dir.File("out.viv")));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("member count 5 is more than the file can hold"), std::string::npos);
    EXPECT_EQ(ReadFile(dir.File("out.viv")).size(), 8u);

    r = RunCarconv("convert " + Q(dir.File("bad.viv")) + " " + Q(dir.File("no/such/dir/out.viv")));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(test::LeftoverWorkingDirectories(), before);
    EXPECT_EQ(test::ListNames(dir.Path()), (std::vector<std::string>{"bad.viv", "out.viv"}));
}

TEST(CommandLine, UsageHelpAndVersion) {
    auto r = RunCarconv("frobnicate");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("carconv: usage error:"), std::string::npos);
    EXPECT_EQ(RunCarconv("convert onlyone.viv").exitCode, 2);
    r = RunCarconv("--help");
    EXPECT_EQ(r.exitCode, 0);
    for (const char* command : {"convert", "list", "unpack", "pack"}) {
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
    ScratchDir dir;
    std::string env = "XDG_CONFIG_HOME=" + Q(dir.File("config")) + " HOME=" + Q(dir.Path());
    WriteFile(dir.File("in.viv"), test::Builder().str("BIGF").u32be(16).u32be(0).u32be(16).bytes());

    auto r = RunCarconv("", dir.File("in.viv") + "\n" + dir.File("out") + "\n", env);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err.find("Load V3 CAR File: "), 0u);
    EXPECT_NE(r.err.find("Save V4 CAR File: "), std::string::npos);
    EXPECT_TRUE(test::Exists(dir.File("out.viv")));  // default extension added

    for (const std::string& answers : {std::string(""), std::string("\n"), dir.File("in.viv") + "\n\n"}) {
        ScratchDir quiet;
        std::string quietEnv = "XDG_CONFIG_HOME=" + Q(quiet.File("config")) + " HOME=" + Q(quiet.Path());
        r = RunCarconv("", answers, quietEnv);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.err.find("error"), std::string::npos);
        EXPECT_TRUE(test::ListNames(quiet.Path()).empty());
    }
}

}  // namespace
}  // namespace carconv
