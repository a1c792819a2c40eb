#include "app/converter_app.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

#include "app/package_commands.h"
#include "files/errors.h"
#include "files/warnings.h"
#include "support/fakes.h"
#include "support/packages.h"
#include "support/test_util.h"

namespace carconv {
namespace {

using test::Builder;
using test::ScratchDir;

using test::FakeProfile;
using test::ScriptedDialogs;

TEST(ConverterApp, AsksTheTwoQuestionsAndConverts) {
    ScratchDir dir;
    test::WriteArchive(dir.File("in.viv"), test::Version3Members(false));
    test::WriteTemplates(dir.Path());
    ScriptedDialogs dialogs({dir.File("in.viv"), dir.File("out.viv")});
    FakeProfile profile;
    ConverterApp::Settings settings;
    settings.templateDirectory = dir.Path() + "/";
    ConverterApp app(dialogs, profile, settings);
    auto before = test::LeftoverWorkingDirectories();
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(app.outcome(), ConverterApp::Outcome::kConverted);
    EXPECT_EQ(profile.key, "Quillmark");

    ASSERT_EQ(dialogs.requests.size(), 2u);
    const FileDialogRequest& open = dialogs.requests[0];
    EXPECT_EQ(open.kind, FileDialogRequest::Kind::kOpen);
    EXPECT_EQ(open.title, "Load V3 CAR File");
    EXPECT_EQ(open.filter, "V3 CAR-Files (*.viv)|*.viv||");
    EXPECT_EQ(open.defaultExtension, "viv");
    EXPECT_EQ(open.flags, 4u);
    const FileDialogRequest& save = dialogs.requests[1];
    EXPECT_EQ(save.kind, FileDialogRequest::Kind::kSave);
    EXPECT_EQ(save.title, "Save V4 CAR File");
    EXPECT_EQ(save.filter, "V4 CAR-Files (*.viv)|*.viv||");
    EXPECT_EQ(save.flags, 6u);

    EXPECT_EQ(test::ReadArchive(dir.File("out.viv")).size(), 27u);
    EXPECT_EQ(test::LeftoverWorkingDirectories(), before);
}

TEST(ConverterApp, CancelOrAFailedFirstRunCheckEndsQuietlyTouchingNothing) {
    ScratchDir dir;
    FakeProfile profile;
    {
        ScriptedDialogs dialogs({std::nullopt});
        ConverterApp app(dialogs, profile, {});
        EXPECT_FALSE(app.InitInstance());
        EXPECT_EQ(app.outcome(), ConverterApp::Outcome::kCancelled);
        EXPECT_EQ(dialogs.requests.size(), 1u);  // no Save dialog after a cancelled Open
    }
    {
        ScriptedDialogs dialogs({dir.File("in.viv"), std::nullopt});
        ConverterApp app(dialogs, profile, {});
        EXPECT_FALSE(app.InitInstance());
        EXPECT_EQ(app.outcome(), ConverterApp::Outcome::kCancelled);
    }
    {
        ScriptedDialogs dialogs({dir.File("in.viv"), dir.File("out.viv")});
        ConverterApp::Settings settings;
        std::string seenTemplates;
        settings.templateDirectory = dir.Path() + "/";
        settings.firstRunCheck = [&](ProfileStore&, const std::string& t) {
            seenTemplates = t;
            return false;
        };
        ConverterApp app(dialogs, profile, settings);
        EXPECT_FALSE(app.InitInstance());
        EXPECT_EQ(app.outcome(), ConverterApp::Outcome::kStoppedAtFirstRun);
        EXPECT_TRUE(dialogs.requests.empty());
        EXPECT_EQ(seenTemplates, dir.Path() + "/");
    }
    EXPECT_TRUE(test::ListNames(dir.Path()).empty());
}

TEST(ConverterApp, FailureThrowsAndLeavesNoOutputAndNoWorkingDirectory) {
    ScratchDir dir;
    test::WriteFile(dir.File("bad.viv"), std::string("BIGF"));
    test::WriteFile(dir.File("out.viv"), std::string("old"));
    ScriptedDialogs dialogs({dir.File("bad.viv"), dir.File("out.viv")});
    FakeProfile profile;
    ConverterApp app(dialogs, profile, {});
    auto before = test::LeftoverWorkingDirectories();
    EXPECT_THROW(app.InitInstance(), FormatError);
    EXPECT_EQ(test::ReadFile(dir.File("out.viv")), test::Bytes({'o', 'l', 'd'}));
    EXPECT_EQ(test::ListNames(dir.Path()), (std::vector<std::string>{"bad.viv", "out.viv"}));
    EXPECT_EQ(test::LeftoverWorkingDirectories(), before);
}

// The 28 members of a converted package that carries its front-end pictures, in order.
const std::vector<std::string> kOutputNames = {
    "carp.txt",   "carp1.txt",  "carp2.txt",   "carp3.txt",  "car.fce",    "car1.fce",
    "car2.fce",   "car3.fce",   "car00.tga",   "car100.tga", "car200.tga", "car300.tga",
    "dash.fsh",   "dash.fce",   "dash00.tga",  "fedata.fsh", "fedata.eng", "fedata.bri",
    "fedata.ger", "fedata.fre", "fedata.ita",  "fedata.spa", "fedata.swe", "careng.ctb",
    "careng.ltb", "careng.bnk", "ocareng.bnk", "scareng.bnk"};

std::vector<std::string> Names(const std::vector<std::pair<std::string, test::Bytes>>& members) {
    std::vector<std::string> names;
    for (const auto& m : members)
        names.push_back(m.first);
    return names;
}

std::string Upper(std::string s) {
    for (char& c : s)
        c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    return s;
}

TEST(ConvertPackage, FindsMembersAndTemplatesInAnyLetterCase) {
    ScratchDir dir;
    std::vector<std::pair<std::string, test::Bytes>> members = test::Version3Members(true);
    const std::map<std::string, std::string> spelled = {
        {"carp.txt", "CARP.TXT"},     {"car.fce", "Car.Fce"},       {"car00.tga", "CAR00.TGA"},
        {"fedata.eng", "FEDATA.ENG"}, {"fedata.ger", "Fedata.Ger"}, {"fedata.fsh", "FEDATA.FSH"}};
    for (auto& m : members) {
        auto it = spelled.find(m.first);
        if (it != spelled.end())
            m.first = it->second;
    }
    test::WriteArchive(dir.File("in.viv"), members);
    std::filesystem::create_directory(dir.File("templates"));
    for (const auto& [name, bytes] : test::TemplateMembers())
        test::WriteFile(dir.File("templates/" + Upper(name)), bytes);

    ConvertPackage(dir.File("in.viv"), dir.File("out.viv"), dir.File("templates/"));
    const auto out = test::ReadArchive(dir.File("out.viv"));
    EXPECT_EQ(Names(out), kOutputNames);
    const std::string carp(out[0].second.begin(), out[0].second.end());
    EXPECT_NE(carp.find("(79)\r\nv79\r\n"), std::string::npos);
    EXPECT_EQ(out[12].second, test::Fsh());  // dash.fsh
    EXPECT_EQ(out[15].second, test::Fsh());  // fedata.fsh
    EXPECT_EQ(out[27].second.size(), std::string("scareng.bnk data").size());
}

TEST(ConvertPackage, OfTwoMembersDifferingOnlyInCaseTheLaterOneWins) {
    ScratchDir dir;
    std::vector<std::pair<std::string, test::Bytes>> members = test::Version3Members(false);
    std::string older = test::Carp3Text();
    for (std::size_t at = older.find("\nv"); at != std::string::npos; at = older.find("\nv", at))
        older.replace(at, 2, "\nold-");
    // The first "carp.txt" is replaced by a later "CARP.TXT", as a file system that ignores case
    // would unpack them.
    for (auto& m : members) {
        if (m.first == "carp.txt") {
            m.second = test::Bytes(older.begin(), older.end());
            const std::string later = test::Carp3Text();
            members.push_back({"CARP.TXT", test::Bytes(later.begin(), later.end())});
            break;
        }
    }
    test::WriteArchive(dir.File("in.viv"), members);
    test::WriteTemplates(dir.Path());
    std::vector<std::string> warnings;
    ScopedWarningSink sink([&](const std::string& m) { warnings.push_back(m); });
    ConvertPackage(dir.File("in.viv"), dir.File("out.viv"), dir.Path() + "/");
    EXPECT_EQ(warnings, (std::vector<std::string>{
                            "in.viv: members \"carp.txt\" and \"CARP.TXT\" differ only in "
                            "letter case; the later one, \"CARP.TXT\", is used"}));
    const auto out = test::ReadArchive(dir.File("out.viv"));
    ASSERT_EQ(out.size(), 27u);
    EXPECT_EQ(out[0].first, "carp.txt");
    const std::string carp(out[0].second.begin(), out[0].second.end());
    EXPECT_NE(carp.find("(12)\r\nv12\r\n"), std::string::npos) << carp;
    EXPECT_EQ(carp.find("old-"), std::string::npos) << carp;
}

TEST(ConvertPackage, AnOutputNameAsLongAsTheFileSystemAllows) {
    ScratchDir dir;
    test::WriteArchive(dir.File("in.viv"), test::Version3Members(false));
    test::WriteTemplates(dir.Path());
    const std::string name = std::string(251, 'o') + ".viv";
    ConvertPackage(dir.File("in.viv"), dir.File(name), dir.Path() + "/");
    EXPECT_EQ(test::ReadArchive(dir.File(name)).size(), 27u);
    auto names = test::ListNames(dir.Path());
    EXPECT_EQ(std::count(names.begin(), names.end(), name), 1);
    EXPECT_EQ(names.size(), 10u);  // the input, the output and the eight templates
}

// A picture archive whose first entry has a name that is no file name.
test::Bytes MalformedFsh() {
    Builder b;
    b.str("SHPI").u32le(40).u32le(2).str("GIMX");  // tag, size, entry count, directory tag
    b.str("ab/c").u32le(32);                       // entry 0: an unsafe name
    b.str("dash").u32le(32);                       // entry 1: zero bytes, not after entry 0
    b.str("RGBArgba");
    return b.bytes();
}

TEST(ConvertPackage, MalformedPictureArchivesAreCarriedByteForByte) {
    ScratchDir dir;
    std::vector<std::pair<std::string, test::Bytes>> members = test::Version3Members(true);
    members.back().second = MalformedFsh();  // fedata.fsh
    test::WriteArchive(dir.File("in.viv"), members);
    test::WriteTemplates(dir.Path());
    test::Bytes dash = MalformedFsh();
    dash[8] = 1;  // entry count 1: only the unsafe name
    test::WriteFile(dir.File("dash.fsh"), dash);

    std::vector<std::string> warnings;
    {
        ScopedWarningSink sink([&](const std::string& m) { warnings.push_back(m); });
        ConvertPackage(dir.File("in.viv"), dir.File("out.viv"), dir.Path() + "/");
    }
    const auto out = test::ReadArchive(dir.File("out.viv"));
    EXPECT_EQ(Names(out), kOutputNames);
    EXPECT_EQ(out[12].second, dash);
    EXPECT_EQ(out[15].second, MalformedFsh());
    auto carried = [&warnings](const std::string& name) {
        return std::count_if(warnings.begin(), warnings.end(), [&name](const std::string& w) {
            return w.rfind(name +
                               ": carried as it is, although it is not a valid picture "
                               "archive: ",
                           0) == 0 &&
                   w.find("entry 0 has a name that is unsafe") != std::string::npos;
        });
    };
    EXPECT_EQ(carried("dash.fsh"), 1);
    EXPECT_EQ(carried("fedata.fsh"), 1);

    // Listing the package still shows the picture archives as malformed.
    warnings.clear();
    std::ostringstream listing;
    {
        ScopedWarningSink sink([&](const std::string& m) { warnings.push_back(m); });
        ListArchive(dir.File("out.viv"), false, listing);
    }
    EXPECT_NE(listing.str().find(" dash.fsh -\n"), std::string::npos) << listing.str();
    EXPECT_NE(listing.str().find(" fedata.fsh -\n"), std::string::npos) << listing.str();
    EXPECT_EQ(warnings.size(), 2u);
}

// The error ConvertPackage throws, or "" when it converts.
std::string ConversionError(const std::string& input, const std::string& output,
                            const std::string& templates) {
    try {
        ConvertPackage(input, output, templates);
    } catch (const CarconvError& e) {
        return e.what();
    }
    return std::string();
}

TEST(ConvertPackage, NeverReplacesItsInputWhateverPathNamesIt) {
    ScratchDir dir;
    test::WriteArchive(dir.File("in.viv"), test::Version3Members(false));
    test::WriteTemplates(dir.Path());
    const test::Bytes original = test::ReadFile(dir.File("in.viv"));
    std::filesystem::create_directory(test::Native(dir.File("sub")));
    std::vector<std::string> sameFile = {dir.File("in.viv"), dir.File("sub/../in.viv")};
    std::error_code ec;
    std::filesystem::create_hard_link(test::Native(dir.File("in.viv")),
                                      test::Native(dir.File("hard.viv")), ec);
    if (!ec)
        sameFile.push_back(dir.File("hard.viv"));
#ifdef _WIN32
    sameFile.push_back(dir.File("IN.VIV"));  // the file system ignores letter case
#else
    std::filesystem::create_symlink(dir.File("in.viv"), dir.File("link.viv"));
    sameFile.push_back(dir.File("link.viv"));
#endif
    const auto before = test::LeftoverWorkingDirectories();
    for (const std::string& output : sameFile) {
        EXPECT_NE(ConversionError(dir.File("in.viv"), output, dir.Path() + "/")
                      .find(": is the input package " + dir.File("in.viv") +
                            " itself (the same file); the conversion cannot be undone"),
                  std::string::npos)
            << output;
    }
    // The dialog run refuses it the same way.
    ScriptedDialogs dialogs({dir.File("in.viv"), dir.File("in.viv")});
    FakeProfile profile;
    ConverterApp::Settings settings;
    settings.templateDirectory = dir.Path() + "/";
    ConverterApp app(dialogs, profile, settings);
    EXPECT_THROW(app.InitInstance(), IoError);
    EXPECT_EQ(test::ReadFile(dir.File("in.viv")), original);
    EXPECT_EQ(test::LeftoverWorkingDirectories(), before);
}

TEST(ConvertPackage, InputOutputAndTemplatesAreCheckedBeforeAnythingIsWritten) {
    ScratchDir dir;
    test::WriteArchive(dir.File("in.viv"), test::Version3Members(false));
    std::filesystem::create_directory(test::Native(dir.File("templates")));
    test::WriteTemplates(dir.File("templates"));
    const std::string templates = dir.File("templates/");
    const std::string in = dir.File("in.viv");
    std::filesystem::create_directory(test::Native(dir.File("folder")));
    const auto before = test::LeftoverWorkingDirectories();
    EXPECT_EQ(ConversionError(dir.File("folder"), dir.File("out.viv"), templates),
              dir.File("folder") + ": is a directory, not a package");
    EXPECT_EQ(ConversionError(in, "", templates), "the output path is empty");
    EXPECT_EQ(
        ConversionError(in, dir.File("none/out.viv"), templates),
        dir.File("none/out.viv") + ": cannot write there: " + dir.File("none") + " does not exist");
    EXPECT_EQ(ConversionError(in, dir.File("folder"), templates),
              dir.File("folder") + ": is a directory");
    EXPECT_EQ(ConversionError(dir.File("missing.viv"), dir.File("out.viv"), templates)
                  .rfind(dir.File("missing.viv") + ": cannot open for reading: ", 0),
              0u);

    // A member the package lacks is named in the package.
    auto members = test::Version3Members(false);
    members.erase(std::remove_if(members.begin(), members.end(),
                                 [](const auto& m) { return m.first == "carp.txt"; }),
                  members.end());
    test::WriteArchive(dir.File("nocarp.viv"), members);
    EXPECT_EQ(ConversionError(dir.File("nocarp.viv"), dir.File("out.viv"), templates),
              dir.File("nocarp.viv") + " has no member carp.txt");

    // Template files: each there, a regular file, and all of them fit a package.
    std::filesystem::remove(test::Native(dir.File("templates/careng.bnk")));
    EXPECT_EQ(ConversionError(in, dir.File("out.viv"), templates),
              "template file careng.bnk is missing from the templates directory " + templates +
                  "; install the template files with 'carconv install-templates'");
#ifndef _WIN32
    test::WriteFile(dir.File("secret"), std::string("root:x:0:0"));
    std::filesystem::create_symlink(dir.File("secret"), dir.File("templates/careng.bnk"));
    EXPECT_EQ(ConversionError(in, dir.File("out.viv"), templates),
              "template file careng.bnk in the templates directory " + templates +
                  " is a link; template files must be regular files");
    std::filesystem::remove(dir.File("templates/careng.bnk"));
    // Two sparse templates of 1.2 GiB: nothing of them is copied.
    for (const char* name : {"careng.bnk", "ocareng.bnk"}) {
        test::WriteFile(dir.File(std::string("templates/") + name), std::string());
        std::filesystem::resize_file(dir.File(std::string("templates/") + name),
                                     std::uintmax_t{1200} << 20);
    }
    std::uintmax_t total = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.File("templates")))
        total += entry.file_size();
    EXPECT_EQ(ConversionError(in, dir.File("out.viv"), templates),
              "the template files in the templates directory " + templates + " add up to " +
                  std::to_string(total) + " bytes, more than a package can hold (2 GiB)");
#endif
    std::vector<std::string> expected = {"folder", "in.viv", "nocarp.viv", "templates"};
#ifndef _WIN32
    expected.insert(expected.begin() + 3, "secret");
#endif
    EXPECT_EQ(test::ListNames(dir.Path()), expected);
    EXPECT_EQ(test::LeftoverWorkingDirectories(), before);
}

TEST(ConvertPackage, AForeignMagicAndTheMembersNotCarriedAreNamedOnce) {
    ScratchDir dir;
    auto members = test::Version3Members(false);
    members.push_back({"readme.txt", test::Bytes{'h', 'i'}});
    members.push_back({"car01.tga", test::Tga32(1, 1)});
    members.push_back({"README.TXT", test::Bytes{'H', 'I'}});
    test::WriteArchive(dir.File("in.viv"), members);
    test::Bytes bytes = test::ReadFile(dir.File("in.viv"));
    bytes[3] = 'H';  // "BIGH"
    test::WriteFile(dir.File("in.viv"), bytes);
    test::WriteTemplates(dir.Path());
    std::vector<std::string> warnings;
    {
        ScopedWarningSink sink([&](const std::string& m) { warnings.push_back(m); });
        ConvertPackage(dir.File("in.viv"), dir.File("out.viv"), dir.Path() + "/");
    }
    ASSERT_EQ(warnings.size(), 3u);
    EXPECT_EQ(warnings[0],
              "in.viv: the archive begins with \"BIGH\", not \"BIGF\"; read as a BIGF "
              "archive");
    EXPECT_NE(warnings[1].find("differ only in letter case"), std::string::npos) << warnings[1];
    EXPECT_EQ(warnings[2], "in.viv: not carried into the version-4 package: readme.txt, car01.tga");
    const test::Bytes out = test::ReadFile(dir.File("out.viv"));
    EXPECT_EQ(std::string(out.begin(), out.begin() + 4), "BIGF");
    EXPECT_EQ(test::ReadArchive(dir.File("out.viv")).size(), 27u);
}

TEST(ConsoleFileDialogs, PromptsWithTheTitleAndCancelsOnEmptyAnswers) {
    FileDialogRequest save;
    save.kind = FileDialogRequest::Kind::kSave;
    save.title = "Save V4 CAR File";
    save.defaultExtension = "viv";
    std::istringstream in("out\r\n/x.y/named.viv\n\n");
    std::ostringstream prompt;
    ConsoleFileDialogs dialogs(in, prompt);
    EXPECT_EQ(dialogs.Show(save), std::optional<std::string>("out.viv"));
    EXPECT_EQ(dialogs.Show(save), std::optional<std::string>("/x.y/named.viv"));
    EXPECT_EQ(dialogs.Show(save), std::nullopt);  // empty line
    EXPECT_EQ(dialogs.Show(save), std::nullopt);  // end of input
    EXPECT_EQ(prompt.str().substr(0, 18), "Save V4 CAR File: ");
}

#ifndef _WIN32
// An output folder that is there but cannot be reached says why, not that it does not exist.
TEST(CheckConversionPaths, AnOutputFolderThatCannotBeReachedSaysWhy) {
    ScratchDir dir;
    test::WriteFile(dir.File("in.viv"), std::string("v3"));
    std::error_code ec;
    std::filesystem::create_directory_symlink(test::Native(dir.File("loop")),
                                              test::Native(dir.File("loop")), ec);
    const struct {
        std::string folder;
        std::string reason;
    } cases[] = {
        {dir.File("missing"), "missing does not exist"},
        {dir.File("in.viv"), "in.viv is not a folder"},
        {dir.File("loop"), "loop cannot be reached: Too many levels of symbolic links"},
        {dir.File(std::string(300, 'n')), "cannot be reached: File name too long"},
    };
    for (const auto& c : cases) {
        if (ec && c.folder == dir.File("loop"))
            continue;  // no links on this file system
        try {
            CheckConversionPaths(dir.File("in.viv"), c.folder + test::kSeparator + "out.viv");
            ADD_FAILURE() << c.folder << ": accepted";
        } catch (const IoError& e) {
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
        }
    }
}
#endif

}  // namespace
}  // namespace carconv
