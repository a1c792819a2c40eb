// The dialogs of the dialog-driven run on Windows: the common Open and Save dialogs, and a
// message box for a failed run.

#include <windows.h>

#include <commdlg.h>

#include <fmt/format.h>

#include "files/errors.h"
#include "platform/wide_text.h"
#include "platform/windows_file_dialogs.h"

namespace carconv {

DialogBlock::DialogBlock(const FileDialogRequest& request)
    : title_(WidenUtf8(request.title)),
      filter_(WidenUtf8(request.filter)),
      defaultExtension_(WidenUtf8(request.defaultExtension)),
      file_(kDialogPathCapacity, L'\0'),
      block_{} {
    // The dialogs read the filter as NUL-separated pairs ending in an empty string; the
    // request's "||" ending becomes that double NUL, and the wstring's own NUL ends it safely.
    for (wchar_t& c : filter_) {
        if (c == L'|')
            c = L'\0';
    }
    block_.lStructSize = sizeof(block_);
    block_.hwndOwner = nullptr;
    block_.lpstrFilter = filter_.empty() ? nullptr : filter_.c_str();
    block_.nFilterIndex = 1;
    block_.lpstrFile = file_.data();
    block_.nMaxFile = static_cast<DWORD>(file_.size());
    block_.lpstrTitle = title_.empty() ? nullptr : title_.c_str();
    block_.lpstrDefExt = defaultExtension_.empty() ? nullptr : defaultExtension_.c_str();
    block_.Flags = request.flags;
}

std::string DialogBlock::ChosenPath() const {
    std::wstring path(file_.data());
    return NarrowToUtf8(path);
}

namespace {

class WindowsFileDialogs : public FileDialogs {
  public:
    std::optional<std::string> Show(const FileDialogRequest& request) override {
        DialogBlock dialog(request);
        BOOL chosen = request.kind == FileDialogRequest::Kind::kOpen
                          ? GetOpenFileNameW(&dialog.Block())
                          : GetSaveFileNameW(&dialog.Block());
        if (chosen)
            return dialog.ChosenPath();
        // Zero means the user cancelled; anything else is a dialog that could not work.
        DWORD error = CommDlgExtendedError();
        if (error != 0) {
            throw CarconvError(
                fmt::format("the dialog \"{}\" failed (error 0x{:x})", request.title, error));
        }
        return std::nullopt;
    }

    void ShowError(const std::string& message) override {
        MessageBoxW(nullptr, WidenUtf8(message).c_str(), L"carconv", MB_ICONERROR | MB_OK);
    }
};

}  // namespace

std::unique_ptr<FileDialogs> MakeDesktopFileDialogs() {
    return std::make_unique<WindowsFileDialogs>();
}

}  // namespace carconv
