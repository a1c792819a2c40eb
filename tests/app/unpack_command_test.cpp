// An unpack that fails part of the way leaves nothing of its own behind: no new directory, no
// member file, and an existing target directory as it was.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#endif

#include "app/package_commands.h"
#include "files/errors.h"
#include "support/packages.h"
#include "support/test_util.h"

namespace carconv {
namespace {

using test::Bytes;
using test::ScratchDir;

#ifndef _WIN32

// Runs `unpack` with files limited to `limit` bytes, so that a write beyond it fails (EFBIG).
void UnpackWithFileLimit(const std::string& archive, const std::string& directory,
                         rlim_t limit) {
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    rlimit small = previous;
    small.rlim_cur = limit;
    auto* handler = signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    try {
        UnpackArchive(archive, directory);
        ADD_FAILURE() << "the unpack went through";
    } catch (const IoError& e) {
        EXPECT_NE(std::string(e.what()).find("big.bin"), std::string::npos) << e.what();
    }
    setrlimit(RLIMIT_FSIZE, &previous);
    signal(SIGXFSZ, handler);
}

TEST(UnpackCommand, FailureLeavesNoNewDirectoryAndTheOldOneAsItWas) {
    ScratchDir dir;
    // Two small members that fit, then one too large for the limit.
    test::WriteArchive(dir.File("in.viv"), {{"a.bin", Bytes(100, 1)},
                                            {"keep.txt", Bytes(100, 2)},
                                            {"big.bin", Bytes(64 * 1024, 3)}});

    UnpackWithFileLimit(dir.File("in.viv"), dir.File("fresh"), 32 * 1024);
    EXPECT_EQ(test::ListNames(dir.Path()), (std::vector<std::string>{"in.viv"}));

    std::filesystem::create_directory(test::Native(dir.File("old")));
    test::WriteFile(dir.File("old/a.bin"), std::string("old a"));
    test::WriteFile(dir.File("old/mine.txt"), std::string("mine"));
    UnpackWithFileLimit(dir.File("in.viv"), dir.File("old"), 32 * 1024);
    EXPECT_EQ(test::ListNames(dir.File("old")), (std::vector<std::string>{"a.bin", "mine.txt"}));
    EXPECT_EQ(test::ReadFile(dir.File("old/a.bin")), (Bytes{'o', 'l', 'd', ' ', 'a'}));
    EXPECT_EQ(test::ListNames(dir.Path()), (std::vector<std::string>{"in.viv", "old"}));

    // Without the limit, every member arrives; what else the directory held stays.
    UnpackArchive(dir.File("in.viv"), dir.File("old"));
    EXPECT_EQ(test::ListNames(dir.File("old")),
              (std::vector<std::string>{"a.bin", "big.bin", "keep.txt", "mine.txt"}));
    EXPECT_EQ(test::ReadFile(dir.File("old/a.bin")), Bytes(100, 1));
    EXPECT_EQ(test::ListNames(dir.Path()), (std::vector<std::string>{"in.viv", "old"}));
}

TEST(UnpackCommand, WhatAKilledUnpackLeftIsRemovedByTheNextBesideIt) {
    ScratchDir dir;
    ScratchDir io;
    // Enough members that the unpack is still at work when it is killed.
    std::vector<std::pair<std::string, Bytes>> members;
    for (int i = 0; i < 3000; ++i)
        members.emplace_back("m" + std::to_string(i), Bytes(4096, 1));
    test::WriteArchive(dir.File("in.viv"), members);
    test::WriteArchive(dir.File("small.viv"), {{"a.bin", Bytes{2}}});
    auto leftovers = [&dir]() {
        std::vector<std::string> found;
        for (const std::string& name : test::ListNames(dir.Path())) {
            if (name.find(".carconv-unpack-") != std::string::npos)
                found.push_back(name);
        }
        return found;
    };
    test::CarconvProcess run("", io,
                             "unpack " + test::Q(dir.File("in.viv")) + " " + test::Q(dir.File("out")));
    // The directory the members go into first (its mark is "." + its name + ".owner").
    auto staging = [&dir]() {
        for (const std::string& name : test::ListNames(dir.Path())) {
            if (name.rfind(".carconv-unpack-", 0) == 0)
                return dir.File(name);
        }
        return std::string();
    };
    ASSERT_TRUE(run.WaitUntil(
        [&]() { return !staging().empty() && test::ListNames(staging()).size() > 10; }, 60))
        << run.Err();
    kill(run.Pid(), SIGKILL);
    run.Wait(60);
    // Killed outright: its staging directory and the mark beside it stay.
    ASSERT_EQ(leftovers().size(), 2u);

    UnpackArchive(dir.File("small.viv"), dir.File("other"));
    EXPECT_EQ(test::ListNames(dir.Path()),
              (std::vector<std::string>{"in.viv", "other", "small.viv"}));
}

#endif

// Each member goes straight to its name in the staging directory; a name the archive gives again
// is there already, and the later member replaces the earlier one, as before.
TEST(UnpackCommand, EveryNameOnceWithTheLaterOfTwinsAndNothingElse) {
    struct Case {
        std::vector<std::pair<std::string, Bytes>> members;
        std::vector<std::string> names;
        Bytes twin;  // what "a.bin" holds afterwards
    };
    const std::vector<Case> cases = {
        {{{"a.bin", Bytes{1}}, {"b.bin", Bytes{}}}, {"a.bin", "b.bin"}, Bytes{1}},
        {{{"a.bin", Bytes{1}}, {"b.bin", Bytes{2}}, {"a.bin", Bytes{3, 3}}}, {"a.bin", "b.bin"},
         Bytes{3, 3}},
        {{{"a.bin", Bytes(5000, 4)}, {"a.bin", Bytes{}}}, {"a.bin"}, Bytes{}},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        ScratchDir dir;
        test::WriteArchive(dir.File("in.viv"), cases[i].members);
        UnpackArchive(dir.File("in.viv"), dir.File("out"));
        EXPECT_EQ(test::ListNames(dir.File("out")), cases[i].names);
        EXPECT_EQ(test::ReadFile(dir.File("out/a.bin")), cases[i].twin);
        EXPECT_EQ(test::ListNames(dir.Path()), (std::vector<std::string>{"in.viv", "out"}));
    }
}

}  // namespace
}  // namespace carconv
