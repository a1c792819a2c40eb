// The window "V4 CAR File written" on Windows: a plain top-level window of standard controls
// (the picture as a bitmap in a static control), with its own message loop until it is closed.

#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "desktop/win32_controls.h"
#include "desktop/windows_file_dialogs.h"
#include "platform/wide_text.h"

namespace carconv {

namespace {

constexpr const wchar_t* kWindowClass = L"CarconvWrittenWindow";
constexpr int kOpenFolderId = 101;

constexpr int kMargin = 12;
constexpr int kTextWidth = 480;
constexpr int kButtonWidth = 100;
constexpr int kButtonHeight = 26;

// The picture laid over the window's background colour, as a top-down 32-bit bitmap.
HBITMAP PictureBitmap(const WrittenReport& report) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = report.pictureWidth;
    info.bmiHeader.biHeight = -report.pictureHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap == nullptr)
        return nullptr;
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const unsigned background[3] = {GetRValue(face), GetGValue(face), GetBValue(face)};
    auto* out = static_cast<unsigned char*>(bits);
    const std::size_t pixels = report.pictureRgba.size() / 4;
    for (std::size_t i = 0; i < pixels; ++i) {
        const unsigned char* in = &report.pictureRgba[i * 4];
        const unsigned alpha = in[3];
        unsigned rgb[3];
        for (int c = 0; c < 3; ++c)
            rgb[c] = (in[c] * alpha + background[c] * (255 - alpha) + 127) / 255;
        out[i * 4 + 0] = static_cast<unsigned char>(rgb[2]);
        out[i * 4 + 1] = static_cast<unsigned char>(rgb[1]);
        out[i * 4 + 2] = static_cast<unsigned char>(rgb[0]);
        out[i * 4 + 3] = 0;
    }
    return bitmap;
}

struct WindowState {
    std::wstring folder;
    bool closed = false;
};

LRESULT CALLBACK WrittenWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<WindowState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
        case WM_NCCREATE: {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(window, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(create->lpCreateParams));
            break;
        }
        case WM_COMMAND:
            if (state == nullptr || (HIWORD(wParam) != BN_CLICKED && HIWORD(wParam) != 0))
                return 0;
            if (LOWORD(wParam) == kOpenFolderId) {
                ShellExecuteW(window, L"open", state->folder.c_str(), nullptr, nullptr,
                              SW_SHOWNORMAL);
            } else if (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK) {
                state->closed = true;
            }
            return 0;
        case WM_CLOSE:
            if (state != nullptr)
                state->closed = true;
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

void ShowWin32WrittenWindow(const WrittenReport& report) {
    if (!RegisterPlainWindowClass(kWindowClass, WrittenWindowProc))
        return;
    WindowState state;
    state.folder = std::filesystem::path(WidenUtf8(report.outputPath)).parent_path().wstring();
    const bool picture = HasPicture(report);
    const int width = std::max(kTextWidth, picture ? report.pictureWidth : 0) + 2 * kMargin;
    const std::wstring text = WidenUtf8(WrittenReportText(report));
    const int textHeight = TextHeight(text, width - 2 * kMargin, DT_EDITCONTROL);
    const int pictureHeight = picture ? report.pictureHeight + 8 : 0;
    const int height = kMargin + pictureHeight + textHeight + 14 + kButtonHeight + kMargin;

    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    const DWORD extended = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
    RECT frame{0, 0, width, height};
    AdjustWindowRectEx(&frame, style, FALSE, extended);
    const int frameWidth = frame.right - frame.left;
    const int frameHeight = frame.bottom - frame.top;
    HWND window = CreateWindowExW(extended, kWindowClass, WidenUtf8(kWrittenWindowTitle).c_str(),
                                  style, (GetSystemMetrics(SM_CXSCREEN) - frameWidth) / 2,
                                  (GetSystemMetrics(SM_CYSCREEN) - frameHeight) / 2, frameWidth,
                                  frameHeight, nullptr, nullptr, GetModuleHandleW(nullptr), &state);
    if (window == nullptr)
        return;  // no desktop to show it on: the conversion's own lines said what happened

    int top = kMargin;
    HBITMAP bitmap = picture ? PictureBitmap(report) : nullptr;
    if (bitmap != nullptr) {
        HWND image =
            AddControl(window, L"STATIC", L"", SS_BITMAP, (width - report.pictureWidth) / 2, top,
                       report.pictureWidth, report.pictureHeight, 0);
        SendMessageW(image, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap));
    }
    top += pictureHeight;
    AddControl(window, L"STATIC", text, SS_LEFT | SS_NOPREFIX | SS_EDITCONTROL, kMargin, top,
               width - 2 * kMargin, textHeight, 0);
    top += textHeight + 14;
    const int closeLeft = width - kMargin - kButtonWidth;
    AddControl(window, L"BUTTON", L"Open &Folder", BS_PUSHBUTTON | WS_TABSTOP,
               closeLeft - 8 - kButtonWidth, top, kButtonWidth, kButtonHeight, kOpenFolderId);
    HWND close = AddControl(window, L"BUTTON", L"Close", BS_DEFPUSHBUTTON | WS_TABSTOP, closeLeft,
                            top, kButtonWidth, kButtonHeight, IDCANCEL);
    ShowWindow(window, SW_SHOWNORMAL);
    SetForegroundWindow(window);
    SetFocus(close);

    MSG message;
    while (!state.closed) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        if (got < 0)
            break;
        if (!IsDialogMessageW(window, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    DestroyWindow(window);
    if (bitmap != nullptr)
        DeleteObject(bitmap);
}

}  // namespace carconv
