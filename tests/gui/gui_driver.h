#pragma once

// Operating carconv's windows on an X display the way a user does: windows are found by their
// titles and answered with keystrokes (xdotool). Every wait is bounded, so that a missing window
// fails a test instead of hanging it.

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "support/test_util.h"

namespace carconv::gui {

using Clock = std::chrono::steady_clock;

// Runs a shell command and returns what it printed on stdout.
std::string Capture(const std::string& command);

// Visible windows whose title is exactly `title`.
std::vector<std::string> VisibleWindows(const std::string& title);

// The window titled `title` once it is visible, or nothing after `seconds`.
std::optional<std::string> WaitForWindow(const std::string& title, double seconds);

// Gives `window` the keyboard focus and sends it an xdotool command chain ("key Escape",
// "type --delay 10 text", ...).
void Send(const std::string& window, const std::string& commands);

// Types `path` into a file chooser's name entry and presses Return until the window titled
// `title` goes away. The chooser checks a typed location in the background, and a Return that
// comes before that check is ignored, so one Return is not always enough.
bool EnterPath(const std::string& title, const std::string& window, const std::string& path);

// carconv started in the background (test::CarconvProcess).
using Carconv = test::CarconvProcess;

// The environment of a desktop user whose settings, templates, home and toolkit folders lie
// inside `dir`; with `installed`, the templates are in place, otherwise it is a first start and
// no game can be found under the home folder. The window that shows what a conversion wrote is
// left out (CARCONV_QUIET=1); a test that looks at it appends " CARCONV_QUIET=".
std::string DesktopUser(const test::ScratchDir& dir, bool installed);

// Every regular file below `dir`, as a path relative to it, sorted.
std::vector<std::string> FilesBelow(const std::string& dir);

// The last non-empty line of `text`, without its line end.
std::string LastLine(const std::string& text);

// The members of a converted package, in order.
extern const std::vector<std::string> kOutputOrder;
std::vector<std::string> MemberNames(const std::string& archive);

}  // namespace carconv::gui
