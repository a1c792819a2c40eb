#include "platform/wide_text.h"

#include <windows.h>

#include <limits>

#include "files/errors.h"

namespace carconv {

namespace {

int CheckedLength(std::size_t size) {
    if (size > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        throw CarconvError("text too long to convert");
    return static_cast<int>(size);
}

}  // namespace

std::wstring WidenUtf8(const std::string& text) {
    if (text.empty())
        return std::wstring();
    const int length = CheckedLength(text.size());
    // A UTF-8 sequence never yields more UTF-16 units than it has bytes.
    std::wstring wide(text.size(), L'\0');
    int written = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(), length);
    if (written <= 0)
        throw CarconvError("cannot convert text from UTF-8");
    wide.resize(static_cast<std::size_t>(written));
    return wide;
}

std::string NarrowToUtf8(const std::wstring& text) {
    if (text.empty())
        return std::string();
    const int length = CheckedLength(text.size());
    int needed = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0)
        throw CarconvError("cannot convert text to UTF-8");
    std::string narrow(static_cast<std::size_t>(needed), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), length, narrow.data(), needed, nullptr, nullptr);
    return narrow;
}

}  // namespace carconv
