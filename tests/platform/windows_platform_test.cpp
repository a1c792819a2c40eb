// The Windows backend of the platform layer, run under Windows or Wine: registry settings, the
// dialog blocks, the directory search, the drive walk, UTF-8/UTF-16 at the API, and a conversion
// in folders named with non-ASCII letters.

#ifdef _WIN32

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <map>
#include <random>

#include "app/converter_app.h"
#include "app/template_files.h"
#include "app/windows_command_line.h"
#include "files/errors.h"
#include "platform/file_system.h"
#include "platform/profile_store.h"
#include "platform/search_roots.h"
#include "platform/terminal.h"
#include "platform/wide_text.h"
#include "desktop/windows_file_dialogs.h"
#include "support/packages.h"
#include "support/test_util.h"
#include "support/windows_process.h"

namespace carconv {
namespace {

namespace fs = std::filesystem;
using test::ScratchDir;

// "Wagen-Grün-Ωμέγα", spelt out in UTF-8 and in UTF-16 so that neither side comes from the code
// under test.
const std::string kNameUtf8 =
    "Wagen-Gr\xc3\xbc"
    "n-\xce\xa9\xce\xbc\xce\xad\xce\xb3\xce\xb1";
const std::wstring kNameUtf16 = L"Wagen-Gr\u00fcn-\u03a9\u03bc\u03ad\u03b3\u03b1";

TEST(WindowsText, Utf8AndUtf16ConvertBothWays) {
    EXPECT_EQ(WidenUtf8(kNameUtf8), kNameUtf16);
    EXPECT_EQ(NarrowToUtf8(kNameUtf16), kNameUtf8);
    EXPECT_EQ(WidenUtf8(""), L"");
    EXPECT_EQ(NarrowToUtf8(L""), "");
    // Outside the basic plane: one code point, two UTF-16 units, four UTF-8 bytes.
    EXPECT_EQ(WidenUtf8("\xf0\x9f\x9a\x97"), std::wstring(L"\xd83d\xde97"));
    EXPECT_EQ(NarrowToUtf8(std::wstring(L"\xd83d\xde97")), "\xf0\x9f\x9a\x97");
    // A stray byte is replaced, not dropped and not an error.
    EXPECT_EQ(WidenUtf8("a\xff"
                        "b"),
              std::wstring(L"a\xfffd"
                           L"b"));
}

TEST(WindowsCommandLine, ArgumentsAreSplitAndArriveAsUtf8) {
    std::vector<std::string> args =
        Utf8Arguments(L"carconv.exe convert \"C:\\Cars\\" + kNameUtf16 + L"\\in.viv\" out.viv");
    ASSERT_EQ(args.size(), 4u);
    EXPECT_EQ(args[0], "carconv.exe");
    EXPECT_EQ(args[1], "convert");
    EXPECT_EQ(args[2], "C:\\Cars\\" + kNameUtf8 + "\\in.viv");
    EXPECT_EQ(args[3], "out.viv");
}

// A registry key of the test's own under HKEY_CURRENT_USER\Software, removed afterwards.
class RegistryProfileTest : public ::testing::Test {
  protected:
    RegistryProfileTest() {
        std::random_device device;
        application_ = "carconv-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                       std::to_string(device());
    }
    ~RegistryProfileTest() override {
        RegDeleteTreeW(HKEY_CURRENT_USER,
                       WidenUtf8("Software\\Quillmark\\" + application_).c_str());
        RegDeleteTreeW(HKEY_CURRENT_USER, WidenUtf8("Software\\" + application_).c_str());
        // The organisation key goes too when no other program keeps settings there.
        RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Quillmark");
    }

    // Reads a value straight from the registry.
    static LONG ReadDword(const std::string& key, const wchar_t* name, DWORD& value) {
        DWORD size = sizeof(value);
        return RegGetValueW(HKEY_CURRENT_USER, WidenUtf8(key).c_str(), name, RRF_RT_REG_DWORD,
                            nullptr, &value, &size);
    }
    void WriteRaw(const std::string& key, const wchar_t* name, DWORD type, const void* data,
                  DWORD size) {
        HKEY handle = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, WidenUtf8(key).c_str(), 0, nullptr, 0,
                                  KEY_SET_VALUE, nullptr, &handle, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExW(handle, name, 0, type, static_cast<const BYTE*>(data), size),
                  ERROR_SUCCESS);
        RegCloseKey(handle);
    }

    std::string application_;
};

TEST_F(RegistryProfileTest, SettingsLiveUnderOrganisationApplicationAndSection) {
    std::unique_ptr<ProfileStore> store = MakeUserProfileStore(application_);
    store->SetRegistryKey("Quillmark");
    EXPECT_EQ(store->GetProfileInt("Settings", "Installed", 0), 0);
    EXPECT_EQ(store->GetProfileInt("Settings", "Installed", 7), 7);

    store->WriteProfileInt("Settings", "Installed", 1);
    const std::string key = "Software\\Quillmark\\" + application_ + "\\Settings";
    DWORD value = 0;
    ASSERT_EQ(ReadDword(key, L"Installed", value), ERROR_SUCCESS);  // a REG_DWORD, there
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(store->GetProfileInt("Settings", "Installed", 0), 1);

    // A second store on the same name sees it; a negative number survives the round trip.
    std::unique_ptr<ProfileStore> again = MakeUserProfileStore(application_);
    again->SetRegistryKey("Quillmark");
    EXPECT_EQ(again->GetProfileInt("Settings", "Installed", 0), 1);
    again->WriteProfileInt("Settings", "Other", -5);
    ASSERT_EQ(ReadDword(key, L"Other", value), ERROR_SUCCESS);
    EXPECT_EQ(value, 0xfffffffbu);
    EXPECT_EQ(store->GetProfileInt("Settings", "Other", 0), -5);

    // Values stored by other means: a decimal string counts, anything else is the default.
    WriteRaw(key, L"Typed", REG_SZ, L"42", sizeof(L"42"));
    WriteRaw(key, L"Word", REG_SZ, L"yes", sizeof(L"yes"));
    const BYTE blob[4] = {1, 0, 0, 0};
    WriteRaw(key, L"Blob", REG_BINARY, blob, sizeof(blob));
    EXPECT_EQ(store->GetProfileInt("Settings", "Typed", 3), 42);
    EXPECT_EQ(store->GetProfileInt("Settings", "Word", 3), 3);
    EXPECT_EQ(store->GetProfileInt("Settings", "Blob", 3), 3);
}

TEST_F(RegistryProfileTest, WithoutAnOrganisationTheApplicationKeyIsDirectlyUnderSoftware) {
    std::unique_ptr<ProfileStore> store = MakeUserProfileStore(application_);
    store->WriteProfileInt("Settings", "Installed", 1);
    DWORD value = 0;
    ASSERT_EQ(ReadDword("Software\\" + application_ + "\\Settings", L"Installed", value),
              ERROR_SUCCESS);
    EXPECT_EQ(value, 1u);
    // The organisation's key is another place.
    store->SetRegistryKey("Quillmark");
    EXPECT_EQ(store->GetProfileInt("Settings", "Installed", 0), 0);
}

// Records the two requests of a dialog-driven run without showing anything.
class RecordingDialogs : public FileDialogs {
  public:
    std::optional<std::string> Show(const FileDialogRequest& request) override {
        requests.push_back(request);
        // Choose a file in the Open dialog, cancel the Save dialog: nothing is converted.
        return requests.size() == 1 ? std::optional<std::string>("in.viv") : std::nullopt;
    }
    std::vector<FileDialogRequest> requests;
};

// The filter as the dialogs read it, up to and including the empty string that ends it.
std::wstring FilterOf(const OPENFILENAMEW& block) {
    std::wstring filter;
    for (const wchar_t* p = block.lpstrFilter; *p != L'\0'; p += std::wcslen(p) + 1)
        filter.append(p, std::wcslen(p) + 1);
    return filter + L'\0';
}

TEST(WindowsFileDialogs, TheRunsRequestsBecomeTheCommonDialogBlocks) {
    RecordingDialogs dialogs;
    struct NoProfile : ProfileStore {
        void SetRegistryKey(const std::string&) override {}
        int GetProfileInt(const std::string&, const std::string&, int d) override { return d; }
        void WriteProfileInt(const std::string&, const std::string&, int) override {}
    } profile;
    ConverterApp app(dialogs, profile, ConverterApp::Settings{});
    EXPECT_FALSE(app.InitInstance());
    ASSERT_EQ(dialogs.requests.size(), 2u);

    DialogBlock open(dialogs.requests[0]);
    const OPENFILENAMEW& o = open.Block();
    EXPECT_EQ(o.lStructSize, sizeof(OPENFILENAMEW));
    EXPECT_EQ(o.hwndOwner, nullptr);
    EXPECT_STREQ(o.lpstrTitle, L"Load V3 CAR File");
    const wchar_t openFilter[] = L"V3 CAR-Files (*.viv)\0*.viv\0";
    EXPECT_EQ(FilterOf(o), std::wstring(openFilter, sizeof(openFilter) / sizeof(wchar_t)));
    EXPECT_EQ(o.nFilterIndex, 1u);
    EXPECT_STREQ(o.lpstrDefExt, L"viv");
    EXPECT_EQ(o.Flags, static_cast<DWORD>(OFN_HIDEREADONLY));
    EXPECT_EQ(o.Flags, 4u);
    ASSERT_NE(o.lpstrFile, nullptr);
    EXPECT_EQ(o.lpstrFile[0], L'\0');  // no initial file name
    EXPECT_GE(o.nMaxFile, static_cast<DWORD>(MAX_PATH));
    EXPECT_EQ(o.lpstrInitialDir, nullptr);

    DialogBlock save(dialogs.requests[1]);
    const OPENFILENAMEW& s = save.Block();
    EXPECT_STREQ(s.lpstrTitle, L"Save V4 CAR File");
    const wchar_t saveFilter[] = L"V4 CAR-Files (*.viv)\0*.viv\0";
    EXPECT_EQ(FilterOf(s), std::wstring(saveFilter, sizeof(saveFilter) / sizeof(wchar_t)));
    EXPECT_STREQ(s.lpstrDefExt, L"viv");
    EXPECT_EQ(s.Flags, static_cast<DWORD>(OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT));
    EXPECT_EQ(s.Flags, 6u);
    EXPECT_EQ(s.hwndOwner, nullptr);

    // What the dialog writes back arrives as UTF-8.
    std::wstring chosen = L"C:\\" + kNameUtf16 + L"\\car.viv";
    ASSERT_LT(chosen.size(), s.nMaxFile);
    std::wcscpy(s.lpstrFile, chosen.c_str());
    EXPECT_EQ(save.ChosenPath(), "C:\\" + kNameUtf8 + "\\car.viv");
}

TEST(WindowsDriveWalk, DrivesCToZInLetterOrderFromTheMask) {
    EXPECT_TRUE(DriveRoots(0).empty());
    EXPECT_TRUE(DriveRoots(0x3).empty());  // A: and B: only
    // A, C, E, Z and bits above Z.
    unsigned long mask = (1UL << 0) | (1UL << 2) | (1UL << 4) | (1UL << 25) | (1UL << 26);
    EXPECT_EQ(DriveRoots(mask), (std::vector<std::string>{"c:\\", "e:\\", "z:\\"}));
    EXPECT_EQ(DriveRoots(0xffffffffUL).size(), 24u);
    EXPECT_EQ(DriveRoots(0xffffffffUL).front(), "c:\\");
    EXPECT_EQ(DriveRoots(0xffffffffUL).back(), "z:\\");

    // This machine's drives: C: holds the system, and every root is a directory.
    std::vector<std::string> roots = PlatformSearchRoots();
    ASSERT_FALSE(roots.empty());
    EXPECT_EQ(roots.front(), "c:\\");
    for (const std::string& root : roots)
        EXPECT_TRUE(IsDirectory(root)) << root;
}

// Sets an environment variable for the life of the object.
class ScopedVariable {
  public:
    ScopedVariable(const wchar_t* name, const wchar_t* value) : name_(name) {
        wchar_t buffer[32768];
        DWORD length = GetEnvironmentVariableW(name, buffer, 32768);
        had_ = length > 0 && length < 32768;
        if (had_)
            old_.assign(buffer, length);
        SetEnvironmentVariableW(name, value);
    }
    ~ScopedVariable() { SetEnvironmentVariableW(name_, had_ ? old_.c_str() : nullptr); }

  private:
    const wchar_t* name_;
    bool had_ = false;
    std::wstring old_;
};

TEST(WindowsTemplateDirectory, LocalAppDataThenTheProgramDirectory) {
    {
        ScopedVariable local(L"LOCALAPPDATA", (L"D:\\Users\\" + kNameUtf16 + L"\\AppData").c_str());
        EXPECT_EQ(PlatformTemplateDirectory("C:\\prog\\"),
                  "D:\\Users\\" + kNameUtf8 + "\\AppData\\carconv");
    }
    {
        ScopedVariable local(L"LOCALAPPDATA", nullptr);
        EXPECT_EQ(PlatformTemplateDirectory("C:\\prog\\"), "C:\\prog\\");
    }
}

TEST(WindowsFileSystem, SeparatorsCurrentDirectoryAndTerminal) {
    EXPECT_EQ(kPathSeparator, '\\');
    EXPECT_EQ(JoinPath("c:\\games", "car.viv"), "c:\\games\\car.viv");
    EXPECT_EQ(JoinPath("c:\\", "car.viv"), "c:\\car.viv");
    std::string cwd = CurrentDirectory();
    ASSERT_GE(cwd.size(), 3u);
    EXPECT_EQ(cwd.back(), '\\');
    EXPECT_EQ(cwd[1], ':');

    ScratchDir dir;
    std::FILE* file = _wfopen(test::Native(dir.File("out.txt")).c_str(), L"wb");
    ASSERT_NE(file, nullptr);
    EXPECT_FALSE(IsTerminal(file));
    std::fclose(file);
}

TEST(WindowsFileSystem, CopiesAndAtomicWritesReplaceExistingFiles) {
    ScratchDir dir;
    const std::string from = dir.File(kNameUtf8 + ".bnk");
    const std::string to = dir.File("copy " + kNameUtf8 + ".bnk");
    test::WriteFile(from, std::string("new bytes"));
    test::WriteFile(to, std::string("old"));
    CopyFileReplace(from, to);
    EXPECT_EQ(test::ReadFile(to), test::Bytes({'n', 'e', 'w', ' ', 'b', 'y', 't', 'e', 's'}));

    WriteFileAtomically(to, test::Bytes{1, 2, 3});
    EXPECT_EQ(test::ReadFile(to), test::Bytes({1, 2, 3}));
    WriteFileAtomically(to, test::Bytes{4});
    EXPECT_EQ(test::ReadFile(to), test::Bytes({4}));
    // No temporary file is left beside the target.
    EXPECT_EQ(test::ListNames(dir.Path()),
              (std::vector<std::string>{kNameUtf8 + ".bnk", "copy " + kNameUtf8 + ".bnk"}));
    EXPECT_THROW(CopyFileReplace(dir.File("missing"), to), IoError);
}

TEST(WindowsDirectorySearch, EntriesWithKindsAndUnicodeNames) {
    ScratchDir dir;
    const std::string root = dir.File(kNameUtf8);
    fs::create_directories(test::Native(root + "/sub " + kNameUtf8));
    test::WriteFile(root + "/" + kNameUtf8 + ".viv", std::string("x"));
    test::WriteFile(root + "/.hidden", std::string("y"));

    std::vector<DirectoryEntry> entries = SearchDirectory(root);
    std::map<std::string, DirectoryEntry::Kind> kinds;
    for (const DirectoryEntry& entry : entries)
        kinds[entry.name] = entry.kind;
    EXPECT_EQ(entries.size(), 3u);  // no "." or ".."
    EXPECT_EQ(kinds.size(), 3u);
    EXPECT_EQ(kinds["sub " + kNameUtf8], DirectoryEntry::Kind::kDirectory);
    EXPECT_EQ(kinds[kNameUtf8 + ".viv"], DirectoryEntry::Kind::kFile);
    EXPECT_EQ(kinds[".hidden"], DirectoryEntry::Kind::kFile);

    EXPECT_TRUE(SearchDirectory(root + "/sub " + kNameUtf8).empty());
    EXPECT_THROW(SearchDirectory(dir.File("missing")), IoError);

    // A directory link (a reparse point) is reported as a link, when this system lets the test
    // make one.
    std::error_code ec;
    fs::create_directory_symlink(test::Native(root + "/sub " + kNameUtf8),
                                 test::Native(root + "/link"), ec);
    if (ec) {
        std::printf("  (directory link not tested: %s)\n", ec.message().c_str());
        return;
    }
    for (const DirectoryEntry& entry : SearchDirectory(root)) {
        if (entry.name == "link") {
            EXPECT_EQ(entry.kind, DirectoryEntry::Kind::kLink);
        }
    }
}

TEST(WindowsUnicodePaths, APackageInANonAsciiFolderConvertsAndTheStockSearchFindsIt) {
    ScratchDir dir;
    const std::string folder = dir.File(kNameUtf8);
    const std::string templates = dir.File("Vorlagen-\xc3\xa4\xc3\xb6");
    fs::create_directories(test::Native(folder));
    fs::create_directories(test::Native(templates));
    test::WriteArchive(folder + "/" + kNameUtf8 + ".viv", test::Version3Members(false));
    test::WriteTemplates(templates);
    auto before = test::LeftoverWorkingDirectories();

    const std::string output = folder + "\\" + kNameUtf8 + "-v4.viv";
    ConvertPackage(folder + "\\" + kNameUtf8 + ".viv", output, templates + "\\");
    auto members = test::ReadArchive(output);
    ASSERT_EQ(members.size(), 27u);
    EXPECT_EQ(members.front().first, "carp.txt");
    EXPECT_EQ(members.back().first, "scareng.bnk");
    EXPECT_EQ(test::LeftoverWorkingDirectories(), before);
    EXPECT_EQ(test::ListNames(folder),
              (std::vector<std::string>{kNameUtf8 + "-v4.viv", kNameUtf8 + ".viv"}));

    // The stock package search walks the same folders and keeps the names intact.
    const std::string game = dir.File("Spiele " + kNameUtf8);
    fs::create_directories(test::Native(game + "/Data/Cars/FM50"));
    test::WriteArchive(game + "/Data/Cars/FM50/Car.viv", test::TemplateMembers());
    EXPECT_EQ(FindStockCarPackage(game), game + "\\Data\\Cars\\FM50\\Car.viv");
}

// Runs carconv.exe, which lies beside the test program, with `arguments` (a UTF-16 command-line
// tail).
test::ProcessResult RunCarconvExe(const std::wstring& arguments) {
    return test::RunProgram(L"carconv.exe", arguments);
}

TEST(WindowsExecutable, UnicodeArgumentsAndOutputPassThroughTheCommandLine) {
    ScratchDir dir;
    const std::string folder = dir.File(kNameUtf8);
    fs::create_directories(test::Native(folder));
    test::WriteFile(folder + "\\" + kNameUtf8 + ".txt", std::string("abc"));
    test::WriteFile(folder + "\\plain.txt", std::string("de"));
    const std::wstring wideFolder = test::Native(folder).wstring();
    const std::wstring archive = wideFolder + L".viv";

    test::ProcessResult r = RunCarconvExe(L"pack \"" + wideFolder + L"\" \"" + archive + L"\"");
    ASSERT_EQ(r.exitCode, 0u) << r.err;
    r = RunCarconvExe(L"list \"" + archive + L"\"");
    EXPECT_EQ(r.exitCode, 0u) << r.err;
    EXPECT_NE(r.out.find(kNameUtf8 + ".txt"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("plain.txt"), std::string::npos) << r.out;
    // The archive holds the name's UTF-8 bytes.
    auto members = test::ReadArchive(test::Utf8(fs::path(archive)));
    ASSERT_EQ(members.size(), 2u);
    EXPECT_EQ(members[0].first, kNameUtf8 + ".txt");
    EXPECT_EQ(members[0].second, test::Bytes({'a', 'b', 'c'}));

    // A failure is one error line that names the path as given.
    r = RunCarconvExe(L"list \"" + wideFolder + L"\\missing.viv\"");
    EXPECT_EQ(r.exitCode, 1u);
    EXPECT_EQ(r.err.rfind("carconv: error: " + folder + "\\missing.viv: ", 0), 0u) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
}

}  // namespace
}  // namespace carconv

#endif
