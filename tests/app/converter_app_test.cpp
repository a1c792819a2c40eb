#include "app/converter_app.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "files/errors.h"
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

}  // namespace
}  // namespace carconv
