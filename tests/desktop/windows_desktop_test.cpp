// Packages handed to carconv.exe and carconvw.exe, and the windows of a desktop run on Windows:
// the Save dialog's proposal, the folder question and the closing message, the search window's
// buttons and the question for the stock package. The windows are found by their titles and
// answered with the messages their buttons send. Tests that need a desktop are skipped without
// one; ctest's WindowsDesktop runs them under Wine on a virtual X server.

#ifdef _WIN32

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <optional>
#include <thread>

#include "app/converter_app.h"
#include "app/desktop_first_run.h"
#include "app/package_drop.h"
#include "desktop/file_dialogs.h"
#include "platform/profile_store.h"
#include "platform/wide_text.h"
#include "support/fakes.h"
#include "support/packages.h"
#include "support/test_util.h"
#include "support/windows_process.h"

namespace carconv {
namespace {

namespace fs = std::filesystem;
using test::ScratchDir;
using test::WindowsProcess;

// The file name box of the common Open and Save dialogs, and of the item dialog that asks for a
// folder, as their templates number them.
constexpr int kFileNameBox = 1148;
constexpr int kFolderNameBox = 1152;

// Whether this process can make windows: not under Wine without a display.
bool CanShowWindows() {
    HWND probe = CreateWindowExW(0, L"STATIC", L"probe", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                 GetModuleHandleW(nullptr), nullptr);
    if (probe == nullptr)
        return false;
    DestroyWindow(probe);
    return true;
}

#define CARCONV_SKIP_WITHOUT_DESKTOP() \
    if (!CanShowWindows())             \
    GTEST_SKIP() << "no desktop to show windows on (ctest's WindowsDesktop gives Wine one)"

// The visible top-level window titled `title` (of any process), or null after `milliseconds`.
HWND WaitForWindow(const std::string& title, DWORD milliseconds) {
    const std::wstring wide = WidenUtf8(title);
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    do {
        HWND window = FindWindowW(nullptr, wide.c_str());
        if (window != nullptr && IsWindowVisible(window))
            return window;
        Sleep(50);
    } while (GetTickCount64() < deadline);
    return nullptr;
}

std::string ControlText(HWND dialog, int id) {
    wchar_t text[1024] = {};
    SendMessageW(GetDlgItem(dialog, id), WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
    return NarrowToUtf8(text);
}

void SetControlText(HWND dialog, int id, const std::string& text) {
    const std::wstring wide = WidenUtf8(text);
    SendMessageW(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

// Presses the button `id` of `dialog` as a click on it does.
void Press(HWND dialog, int id) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// Clicks the button labelled `label` in `window`; false when it has none.
bool Click(HWND window, const wchar_t* label) {
    HWND button = FindWindowExW(window, nullptr, L"Button", label);
    if (button == nullptr)
        return false;
    PostMessageW(button, BM_CLICK, 0, 0);
    return true;
}

// Template files in a folder of the test, named by CARCONV_TEMPLATES, and the installed marker
// set, for the programs a test starts; both as they were afterwards.
class InstalledTemplates {
  public:
    explicit InstalledTemplates(const ScratchDir& dir) : profile_(MakeUserProfileStore("carconv")) {
        fs::create_directories(test::Native(dir.File("templates")));
        test::WriteTemplates(dir.File("templates"));
        wchar_t old[32768];
        DWORD length = GetEnvironmentVariableW(L"CARCONV_TEMPLATES", old, 32768);
        if (length > 0 && length < 32768)
            oldTemplates_ = std::wstring(old, length);
        SetEnvironmentVariableW(L"CARCONV_TEMPLATES", WidenUtf8(dir.File("templates")).c_str());
        // The window after a conversion is left out unless a test looks at it.
        SetEnvironmentVariableW(L"CARCONV_QUIET", L"1");
        profile_->SetRegistryKey(kOrganisationKey);
        oldMarker_ = profile_->GetProfileInt("Settings", "Installed", 0);
        profile_->WriteProfileInt("Settings", "Installed", 1);
    }
    ~InstalledTemplates() {
        profile_->WriteProfileInt("Settings", "Installed", oldMarker_);
        SetEnvironmentVariableW(L"CARCONV_TEMPLATES",
                                oldTemplates_ ? oldTemplates_->c_str() : nullptr);
        SetEnvironmentVariableW(L"CARCONV_QUIET", nullptr);
    }
    InstalledTemplates(const InstalledTemplates&) = delete;
    InstalledTemplates& operator=(const InstalledTemplates&) = delete;

  private:
    std::unique_ptr<ProfileStore> profile_;
    std::optional<std::wstring> oldTemplates_;
    int oldMarker_ = 0;
};

std::wstring Quoted(const std::string& path) {
    return L"\"" + WidenUtf8(path) + L"\"";
}

TEST(WindowsHandedPackages, BothProgramsTakePackagesWithoutACommand) {
    if (CanShowWindows())
        GTEST_SKIP() << "needs a run without a desktop: the dialogs would wait for an answer";
    ScratchDir dir;
    InstalledTemplates installed(dir);
    test::WriteArchive(dir.File("a.viv"), test::Version3Members(false));
    test::WriteArchive(dir.File("b.VIV"), test::Version3Members(false));
    for (const wchar_t* program : {L"carconv.exe", L"carconvw.exe"}) {
        // A package that does not exist is no package handed over: a usage error.
        test::ProcessResult r = test::RunProgram(program, Quoted(dir.File("missing.viv")));
        EXPECT_EQ(r.exitCode, 2u) << r.err;
        EXPECT_NE(r.err.find("carconv: usage error:"), std::string::npos) << r.err;
        // Two packages: the folder question comes first, and without a desktop it cannot open.
        r = test::RunProgram(program, Quoted(dir.File("a.viv")) + L" " + Quoted(dir.File("b.VIV")));
        EXPECT_EQ(r.exitCode, 1u) << r.err;
        EXPECT_EQ(r.err.rfind("carconv: error: the dialog \"Choose the Folder for the V4 CAR "
                              "Files\" failed",
                              0),
                  0u)
            << r.err;
    }
    EXPECT_EQ(test::ListNames(dir.Path()),
              (std::vector<std::string>{"a.viv", "b.VIV", "templates"}));
}

TEST(WindowsDesktop, OneHandedPackageIsSavedInItsFolderUnderAFreshName) {
    CARCONV_SKIP_WITHOUT_DESKTOP();
    ScratchDir dir;
    InstalledTemplates installed(dir);
    const std::string cars = dir.File("cars");
    fs::create_directories(test::Native(cars));
    test::WriteArchive(cars + "\\mycar.viv", test::Version3Members(false));
    test::WriteFile(cars + "\\mycar-v4.viv", std::string("an earlier conversion"));

    int round = 0;
    for (const wchar_t* program : {L"carconvw.exe", L"carconv.exe"}) {
        // The window-only program shows what it wrote; the console one runs quietly.
        const bool window = round == 0;
        const std::string expected = round++ == 0 ? "mycar-v4-2.viv" : "mycar-v4-3.viv";
        SetEnvironmentVariableW(L"CARCONV_QUIET", window ? nullptr : L"1");
        WindowsProcess run(program, Quoted(cars + "\\mycar.viv"));
        ASSERT_TRUE(run.Started());
        HWND save = WaitForWindow(kSaveDialogTitle, 60000);
        ASSERT_NE(save, nullptr) << "no Save dialog; stderr: " << run.Err();
        EXPECT_EQ(FindWindowW(nullptr, L"Load V3 CAR File"), nullptr);
        EXPECT_EQ(ControlText(save, kFileNameBox), expected);
        Press(save, IDOK);  // the proposal as it stands, in the folder the dialog opened in
        if (window) {
            HWND written = WaitForWindow(kWrittenWindowTitle, 60000);
            ASSERT_NE(written, nullptr) << "no window after the conversion; stderr: " << run.Err();
            EXPECT_EQ(test::ReadArchive(cars + "\\" + expected).size(), 27u);
            EXPECT_FALSE(run.Wait(500)) << "the run ended with its window up";
            EXPECT_TRUE(Click(written, L"Close"));
        }
        std::optional<DWORD> code = run.Wait(60000);
        ASSERT_TRUE(code) << "still running after the Save dialog";
        EXPECT_EQ(*code, 0u) << run.Err();
        auto members = test::ReadArchive(cars + "\\" + expected);
        ASSERT_EQ(members.size(), 27u) << expected;
        EXPECT_EQ(members[26].second, test::TemplateMembers()[7].second);
    }
    EXPECT_EQ(test::ReadFile(cars + "\\mycar-v4.viv").size(), 21u);
}

TEST(WindowsDesktop, TwoHandedPackagesGoIntoOneChosenFolderAndOneMessageEndsTheRun) {
    CARCONV_SKIP_WITHOUT_DESKTOP();
    ScratchDir dir;
    InstalledTemplates installed(dir);
    const std::string cars = dir.File("cars");
    fs::create_directories(test::Native(cars + "\\converted"));
    test::WriteArchive(cars + "\\first.viv", test::Version3Members(false));
    test::WriteArchive(cars + "\\second.VIV", test::Version3Members(false));

    WindowsProcess run(L"carconvw.exe",
                       Quoted(cars + "\\first.viv") + L" " + Quoted(cars + "\\second.VIV"));
    ASSERT_TRUE(run.Started());
    HWND folder = WaitForWindow(kOutputFolderTitle, 60000);
    ASSERT_NE(folder, nullptr) << "no folder question; stderr: " << run.Err();
    SetControlText(folder, kFolderNameBox, cars + "\\converted");
    Press(folder, IDOK);

    HWND message = WaitForWindow("carconv", 60000);
    ASSERT_NE(message, nullptr) << "no closing message; stderr: " << run.Err();
    EXPECT_FALSE(run.Wait(500)) << "the run ended without waiting for the message";
    Press(message, IDOK);
    std::optional<DWORD> code = run.Wait(30000);
    ASSERT_TRUE(code) << "still running after the message was dismissed";
    EXPECT_EQ(*code, 0u) << run.Err();
    EXPECT_EQ(test::ListNames(cars + "\\converted"),
              (std::vector<std::string>{"first.viv", "second.VIV"}));
    EXPECT_EQ(test::ReadArchive(cars + "\\converted\\first.viv").size(), 27u);
    EXPECT_EQ(test::ReadArchive(cars + "\\converted\\second.VIV").size(), 27u);
}

TEST(WindowsDesktop, TheSearchWindowsButtonsStopTheSearch) {
    CARCONV_SKIP_WITHOUT_DESKTOP();
    ScratchDir dir;
    test::WriteArchive(dir.File("car.viv"), test::TemplateMembers());
    std::unique_ptr<FileDialogs> dialogs = MakeDesktopFileDialogs();
    ASSERT_TRUE(dialogs->OnDesktop());

    // Cancel: the run ends quietly, nothing written.
    {
        test::FakeProfile profile;
        std::atomic<bool> gaveUp{false}, clicked{false};
        std::thread user([&] {
            HWND window = WaitForWindow(kSearchWindowTitle, 30000);
            clicked = window != nullptr && Click(window, L"Cancel");
        });
        bool goOn = DesktopFirstRunCheck(*dialogs, profile, dir.File("templates\\"),
                                         test::EndlessSearch(gaveUp));
        user.join();
        EXPECT_TRUE(clicked) << "no search window with a Cancel button";
        EXPECT_FALSE(gaveUp) << "Cancel did not stop the search";
        EXPECT_FALSE(goOn);
        EXPECT_TRUE(profile.values.empty());
        EXPECT_FALSE(test::Exists(dir.File("templates")));
        EXPECT_EQ(FindWindowW(nullptr, WidenUtf8(kSearchWindowTitle).c_str()), nullptr);
    }
    // "Locate...": the search stops and the package chosen in the Open dialog is installed.
    {
        test::FakeProfile profile;
        std::atomic<bool> gaveUp{false}, clicked{false}, answered{false};
        std::thread user([&] {
            HWND window = WaitForWindow(kSearchWindowTitle, 30000);
            clicked = window != nullptr && Click(window, L"&Locate...");
            HWND locate = WaitForWindow(kLocateDialogTitle, 30000);
            if (locate == nullptr)
                return;
            SetControlText(locate, kFileNameBox, dir.File("car.viv"));
            Press(locate, IDOK);
            answered = true;
        });
        bool goOn = DesktopFirstRunCheck(*dialogs, profile, dir.File("templates\\"),
                                         test::EndlessSearch(gaveUp));
        user.join();
        EXPECT_TRUE(clicked) << "no search window with a Locate button";
        EXPECT_TRUE(answered) << "no dialog asking for the stock package";
        EXPECT_FALSE(gaveUp) << "Locate did not stop the search";
        EXPECT_TRUE(goOn);
        EXPECT_EQ(profile.values["Settings/Installed"], 1);
        for (const auto& [name, bytes] : test::TemplateMembers())
            EXPECT_EQ(test::ReadFile(dir.File("templates/" + name)), bytes) << name;
    }
}

}  // namespace
}  // namespace carconv

#endif
