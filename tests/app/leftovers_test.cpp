// What runs killed outright (SIGKILL, a power cut) leave behind is removed by the next run, and
// nothing else is: not what a run still at work uses, not what carconv did not create.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#ifndef _WIN32
#include <signal.h>
#include <sys/stat.h>
#endif

#include "files/working_directory.h"
#include "platform/file_system.h"
#include "support/packages.h"
#include "support/test_util.h"

namespace carconv {
namespace {

namespace fs = std::filesystem;
using test::ListNames;
using test::Q;
using test::ScratchDir;

#ifndef _WIN32

// The names in `dir` that begin with `prefix`.
std::vector<std::string> NamesStartingWith(const std::string& dir, const std::string& prefix) {
    std::vector<std::string> names;
    for (const std::string& name : ListNames(dir)) {
        if (name.rfind(prefix, 0) == 0)
            names.push_back(name);
    }
    return names;
}

TEST(Leftovers, WhatKilledRunsLeftIsSweptAndNothingElse) {
    ScratchDir dir;
    const std::string tmp = test::Utf8(fs::temp_directory_path());  // this process's own
    const std::string env = test::InstalledUser(dir) + " TMPDIR=" + Q(tmp);
    test::WriteArchive(dir.File("in.viv"), test::Version3Members(false));

    // A run killed while it waits to write into a pipe, its working directories made.
    ASSERT_EQ(mkfifo(dir.File("pipe.viv").c_str(), 0600), 0);
    {
        ScratchDir io;
        test::CarconvProcess killed(
            env, io, "convert " + Q(dir.File("in.viv")) + " " + Q(dir.File("pipe.viv")));
        ASSERT_TRUE(killed.WaitUntil(
            [&tmp]() { return test::LeftoverWorkingDirectories().size() >= 2; }, 60));
        kill(killed.Pid(), SIGKILL);
        killed.Wait(60);
    }
    ASSERT_GE(test::LeftoverWorkingDirectories().size(), 2u);

    // Runs killed while they wrote out.viv and other.viv: their temporary files stay beside them.
    ASSERT_TRUE(test::RunAndKill([&dir]() {
        AtomicFileWriter out(dir.File("out.viv"));
        out.Write(test::Bytes(10, 1));
        AtomicFileWriter other(dir.File("other.viv"));
        other.Write(test::Bytes(10, 2));
        raise(SIGKILL);
    }));
    const std::vector<std::string> stale = NamesStartingWith(dir.Path(), ".carconv-");
    ASSERT_EQ(stale.size(), 2u);

    // What must stay: a working directory and a temporary file of out.viv still in use, and
    // directories that only look like working directories (no mark; a mark that is a link).
    const WorkingDirectory live("live");
    AtomicFileWriter writing(dir.File("out.viv"));
    writing.Write(test::Bytes(10, 3));
    std::vector<std::string> liveTemporary = NamesStartingWith(dir.Path(), ".carconv-");
    for (const std::string& name : stale)
        liveTemporary.erase(std::find(liveTemporary.begin(), liveTemporary.end(), name));
    ASSERT_EQ(liveTemporary.size(), 1u);
    const std::string foreign = tmp + "/carconv-foreign-0123456789abcd0";
    fs::create_directory(foreign);
    fs::create_directory(tmp + "/carconv-linked-0123456789abcd0");
    test::WriteFile(dir.File("target"), std::string("not a mark"));
    fs::create_symlink(dir.File("target"), tmp + "/.carconv-linked-0123456789abcd0.owner");
    const auto kept = ListNames(tmp);

    auto r = test::RunCarconv("convert " + Q(dir.File("in.viv")) + " " + Q(dir.File("out.viv")), "",
                              env);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(test::ReadArchive(dir.File("out.viv")).size(), 27u);
    // Every working directory of the killed run went with its mark; the rest stayed.
    std::vector<std::string> left = ListNames(tmp);
    std::vector<std::string> expected;
    for (const std::string& name : kept) {
        if (name.find("carconv-in.viv-") == std::string::npos &&
            name.find("carconv-pipe.viv-") == std::string::npos &&
            name.find("carconv-dash.fsh-") == std::string::npos)
            expected.push_back(name);
    }
    EXPECT_EQ(left, expected);
    EXPECT_TRUE(test::Exists(live.Path()));
    EXPECT_TRUE(test::Exists(foreign));
    // In the output's folder the stale temporary files went, out.viv's and other.viv's alike;
    // the live one stayed.
    EXPECT_EQ(NamesStartingWith(dir.Path(), ".carconv-"), liveTemporary)
        << "stale: " << stale[0] << " " << stale[1];
    EXPECT_EQ(test::ReadFile(dir.File("target")).size(), 10u);
    fs::remove_all(foreign);
    fs::remove_all(tmp + "/carconv-linked-0123456789abcd0");
    fs::remove(tmp + "/.carconv-linked-0123456789abcd0.owner");
}

#endif

}  // namespace
}  // namespace carconv
