#include "platform/profile_store.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "files/warnings.h"
#include "support/test_util.h"

// The INI store exists on POSIX systems only; Windows keeps settings in the registry.
#ifndef _WIN32
namespace carconv {
namespace {

TEST(IniProfileStore, ReadsDefaultsWritesAndKeepsOtherSettings) {
    test::ScratchDir dir;
    IniProfileStore store(dir.Path(), "carconv");
    store.SetRegistryKey("Quillmark");
    EXPECT_EQ(store.FilePath(), dir.Path() + "/Quillmark/carconv.ini");
    EXPECT_EQ(store.GetProfileInt("Settings", "Installed", 0), 0);  // no file yet
    EXPECT_EQ(store.GetProfileInt("Settings", "Installed", 7), 7);

    store.WriteProfileInt("Settings", "Installed", 1);
    EXPECT_EQ(test::ReadFile(store.FilePath()),
              test::Bytes({'[', 'S', 'e', 't', 't', 'i', 'n', 'g', 's', ']', '\n', 'I',
                           'n', 's', 't', 'a', 'l', 'l', 'e', 'd', '=', '1', '\n'}));
    EXPECT_EQ(store.GetProfileInt("Settings", "Installed", 0), 1);

    // Settings written by hand, in other sections and keys, survive an update.
    test::WriteFile(store.FilePath(),
                    std::string("; mine\n[Other]\nColour = blue\n[Settings]\nInstalled=0\nX=5\n"));
    store.WriteProfileInt("Settings", "Installed", 1);
    EXPECT_EQ(store.GetProfileInt("Settings", "Installed", 0), 1);
    EXPECT_EQ(store.GetProfileInt("Settings", "X", 0), 5);
    IniProfileStore again(dir.Path(), "carconv");
    again.SetRegistryKey("Quillmark");
    EXPECT_EQ(again.GetProfileInt("Settings", "Installed", 0), 1);
    EXPECT_EQ(again.GetProfileInt("Other", "Colour", 3), 3);  // not a number: the default

    // No temporary file is left beside the settings.
    EXPECT_EQ(test::ListNames(dir.Path() + "/Quillmark"), std::vector<std::string>{"carconv.ini"});
}

TEST(IniProfileStore, AMalformedLineIsReportedOnceAndLeftOutOfTheNextWrite) {
    test::ScratchDir dir;
    IniProfileStore store(dir.Path(), "carconv");
    store.SetRegistryKey("Quillmark");
    std::filesystem::create_directories(dir.File("Quillmark"));
    test::WriteFile(store.FilePath(),
                    std::string("[Other]\nColour=blue\nno sign of a value\n[Settings]\n"
                                "Installed=2\n[broken\n"));
    std::vector<std::string> warnings;
    ScopedWarningSink sink([&](const std::string& m) { warnings.push_back(m); });
    EXPECT_EQ(store.GetProfileInt("Settings", "Installed", 0), 2);  // read past the bad line
    EXPECT_EQ(store.GetProfileInt("Settings", "Missing", 4), 4);
    EXPECT_EQ(warnings, (std::vector<std::string>{
                            store.FilePath() +
                            ": line 3 is malformed; what cannot be read counts as absent, and the "
                            "file is written anew when carconv next stores a setting"}));

    store.WriteProfileInt("Settings", "Installed", 1);
    EXPECT_EQ(warnings.size(), 1u);
    const std::string clean = "[Other]\nColour=blue\n\n[Settings]\nInstalled=1\n";
    EXPECT_EQ(test::ReadFile(store.FilePath()), test::Bytes(clean.begin(), clean.end()));
    IniProfileStore again(dir.Path(), "carconv");
    again.SetRegistryKey("Quillmark");
    EXPECT_EQ(again.GetProfileInt("Settings", "Installed", 0), 1);
    EXPECT_EQ(warnings.size(), 1u);
}

}  // namespace
}  // namespace carconv
#endif
