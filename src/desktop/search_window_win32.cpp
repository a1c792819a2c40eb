// The first-run search window on Windows: a small top-level window made of standard controls,
// served from the search's own thread between folders, so that no second thread and no dialog
// resource is needed.

#include <windows.h>

#include "desktop/win32_controls.h"
#include "desktop/windows_file_dialogs.h"
#include "platform/wide_text.h"

namespace carconv {

namespace {

constexpr const wchar_t* kWindowClass = L"CarconvSearchWindow";
constexpr int kLocateId = 100;

// Client-area layout in pixels; the message is as high as its lines need.
constexpr int kMargin = 12;
constexpr int kWidth = 460;
constexpr int kFolderHeight = 18;
constexpr int kButtonWidth = 100;
constexpr int kButtonHeight = 26;

LRESULT CALLBACK SearchWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* choice =
        reinterpret_cast<SearchWindow::Choice*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
        case WM_NCCREATE: {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(window, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(create->lpCreateParams));
            break;
        }
        case WM_COMMAND:
            // HIWORD 0 also comes from IsDialogMessage: Escape is IDCANCEL.
            if (choice != nullptr && *choice == SearchWindow::Choice::kNone &&
                (HIWORD(wParam) == BN_CLICKED || HIWORD(wParam) == 0)) {
                if (LOWORD(wParam) == kLocateId)
                    *choice = SearchWindow::Choice::kLocate;
                else if (LOWORD(wParam) == IDCANCEL)
                    *choice = SearchWindow::Choice::kCancel;
            }
            return 0;
        case WM_CLOSE:
            if (choice != nullptr && *choice == SearchWindow::Choice::kNone)
                *choice = SearchWindow::Choice::kCancel;
            return 0;  // the owner destroys the window
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

class Win32SearchWindow : public SearchWindow {
  public:
    // Check window() afterwards: it is null when the window could not be made.
    explicit Win32SearchWindow(const SearchWindowText& text) {
        if (!RegisterPlainWindowClass(kWindowClass, SearchWindowProc))
            return;
        const std::wstring message = WidenUtf8(text.message);
        const int messageHeight = TextHeight(message, kWidth - 2 * kMargin);
        const int height =
            kMargin + messageHeight + 8 + kFolderHeight + 14 + kButtonHeight + kMargin;
        const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
        const DWORD extended = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
        RECT frame{0, 0, kWidth, height};
        AdjustWindowRectEx(&frame, style, FALSE, extended);
        const int frameWidth = frame.right - frame.left;
        const int frameHeight = frame.bottom - frame.top;
        const int x = (GetSystemMetrics(SM_CXSCREEN) - frameWidth) / 2;
        const int y = (GetSystemMetrics(SM_CYSCREEN) - frameHeight) / 2;
        window_ = CreateWindowExW(extended, kWindowClass, WidenUtf8(text.title).c_str(), style, x,
                                  y, frameWidth, frameHeight, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), &choice_);
        if (window_ == nullptr)
            return;
        int top = kMargin;
        AddControl(window_, L"STATIC", message, SS_LEFT | SS_NOPREFIX, kMargin, top,
                   kWidth - 2 * kMargin, messageHeight, 0);
        top += messageHeight + 8;
        // The middle of a long path gives way, so the drive and the deepest folder stay.
        folder_ = AddControl(window_, L"STATIC", L"", SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS,
                             kMargin, top, kWidth - 2 * kMargin, kFolderHeight, 0);
        top += kFolderHeight + 14;
        const int cancelLeft = kWidth - kMargin - kButtonWidth;
        AddControl(window_, L"BUTTON", L"&Locate...", BS_PUSHBUTTON | WS_TABSTOP,
                   cancelLeft - 8 - kButtonWidth, top, kButtonWidth, kButtonHeight, kLocateId);
        HWND cancel = AddControl(window_, L"BUTTON", L"Cancel", BS_DEFPUSHBUTTON | WS_TABSTOP,
                                 cancelLeft, top, kButtonWidth, kButtonHeight, IDCANCEL);
        ShowWindow(window_, SW_SHOWNORMAL);
        SetForegroundWindow(window_);
        SetFocus(cancel);
        UpdateWindow(window_);
    }

    ~Win32SearchWindow() override {
        if (window_ != nullptr)
            DestroyWindow(window_);
    }

    Win32SearchWindow(const Win32SearchWindow&) = delete;
    Win32SearchWindow& operator=(const Win32SearchWindow&) = delete;

    HWND window() const { return window_; }

    Choice Update(const std::string& folder) override {
        if (folder != shown_) {
            SetWindowTextW(folder_, WidenUtf8(folder).c_str());
            shown_ = folder;
        }
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                // Handed on, so that whatever loop comes next ends as asked.
                PostQuitMessage(static_cast<int>(message.wParam));
                break;
            }
            if (!IsDialogMessageW(window_, &message)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
        return choice_;
    }

  private:
    HWND window_ = nullptr;
    HWND folder_ = nullptr;
    std::string shown_;
    Choice choice_ = Choice::kNone;
};

}  // namespace

std::unique_ptr<SearchWindow> MakeWin32SearchWindow(const SearchWindowText& text) {
    auto window = std::make_unique<Win32SearchWindow>(text);
    if (window->window() == nullptr)
        return nullptr;  // no desktop to show it on: the search goes on without it
    return window;
}

}  // namespace carconv
