// The dialog-driven run with GTK windows on an X display, operated the way a user operates it:
// windows are found by their titles and answered with keystrokes (xdotool). This binary runs
// inside a virtual X server (xvfb-run); every wait is bounded so that a missing window fails the
// test instead of hanging it.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "support/packages.h"
#include "support/test_util.h"

namespace carconv {
namespace {

using Clock = std::chrono::steady_clock;
using test::ScratchDir;

using test::Q;

// Runs a shell command and returns what it printed on stdout.
std::string Capture(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return out;
    char buf[256];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0)
        out.append(buf, n);
    pclose(pipe);
    return out;
}

// Visible windows whose title is exactly `title` (no regular-expression characters in it).
std::vector<std::string> VisibleWindows(const std::string& title) {
    std::string out = Capture("timeout 5 xdotool search --onlyvisible --name " +
                              Q("^" + title + "$") + " 2>/dev/null");
    std::vector<std::string> ids;
    std::size_t start = 0;
    while (start < out.size()) {
        std::size_t end = out.find('\n', start);
        if (end == std::string::npos)
            end = out.size();
        if (end > start)
            ids.push_back(out.substr(start, end - start));
        start = end + 1;
    }
    return ids;
}

// The window titled `title` once it is visible, or nothing after `seconds`.
std::optional<std::string> WaitForWindow(const std::string& title, double seconds) {
    auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
    do {
        std::vector<std::string> ids = VisibleWindows(title);
        if (!ids.empty())
            return ids.front();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (Clock::now() < deadline);
    return std::nullopt;
}

// Gives `window` the keyboard focus and sends it an xdotool command chain ("key Escape",
// "type --delay 10 text", ...).
void Send(const std::string& window, const std::string& commands) {
    Capture("timeout 10 xdotool windowfocus --sync " + window + " " + commands + " 2>&1");
}

// Types `path` into a file chooser's name entry and presses Return until the window titled
// `title` goes away. The chooser checks a typed location in the background, and a Return that
// comes before that check is ignored, so one Return is not always enough.
bool EnterPath(const std::string& title, const std::string& window, const std::string& path) {
    Send(window, "type --delay 5 " + Q(path));
    auto deadline = Clock::now() + std::chrono::seconds(20);
    while (Clock::now() < deadline) {
        Send(window, "key Return");
        auto settle = Clock::now() + std::chrono::milliseconds(700);
        while (Clock::now() < settle) {
            if (VisibleWindows(title).empty())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    return false;
}

// carconv started in the background with stdout and stderr going to files.
class Carconv {
  public:
    Carconv(const std::string& env, const ScratchDir& io) : io_(io) {
        std::string command = "exec env " + env + " " + std::string(CARCONV_EXECUTABLE) +
                              " </dev/null >" + Q(io.File("out")) + " 2>" + Q(io.File("err"));
        pid_ = fork();
        if (pid_ == 0) {
            setpgid(0, 0);
            execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
    }
    ~Carconv() {
        if (pid_ > 0 && !exitCode_) {
            kill(-pid_, SIGKILL);
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    Carconv(const Carconv&) = delete;
    Carconv& operator=(const Carconv&) = delete;

    // The exit status once the process has ended, or nothing after `seconds`.
    std::optional<int> Wait(double seconds) {
        auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
        while (!exitCode_ && pid_ > 0) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                break;
            }
            if (Clock::now() >= deadline)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return exitCode_;
    }

    std::string Err() const {
        test::Bytes err = test::ReadFile(io_.File("err"));
        return std::string(err.begin(), err.end());
    }

  private:
    const ScratchDir& io_;
    pid_t pid_ = -1;
    std::optional<int> exitCode_;
};

// Settings, templates, home and toolkit folders of a user inside `dir`; with `installed`, the
// templates are in place, otherwise it is a first start and no game can be found.
std::string DesktopUser(const ScratchDir& dir, bool installed) {
    std::filesystem::create_directories(dir.File("home"));
    if (installed) {
        std::filesystem::create_directories(dir.File("config/Quillmark"));
        test::WriteFile(dir.File("config/Quillmark/carconv.ini"),
                        std::string("[Settings]\nInstalled=1\n"));
        std::filesystem::create_directories(dir.File("data/carconv"));
        test::WriteTemplates(dir.File("data/carconv"));
    }
    return "HOME=" + Q(dir.File("home")) + " XDG_CONFIG_HOME=" + Q(dir.File("config")) +
           " XDG_DATA_HOME=" + Q(dir.File("data")) + " XDG_CACHE_HOME=" + Q(dir.File("cache")) +
           " CARCONV_TEMPLATES= WINEPREFIX=" + Q(dir.File("nowine")) +
           " GDK_BACKEND=x11 NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory";
}

// Every regular file below `dir`, as a path relative to it, sorted. The toolkit may create
// empty folders of its own; files are what the run must not leave behind.
std::vector<std::string> FilesBelow(const std::string& dir) {
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir)) {
        if (e.is_regular_file())
            files.push_back(std::filesystem::relative(e.path(), dir).string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// The last non-empty line of `text`, without its line end.
std::string LastLine(const std::string& text) {
    std::size_t end = text.find_last_not_of('\n');
    if (end == std::string::npos)
        return "";
    std::size_t start = text.rfind('\n', end);
    start = start == std::string::npos ? 0 : start + 1;
    return text.substr(start, end + 1 - start);
}

const std::vector<std::string> kOutputOrder = {
    "carp.txt",   "carp1.txt",   "carp2.txt",  "carp3.txt",  "car.fce",    "car1.fce",
    "car2.fce",   "car3.fce",    "car00.tga",  "car100.tga", "car200.tga", "car300.tga",
    "dash.fsh",   "dash.fce",    "dash00.tga", "fedata.eng", "fedata.bri", "fedata.ger",
    "fedata.fre", "fedata.ita",  "fedata.spa", "fedata.swe", "careng.ctb", "careng.ltb",
    "careng.bnk", "ocareng.bnk", "scareng.bnk"};

std::vector<std::string> MemberNames(const std::string& archive) {
    std::vector<std::string> names;
    for (const auto& member : test::ReadArchive(archive))
        names.push_back(member.first);
    return names;
}

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

TEST(GtkDialogRun, TypedAnswersConvertAndTheDefaultExtensionIsAdded) {
    ScratchDir dir, io;
    std::string env = DesktopUser(dir, true);
    test::WriteArchive(dir.File("in.viv"), test::Version3Members(false));
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

    std::optional<int> code = run.Wait(60);
    ASSERT_TRUE(code) << "still running after both answers";
    EXPECT_EQ(*code, 0) << run.Err();
    EXPECT_EQ(test::ListNames(dir.File("out")), std::vector<std::string>{"converted.viv"});
    auto members = test::ReadArchive(dir.File("out/converted.viv"));
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
    {
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
    {
        // A first start without the game: the box comes before any file dialog.
        ScratchDir dir, io;
        std::string env = DesktopUser(dir, false);
        Carconv run(env, io);
        std::optional<std::string> box = WaitForWindow("carconv", 60);
        ASSERT_TRUE(box) << "no error box; stderr: " << run.Err();
        EXPECT_TRUE(VisibleWindows("Load V3 CAR File").empty());
        Send(*box, "key Return");
        std::optional<int> code = run.Wait(20);
        ASSERT_TRUE(code) << "still running after the error box was dismissed";
        EXPECT_EQ(*code, 1);
        EXPECT_EQ(LastLine(run.Err()).rfind("carconv: error: no stock car package found", 0), 0u)
            << run.Err();
        EXPECT_EQ(run.Err().find("Load V3 CAR File"), std::string::npos);
    }
}

}  // namespace
}  // namespace carconv
