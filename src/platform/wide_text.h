#pragma once

// UTF-8 inside the program, UTF-16 at the Windows API: the conversions between the two.

#ifdef _WIN32

#include <string>

namespace carconv {

// Invalid UTF-8 sequences become U+FFFD.
std::wstring WidenUtf8(const std::string& text);
// Unpaired surrogates become U+FFFD.
std::string NarrowToUtf8(const std::wstring& text);

}  // namespace carconv

#endif
