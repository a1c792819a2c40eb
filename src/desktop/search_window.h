#pragma once

// The window a desktop run shows while the first-run search walks the disks: what is looked for,
// the folder the search is in, and two buttons, Cancel and "Locate...".

#include <string>

namespace carconv {

struct SearchWindowText {
    std::string title;
    // What the search looks for, above the folder it is in.
    std::string message;
};

class SearchWindow {
  public:
    enum class Choice { kNone, kCancel, kLocate };

    virtual ~SearchWindow();

    // Shows `folder` as the one being searched and lets the window handle what is pending.
    // Returns the first button the user pressed since the window opened, or kNone. Closing the
    // window or pressing Escape counts as Cancel. Called between folders of the search, which
    // runs on the same thread: the window is live only while the search calls this.
    virtual Choice Update(const std::string& folder) = 0;
};

}  // namespace carconv
