// The dialog-driven run without a display: its questions on the terminal, and the signals a run
// started from a terminal meets.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#ifndef _WIN32
#include <signal.h>
#endif

#include "support/packages.h"
#include "support/test_util.h"

namespace carconv {
namespace {

using test::Q;
using test::ScratchDir;

#ifndef _WIN32

// One terminal session: what is typed, and which file ends up holding the converted package.
struct TerminalCase {
    const char* name;
    bool handed;  // `carconv in.viv` rather than plain `carconv`
    // The lines typed; "@" stands for the scratch folder.
    const char* answers;
    const char* converted;  // file that must hold the version-4 package; "" for none
    const char* prompt;     // what the questions on stderr must include ("@" as above)
};

std::string InScratch(const ScratchDir& dir, const std::string& text) {
    std::string out;
    for (char c : text)
        out += c == '@' ? dir.Path() : std::string(1, c);
    return out;
}

class TerminalQuestions : public testing::TestWithParam<TerminalCase> {};

TEST_P(TerminalQuestions, AskBeforeReplacingAndCompleteNamesAsTheDialogsDo) {
    const TerminalCase& c = GetParam();
    ScratchDir dir;
    const std::string env = test::InstalledUser(dir);
    test::WriteArchive(dir.File("in.viv"), test::Version3Members(false));
    test::WriteFile(dir.File("out.viv"), std::string("keep me"));

    const test::RunResult r = test::RunCarconv(c.handed ? Q(dir.File("in.viv")) : std::string(),
                                               InScratch(dir, c.answers), env);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err.find("error"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(InScratch(dir, c.prompt)), std::string::npos) << r.err;
    const std::string converted = c.converted;
    if (converted != "out.viv") {
        EXPECT_EQ(test::ReadFile(dir.File("out.viv")),
                  test::Bytes({'k', 'e', 'e', 'p', ' ', 'm', 'e'}));
    }
    std::vector<std::string> expected = {"config", "data", "in.viv", "out.viv"};
    if (!converted.empty()) {
        EXPECT_EQ(test::ReadArchive(dir.File(converted)).size(), 27u);
        if (converted != "out.viv")
            expected.push_back(converted);
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(test::ListNames(dir.Path()), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TerminalQuestions,
    testing::Values(
        TerminalCase{"EndOfInputKeepsTheFile", false, "@/in.viv\n@/out\n", "",
                     "Save V4 CAR File: @/out.viv already exists; replace it? [y/N] \n"},
        TerminalCase{"EmptyAnswerKeepsTheFile", false, "@/in.viv\n@/out.viv\n\n", "",
                     "replace it? [y/N] "},
        TerminalCase{"NoKeepsTheFile", false, "@/in.viv\n@/out.viv\nn\n", "", "replace it?"},
        TerminalCase{"YesReplacesTheFile", false, "@/in.viv\n@/out.viv\ny\n", "out.viv",
                     "replace it?"},
        TerminalCase{"OpenCompletesTheExtension", false, "@/in\n@/new\n", "new.viv",
                     "Load V3 CAR File: Save V4 CAR File: "},
        TerminalCase{"EmptySaveAnswerTakesTheProposedName", true, "\n", "in-v4.viv",
                     "Save V4 CAR File [@/in-v4.viv]: "}),
    [](const testing::TestParamInfo<TerminalCase>& info) { return info.param.name; });

TEST(TerminalRun, ASignalIgnoredAtStartStaysIgnored) {
    ScratchDir dir;
    const std::string env = test::InstalledUser(dir) + " DISPLAY= WAYLAND_DISPLAY=";
    struct Started {
        int signal;
        const char* name;
        std::unique_ptr<ScratchDir> io;
        std::unique_ptr<test::CarconvProcess> run;
    };
    std::vector<Started> runs;
    for (auto [signal, name] : {std::pair{SIGHUP, "HUP"}, {SIGINT, "INT"}, {SIGTERM, "TERM"}}) {
        // As nohup, or a shell starting a job in the background, leaves the signal to carconv.
        const std::string ignoring =
            env + " sh -c 'trap \"\" " + name + "; exec \"$0\" \"$@\"'";
        auto io = std::make_unique<ScratchDir>();
        auto run = std::make_unique<test::CarconvProcess>(ignoring, *io, "", "", true);
        runs.push_back({signal, name, std::move(io), std::move(run)});
    }
    for (Started& s : runs) {
        ASSERT_TRUE(s.run->WaitUntil(
            [&s]() { return s.run->Err() == "Load V3 CAR File: "; }, 60))
            << s.name << ": " << s.run->Err();
        kill(s.run->Pid(), s.signal);
    }
    // Longer than the grace period an interruption gives the run before it ends the process.
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    for (Started& s : runs) {
        EXPECT_EQ(s.run->Wait(0), std::nullopt) << s.name;
        s.run->CloseInput();
        EXPECT_EQ(s.run->Wait(60), std::optional<int>(0)) << s.name;
        EXPECT_EQ(s.run->Err(), "Load V3 CAR File: \n") << s.name;
    }
}

#endif

}  // namespace
}  // namespace carconv
