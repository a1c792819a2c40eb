#include "desktop/dialog_filter.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <fnmatch.h>
#endif

#include <filesystem>
#include <string>
#include <vector>

#include "support/packages.h"
#include "support/test_util.h"

namespace carconv {
namespace {

TEST(DialogFilter, SplitsNamesAndPatterns) {
    auto entries = ParseDialogFilter("V3 CAR-Files (*.viv)|*.viv||");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "V3 CAR-Files (*.viv)");
    EXPECT_EQ(entries[0].patterns, std::vector<std::string>{"*.viv"});

    entries = ParseDialogFilter("Cars (*.viv;*.big)|*.viv;*.big|All files|*.*||ignored|*.x||");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "Cars (*.viv;*.big)");
    EXPECT_EQ(entries[0].patterns, (std::vector<std::string>{"*.viv", "*.big"}));
    EXPECT_EQ(entries[1].name, "All files");
    EXPECT_EQ(entries[1].patterns, std::vector<std::string>{"*.*"});

    // Without the closing bars, with empty patterns, or with a name and no pattern part.
    entries = ParseDialogFilter("Cars|*.viv;;*.big;");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].patterns, (std::vector<std::string>{"*.viv", "*.big"}));
    EXPECT_TRUE(ParseDialogFilter("").empty());
    EXPECT_TRUE(ParseDialogFilter("|*.viv||").empty());
    EXPECT_TRUE(ParseDialogFilter("Cars").empty());
    EXPECT_TRUE(ParseDialogFilter("Cars||").empty());
}

TEST(DialogFilter, CaseInsensitiveGlobMatchesEveryCase) {
    EXPECT_EQ(CaseInsensitiveGlob("*.viv"), "*.[vV][iI][vV]");
    EXPECT_EQ(CaseInsensitiveGlob("*.[ab]?"), "*.[aAbB]?");
    EXPECT_EQ(CaseInsensitiveGlob("[]a]x"), "[]aA][xX]");
    EXPECT_EQ(CaseInsensitiveGlob("[!a]1"), "[!aA]1");

#ifndef _WIN32
    // Checked with the C library's matcher rather than against the text alone.
    const std::string glob = CaseInsensitiveGlob("*.viv");
    for (const char* name : {"car.viv", "CAR.VIV", "Car.Viv", "x.vIv"})
        EXPECT_EQ(fnmatch(glob.c_str(), name, 0), 0) << name;
    for (const char* name : {"car.vi", "car.viv.bak", "carviv", "car.fce"})
        EXPECT_NE(fnmatch(glob.c_str(), name, 0), 0) << name;
    const std::string bracket = CaseInsensitiveGlob("[!a]*");
    EXPECT_NE(fnmatch(bracket.c_str(), "Abc", 0), 0);
    EXPECT_EQ(fnmatch(bracket.c_str(), "bcd", 0), 0);
#endif
}

TEST(DialogFilter, CompleteExtensionOnlyWhenTheNameHasNone) {
    EXPECT_EQ(CompleteExtension("/home/u/out", "viv"), "/home/u/out.viv");
    EXPECT_EQ(CompleteExtension("out", "viv"), "out.viv");
    EXPECT_EQ(CompleteExtension("/home/u/out.viv", "viv"), "/home/u/out.viv");
    EXPECT_EQ(CompleteExtension("/home/u/out.VIV", "viv"), "/home/u/out.VIV");
    EXPECT_EQ(CompleteExtension("/home/u/out.big", "viv"), "/home/u/out.big");
    // A dot in a folder name is not the name's extension.
    EXPECT_EQ(CompleteExtension("/home/u.v/out", "viv"), "/home/u.v/out.viv");
    EXPECT_EQ(CompleteExtension("C:\\cars.old\\out", "viv"), "C:\\cars.old\\out.viv");
    // No name, or no default extension: nothing to add.
    EXPECT_EQ(CompleteExtension("/home/u/", "viv"), "/home/u/");
    EXPECT_EQ(CompleteExtension("", "viv"), "");
    EXPECT_EQ(CompleteExtension("/home/u/out", ""), "/home/u/out");
}

// Without a display the desktop dialogs are the questions on the terminal, also in a build with
// GTK: a display that cannot be opened must not end the run, and neither must a program whose
// window module is missing, which says so in one line before it asks.
TEST(DesktopDialogs, WithoutAUsableDisplayTheRunAsksOnTheTerminal) {
    CARCONV_SKIP_ON_WINDOWS("runs the tool through a POSIX shell");
    test::ScratchDir dir;
    std::filesystem::create_directories(dir.File("config/Quillmark"));
    test::WriteFile(dir.File("config/Quillmark/carconv.ini"),
                    std::string("[Settings]\nInstalled=1\n"));
    std::filesystem::create_directories(dir.File("data/carconv"));
    test::WriteTemplates(dir.File("data/carconv"));
    test::WriteArchive(dir.File("in.viv"), test::Version3Members(false));
    const std::string user = "HOME='" + dir.Path() + "' XDG_CONFIG_HOME='" + dir.File("config") +
                             "' XDG_DATA_HOME='" + dir.File("data") +
                             "' CARCONV_TEMPLATES= WINEPREFIX='" + dir.File("nowine") + "'";
    const std::filesystem::path program(CARCONV_EXECUTABLE);
    const bool gtkModule = std::filesystem::exists(program.parent_path() / "carconv-gtk.so");
    std::filesystem::create_directories(dir.File("alone"));
    std::filesystem::copy_file(program, dir.File("alone/carconv"));
    struct Case {
        std::string name, display, program, firstLine;
    };
    const std::string closed = " DISPLAY=:4711 GDK_BACKEND=x11";
    std::vector<Case> cases = {{"none", "", "", ""}, {"closed", closed, "", ""}};
    if (gtkModule)
        cases.push_back({"alone", closed, dir.File("alone/carconv"),
                         "carconv: no dialog windows (no carconv-gtk.so in " + dir.File("alone")});
    for (const Case& c : cases) {
        std::string out = dir.File(c.name);
        auto r = test::RunCarconv("", dir.File("in.viv") + "\n" + out + "\n", user + c.display,
                                  c.program);
        ASSERT_EQ(r.exitCode, 0) << c.name << ": " << r.err;
        const std::string::size_type questions = r.err.find("Load V3 CAR File: ");
        ASSERT_NE(questions, std::string::npos) << c.name << ": " << r.err;
        const std::string before = r.err.substr(0, questions);
        if (c.firstLine.empty())
            EXPECT_EQ(before, "") << c.name;
        else
            EXPECT_EQ(before.rfind(c.firstLine, 0), 0u) << c.name << ": " << before;
        EXPECT_NE(r.err.find("Save V4 CAR File: "), std::string::npos) << r.err;
        EXPECT_EQ(test::ReadArchive(out + ".viv").size(), 27u) << c.name;
    }
}

}  // namespace
}  // namespace carconv
