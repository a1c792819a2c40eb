#include "gui/gui_driver.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "support/packages.h"

namespace carconv::gui {

using test::Q;

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

namespace {

// `text` as a regular expression that matches exactly it.
std::string Literal(const std::string& text) {
    std::string pattern;
    for (char c : text) {
        if (std::string_view(".[]()*+?{}|^$\\").find(c) != std::string_view::npos)
            pattern += '\\';
        pattern += c;
    }
    return pattern;
}

}  // namespace

std::vector<std::string> VisibleWindows(const std::string& title) {
    std::string out = Capture("timeout 5 xdotool search --onlyvisible --name " +
                              Q("^" + Literal(title) + "$") + " 2>/dev/null");
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

void Send(const std::string& window, const std::string& commands) {
    Capture("timeout 10 xdotool windowfocus --sync " + window + " " + commands + " 2>&1");
}

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

std::string DesktopUser(const test::ScratchDir& dir, bool installed) {
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
           " GDK_BACKEND=x11 NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory CARCONV_QUIET=1";
}

std::vector<std::string> FilesBelow(const std::string& dir) {
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir)) {
        if (e.is_regular_file())
            files.push_back(std::filesystem::relative(e.path(), dir).string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

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

}  // namespace carconv::gui
