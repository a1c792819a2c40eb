#include "app/template_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "files/errors.h"
#include "files/name_index.h"
#include "files/viv_archive.h"
#include "files/warnings.h"
#include "platform/profile_store.h"
#include "platform/search_roots.h"
#include "support/fakes.h"
#include "support/packages.h"
#include "support/test_util.h"

namespace carconv {
namespace {

namespace fs = std::filesystem;
using test::ScratchDir;

using test::FakeProfile;

#ifndef _WIN32
// Points HOME and WINEPREFIX at `home` for the life of the object, so the default search roots
// are the test's own.
class ScopedHome {
  public:
    explicit ScopedHome(const std::string& home) {
        Save("HOME", home);
        Save("WINEPREFIX", home + "/.wine");
    }
    ~ScopedHome() {
        for (auto& [name, value] : saved_) {
            if (value.has_value())
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
    }

  private:
    void Save(const std::string& name, const std::string& value) {
        const char* old = std::getenv(name.c_str());
        saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
        setenv(name.c_str(), value.c_str(), 1);
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};
#endif

void MakeStock(const std::string& path) {
    fs::create_directories(fs::path(path).parent_path());
    test::WriteArchive(path, test::TemplateMembers());
}

TEST(FindStockCarPackage, DepthFirstAnyCaseAndNothingHidden) {
    ScratchDir dir;
    std::string root = dir.File("root");
    // Hidden folders and files are neither entered nor tested.
    MakeStock(root + "/.hidden/data/cars/fm50/car.viv");
    MakeStock(root + "/Game/.data/cars/fm50/car.viv");
    EXPECT_EQ(FindStockCarPackage(root + "/"), "");
    // Any letter case matches; the path keeps its real case.
    MakeStock(root + "/Game/DATA/Cars/FM50/Car.VIV");
    EXPECT_EQ(FindStockCarPackage(root + test::kSeparator),
              root + test::NativeSeparators("/Game/DATA/Cars/FM50/Car.VIV"));
    // A name that merely contains the suffix does not.
    MakeStock(dir.File("other/data/cars/fm50/car.viv.bak"));
    MakeStock(dir.File("other/xdata/cars/fm50/car.viv"));
    EXPECT_EQ(FindStockCarPackage(dir.File("other")), "");

    std::vector<std::string> visited;
    FindStockCarPackage(root, [&](const std::string& f) { visited.push_back(f); });
    for (const std::string& f : visited)
        EXPECT_EQ(f.find("/."), std::string::npos) << f;
}

TEST(FindStockCarPackage, FirstMatchInDirectorySearchOrderWinsDepthFirst) {
    ScratchDir dir;
    // One match deep under "a", one shallow under "b": whichever folder the directory search
    // meets first is searched completely first, however deep its match lies.
    MakeStock(dir.File("a/x/y/z/data/cars/fm50/car.viv"));
    MakeStock(dir.File("b/data/cars/fm50/car.viv"));
    std::string first;
    for (const auto& e : fs::directory_iterator(dir.Path())) {
        first = e.path().filename().string();
        break;
    }
    std::string expected = first == "a" ? dir.File("a/x/y/z/data/cars/fm50/car.viv")
                                        : dir.File("b/data/cars/fm50/car.viv");
    EXPECT_EQ(FindStockCarPackage(dir.Path()), expected);
}

// Symbolic links and the POSIX default roots; the Windows drive walk has tests of its own.
#ifndef _WIN32
TEST(FindStockCarPackage, SurvivesLinkLoopsAndFollowsNoLinks) {
    ScratchDir dir;
    fs::create_directories(dir.File("root/a/b"));
    fs::create_directory_symlink(dir.File("root"), dir.File("root/a/b/loop"));
    fs::create_directory_symlink("/", dir.File("root/a/slash"));
    MakeStock(dir.File("elsewhere/data/cars/fm50/car.viv"));
    fs::create_directory_symlink(dir.File("elsewhere/data"), dir.File("root/data"));
    EXPECT_EQ(FindStockCarPackage(dir.File("root")), "");
}

TEST(FindStockCarPackage, NeverEntersProcSysOrDevHoweverReached) {
    ScratchDir dir;
    fs::create_directory_symlink("/", dir.File("slash"));
    for (const char* name : {"proc", "sys", "dev"}) {
        EXPECT_TRUE(IsSystemFolder(std::string("/") + name)) << name;
        EXPECT_TRUE(IsSystemFolder(dir.File("slash/") + name)) << name;
        EXPECT_TRUE(IsSystemFolder(dir.File("slash/") + name + "/")) << name;
    }
    EXPECT_FALSE(IsSystemFolder("/"));
    EXPECT_FALSE(IsSystemFolder("/usr"));
    // Anything on the kernel's file systems, wherever it is mounted and whatever it is called.
    EXPECT_TRUE(IsSystemFolder("/proc/self"));
    if (fs::is_directory("/dev/pts")) {
        EXPECT_TRUE(IsSystemFolder("/dev/pts"));
    }
    std::vector<std::string> procEntered;
    FindStockCarPackage("/proc/self", [&](const std::string& f) { procEntered.push_back(f); });
    EXPECT_EQ(procEntered, std::vector<std::string>{});
    // Folders that only carry those names are searched like any other.
    MakeStock(dir.File("root/proc/data/cars/fm50/car.viv"));
    fs::create_directories(dir.File("root/sys"));
    EXPECT_FALSE(IsSystemFolder(dir.File("root/proc")));
    EXPECT_FALSE(IsSystemFolder(dir.File("root/sys")));
    EXPECT_EQ(FindStockCarPackage(dir.File("root")), dir.File("root/proc/data/cars/fm50/car.viv"));

    // Not even when a search is started in one of them, directly or through a link.
    std::vector<std::string> entered;
    auto record = [&](const std::string& folder) { entered.push_back(folder); };
    for (const std::string& root : {std::string("/proc"), std::string("/sys/"), std::string("/dev"),
                                    dir.File("slash/proc")}) {
        EXPECT_EQ(FindStockCarPackage(root, record), "");
    }
    EXPECT_TRUE(entered.empty()) << entered.front();
}

TEST(FindStockCarPackage, ALinkedPackageIsFoundButNoLinkedFolderIsEntered) {
    ScratchDir dir;
    MakeStock(dir.File("store/stock.viv"));
    fs::create_directories(dir.File("root/Game/data/cars/fm50"));
    // Neither a link to a folder nor one that leads nowhere counts, though named like the package.
    fs::create_directory_symlink(dir.File("store"), dir.File("root/Game/data/cars/fm50/car.viv"));
    EXPECT_EQ(FindStockCarPackage(dir.File("root")), "");
    fs::remove(dir.File("root/Game/data/cars/fm50/car.viv"));
    fs::create_symlink(dir.File("store/none.viv"), dir.File("root/Game/data/cars/fm50/car.viv"));
    EXPECT_EQ(FindStockCarPackage(dir.File("root")), "");

    fs::remove(dir.File("root/Game/data/cars/fm50/car.viv"));
    fs::create_symlink(dir.File("store/stock.viv"), dir.File("root/Game/data/cars/fm50/CAR.VIV"));
    const std::string link = dir.File("root/Game/data/cars/fm50/CAR.VIV");
    EXPECT_EQ(FindStockCarPackage(dir.File("root")), link);
    FakeProfile profile;
    EXPECT_EQ(InstallTemplates(dir.File("templates/"), profile, {dir.File("root")}), link);
    EXPECT_TRUE(TemplatesPresent(dir.File("templates/")));
    EXPECT_EQ(test::ListNames(dir.File("store")), std::vector<std::string>{"stock.viv"});
}

TEST(FindStockCarPackage, DefaultRootsAreTheWineDrivesInOrderThenHome) {
    ScratchDir dir;
    ScopedHome home(dir.Path());
    std::string wine = dir.File(".wine/dosdevices");
    fs::create_directories(wine);
    fs::create_directories(dir.File("drive_c"));
    fs::create_directories(dir.File("drive_d"));
    fs::create_directory_symlink(dir.File("drive_d"), wine + "/d:");
    fs::create_directory_symlink(dir.File("drive_c"), wine + "/c:");
    // Wine's default z: is the whole file system, which the search leaves out: the other roots
    // cover the user's folders.
    fs::create_directory_symlink("/", wine + "/z:");
    std::string up;  // more steps up than there are folders: "/" again
    for (int i = 0; i < 64; ++i)
        up += "../";
    fs::create_directory_symlink(up, wine + "/y:");
    std::vector<std::string> roots = DefaultSearchRoots();
    ASSERT_GE(roots.size(), 3u);
    EXPECT_EQ(roots[0], wine + "/c:");
    EXPECT_EQ(roots[1], wine + "/d:");
    EXPECT_EQ(roots[2], dir.Path());
    for (const std::string& root : roots)
        EXPECT_NE(fs::canonical(root), "/") << root;

    MakeStock(dir.File("drive_d/Games/data/cars/fm50/car.viv"));
    MakeStock(dir.File("drive_c/Games/data/cars/fm50/car.viv"));
    MakeStock(dir.File("Games/data/cars/fm50/car.viv"));
    EXPECT_EQ(FindStockCarPackage(""), wine + "/c:/Games/data/cars/fm50/car.viv");
    fs::remove_all(dir.File("drive_c/Games"));
    EXPECT_EQ(FindStockCarPackage(""), wine + "/d:/Games/data/cars/fm50/car.viv");
}
#endif

TEST(InstallTemplates, CopiesAllEightThenSetsTheMarkerAndLeavesTheGameAlone) {
    ScratchDir dir;
    std::string stock = dir.File("game/data/cars/fm50/car.viv");
    MakeStock(stock);
    fs::create_directories(dir.File("templates"));
    test::WriteFile(dir.File("templates/dash.fce"), std::string("stale"));
    auto gameBefore = test::ListNames(dir.File("game/data/cars/fm50"));
    auto before = test::LeftoverWorkingDirectories();

    FakeProfile profile;
    EXPECT_EQ(InstallTemplates(dir.File("templates/"), profile, {dir.File("game")}), stock);
    for (const auto& [name, bytes] : test::TemplateMembers()) {
        EXPECT_EQ(test::ReadFile(dir.File("templates/" + name)), bytes) << name;
    }
    EXPECT_EQ((profile.values["Settings/Installed"]), 1);
    EXPECT_EQ(test::ListNames(dir.File("game/data/cars/fm50")), gameBefore);
    EXPECT_EQ(test::LeftoverWorkingDirectories(), before);

    // Nothing found: nothing installed, marker untouched.
    FakeProfile fresh;
    EXPECT_EQ(InstallTemplates(dir.File("t2/"), fresh, {dir.File("templates")}), "");
    EXPECT_TRUE(fresh.values.empty());
    EXPECT_FALSE(test::Exists(dir.File("t2")));
}

TEST(InstallTemplates, NamesInAnyLetterCaseAreFoundAndInstalledInLowerCase) {
    ScratchDir dir;
    auto members = test::TemplateMembers();
    for (auto& m : members) {
        for (char& c : m.first)
            c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    members[1].first = "Dash.Fce";
    test::WriteArchive(dir.File("car.viv"), members);
    FakeProfile profile;
    InstallTemplatesFrom(dir.File("car.viv"), dir.File("templates/"), profile);
    std::vector<std::string> expected;
    for (const auto& [name, bytes] : test::TemplateMembers()) {
        EXPECT_EQ(test::ReadFile(dir.File("templates/" + name)), bytes) << name;
        expected.push_back(name);
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(test::ListNames(dir.File("templates")), expected);
    EXPECT_EQ(profile.values["Settings/Installed"], 1);

    // Template files copied by hand in upper case count as present.
    fs::create_directories(dir.File("upper"));
    for (const auto& [name, bytes] : members)
        test::WriteFile(dir.File("upper/" + name), bytes);
    EXPECT_TRUE(TemplatesPresent(dir.File("upper/")));
    fs::remove(dir.File("upper/OCARENG.BNK"));
    EXPECT_FALSE(TemplatesPresent(dir.File("upper/")));
}

TEST(InstallTemplates, EachTemplateIsANewFileRenamedIntoPlaceNeverWrittenThroughALink) {
    ScratchDir dir;
    test::WriteArchive(dir.File("car.viv"), test::TemplateMembers());
    fs::create_directories(test::Native(dir.File("templates")));
    // An older dash.fce with a second name: a reader holding it meanwhile keeps the old file.
    test::WriteFile(dir.File("templates/dash.fce"), std::string("old mesh"));
    std::error_code ec;
    fs::create_hard_link(test::Native(dir.File("templates/dash.fce")),
                         test::Native(dir.File("held.fce")), ec);
#ifndef _WIN32
    // A template that is a link to a system file: the link is replaced, the file left alone.
    test::WriteFile(dir.File("passwd"), std::string("root:x:0:0"));
    fs::create_symlink(dir.File("passwd"), dir.File("templates/careng.bnk"));
#endif
    FakeProfile profile;
    InstallTemplatesFrom(dir.File("car.viv"), dir.File("templates/"), profile);
    std::vector<std::string> expected;
    for (const auto& [name, bytes] : test::TemplateMembers()) {
        EXPECT_EQ(test::ReadFile(dir.File("templates/" + name)), bytes) << name;
        EXPECT_TRUE(
            fs::is_regular_file(fs::symlink_status(test::Native(dir.File("templates/" + name)))))
            << name;
        expected.push_back(name);
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(test::ListNames(dir.File("templates")), expected);  // no temporary file left
    if (!ec) {
        EXPECT_EQ(test::ReadFile(dir.File("held.fce")),
                  (test::Bytes{'o', 'l', 'd', ' ', 'm', 'e', 's', 'h'}));
    }
#ifndef _WIN32
    EXPECT_EQ(test::ReadFile(dir.File("passwd")).size(), 10u);
#endif
}

TEST(InstallTemplates, APackageLackingATemplateIsAnErrorAndSetsNoMarker) {
    ScratchDir dir;
    auto members = test::TemplateMembers();
    members.erase(members.begin() + 6);  // ocareng.bnk
    test::WriteArchive(dir.File("car.viv"), members);
    FakeProfile profile;
    try {
        InstallTemplatesFrom(dir.File("car.viv"), dir.File("templates/"), profile);
        FAIL() << "installed from an incomplete package";
    } catch (const IoError& e) {
        EXPECT_NE(std::string(e.what()).find("holds no \"ocareng.bnk\""), std::string::npos);
    }
    EXPECT_TRUE(profile.values.empty());
}

// Searches the default roots, which the test can point at its own folders only on POSIX systems
// (on Windows they are the real drives).
#ifndef _WIN32
TEST(FirstRunCheck, SearchesOnlyWhenNotInstalledOrAFileIsMissing) {
    ScratchDir dir;
    ScopedHome home(dir.File("home"));
    fs::create_directories(dir.File("home"));
    std::string templates = dir.File("templates/");
    int searched = 0;
    auto count = [&](const std::string&) { ++searched; };

    // Marker 1 and every file present: no search at all.
    FakeProfile profile;
    profile.values["Settings/Installed"] = 1;
    fs::create_directories(templates);
    test::WriteTemplates(templates);
    EXPECT_TRUE(FirstRunCheck(profile, templates, count));
    EXPECT_EQ(searched, 0);

    // Marker 1 but a file missing, and no game anywhere: a clear error.
    fs::remove(templates + "dash00.tga");
    try {
        FirstRunCheck(profile, templates, count);
        FAIL() << "went on without templates";
    } catch (const CarconvError& e) {
        std::string what = e.what();
        EXPECT_NE(what.find("no stock car package found"), std::string::npos) << what;
        EXPECT_NE(what.find("install-templates --from"), std::string::npos) << what;
    }
    EXPECT_GT(searched, 0);

    // The game installed under home: the check installs again.
    MakeStock(dir.File("home/Games/Racer/data/cars/fm50/car.viv"));
    FakeProfile first;
    EXPECT_TRUE(FirstRunCheck(first, templates, count));
    EXPECT_EQ(first.values["Settings/Installed"], 1);
    EXPECT_TRUE(TemplatesPresent(templates));
}

TEST(FindStockCarPackage, WalksAFolderOnceHoweverManyDrivesLeadToIt) {
    ScratchDir dir;
    ScopedHome home(dir.File("home"));
    fs::create_directories(dir.File("home/.wine/drive_c/Games/Racer"));
    fs::create_directories(dir.File("home/.wine/dosdevices"));
    for (const char* drive : {"c:", "d:", "e:"})
        fs::create_directory_symlink("../drive_c", dir.File("home/.wine/dosdevices/") + drive);
    std::vector<std::string> entered;
    EXPECT_EQ(FindStockCarPackage("", [&](const std::string& f) { entered.push_back(f); }), "");
    const std::string c = dir.File("home/.wine/dosdevices/c:");
    std::vector<std::string> expected = {c, c + "/Games", c + "/Games/Racer", dir.File("home")};
    for (const char* root : {"/mnt", "/media", "/run/media"}) {
        if (fs::is_directory(root))
            entered.erase(std::remove_if(entered.begin(), entered.end(),
                                         [root](const std::string& f) {
                                             return f.rfind(root, 0) == 0;
                                         }),
                          entered.end());
    }
    EXPECT_EQ(entered, expected);
}

TEST(FirstRunCheck, AnyMarkerButZeroCountsAsInstalled) {
    ScratchDir dir;
    ScopedHome home(dir.File("home"));
    fs::create_directories(dir.File("home"));
    const std::string templates = dir.File("templates/");
    fs::create_directories(templates);
    test::WriteTemplates(templates);
    int searched = 0;
    auto count = [&](const std::string&) { ++searched; };
    for (int marker : {2, -1}) {
        FakeProfile profile;
        profile.values["Settings/Installed"] = marker;
        EXPECT_TRUE(FirstRunCheck(profile, templates, count));
        EXPECT_EQ(searched, 0) << marker;
        EXPECT_EQ(profile.values["Settings/Installed"], marker);
    }
    // A marker of 0 beside all eight files is a marker gone wrong: it is written anew.
    FakeProfile zero;
    zero.values["Settings/Installed"] = 0;
    EXPECT_TRUE(FirstRunCheck(zero, templates, count));
    EXPECT_EQ(searched, 0);
    EXPECT_EQ(zero.values["Settings/Installed"], 1);
    // Files that are not the installed ones do not count: the check searches.
    fs::remove(templates + "dash.fce");
    fs::create_directory(templates + "dash.fce");
    EXPECT_THROW(FirstRunCheck(zero, templates, count), CarconvError);
    EXPECT_GT(searched, 0);
}

// The settings file as a user may find it: gone, or with the marker's line damaged.
class LostMarker : public testing::TestWithParam<const char*> {};

TEST_P(LostMarker, AllEightTemplatesAreTheInstalledStateAndTheMarkerIsRepaired) {
    ScratchDir dir;
    ScopedHome home(dir.File("home"));
    fs::create_directories(dir.File("home"));
    const std::string templates = dir.File("templates/");
    fs::create_directories(templates);
    test::WriteTemplates(templates);
    IniProfileStore profile(dir.File("config"), "carconv");
    profile.SetRegistryKey("Quillmark");
    if (*GetParam() != '\0') {
        fs::create_directories(dir.File("config/Quillmark"));
        test::WriteFile(profile.FilePath(), std::string(GetParam()));
    }
    ScopedWarningSink quiet([](const std::string&) {});  // the damaged line is reported
    int searched = 0;
    EXPECT_TRUE(FirstRunCheck(profile, templates, [&](const std::string&) { ++searched; }));
    EXPECT_EQ(searched, 0);
    IniProfileStore reread(dir.File("config"), "carconv");
    reread.SetRegistryKey("Quillmark");
    EXPECT_EQ(reread.GetProfileInt("Settings", "Installed", 0), 1);
}

INSTANTIATE_TEST_SUITE_P(Settings, LostMarker,
                         testing::Values("", "[Settings]\nInstalled\n", "[Settings]\nInstalled=x\n",
                                         "[Settings\nInstalled=1\n"));

TEST(TemplateDirectory, CommandLineThenEnvironmentThenDataHome) {
    const char* oldEnv = std::getenv("CARCONV_TEMPLATES");
    std::string saved = oldEnv ? oldEnv : "";
    setenv("CARCONV_TEMPLATES", "/from/env", 1);
    EXPECT_EQ(ResolveTemplateDirectory("/given", "/prog/"), "/given/");
    EXPECT_EQ(ResolveTemplateDirectory("", "/prog/"), "/from/env/");
    unsetenv("CARCONV_TEMPLATES");
    const char* oldData = std::getenv("XDG_DATA_HOME");
    std::string savedData = oldData ? oldData : "";
    setenv("XDG_DATA_HOME", "/xdg/data", 1);
    EXPECT_EQ(ResolveTemplateDirectory("", "/prog/"), "/xdg/data/carconv/");
    if (oldData)
        setenv("XDG_DATA_HOME", savedData.c_str(), 1);
    else
        unsetenv("XDG_DATA_HOME");
    if (oldEnv)
        setenv("CARCONV_TEMPLATES", saved.c_str(), 1);
}

#endif
// The engine-sound files pass through unchanged: they go from the templates into the package by
// the archive writer, without a copy in the output working directory, byte for byte.
TEST(TemplateDirectory, EngineSoundsGoIntoThePackageWithoutAWorkingFile) {
    ScratchDir dir;
    const std::string templates = dir.File("templates") + "/";
    fs::create_directories(test::Native(dir.File("templates")));
    test::WriteTemplates(templates);
    fs::create_directories(test::Native(dir.File("work")));

    VivArchive package(dir.File("out.viv"));
    std::vector<std::unique_ptr<GameFile>> objects;
    StageContext context;
    context.templateDirectory = templates;
    context.outputDirectory = dir.File("work");
    context.members = &package.members;
    context.objects = &objects;
    context.templateNames = NameIndex::OfDirectory(templates);
    RunEngineSoundStage(context);
    EXPECT_EQ(test::ListNames(dir.File("work")), std::vector<std::string>{});

    package.Reset();
    package.Save();
    const std::vector<std::string> sounds = {"careng.ctb", "careng.ltb", "careng.bnk",
                                             "ocareng.bnk", "scareng.bnk"};
    std::vector<std::pair<std::string, test::Bytes>> expected;
    for (const std::string& name : sounds)
        expected.emplace_back(name, test::ReadFile(templates + name));
    EXPECT_EQ(test::ReadFile(dir.File("out.viv")), test::ArchiveBytes(expected));
}

}  // namespace
}  // namespace carconv
