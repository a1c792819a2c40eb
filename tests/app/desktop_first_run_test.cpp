// The first-run check of a desktop run, with scripted dialogs and search windows: when the
// search window opens, what its buttons do, and the question that asks for the stock package.

#include "app/desktop_first_run.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "files/errors.h"
#include "support/fakes.h"
#include "support/packages.h"
#include "support/test_util.h"

namespace carconv {
namespace {

namespace fs = std::filesystem;
using test::FakeProfile;
using test::ScratchDir;
using test::ScriptedDialogs;
using Choice = SearchWindow::Choice;

// A search over `folders` that finds nothing, as FirstRunCheck reports it; counts the folders it
// got through.
TemplateCheck SearchFindingNothing(int folders, int& searched) {
    return [folders, &searched](ProfileStore&, const std::string&, const SearchProgress& progress) {
        for (int i = 0; i < folders; ++i) {
            progress("/games/" + std::to_string(i));
            ++searched;
        }
        throw StockPackageNotFound("no stock car package found");
        return false;
    };
}

TEST(DesktopFirstRunCheck, InstalledTemplatesOpenNoWindowAndAskNothing) {
    ScratchDir dir;
    FakeProfile profile;
    profile.values["Settings/Installed"] = 1;
    test::WriteTemplates(dir.Path());
    ScriptedDialogs dialogs({}, true);
    EXPECT_TRUE(DesktopFirstRunCheck(dialogs, profile, dir.Path() + test::kSeparator));
    EXPECT_TRUE(dialogs.searchWindows.empty());
    EXPECT_TRUE(dialogs.requests.empty());
}

TEST(DesktopFirstRunCheck, CancelInTheSearchWindowStopsTheSearchAndEndsQuietly) {
    ScratchDir dir;
    FakeProfile profile;
    ScriptedDialogs dialogs({dir.File("never-asked.viv")}, true);
    dialogs.searchChoice = Choice::kCancel;
    int searched = 0;
    EXPECT_FALSE(DesktopFirstRunCheck(dialogs, profile, dir.File("templates/"),
                                      SearchFindingNothing(1000, searched)));
    EXPECT_EQ(searched, 0);  // stopped in the first folder
    ASSERT_EQ(dialogs.searchWindows.size(), 1u);
    EXPECT_EQ(dialogs.searchWindows[0].title, "Looking for the V4 Game");
    EXPECT_NE(dialogs.searchWindows[0].message.find("data/cars/fm50/car.viv"), std::string::npos);
    EXPECT_EQ(dialogs.shownFolders, std::vector<std::string>{"/games/0"});
    EXPECT_TRUE(dialogs.requests.empty());
    EXPECT_TRUE(dialogs.errors.empty());
    EXPECT_TRUE(profile.values.empty());
    EXPECT_TRUE(test::ListNames(dir.Path()).empty());
}

TEST(DesktopFirstRunCheck, LocateStopsTheSearchAndInstallsTheChosenPackage) {
    ScratchDir dir;
    test::WriteArchive(dir.File("car.viv"), test::TemplateMembers());
    FakeProfile profile;
    ScriptedDialogs dialogs({dir.File("car.viv")}, true);
    dialogs.searchChoice = Choice::kLocate;
    int searched = 0;
    auto before = test::LeftoverWorkingDirectories();
    EXPECT_TRUE(DesktopFirstRunCheck(dialogs, profile, dir.File("templates/"),
                                     SearchFindingNothing(1000, searched)));
    EXPECT_EQ(searched, 0);
    ASSERT_EQ(dialogs.requests.size(), 1u);
    const FileDialogRequest& locate = dialogs.requests[0];
    EXPECT_EQ(locate.kind, FileDialogRequest::Kind::kOpen);
    EXPECT_EQ(locate.title, "Locate data/cars/fm50/car.viv of the V4 Game");
    EXPECT_EQ(locate.filter, "V4 CAR-Files (*.viv)|*.viv||");
    EXPECT_EQ(locate.defaultExtension, "viv");
    EXPECT_EQ(profile.values["Settings/Installed"], 1);
    for (const auto& [name, bytes] : test::TemplateMembers())
        EXPECT_EQ(test::ReadFile(dir.File("templates/" + name)), bytes) << name;
    EXPECT_EQ(test::LeftoverWorkingDirectories(), before);
}

TEST(DesktopFirstRunCheck, ASearchFindingNothingAsksByItselfAndAsksAgainAfterAWrongPackage) {
    ScratchDir dir;
    test::WriteArchive(dir.File("v3car.viv"), test::Version3Members(false));
    test::WriteArchive(dir.File("car.viv"), test::TemplateMembers());
    FakeProfile profile;
    ScriptedDialogs dialogs({dir.File("v3car.viv"), dir.File("car.viv")}, true);
    int searched = 0;
    EXPECT_TRUE(DesktopFirstRunCheck(dialogs, profile, dir.File("templates/"),
                                     SearchFindingNothing(3, searched)));
    EXPECT_EQ(searched, 3);
    EXPECT_EQ(dialogs.searchWindows.size(), 1u);
    // The window is brought up to date as the search goes, not necessarily for every folder.
    ASSERT_FALSE(dialogs.shownFolders.empty());
    EXPECT_EQ(dialogs.shownFolders.front(), "/games/0");
    ASSERT_EQ(dialogs.requests.size(), 2u);
    EXPECT_EQ(dialogs.requests[1].title, dialogs.requests[0].title);
    ASSERT_EQ(dialogs.errors.size(), 1u);
    EXPECT_NE(dialogs.errors[0].find("holds no \"dash.fsh\""), std::string::npos)
        << dialogs.errors[0];
    EXPECT_EQ(profile.values["Settings/Installed"], 1);
    EXPECT_EQ(test::ListNames(dir.File("templates")).size(), 8u);

    // No search folder at all, and the question cancelled: the run ends quietly.
    FakeProfile fresh;
    ScriptedDialogs cancelled({}, true);
    EXPECT_FALSE(
        DesktopFirstRunCheck(cancelled, fresh, dir.File("t2/"), SearchFindingNothing(0, searched)));
    EXPECT_EQ(cancelled.requests.size(), 1u);
    EXPECT_TRUE(cancelled.searchWindows.empty());
    EXPECT_TRUE(fresh.values.empty());
    EXPECT_FALSE(test::Exists(dir.File("t2")));
}

TEST(DesktopFirstRunCheck, OnATerminalASearchFindingNothingIsAnErrorAsBefore) {
    ScratchDir dir;
    FakeProfile profile;
    ScriptedDialogs dialogs({dir.File("car.viv")}, false);
    int searched = 0;
    EXPECT_THROW(DesktopFirstRunCheck(dialogs, profile, dir.File("templates/"),
                                      SearchFindingNothing(5, searched)),
                 StockPackageNotFound);
    EXPECT_EQ(searched, 5);
    EXPECT_TRUE(dialogs.searchWindows.empty());
    EXPECT_TRUE(dialogs.requests.empty());
}

TEST(DesktopFirstRunCheck, OtherFailuresOfTheCheckReachTheCaller) {
    ScratchDir dir;
    FakeProfile profile;
    ScriptedDialogs dialogs({dir.File("car.viv")}, true);
    auto failing = [](ProfileStore&, const std::string&, const SearchProgress& progress) -> bool {
        progress("/games");
        throw IoError("/games/data/cars/fm50/car.viv", "the package holds no \"dash.fsh\"");
    };
    EXPECT_THROW(DesktopFirstRunCheck(dialogs, profile, dir.File("templates/"), failing), IoError);
    EXPECT_TRUE(dialogs.requests.empty());
}

}  // namespace
}  // namespace carconv
