#pragma once

// What the plain Win32 windows of the desktop share: the dialog font, text measured in it, a
// window class of their own and standard controls made in it.

#ifdef _WIN32

#include <windows.h>

#include <string>

namespace carconv {

HFONT DialogFont();

// The height `text` takes in the dialog font, wrapped at `width` pixels (DrawText `extraFlags`
// added to the wrapping ones).
int TextHeight(const std::wstring& text, int width, UINT extraFlags = 0);

// Registers the class `name` with `procedure`, the arrow cursor and the dialog background; true
// also when it was registered before.
bool RegisterPlainWindowClass(const wchar_t* name, WNDPROC procedure);

// A visible child control of `parent` in the dialog font.
HWND AddControl(HWND parent, const wchar_t* className, const std::wstring& text, DWORD style, int x,
                int y, int width, int height, int id);

}  // namespace carconv

#endif
