#pragma once

// The Windows common dialogs behind FileDialogs: the translation of a request into the block that
// GetOpenFileNameW and GetSaveFileNameW take, kept apart from showing it so it can be checked
// without a desktop.

#ifdef _WIN32

#include <windows.h>

#include <commdlg.h>

#include <memory>
#include <string>
#include <vector>

#include "desktop/file_dialogs.h"

namespace carconv {

// An OPENFILENAMEW with the buffers it points into, for an Open or a Save request. Built from the
// request exactly: its title, its filter with each '|' turned into a NUL, its default extension,
// its flags as they stand, no owner window, and its initial folder and file name (none when
// empty).
class DialogBlock {
  public:
    explicit DialogBlock(const FileDialogRequest& request);
    DialogBlock(const DialogBlock&) = delete;
    DialogBlock& operator=(const DialogBlock&) = delete;

    OPENFILENAMEW& Block() { return block_; }
    const OPENFILENAMEW& Block() const { return block_; }
    // The path the user chose, in UTF-8, once the dialog returned OK.
    std::string ChosenPath() const;

  private:
    std::wstring title_;
    std::wstring filter_;
    std::wstring defaultExtension_;
    std::wstring initialDirectory_;
    std::vector<wchar_t> file_;
    OPENFILENAMEW block_;
};

// The file name buffer's size in characters: room for long paths, which the dialogs can return.
inline constexpr std::size_t kDialogPathCapacity = 32768;

// The first-run search window as a plain Win32 window (no dialog resources, nothing beyond
// user32): its message queue is served each time the search reports a folder.
std::unique_ptr<SearchWindow> MakeWin32SearchWindow(const SearchWindowText& text);

// The window "V4 CAR File written" as a plain Win32 window, until the user closes it; nothing
// when no window can be made.
void ShowWin32WrittenWindow(const WrittenReport& report);

}  // namespace carconv

#endif
