#include "desktop/win32_controls.h"

namespace carconv {

HFONT DialogFont() {
    return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

int TextHeight(const std::wstring& text, int width, UINT extraFlags) {
    RECT bounds{0, 0, width, 0};
    HDC screen = GetDC(nullptr);
    HGDIOBJ old = SelectObject(screen, DialogFont());
    DrawTextW(screen, text.c_str(), static_cast<int>(text.size()), &bounds,
              DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | extraFlags);
    SelectObject(screen, old);
    ReleaseDC(nullptr, screen);
    return bounds.bottom - bounds.top;
}

bool RegisterPlainWindowClass(const wchar_t* name, WNDPROC procedure) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = name;
    return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND AddControl(HWND parent, const wchar_t* className, const std::wstring& text, DWORD style, int x,
                int y, int width, int height, int id) {
    HWND control = CreateWindowExW(
        0, className, text.c_str(), WS_CHILD | WS_VISIBLE | style, x, y, width, height, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(DialogFont()), FALSE);
    return control;
}

}  // namespace carconv
