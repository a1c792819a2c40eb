// The dialogs of the dialog-driven run on Windows: the common Open and Save dialogs, the common
// item dialog for a folder, message boxes for how a run went, and the search window.

#include <windows.h>

#include <commdlg.h>
#include <shobjidl.h>

#include <algorithm>

#include <fmt/format.h>

#include "files/errors.h"
#include "platform/wide_text.h"
#include "desktop/windows_file_dialogs.h"

namespace carconv {

DialogBlock::DialogBlock(const FileDialogRequest& request)
    : title_(WidenUtf8(request.title)),
      filter_(WidenUtf8(request.filter)),
      defaultExtension_(WidenUtf8(request.defaultExtension)),
      initialDirectory_(WidenUtf8(request.initialDirectory)),
      file_(kDialogPathCapacity, L'\0'),
      block_{} {
    const std::wstring name = WidenUtf8(request.initialName);
    std::copy_n(name.begin(), std::min(name.size(), file_.size() - 1), file_.begin());
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
    block_.lpstrInitialDir = initialDirectory_.empty() ? nullptr : initialDirectory_.c_str();
    block_.Flags = request.flags;
}

std::string DialogBlock::ChosenPath() const {
    std::wstring path(file_.data());
    return NarrowToUtf8(path);
}

namespace {

// Releases a COM interface when it goes.
template <typename T>
struct ComReleaser {
    void operator()(T* p) const { p->Release(); }
};
template <typename T>
using ComPointer = std::unique_ptr<T, ComReleaser<T>>;

// COM on this thread for the life of the object, as the item dialog needs it.
class ComApartment {
  public:
    ComApartment()
        : initialised_(SUCCEEDED(
              CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}
    ~ComApartment() {
        if (initialised_)
            CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

  private:
    bool initialised_;
};

void CheckDialogResult(HRESULT result, const std::string& title) {
    if (FAILED(result)) {
        throw CarconvError(fmt::format("the dialog \"{}\" failed (error 0x{:x})", title,
                                       static_cast<unsigned long>(result)));
    }
}

// The folder chooser: the common item dialog picking folders of the file system.
std::optional<std::string> ChooseFolder(const FileDialogRequest& request) {
    ComApartment apartment;
    IFileOpenDialog* raw = nullptr;
    CheckDialogResult(
        CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&raw)),
        request.title);
    ComPointer<IFileOpenDialog> dialog(raw);
    FILEOPENDIALOGOPTIONS options = 0;
    CheckDialogResult(dialog->GetOptions(&options), request.title);
    CheckDialogResult(
        dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST),
        request.title);
    CheckDialogResult(dialog->SetTitle(WidenUtf8(request.title).c_str()), request.title);
    if (!request.initialDirectory.empty()) {
        IShellItem* start = nullptr;
        // A folder that cannot be named this way leaves the dialog where it would open anyway.
        if (SUCCEEDED(SHCreateItemFromParsingName(WidenUtf8(request.initialDirectory).c_str(),
                                                  nullptr, IID_PPV_ARGS(&start)))) {
            ComPointer<IShellItem> held(start);
            dialog->SetFolder(start);
        }
    }
    HRESULT shown = dialog->Show(nullptr);
    if (shown == HRESULT_FROM_WIN32(ERROR_CANCELLED))
        return std::nullopt;
    CheckDialogResult(shown, request.title);
    IShellItem* result = nullptr;
    CheckDialogResult(dialog->GetResult(&result), request.title);
    ComPointer<IShellItem> item(result);
    PWSTR path = nullptr;
    CheckDialogResult(item->GetDisplayName(SIGDN_FILESYSPATH, &path), request.title);
    std::string chosen = NarrowToUtf8(path);
    CoTaskMemFree(path);
    return chosen;
}

class WindowsFileDialogs : public FileDialogs {
  public:
    std::optional<std::string> Show(const FileDialogRequest& request) override {
        if (request.kind == FileDialogRequest::Kind::kFolder)
            return ChooseFolder(request);
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

    void ShowMessage(const std::string& message, bool problem) override {
        MessageBoxW(nullptr, WidenUtf8(message).c_str(), L"carconv",
                    (problem ? MB_ICONWARNING : MB_ICONINFORMATION) | MB_OK);
    }

    bool OnDesktop() const override { return true; }

    std::unique_ptr<SearchWindow> OpenSearchWindow(const SearchWindowText& text) override {
        return MakeWin32SearchWindow(text);
    }

    void ShowWritten(const WrittenReport& report) override { ShowWin32WrittenWindow(report); }
};

}  // namespace

std::unique_ptr<FileDialogs> MakeDesktopFileDialogs() {
    return std::make_unique<WindowsFileDialogs>();
}

}  // namespace carconv
