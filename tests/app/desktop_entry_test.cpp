// The files that make carconv a desktop application on Linux: the desktop entry that file
// managers offer packages to, and the MIME type that makes "*.viv" files car packages. Checked
// with the desktop's own tools where they are installed.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/test_util.h"

namespace carconv {
namespace {

using test::Q;
using test::ScratchDir;

const std::string kDataDir = CARCONV_DATA_DIR;

std::string Text(const std::string& path) {
    test::Bytes bytes = test::ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

// The value of `key` in the "[Desktop Entry]" group, or "" when it has none.
std::string EntryValue(const std::string& entry, const std::string& key) {
    std::istringstream lines(entry);
    std::string line;
    bool inGroup = false;
    while (std::getline(lines, line)) {
        if (!line.empty() && line[0] == '[')
            inGroup = line == "[Desktop Entry]";
        else if (inGroup && line.rfind(key + "=", 0) == 0)
            return line.substr(key.size() + 1);
    }
    return "";
}

// Whether `command` can be run from the shell.
bool Installed(const std::string& command) {
    return std::system(("command -v " + command + " >/dev/null 2>&1").c_str()) == 0;
}

TEST(DesktopEntry, OpensEveryPackageHandedOverAndValidates) {
    CARCONV_SKIP_ON_WINDOWS("desktop entries are a Linux desktop's");
    const std::string path = kDataDir + "/carconv.desktop";
    const std::string entry = Text(path);
    EXPECT_EQ(EntryValue(entry, "Type"), "Application");
    // %F: every file selected in the file manager, as local paths, in one start.
    EXPECT_EQ(EntryValue(entry, "Exec"), "carconv %F");
    EXPECT_EQ(EntryValue(entry, "Terminal"), "false");
    EXPECT_EQ(EntryValue(entry, "MimeType"), "application/x-viv-car-package;");

    if (!Installed("desktop-file-validate"))
        GTEST_SKIP() << "desktop-file-validate is not installed (package desktop-file-utils)";
    ScratchDir io;
    int status = std::system(
        ("desktop-file-validate " + Q(path) + " >" + Q(io.File("out")) + " 2>&1").c_str());
    EXPECT_EQ(status, 0) << Text(io.File("out"));
    EXPECT_EQ(Text(io.File("out")), "");
}

TEST(DesktopEntry, TheMimeTypeMakesVivFilesCarPackages) {
    CARCONV_SKIP_ON_WINDOWS("shared MIME types are a Linux desktop's");
    const std::string xml = Text(kDataDir + "/carconv.xml");
    EXPECT_NE(xml.find("type=\"application/x-viv-car-package\""), std::string::npos);

    if (!Installed("update-mime-database"))
        GTEST_SKIP() << "update-mime-database is not installed (package shared-mime-info)";
    // A MIME database of its own, built from our file alone, as the desktop builds its own.
    ScratchDir dir;
    std::filesystem::create_directories(dir.File("mime/packages"));
    std::filesystem::copy_file(kDataDir + "/carconv.xml", dir.File("mime/packages/carconv.xml"));
    ASSERT_EQ(
        std::system(("update-mime-database " + Q(dir.File("mime")) + " >/dev/null 2>&1").c_str()),
        0);
    EXPECT_NE(Text(dir.File("mime/globs2")).find(":application/x-viv-car-package:*.viv"),
              std::string::npos)
        << Text(dir.File("mime/globs2"));
    EXPECT_EQ(Text(dir.File("mime/types")), "application/x-viv-car-package\n");
    // Packages are known by their first bytes too, whatever their name.
    EXPECT_NE(Text(dir.File("mime/magic")).find("BIGF"), std::string::npos);
}

}  // namespace
}  // namespace carconv
