// Packages handed to the program: which arguments count as such, the name proposed for one
// package, the conversion of several into a chosen folder with its closing message, and the
// carconv executable taking them on a terminal.

#include "app/package_drop.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/converter_app.h"
#include "platform/file_system.h"
#include "support/fakes.h"
#include "support/packages.h"
#include "support/test_util.h"

namespace carconv {
namespace {

namespace fs = std::filesystem;
using test::Q;
using test::ScratchDir;
using test::ScriptedDialogs;

const std::vector<std::string> kCommands = {
    "convert", "install-templates", "list", "info", "unpack", "pack"};

TEST(HandedPackages, OnlyExistingFilesEndingInVivAndNoCommand) {
    ScratchDir dir;
    test::WriteFile(dir.File("a.viv"), std::string("x"));
    test::WriteFile(dir.File("B.VIV"), std::string("x"));
    test::WriteFile(dir.File("notes.txt"), std::string("x"));
    test::WriteFile(dir.File("viv"), std::string("x"));
    fs::create_directories(dir.File("folder.viv"));
    EXPECT_TRUE(AreHandedPackages({dir.File("a.viv")}, kCommands));
    EXPECT_TRUE(AreHandedPackages({dir.File("a.viv"), dir.File("B.VIV")}, kCommands));

    EXPECT_FALSE(AreHandedPackages({}, kCommands));
    EXPECT_FALSE(AreHandedPackages({dir.File("missing.viv")}, kCommands));
    EXPECT_FALSE(AreHandedPackages({dir.File("a.viv"), dir.File("notes.txt")}, kCommands));
    EXPECT_FALSE(AreHandedPackages({dir.File("viv")}, kCommands));
    EXPECT_FALSE(AreHandedPackages({dir.File("folder.viv")}, kCommands));
    EXPECT_FALSE(AreHandedPackages({"list", dir.File("a.viv")}, kCommands));
    EXPECT_FALSE(AreHandedPackages({"--help"}, kCommands));
    // A package that happens to carry a command's name is still taken as the command.
    EXPECT_FALSE(AreHandedPackages({dir.File("a.viv")}, {dir.File("a.viv")}));
}

TEST(HandedPackages, TheProposedNameIsFreeInThePackagesFolder) {
    ScratchDir dir;
    const std::string input = dir.File("My Car.VIV");
    test::WriteFile(input, std::string("x"));
    EXPECT_EQ(FolderOf(input), dir.Path());
    EXPECT_EQ(FreshOutputName(input), "My Car-v4.viv");
    test::WriteFile(dir.File("My Car-v4.viv"), std::string("taken"));
    EXPECT_EQ(FreshOutputName(input), "My Car-v4-2.viv");
    fs::create_directories(dir.File("My Car-v4-2.viv"));  // a folder takes the name as well
    EXPECT_EQ(FreshOutputName(input), "My Car-v4-3.viv");
#ifndef _WIN32
    // So does a link that leads nowhere: saving there would write through it.
    fs::create_symlink(dir.File("nowhere"), dir.File("My Car-v4-3.viv"));
    EXPECT_EQ(FreshOutputName(input), "My Car-v4-4.viv");
#endif
    // A bare name lies in the current directory.
    EXPECT_EQ(FolderOf("car.viv"), CurrentDirectory());
}

TEST(HandedPackages, OnePackageSkipsTheOpenDialogAndSavesBesideIt) {
    ScratchDir dir;
    test::WriteArchive(dir.File("mycar.viv"), test::Version3Members(false));
    fs::create_directories(dir.File("templates"));
    test::WriteTemplates(dir.File("templates"));
    ScriptedDialogs dialogs({dir.File("mycar-v4.viv")});
    test::FakeProfile profile;
    ConverterApp::Settings settings;
    settings.templateDirectory = dir.File("templates/");
    settings.handedPackage = dir.File("mycar.viv");
    ConverterApp app(dialogs, profile, settings);
    EXPECT_FALSE(app.InitInstance());
    EXPECT_EQ(app.outcome(), ConverterApp::Outcome::kConverted);
    ASSERT_EQ(dialogs.requests.size(), 1u);
    const FileDialogRequest& save = dialogs.requests[0];
    EXPECT_EQ(save.kind, FileDialogRequest::Kind::kSave);
    EXPECT_EQ(save.title, "Save V4 CAR File");
    EXPECT_EQ(save.filter, "V4 CAR-Files (*.viv)|*.viv||");
    EXPECT_EQ(save.flags, 6u);
    EXPECT_EQ(save.initialDirectory, dir.Path());
    EXPECT_EQ(save.initialName, "mycar-v4.viv");
    EXPECT_EQ(test::ReadArchive(dir.File("mycar-v4.viv")).size(), 27u);
}

TEST(HandedPackages, SeveralGoIntoTheChosenFolderAndOneMessageTellsWhatHappened) {
    ScratchDir dir;
    fs::create_directories(dir.File("templates"));
    test::WriteTemplates(dir.File("templates"));
    fs::create_directories(dir.File("cars"));
    test::WriteArchive(dir.File("cars/a.viv"), test::Version3Members(false));
    test::WriteFile(dir.File("cars/broken.viv"), std::string("not a package"));
    test::WriteArchive(dir.File("cars/b.viv"), test::Version3Members(false));
    const std::vector<std::string> inputs = {dir.File("cars/a.viv"), dir.File("cars/broken.viv"),
                                             dir.File("cars/b.viv")};

    // Cancelled: nothing converted, nothing said.
    ScriptedDialogs cancelled({});
    EXPECT_EQ(ConvertHandedPackages(cancelled, inputs, dir.File("templates/")), 0);
    ASSERT_EQ(cancelled.requests.size(), 1u);
    EXPECT_EQ(cancelled.requests[0].kind, FileDialogRequest::Kind::kFolder);
    EXPECT_EQ(cancelled.requests[0].title, "Choose the Folder for the V4 CAR Files");
    EXPECT_EQ(cancelled.requests[0].initialDirectory, dir.File("cars"));
    EXPECT_TRUE(cancelled.messages.empty());
    EXPECT_EQ(test::ListNames(dir.File("cars")).size(), 3u);

    ScriptedDialogs dialogs({dir.File("out")});
    EXPECT_EQ(ConvertHandedPackages(dialogs, inputs, dir.File("templates/")), 1);
    EXPECT_EQ(test::ListNames(dir.File("out")), (std::vector<std::string>{"a.viv", "b.viv"}));
    EXPECT_EQ(test::ReadArchive(dir.File("out/a.viv")).size(), 27u);
    EXPECT_EQ(test::ReadArchive(dir.File("out/b.viv")).size(), 27u);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_TRUE(dialogs.messages[0].second);  // a warning: one failed
    const std::string& text = dialogs.messages[0].first;
    EXPECT_EQ(text.rfind("Converted 2 of 3 packages into " + dir.File("out") +
                             ":\na.viv\nb.viv\n\n"
                             "Not converted:\nbroken.viv: ",
                         0),
              0u)
        << text;
    // The reason, without the path that the heading line already names.
    EXPECT_EQ(text.find(dir.File("cars/broken.viv")), std::string::npos) << text;

    // The inputs' own folder: every package refused, with the reason, and no input touched.
    const test::Bytes a = test::ReadFile(dir.File("cars/a.viv"));
    ScriptedDialogs same({dir.File("cars")});
    EXPECT_EQ(ConvertHandedPackages(same, {dir.File("cars/a.viv")}, dir.File("templates/")), 1);
    ASSERT_EQ(same.messages.size(), 1u);
    EXPECT_NE(same.messages[0].first.find("Converted 0 of 1 packages into " + dir.File("cars") +
                                          ".\n\nNot converted:\na.viv: the output "),
              std::string::npos)
        << same.messages[0].first;
    EXPECT_NE(same.messages[0].first.find("would replace this input itself"), std::string::npos);
    EXPECT_EQ(test::ReadFile(dir.File("cars/a.viv")), a);

    // All converted: a plain notice.
    ScriptedDialogs good({dir.File("out2")});
    EXPECT_EQ(ConvertHandedPackages(good, {dir.File("cars/a.viv")}, dir.File("templates/")), 0);
    ASSERT_EQ(good.messages.size(), 1u);
    EXPECT_FALSE(good.messages[0].second);
    EXPECT_EQ(good.messages[0].first,
              "Converted 1 of 1 packages into " + dir.File("out2") + ":\na.viv");
}

TEST(HandedPackages, TheExecutableTakesThemWithoutACommandAndAsksOnTheTerminal) {
    CARCONV_SKIP_ON_WINDOWS("runs the tool through a POSIX shell");
    ScratchDir dir;
    const std::string env = test::InstalledUser(dir);
    fs::create_directories(dir.File("cars"));
    test::WriteArchive(dir.File("cars/a.viv"), test::Version3Members(false));
    test::WriteArchive(dir.File("cars/b.viv"), test::Version3Members(false));
    test::WriteFile(dir.File("cars/bad.viv"), std::string("not a package"));

    // One package: only the Save question, proposing a name, the answer taken as typed.
    auto r = test::RunCarconv(Q(dir.File("cars/a.viv")), dir.File("one.viv") + "\n", env);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "Save V4 CAR File [" + dir.File("cars/a-v4.viv") + "]: ");
    EXPECT_EQ(test::ReadArchive(dir.File("one.viv")).size(), 27u);

    // Several: the folder question, the batch's lines, its summary and its exit status.
    r = test::RunCarconv(Q(dir.File("cars/a.viv")) + " " + Q(dir.File("cars/bad.viv")) + " " +
                             Q(dir.File("cars/b.viv")),
                         dir.File("out") + "\n", env);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "converted 2, failed 1\n");
    EXPECT_EQ(r.err.rfind("Choose the Folder for the V4 CAR Files: carconv: error: " +
                              dir.File("cars/bad.viv") + ": ",
                          0),
              0u)
        << r.err;
    EXPECT_EQ(test::ListNames(dir.File("out")), (std::vector<std::string>{"a.viv", "b.viv"}));

    // Cancelled questions end quietly; a package that does not exist is a usage error.
    r = test::RunCarconv(Q(dir.File("cars/a.viv")) + " " + Q(dir.File("cars/b.viv")), "\n", env);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
    r = test::RunCarconv(Q(dir.File("cars/missing.viv")), dir.File("x.viv") + "\n", env);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("carconv: usage error:"), std::string::npos) << r.err;
    EXPECT_FALSE(test::Exists(dir.File("x.viv")));

    // A relative name is taken from the current directory, and so is the Save dialog's folder.
    r = test::RunCarconv("a.viv", "", "cd " + Q(dir.File("cars")) + " && " + env);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "Save V4 CAR File [" + dir.File("cars/a-v4.viv") + "]: \n");
}

}  // namespace
}  // namespace carconv
