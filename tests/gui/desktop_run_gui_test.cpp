// What a desktop user meets around the dialog-driven run: packages handed to the program, the
// first-run search window with its two buttons, the dialog that asks for the stock package when
// the search finds nothing, and the file dialogs opening in the current folder. Runs inside a
// virtual X server (xvfb-run), like dialog_run_gui_test.cpp.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "app/desktop_first_run.h"
#include "app/package_drop.h"
#include "gui/gui_driver.h"
#include "desktop/file_dialogs.h"
#include "support/fakes.h"
#include "support/packages.h"
#include "support/test_util.h"

namespace carconv {
namespace {

using namespace gui;
using test::Q;
using test::ScratchDir;

namespace fs = std::filesystem;

const std::string kLoad = "Load V3 CAR File";
const std::string kSave = "Save V4 CAR File";

// The members of a package converted with the test templates: every one in its place and the
// template files carried unchanged (a run that only looked complete would differ here).
void ExpectConverted(const std::string& package) {
    auto members = test::ReadArchive(package);
    std::vector<std::string> names;
    for (const auto& member : members)
        names.push_back(member.first);
    EXPECT_EQ(names, kOutputOrder) << package;
    auto templates = test::TemplateMembers();
    if (members.size() == 27u) {
        EXPECT_EQ(members[12].second, templates[0].second) << package;  // dash.fsh
        EXPECT_EQ(members[26].second, templates[7].second) << package;  // scareng.bnk
    }
}

TEST(GtkDesktopRun, OneHandedPackageIsSavedInItsFolderUnderAFreshName) {
    ScratchDir dir, io, elsewhere;
    std::string env = DesktopUser(dir, true);
    fs::create_directories(dir.File("cars"));
    test::WriteArchive(dir.File("cars/mycar.viv"), test::Version3Members(false));
    test::WriteFile(dir.File("cars/mycar-v4.viv"), std::string("an earlier conversion"));

    // Started from another folder, as a file manager does.
    Carconv run(env, io, Q(dir.File("cars/mycar.viv")), elsewhere.Path());
    std::optional<std::string> save = WaitForWindow(kSave, 30);
    ASSERT_TRUE(save) << "no Save dialog; stderr: " << run.Err();
    EXPECT_TRUE(VisibleWindows(kLoad).empty());
    // The proposed name, as it stands, in the folder the dialog opened in.
    auto deadline = Clock::now() + std::chrono::seconds(20);
    while (!VisibleWindows(kSave).empty() && Clock::now() < deadline) {
        Send(*save, "key Return");
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
    }
    std::optional<int> code = run.Wait(60);
    ASSERT_TRUE(code) << "still running after the Save dialog";
    EXPECT_EQ(*code, 0) << run.Err();
    EXPECT_EQ(test::ListNames(dir.File("cars")),
              (std::vector<std::string>{"mycar-v4-2.viv", "mycar-v4.viv", "mycar.viv"}));
    ExpectConverted(dir.File("cars/mycar-v4-2.viv"));
    EXPECT_EQ(test::ReadFile(dir.File("cars/mycar-v4.viv")).size(), 21u);
    EXPECT_TRUE(test::ListNames(elsewhere.Path()).empty());
}

TEST(GtkDesktopRun, TwoHandedPackagesGoIntoOneChosenFolderAndOneMessageEndsTheRun) {
    ScratchDir dir, io;
    std::string env = DesktopUser(dir, true);
    fs::create_directories(dir.File("cars/converted"));
    test::WriteArchive(dir.File("cars/first.viv"), test::Version3Members(false));
    test::WriteArchive(dir.File("cars/second.VIV"), test::Version3Members(false));

    Carconv run(env, io, Q(dir.File("cars/first.viv")) + " " + Q(dir.File("cars/second.VIV")));
    std::optional<std::string> folder = WaitForWindow(kOutputFolderTitle, 30);
    ASSERT_TRUE(folder) << "no folder question; stderr: " << run.Err();
    EXPECT_TRUE(VisibleWindows(kLoad).empty());
    EXPECT_TRUE(VisibleWindows(kSave).empty());
    // Relative to the folder the question opened in: the first package's.
    Send(*folder, "key ctrl+l");
    ASSERT_TRUE(EnterPath(kOutputFolderTitle, *folder, "converted/"));

    std::optional<std::string> message = WaitForWindow("carconv", 60);
    ASSERT_TRUE(message) << "no closing message; stderr: " << run.Err();
    EXPECT_FALSE(run.Wait(0.5)) << "the run ended without waiting for the message";
    Send(*message, "key Return");
    std::optional<int> code = run.Wait(20);
    ASSERT_TRUE(code) << "still running after the message was dismissed";
    EXPECT_EQ(*code, 0) << run.Err();
    EXPECT_EQ(test::ListNames(dir.File("cars/converted")),
              (std::vector<std::string>{"first.viv", "second.VIV"}));
    ExpectConverted(dir.File("cars/converted/first.viv"));
    ExpectConverted(dir.File("cars/converted/second.VIV"));
}

TEST(GtkDesktopRun, TheOpenDialogStartsInTheCurrentFolderAndCompletesTheExtension) {
    ScratchDir dir, io;
    std::string env = DesktopUser(dir, true);
    fs::create_directories(dir.File("work"));
    test::WriteArchive(dir.File("work/car.viv"), test::Version3Members(false));
    // "car" is the start of both names, so the dialog cannot complete it on its own.
    test::WriteFile(dir.File("work/cart.viv"), std::string("not a package"));

    Carconv run(env, io, "", dir.File("work"));
    std::optional<std::string> open = WaitForWindow(kLoad, 30);
    ASSERT_TRUE(open) << "no Open dialog; stderr: " << run.Err();
    Send(*open, "key ctrl+l");
    ASSERT_TRUE(EnterPath(kLoad, *open, "car"));
    std::optional<std::string> save = WaitForWindow(kSave, 20);
    ASSERT_TRUE(save) << "no Save dialog; stderr: " << run.Err();
    ASSERT_TRUE(EnterPath(kSave, *save, "converted"));

    std::optional<int> code = run.Wait(60);
    ASSERT_TRUE(code) << "still running after both answers";
    EXPECT_EQ(*code, 0) << run.Err();
    ExpectConverted(dir.File("work/converted.viv"));
}

TEST(GtkDesktopRun, AFirstRunWithoutTheGameAsksForTheStockPackageThenConverts) {
    ScratchDir dir, io;
    std::string env = DesktopUser(dir, false);
    // The game lies outside every folder the search walks.
    fs::create_directories(dir.File("game/data/cars/fm50"));
    test::WriteArchive(dir.File("game/data/cars/fm50/car.viv"), test::TemplateMembers());
    test::WriteArchive(dir.File("in.viv"), test::Version3Members(false));

    Carconv run(env, io, "", dir.Path());
    std::optional<std::string> locate = WaitForWindow(kLocateDialogTitle, 60);
    ASSERT_TRUE(locate) << "no dialog asking for the stock package; stderr: " << run.Err();
    EXPECT_TRUE(VisibleWindows(kLoad).empty());
    Send(*locate, "key ctrl+l");
    ASSERT_TRUE(EnterPath(kLocateDialogTitle, *locate, "game/data/cars/fm50/car.viv"));

    std::optional<std::string> open = WaitForWindow(kLoad, 30);
    ASSERT_TRUE(open) << "no Open dialog after the installation; stderr: " << run.Err();
    // The templates are in place before the package is asked for.
    EXPECT_EQ(test::ListNames(dir.File("data/carconv")).size(), 8u);
    Send(*open, "key ctrl+l");
    ASSERT_TRUE(EnterPath(kLoad, *open, "in.viv"));
    std::optional<std::string> save = WaitForWindow(kSave, 20);
    ASSERT_TRUE(save) << "no Save dialog; stderr: " << run.Err();
    ASSERT_TRUE(EnterPath(kSave, *save, "out"));

    std::optional<int> code = run.Wait(60);
    ASSERT_TRUE(code) << "still running after the answers";
    EXPECT_EQ(*code, 0) << run.Err();
    ExpectConverted(dir.File("out.viv"));
    for (const auto& [name, bytes] : test::TemplateMembers())
        EXPECT_EQ(test::ReadFile(dir.File("data/carconv/" + name)), bytes) << name;
    EXPECT_EQ(test::ReadFile(dir.File("config/Quillmark/carconv.ini")),
              test::Bytes({'[', 'S', 'e', 't', 't', 'i', 'n', 'g', 's', ']', '\n', 'I',
                           'n', 's', 't', 'a', 'l', 'l', 'e', 'd', '=', '1', '\n'}));
    // The game's folder is left as it was.
    EXPECT_EQ(test::ListNames(dir.File("game/data/cars/fm50")),
              std::vector<std::string>{"car.viv"});

    // Cancelling that question ends a first run quietly, writing nothing.
    ScratchDir fresh, io2;
    std::string freshEnv = DesktopUser(fresh, false);
    auto files = FilesBelow(fresh.Path());
    Carconv cancelled(freshEnv, io2, "", fresh.Path());
    locate = WaitForWindow(kLocateDialogTitle, 60);
    ASSERT_TRUE(locate) << "no dialog asking for the stock package; stderr: " << cancelled.Err();
    Send(*locate, "key Escape");
    code = cancelled.Wait(20);
    ASSERT_TRUE(code) << "still running after Escape";
    EXPECT_EQ(*code, 0);
    EXPECT_EQ(cancelled.Err(), "");
    EXPECT_EQ(FilesBelow(fresh.Path()), files);
}

// The search window itself, in this process: a search that has no end of its own keeps it open
// until a button stops it, so that the buttons can be pressed while it runs.

using test::EndlessSearch;
using test::FakeProfile;

// This process as a desktop user in `dir`: its own home and toolkit folders, started in `dir`.
class DesktopProcess {
  public:
    explicit DesktopProcess(const ScratchDir& dir) : previous_(fs::current_path()) {
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
            setenv(name, dir.Path().c_str(), 1);
        setenv("GDK_BACKEND", "x11", 1);
        setenv("NO_AT_BRIDGE", "1", 1);
        setenv("GSETTINGS_BACKEND", "memory", 1);
        fs::current_path(dir.Path());
    }
    ~DesktopProcess() { fs::current_path(previous_); }

  private:
    fs::path previous_;
};

// The toolkit is set up once per process; later tests reuse it.
FileDialogs& Desktop() {
    static std::unique_ptr<FileDialogs> dialogs = MakeDesktopFileDialogs();
    return *dialogs;
}

TEST(GtkSearchWindow, CancelStopsTheSearchAndEndsTheRunWritingNothing) {
    ScratchDir dir;
    DesktopProcess process(dir);
    ASSERT_TRUE(Desktop().OnDesktop()) << "no display";
    FakeProfile profile;
    std::atomic<bool> gaveUp{false}, seen{false};

    std::thread user([&] {
        std::optional<std::string> window = WaitForWindow(kSearchWindowTitle, 30);
        if (!window)
            return;
        seen = true;
        Send(*window, "key alt+c");
    });
    bool goOn =
        DesktopFirstRunCheck(Desktop(), profile, dir.File("templates/"), EndlessSearch(gaveUp));
    user.join();
    EXPECT_TRUE(seen) << "no search window";
    EXPECT_FALSE(gaveUp) << "Cancel did not stop the search";
    EXPECT_FALSE(goOn);
    EXPECT_TRUE(profile.values.empty());
    EXPECT_FALSE(test::Exists(dir.File("templates")));
    EXPECT_TRUE(VisibleWindows(kSearchWindowTitle).empty());
    EXPECT_TRUE(VisibleWindows(kLocateDialogTitle).empty());
}

TEST(GtkSearchWindow, LocateStopsTheSearchAndInstallsThePackageChosenInstead) {
    ScratchDir dir;
    DesktopProcess process(dir);
    ASSERT_TRUE(Desktop().OnDesktop()) << "no display";
    fs::create_directories(dir.File("game/data/cars/fm50"));
    test::WriteArchive(dir.File("game/data/cars/fm50/car.viv"), test::TemplateMembers());
    FakeProfile profile;
    std::atomic<bool> gaveUp{false}, seen{false}, answered{false};

    std::thread user([&] {
        std::optional<std::string> window = WaitForWindow(kSearchWindowTitle, 30);
        if (!window)
            return;
        seen = true;
        Send(*window, "key alt+l");
        std::optional<std::string> locate = WaitForWindow(kLocateDialogTitle, 30);
        if (!locate)
            return;
        Send(*locate, "key ctrl+l");
        answered = EnterPath(kLocateDialogTitle, *locate, "game/data/cars/fm50/car.viv");
    });
    bool goOn =
        DesktopFirstRunCheck(Desktop(), profile, dir.File("templates/"), EndlessSearch(gaveUp));
    user.join();
    EXPECT_TRUE(seen) << "no search window";
    EXPECT_TRUE(answered) << "no dialog asking for the stock package";
    EXPECT_FALSE(gaveUp) << "Locate did not stop the search";
    EXPECT_TRUE(goOn);
    EXPECT_EQ(profile.values["Settings/Installed"], 1);
    for (const auto& [name, bytes] : test::TemplateMembers())
        EXPECT_EQ(test::ReadFile(dir.File("templates/" + name)), bytes) << name;
    EXPECT_TRUE(VisibleWindows(kSearchWindowTitle).empty());
}

}  // namespace
}  // namespace carconv
