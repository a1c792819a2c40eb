// The dialog-driven run with GTK windows on an X display, operated the way a user operates it.
// This binary runs inside a virtual X server (xvfb-run).

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "gui/gui_driver.h"
#include "sample_cars.h"
#include "support/packages.h"
#include "support/test_util.h"

namespace carconv {
namespace {

using namespace gui;
using test::Q;
using test::ScratchDir;

TEST(GtkDialogRun, CancellingTheOpenDialogEndsQuietlyAndWritesNothing) {
    ScratchDir dir, io;
    std::string env = DesktopUser(dir, true);
    test::WriteArchive(dir.File("in.viv"), test::Version3Members(false));
    auto files = FilesBelow(dir.Path());
    auto leftovers = test::LeftoverWorkingDirectories();

    auto start = Clock::now();
    Carconv run(env, io);
    std::optional<std::string> open = WaitForWindow("Load V3 CAR File", 30);
    ASSERT_TRUE(open) << "no Open dialog; stderr: " << run.Err();
    std::printf("Open dialog after %.2f s\n",
                std::chrono::duration<double>(Clock::now() - start).count());
    Send(*open, "key Escape");

    // A Save dialog would keep the process waiting, so ending in time also shows there was none.
    std::optional<int> code = run.Wait(20);
    ASSERT_TRUE(code) << "still running after Escape";
    EXPECT_EQ(*code, 0);
    EXPECT_EQ(run.Err(), "");
    EXPECT_TRUE(VisibleWindows("Save V4 CAR File").empty());
    EXPECT_EQ(FilesBelow(dir.Path()), files);
    EXPECT_EQ(test::LeftoverWorkingDirectories(), leftovers);
}

TEST(GtkDialogRun, ASignalWhileADialogIsUpEndsTheRun) {
    ScratchDir dir, io;
    std::string env = DesktopUser(dir, true);
    auto files = FilesBelow(dir.Path());
    Carconv run(env, io);
    ASSERT_TRUE(WaitForWindow("Load V3 CAR File", 30)) << "no Open dialog; stderr: " << run.Err();
    kill(run.Pid(), SIGTERM);
    ASSERT_EQ(run.Wait(20), std::optional<int>(143)) << "still running after SIGTERM";
    EXPECT_FALSE(run.KilledBySignal());
    EXPECT_EQ(LastLine(run.Err()), "carconv: interrupted");
    EXPECT_EQ(FilesBelow(dir.Path()), files);
}

TEST(GtkDialogRun, TypedAnswersConvertAndTheDefaultExtensionIsAdded) {
    ScratchDir dir, io;
    // With the window that shows what was written.
    std::string env = DesktopUser(dir, true) + " CARCONV_QUIET=";
    // A car with a body and wheels to draw in that window.
    auto members = test::Version3Members(false);
    for (auto& [name, bytes] : members) {
        if (name == "car.fce")
            bytes = samples::Fce3Bytes(samples::SampleCars(1).front().mesh);
    }
    test::WriteArchive(dir.File("in.viv"), members);
    std::filesystem::create_directories(dir.File("out"));
    auto leftovers = test::LeftoverWorkingDirectories();

    Carconv run(env, io);
    std::optional<std::string> open = WaitForWindow("Load V3 CAR File", 30);
    ASSERT_TRUE(open) << "no Open dialog; stderr: " << run.Err();
    Send(*open, "key ctrl+l");  // the location entry
    ASSERT_TRUE(EnterPath("Load V3 CAR File", *open, dir.File("in.viv")));

    std::optional<std::string> save = WaitForWindow("Save V4 CAR File", 20);
    ASSERT_TRUE(save) << "no Save dialog; stderr: " << run.Err();
    ASSERT_TRUE(EnterPath("Save V4 CAR File", *save, dir.File("out/converted")));

    // The package is complete while the window is up, and the run waits for it to be closed.
    std::optional<std::string> written = WaitForWindow("V4 CAR File written", 60);
    ASSERT_TRUE(written) << "no window after the conversion; stderr: " << run.Err();
    EXPECT_EQ(test::ReadArchive(dir.File("out/converted.viv")).size(), 27u);
    EXPECT_FALSE(run.Wait(0.5)) << "the run ended with its window up";
    // The car's picture (320 pixels high) stands above the text.
    const std::string geometry = Capture("xdotool getwindowgeometry " + *written);
    const std::size_t size = geometry.find("Geometry: ");
    ASSERT_NE(size, std::string::npos) << geometry;
    EXPECT_GT(std::stoi(geometry.substr(geometry.find('x', size) + 1)), 320)
        << geometry << "; stderr: " << run.Err();
    Send(*written, "key Escape");
    std::optional<int> code = run.Wait(60);
    ASSERT_TRUE(code) << "still running after the window was closed";
    EXPECT_EQ(*code, 0) << run.Err();
    EXPECT_EQ(test::ListNames(dir.File("out")), std::vector<std::string>{"converted.viv"});
    members = test::ReadArchive(dir.File("out/converted.viv"));
    std::vector<std::string> names;
    for (const auto& member : members)
        names.push_back(member.first);
    EXPECT_EQ(names, kOutputOrder);
    // The template files travel unchanged: a run that only looked complete would differ here.
    auto templates = test::TemplateMembers();
    ASSERT_EQ(members.size(), 27u);
    EXPECT_EQ(members[12].second, templates[0].second);  // dash.fsh
    EXPECT_EQ(members[26].second, templates[7].second);  // scareng.bnk
    EXPECT_EQ(test::LeftoverWorkingDirectories(), leftovers);
}

TEST(GtkDialogRun, ReplacingAnExistingPackageIsAskedAboutTheCompletedName) {
    ScratchDir dir, io;
    std::string env = DesktopUser(dir, true);
    test::WriteArchive(dir.File("in.viv"), test::Version3Members(false));
    test::WriteFile(dir.File("old.viv"), std::string("an older package"));

    Carconv run(env, io);
    std::optional<std::string> open = WaitForWindow("Load V3 CAR File", 30);
    ASSERT_TRUE(open) << "no Open dialog; stderr: " << run.Err();
    Send(*open, "key ctrl+l");
    ASSERT_TRUE(EnterPath("Load V3 CAR File", *open, dir.File("in.viv")));
    std::optional<std::string> save = WaitForWindow("Save V4 CAR File", 20);
    ASSERT_TRUE(save) << "no Save dialog; stderr: " << run.Err();

    // "old" exists only once the extension is added; the question must still come.
    Send(*save, "type --delay 5 " + Q(dir.File("old")));
    std::optional<std::string> question;
    for (int attempt = 0; attempt < 20 && !question; ++attempt) {
        Send(*save, "key Return");
        question = WaitForWindow("Replace File", 0.7);
    }
    ASSERT_TRUE(question) << "no question before replacing old.viv";
    Send(*question, "key Escape");  // no: back to the Save dialog, which keeps the name
    ASSERT_TRUE(WaitForWindow("Save V4 CAR File", 10));
    EXPECT_EQ(test::ReadFile(dir.File("old.viv")).size(), 16u);

    question.reset();
    for (int attempt = 0; attempt < 20 && !question; ++attempt) {
        Send(*save, "key Return");
        question = WaitForWindow("Replace File", 0.7);
    }
    ASSERT_TRUE(question) << "no question the second time";
    Send(*question, "key alt+y");  // yes

    std::optional<int> code = run.Wait(60);
    ASSERT_TRUE(code) << "still running after the answer";
    EXPECT_EQ(*code, 0) << run.Err();
    EXPECT_EQ(MemberNames(dir.File("old.viv")), kOutputOrder);
    EXPECT_FALSE(test::Exists(dir.File("old")));
}

TEST(GtkDialogRun, AFailedRunShowsOneErrorBoxWithTheErrorLine) {
    ScratchDir dir, io;
    std::string env = DesktopUser(dir, true);
    test::WriteFile(dir.File("in.viv"), std::string("this is not a package"));

    Carconv run(env, io);
    std::optional<std::string> open = WaitForWindow("Load V3 CAR File", 30);
    ASSERT_TRUE(open) << "no Open dialog; stderr: " << run.Err();
    Send(*open, "key ctrl+l");
    ASSERT_TRUE(EnterPath("Load V3 CAR File", *open, dir.File("in.viv")));
    std::optional<std::string> save = WaitForWindow("Save V4 CAR File", 20);
    ASSERT_TRUE(save) << "no Save dialog; stderr: " << run.Err();
    ASSERT_TRUE(EnterPath("Save V4 CAR File", *save, dir.File("out.viv")));

    std::optional<std::string> box = WaitForWindow("carconv", 30);
    ASSERT_TRUE(box) << "no error box; stderr: " << run.Err();
    EXPECT_FALSE(run.Wait(0.5)) << "the run ended without waiting for the box";
    Send(*box, "key Return");
    std::optional<int> code = run.Wait(20);
    ASSERT_TRUE(code) << "still running after the error box was dismissed";
    EXPECT_EQ(*code, 1);
    // The toolkit may have warned about the quick synthetic keystrokes before it.
    std::string line = LastLine(run.Err());
    EXPECT_EQ(line.rfind("carconv: error: ", 0), 0u) << run.Err();
    EXPECT_NE(line.find("in.viv"), std::string::npos) << run.Err();
    EXPECT_FALSE(test::Exists(dir.File("out.viv")));
}

}  // namespace
}  // namespace carconv
