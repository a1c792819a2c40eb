#include "platform/profile_store.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace carconv
#endif
