#include "files/safe_name.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace carconv {

namespace {

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// CON, PRN, AUX, NUL, COM1-COM9 and LPT1-LPT9 name devices on Windows in any letter case, also
// with an extension ("nul.txt") and with trailing spaces or dots before it.
bool IsReservedDeviceName(std::string_view name) {
    std::string_view stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ')
        stem.remove_suffix(1);
    // No device name is longer than four letters: the rest need no copy in upper case.
    if (stem.size() < 3 || stem.size() > 4)
        return false;
    std::array<char, 4> upper{};
    for (std::size_t i = 0; i < stem.size(); ++i)
        upper[i] = Upper(stem[i]);
    const std::string_view word(upper.data(), stem.size());
    static constexpr std::array<std::string_view, 4> kDevices = {"CON", "PRN", "AUX", "NUL"};
    for (std::string_view device : kDevices) {
        if (word == device)
            return true;
    }
    return word.size() == 4 && (word.substr(0, 3) == "COM" || word.substr(0, 3) == "LPT") &&
           word[3] >= '1' && word[3] <= '9';
}

// The length of the well-formed UTF-8 sequence that begins at `text[at]` (1 for ASCII), or 0 when
// none does: a stray continuation byte, an overlong form, a surrogate, a code point past U+10FFFF
// or a sequence cut short.
std::size_t Utf8SequenceLength(const std::string& text, std::size_t at) {
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80)
        return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xbf;  // the range of the second byte
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        low = lead == 0xe0 ? 0xa0 : 0x80;
        high = lead == 0xed ? 0x9f : 0xbf;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        low = lead == 0xf0 ? 0x90 : 0x80;
        high = lead == 0xf4 ? 0x8f : 0xbf;
    } else {
        return 0;
    }
    if (text.size() - at < length || byte(at + 1) < low || byte(at + 1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(at + i) < 0x80 || byte(at + i) > 0xbf)
            return 0;
    }
    return length;
}

}  // namespace

bool IsSafeFileName(std::string_view name) {
    if (name.empty() || name == "." || name == "..")
        return false;
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7f)
            return false;
        switch (c) {
            case '/':
            case '\\':
            case ':':
            case '<':
            case '>':
            case '"':
            case '|':
            case '?':
            case '*':
                return false;
            default:
                break;
        }
    }
    // Windows drops a trailing dot or space, so the file written would not be the one named.
    if (name.back() == '.' || name.back() == ' ')
        return false;
    return !IsReservedDeviceName(name);
}

std::string PrintableName(const std::string& name) {
    // Most names are printable ASCII throughout and come back as they are.
    if (std::all_of(name.begin(), name.end(), [](char c) { return c >= 0x20 && c < 0x7f; }))
        return name;
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(4 * name.size());  // the longest it can be: every byte escaped
    for (std::size_t i = 0; i < name.size();) {
        const std::size_t length = Utf8SequenceLength(name, i);
        const auto c = static_cast<unsigned char>(name[i]);
        // U+0080 to U+009F, in UTF-8 0xC2 0x80 to 0xC2 0x9F, are control characters too (0x9B
        // begins a terminal sequence), and so is a lone byte of that value, which is no UTF-8.
        const bool c1 = length == 2 && c == 0xc2 && static_cast<unsigned char>(name[i + 1]) <= 0x9f;
        if (length == 0 || c1 || c < 0x20 || c == 0x7f) {
            for (std::size_t end = i + std::max<std::size_t>(length, 1); i < end; ++i) {
                const auto b = static_cast<unsigned char>(name[i]);
                const char escaped[] = {'\\', 'x', kHex[b >> 4], kHex[b & 0xf]};
                out.append(escaped, sizeof escaped);
            }
        } else {
            out.append(name, i, length);
            i += length;
        }
    }
    return out;
}

}  // namespace carconv
