// Where carconv keeps its settings, templates and temporary files, by the environment it starts
// in: never in the current folder, whatever the variables say.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

#include "support/packages.h"
#include "support/test_util.h"

namespace carconv {
namespace {

using test::Q;
using test::ScratchDir;

#ifndef _WIN32

constexpr unsigned kNobody = 65534;
constexpr unsigned kUnknown = 48151;

struct EnvironmentCase {
    const char* name;
    // Shell words before the executable, run in the folder "@/work"; "@" is the scratch folder.
    const char* environment;
    const char* arguments;  // "@" as above
    // Runs as this user (needs root): kNobody, whose home folder does not exist, or kUnknown,
    // whom the password database does not know; 0: as the test runs.
    unsigned runAs;
    int exitCode;
    const char* error;  // part of stderr; "" for none
};

std::string InScratch(const ScratchDir& dir, const std::string& text) {
    std::string out;
    for (char c : text)
        out += c == '@' ? dir.Path() : std::string(1, c);
    return out;
}

// The templates of `dir` with an engine file of their own, to tell them from the user's.
void WriteDecoyTemplates(const std::string& dir) {
    std::filesystem::create_directories(dir);
    test::WriteTemplates(dir);
    test::WriteFile(dir + "/careng.ctb", std::string("decoy"));
}

void WriteMarker(const std::string& configDirectory) {
    std::filesystem::create_directories(configDirectory + "/Quillmark");
    test::WriteFile(configDirectory + "/Quillmark/carconv.ini",
                    std::string("[Settings]\nInstalled=1\n"));
}

class UserFolders : public testing::TestWithParam<EnvironmentCase> {};

TEST_P(UserFolders, AreNeverTakenFromTheCurrentFolder) {
    const EnvironmentCase& c = GetParam();
    std::string error = c.error;
    if (c.runAs != 0) {
        if (geteuid() != 0)
            GTEST_SKIP() << "needs root to run as another user";
        const passwd* user = getpwuid(c.runAs);
        if (c.runAs == kNobody) {
            if (user == nullptr || std::filesystem::exists(user->pw_dir))
                GTEST_SKIP() << "needs a user nobody whose home folder does not exist";
            error += user->pw_dir;
        } else if (user != nullptr) {
            GTEST_SKIP() << "needs a user id the password database does not know";
        }
    }
    ScratchDir dir;
    namespace fs = std::filesystem;
    // The user's own folders...
    WriteMarker(dir.File("home/.config"));
    fs::create_directories(dir.File("home/.local/share/carconv"));
    test::WriteTemplates(dir.File("home/.local/share/carconv"));
    // ...and look-alikes in the current folder, where relative paths would lead.
    WriteMarker(dir.File("work/.config"));
    WriteDecoyTemplates(dir.File("work/.local/share/carconv"));
    WriteDecoyTemplates(dir.File("work/relative/carconv"));
    test::WriteArchive(dir.File("in.viv"), test::Version3Members(false));
    test::WriteArchive(dir.File("stock.viv"), test::TemplateMembers());
    if (c.runAs != 0) {
        fs::permissions(dir.Path(), fs::perms::owner_all | fs::perms::group_exec |
                                        fs::perms::others_exec | fs::perms::group_read |
                                        fs::perms::others_read);
    }
    const std::vector<std::string> work = test::ListNames(dir.File("work"));

    std::string environment = "cd " + Q(dir.File("work")) +
                              " && unset XDG_CONFIG_HOME XDG_DATA_HOME TMP TEMP TEMPDIR; " +
                              "CARCONV_TEMPLATES= WINEPREFIX=" + Q(dir.File("nowine")) + " " +
                              InScratch(dir, c.environment);
    if (c.runAs != 0) {
        environment += " TMPDIR=/tmp setpriv --reuid=" + std::to_string(c.runAs) +
                       " --regid=" + std::to_string(c.runAs) + " --clear-groups";
    }
    const test::RunResult r = test::RunCarconv(InScratch(dir, c.arguments), "", environment);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    if (error.empty()) {
        EXPECT_EQ(r.err.find("error"), std::string::npos) << r.err;
    } else {
        EXPECT_NE(r.err.find(error), std::string::npos) << r.err;
    }
    EXPECT_EQ(test::ListNames(dir.File("work")), work);
    if (c.exitCode == 0 && std::string(c.arguments).rfind("convert", 0) == 0) {
        for (const auto& [name, bytes] : test::ReadArchive(dir.File("out.viv"))) {
            if (name == "careng.ctb") {
                EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "careng.ctb data");
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UserFolders,
    testing::Values(
        EnvironmentCase{"RelativeDataHomeIsIgnored", "HOME=@/home XDG_DATA_HOME=relative",
                        "convert @/in.viv @/out.viv", 0, 0, ""},
        EnvironmentCase{"RelativeConfigHomeIsIgnored",
                        "HOME=@/home XDG_CONFIG_HOME=.config XDG_DATA_HOME=.local/share",
                        "convert @/in.viv @/out.viv", 0, 0, ""},
        EnvironmentCase{"EmptyTemporaryDirectoryMeansTheDefault", "HOME=@/home TMPDIR=",
                        "convert @/in.viv @/out.viv", 0, 0, ""},
        EnvironmentCase{"AbsoluteFoldersNeedNoHome",
                        "unset HOME; XDG_CONFIG_HOME=@/home/.config "
                        "XDG_DATA_HOME=@/home/.local/share",
                        "convert @/in.viv @/out.viv", 0, 0, ""},
        // The templates go to the home folder the password database names (which cannot be
        // created here), not into the current folder.
        EnvironmentCase{"UnsetHomeIsThePasswordEntrysHome", "unset HOME;",
                        "install-templates --from @/stock.viv", kNobody, 1, "carconv: error: "},
        EnvironmentCase{"UnsetHomeWithoutAPasswordEntryIsAnError", "unset HOME;", "", kUnknown,
                        1, "carconv: error: cannot find your home folder"},
        EnvironmentCase{"EmptyHomeWithoutAPasswordEntryIsAnError", "HOME=", "", kUnknown, 1,
                        "carconv: error: cannot find your home folder"}),
    [](const testing::TestParamInfo<EnvironmentCase>& info) { return info.param.name; });

// A run that cannot write its output fails before the first-run search, which would otherwise
// walk every drive and then report only what it found.
TEST(UserFolders, AnUnwritableOutputFolderFailsBeforeTheSearch) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to run as the user nobody";
    ScratchDir dir;
    namespace fs = std::filesystem;
    fs::create_directories(dir.File("home/Games/data/cars/fm50"));
    test::WriteArchive(dir.File("home/Games/data/cars/fm50/car.viv"), test::TemplateMembers());
    test::WriteArchive(dir.File("in.viv"), test::Version3Members(false));
    fs::create_directories(dir.File("readonly"));
    fs::permissions(dir.Path(), fs::perms::owner_all | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read |
                                    fs::perms::others_exec);
    const std::string environment =
        InScratch(dir, "HOME=@/home XDG_CONFIG_HOME=@/config XDG_DATA_HOME=@/data "
                       "CARCONV_TEMPLATES= WINEPREFIX=@/nowine TMPDIR=/tmp ") +
        "setpriv --reuid=" + std::to_string(kNobody) + " --regid=" + std::to_string(kNobody) +
        " --clear-groups";
    const test::RunResult r = test::RunCarconv(
        InScratch(dir, "convert @/in.viv @/readonly/out.viv"), "", environment);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(InScratch(dir, "cannot write there: @/readonly: Permission denied")),
              std::string::npos)
        << r.err;
    EXPECT_EQ(test::ListNames(dir.Path()), (std::vector<std::string>{"home", "in.viv", "readonly"}));
}

#endif

}  // namespace
}  // namespace carconv
