#include "files/safe_name.h"

#include <array>
#include <string_view>

#include <fmt/format.h>

namespace carconv {

namespace {

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// CON, PRN, AUX, NUL, COM1-COM9 and LPT1-LPT9 name devices on Windows in any letter case, also
// with an extension ("nul.txt") and with trailing spaces or dots before it.
bool IsReservedDeviceName(const std::string& name) {
    std::string stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ')
        stem.pop_back();
    for (char& c : stem)
        c = Upper(c);
    static constexpr std::array<std::string_view, 4> kDevices = {"CON", "PRN", "AUX", "NUL"};
    for (std::string_view device : kDevices) {
        if (stem == device)
            return true;
    }
    return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
           stem[3] >= '1' && stem[3] <= '9';
}

}  // namespace

bool IsSafeFileName(const std::string& name) {
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
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        // U+0080 to U+009F, in UTF-8 0xC2 0x80 to 0xC2 0x9F, are control characters too (0x9B
        // begins a terminal sequence).
        const bool c1 = c == 0xc2 && i + 1 < name.size() &&
                        static_cast<unsigned char>(name[i + 1]) >= 0x80 &&
                        static_cast<unsigned char>(name[i + 1]) <= 0x9f;
        if (c1) {
            out += fmt::format("\\x{:02x}\\x{:02x}", c, static_cast<unsigned char>(name[++i]));
        } else if (c < 0x20 || c == 0x7f) {
            out += fmt::format("\\x{:02x}", c);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

}  // namespace carconv
