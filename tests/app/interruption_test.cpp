// Interruptions: a run that is asked to stop leaves nothing behind, whether it answers itself or
// the process cleans up for it; carconv processes signalled while they work, and the parts in
// process.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <signal.h>
#include <sys/stat.h>
#endif

#include "app/batch_convert.h"
#include "files/viv_archive.h"
#include "files/working_directory.h"
#include "platform/file_system.h"
#include "platform/interruption.h"
#include "platform/temporary_path.h"
#include "sample_formats.h"
#include "sample_large.h"
#include "support/packages.h"
#include "support/test_util.h"

namespace carconv {
namespace {

namespace fs = std::filesystem;
using test::ListNames;
using test::Q;
using test::ScratchDir;

TEST(Interruption, AStopRequestEndsALoadAndABatchKeepsWhatItWrote) {
    ScratchDir dir;
    test::WriteArchive(dir.File("in.viv"), test::Version3Members(true));
    const auto before = ListNames(test::Utf8(fs::temp_directory_path()));
    RequestStop(kTerminateSignal);
    RequestStop(kInterruptSignal);  // the first request is the one reported
    try {
        VivArchive(dir.File("in.viv")).Load();
        ADD_FAILURE() << "the load ran to its end";
    } catch (const InterruptedError& e) {
        EXPECT_EQ(e.ExitStatus(), 143);
    }
    ClearStopRequest();
    EXPECT_EQ(ListNames(test::Utf8(fs::temp_directory_path())), before);

    // The second of four packages is interrupted: the first stays converted, the last two are
    // not taken.
    std::vector<BatchJob> jobs;
    for (const char* name : {"a", "b", "c", "d"})
        jobs.push_back({name, std::string(name) + ".out", ""});
    std::vector<std::string> started;
    BatchConsole console(stderr, false, jobs.size());
    const BatchSummary summary =
        ConvertPackages(jobs, 1, console, [&started](const std::string& input, const std::string&) {
            started.push_back(input);
            if (input == "b") {
                RequestStop(kInterruptSignal);
                ThrowIfStopRequested();
            }
        });
    ClearStopRequest();
    EXPECT_EQ(started, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(summary.converted, 1);
    EXPECT_EQ(summary.failed, 0);
    EXPECT_EQ(summary.notConverted, 3);
    EXPECT_EQ(summary.interruption, kInterruptSignal);
    EXPECT_EQ(summary.errors,
              (std::vector<std::string>{"", kInterruptedText, kInterruptedText, kInterruptedText}));
    EXPECT_EQ(BatchSummaryLine(summary), "converted 1, failed 0, not converted 3 (interrupted)");
}

TEST(Interruption, WhatARunLeavesRegisteredIsRemovedWhenItDoesNotAnswer) {
    ScratchDir dir;
    const std::string tmp = test::Utf8(fs::temp_directory_path());
    const auto before = ListNames(tmp);
    {
        WorkingDirectory work("unanswered");
        test::WriteFile(work.Path() + test::kSeparator + "member", std::string("bytes"));
        WriteFileAtomically(dir.File("kept.viv"), test::Bytes{1, 2, 3});  // done: not registered
        AtomicFileWriter writing(dir.File("out.viv"));
        writing.Write(test::Bytes(100, 7));
        EXPECT_EQ(TemporaryPathCount(), 2u);
        EXPECT_EQ(ListNames(tmp).size(), before.size() + 2);  // the directory and its mark

        RemoveAllTemporaryPaths(false);
        EXPECT_EQ(TemporaryPathCount(), 0u);
        EXPECT_EQ(ListNames(tmp), before);
#ifndef _WIN32
        // Windows deletes no file that is still open for writing: there the writer removes it.
        EXPECT_EQ(ListNames(dir.Path()), std::vector<std::string>{"kept.viv"});
#endif
    }
    EXPECT_EQ(ListNames(dir.Path()), std::vector<std::string>{"kept.viv"});
    EXPECT_EQ(test::ReadFile(dir.File("kept.viv")), (test::Bytes{1, 2, 3}));
}

// Waits up to ten seconds for `condition`.
bool Eventually(const std::function<bool()>& condition) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

TEST(Interruption, PathsAreMadeSideBySideAndACleanUpWaitsForOneBeingMade) {
    ScratchDir dir;
    const std::string slow = dir.File("slow");
    std::atomic<bool> entered{false}, otherMade{false}, cleanupStarted{false}, cleanupDone{false};
    bool doneTooEarly = true;
    TemporaryPath slowPath;
    std::thread maker([&]() {
        slowPath = TemporaryPath::Create(slow, TemporaryPath::Kind::kFile, [&]() {
            test::WriteFile(slow, std::string("x"));
            entered = true;
            // Another thread makes its own path meanwhile.
            EXPECT_TRUE(Eventually([&]() { return otherMade.load(); }));
            // A clean-up that started meanwhile waits until this one is made.
            EXPECT_TRUE(Eventually([&]() { return cleanupStarted.load(); }));
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            doneTooEarly = cleanupDone;
            return true;
        });
    });
    ASSERT_TRUE(Eventually([&]() { return entered.load(); }));
    {
        TemporaryPath quick = TemporaryPath::Create(
            dir.File("quick"), TemporaryPath::Kind::kFile,
            [&]() { return test::WriteFile(dir.File("quick"), std::string("y")), true; });
        EXPECT_TRUE(quick);
        otherMade = true;
    }
    std::thread cleanup([&]() {
        cleanupStarted = true;
        RemoveAllTemporaryPaths(false);
        cleanupDone = true;
    });
    maker.join();
    cleanup.join();
    EXPECT_FALSE(doneTooEarly);
    EXPECT_TRUE(slowPath);
    EXPECT_FALSE(test::Exists(slow));
    EXPECT_EQ(TemporaryPathCount(), 0u);
    EXPECT_EQ(ListNames(dir.Path()), std::vector<std::string>{});
}

#ifndef _WIN32

// The status a run ends with after a signal, and what it printed.
struct Ending {
    int status;
    bool killedBySignal;
    std::string out;
    std::string err;
};

// Runs carconv with `arguments` and `env` and sends it `signal` once `underWay` holds. A run that
// finishes before the signal reaches it is run again (after `reset`), a few times at most.
std::optional<Ending> InterruptMidRun(const std::string& env, const std::string& arguments,
                                      const std::function<bool()>& underWay, int signal,
                                      const std::function<void()>& reset) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        reset();
        ScratchDir io;
        test::CarconvProcess run(env, io, arguments);
        const bool caught = run.WaitUntil(underWay, 60);
        if (caught)
            kill(run.Pid(), signal);
        const std::optional<int> status = run.Wait(60);
        if (!status)
            return std::nullopt;
        if (caught && *status != 0)
            return Ending{*status, run.KilledBySignal(), run.Out(), run.Err()};
    }
    return std::nullopt;
}

TEST(Interruption, SignalsMidRunLeaveNoWorkingDirectoryAndNoTemporaryFile) {
    ScratchDir dir;
    ScratchDir tmp;
    const std::string env = test::InstalledUser(dir) + " TMPDIR=" + Q(tmp.Path());
    // A mesh-heavy package of 24 MiB: its conversion takes long enough to be caught.
    const test::Bytes large =
        samples::VivBytes(samples::LargeSampleCar(7, std::size_t{24} << 20).Members());
    test::WriteFile(dir.File("large.viv"), large);
    // A stock package as slow to unpack, and an archive of many members.
    auto stock = test::TemplateMembers();
    stock.push_back({"car.fce", test::Bytes(large.begin(), large.end())});
    test::WriteArchive(dir.File("stock.viv"), stock);
    std::vector<std::pair<std::string, test::Bytes>> many;
    for (int i = 0; i < 3000; ++i)
        many.push_back({"m" + std::to_string(i), test::Bytes(4000, static_cast<std::uint8_t>(i))});
    test::WriteArchive(dir.File("many.viv"), many);
    fs::create_directory(test::Native(dir.File("out")));

    const auto working = [&tmp]() { return !ListNames(tmp.Path()).empty(); };
    // An unpack writes into a fresh directory beside its target until every member is there.
    const auto unpacking = [&dir]() {
        for (const std::string& name : ListNames(dir.Path())) {
            if (name.rfind(".carconv-unpack-", 0) == 0 && !ListNames(dir.File(name)).empty())
                return true;
        }
        return false;
    };
    const auto clearOut = [&dir]() {
        fs::remove_all(test::Native(dir.File("out")));
        fs::create_directory(test::Native(dir.File("out")));
    };
    struct Case {
        std::string arguments;
        std::function<bool()> underWay;
        int signal;
    };
    const std::vector<Case> cases = {
        {"convert " + Q(dir.File("large.viv")) + " " + Q(dir.File("out/large.viv")), working,
         SIGINT},
        {"list " + Q(dir.File("large.viv")), working, SIGTERM},
        {"install-templates --from " + Q(dir.File("stock.viv")) + " --templates " +
             Q(dir.File("out")),
         working, SIGHUP},
        {"unpack " + Q(dir.File("many.viv")) + " " + Q(dir.File("out")), unpacking, SIGINT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const std::optional<Ending> end =
            InterruptMidRun(env, c.arguments, c.underWay, c.signal, clearOut);
        ASSERT_TRUE(end) << "the run hung, or finished before the signal every time";
        EXPECT_EQ(end->status, 128 + c.signal);
        EXPECT_FALSE(end->killedBySignal) << "died of the signal without cleaning up";
        EXPECT_EQ(end->err.substr(end->err.rfind("carconv: ")), "carconv: interrupted\n")
            << end->err;
        EXPECT_EQ(ListNames(tmp.Path()), std::vector<std::string>{});
        // Beside the output no temporary file; what was written is whole.
        for (const std::string& name : ListNames(dir.File("out"))) {
            EXPECT_NE(name.rfind(".carconv-", 0), 0u) << name;
            if (name[0] == 'm') {
                EXPECT_EQ(test::ReadFile(dir.File("out/" + name)).size(), 4000u) << name;
            }
        }
        EXPECT_FALSE(test::Exists(dir.File("out/large.viv")));
        for (const std::string& name : ListNames(dir.Path()))
            EXPECT_NE(name.rfind(".carconv-", 0), 0u) << name;
    }
}

TEST(Interruption, ABatchStopsKeepsThePackagesWrittenAndCountsTheRest) {
    ScratchDir dir;
    ScratchDir tmp;
    const std::string env = test::InstalledUser(dir) + " TMPDIR=" + Q(tmp.Path());
    for (const char* name : {"a", "b", "c", "d"})
        test::WriteArchive(dir.File(std::string(name) + ".viv"), test::Version3Members(false));
    fs::create_directory(test::Native(dir.File("out")));
    // The third output is a pipe nobody reads: the batch waits there until it is interrupted.
    ASSERT_EQ(mkfifo(dir.File("out/c.viv").c_str(), 0600), 0);

    ScratchDir io;
    test::CarconvProcess run(env, io,
                             "convert " + Q(dir.File("a.viv")) + " " + Q(dir.File("b.viv")) + " " +
                                 Q(dir.File("c.viv")) + " " + Q(dir.File("d.viv")) +
                                 " --jobs 1 --output-dir " + Q(dir.File("out")));
    ASSERT_TRUE(run.WaitUntil([&dir]() { return test::Exists(dir.File("out/b.viv")); }, 60))
        << run.Err();
    kill(run.Pid(), SIGTERM);
    ASSERT_EQ(run.Wait(60), std::optional<int>(143)) << run.Err();
    EXPECT_FALSE(run.KilledBySignal());
    EXPECT_EQ(run.Out(), "converted 2, failed 0, not converted 2 (interrupted)\n");
    EXPECT_EQ(run.Err(), "carconv: interrupted\n");
    EXPECT_EQ(ListNames(dir.File("out")), (std::vector<std::string>{"a.viv", "b.viv", "c.viv"}));
    EXPECT_EQ(test::ReadArchive(dir.File("out/a.viv")).size(), 27u);
    EXPECT_EQ(test::ReadArchive(dir.File("out/b.viv")).size(), 27u);
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(test::Native(dir.File("out/c.viv")))));
    EXPECT_EQ(ListNames(tmp.Path()), std::vector<std::string>{});
}

TEST(Interruption, ARunWaitingForAnAnswerEndsAfterTheGracePeriod) {
    ScratchDir dir;
    ScratchDir io;
    // Asking on the terminal, whose input stays open and silent.
    test::CarconvProcess run(test::InstalledUser(dir) + " DISPLAY= WAYLAND_DISPLAY=", io, "", "",
                             true);
    ASSERT_TRUE(run.WaitUntil(
        [&run]() { return run.Err().find("Load V3 CAR File: ") != std::string::npos; }, 60));
    kill(run.Pid(), SIGTERM);
    ASSERT_EQ(run.Wait(60), std::optional<int>(143));
    EXPECT_FALSE(run.KilledBySignal());
    EXPECT_EQ(run.Err(), "Load V3 CAR File: carconv: interrupted\n");
}

#endif

}  // namespace
}  // namespace carconv
