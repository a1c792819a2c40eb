#include "desktop/dialog_filter.h"

namespace carconv {

namespace {

// The next '|'-separated field of `text` from `pos` on; `pos` moves past the separator. Returns
// false when the text is used up.
bool NextField(std::string_view text, std::size_t& pos, std::string_view& field) {
    if (pos > text.size())
        return false;
    std::size_t bar = text.find('|', pos);
    if (bar == std::string_view::npos)
        bar = text.size();
    field = text.substr(pos, bar - pos);
    pos = bar + 1;
    return true;
}

bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

std::vector<DialogFilterEntry> ParseDialogFilter(std::string_view filter) {
    std::vector<DialogFilterEntry> entries;
    std::size_t pos = 0;
    std::string_view name, patterns;
    while (NextField(filter, pos, name) && !name.empty()) {
        if (!NextField(filter, pos, patterns))
            break;
        DialogFilterEntry entry;
        entry.name = std::string(name);
        std::size_t start = 0;
        while (start <= patterns.size()) {
            std::size_t semicolon = patterns.find(';', start);
            if (semicolon == std::string_view::npos)
                semicolon = patterns.size();
            if (semicolon > start)
                entry.patterns.emplace_back(patterns.substr(start, semicolon - start));
            start = semicolon + 1;
        }
        if (!entry.patterns.empty())
            entries.push_back(std::move(entry));
    }
    return entries;
}

std::string CaseInsensitiveGlob(std::string_view pattern) {
    std::string glob;
    bool inBracket = false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        char c = pattern[i];
        if (inBracket) {
            // A ']' right after the opening bracket (or its negation) is a member, not the end.
            bool first = pattern[i - 1] == '[' || (pattern[i - 1] == '!' && pattern[i - 2] == '[');
            if (c == ']' && !first)
                inBracket = false;
            if (IsAsciiLetter(c)) {
                glob += Lower(c);
                glob += Upper(c);
            } else {
                glob += c;
            }
        } else if (c == '[') {
            inBracket = true;
            glob += c;
        } else if (IsAsciiLetter(c)) {
            glob += '[';
            glob += Lower(c);
            glob += Upper(c);
            glob += ']';
        } else {
            glob += c;
        }
    }
    return glob;
}

std::string CompleteExtension(const std::string& path, const std::string& defaultExtension) {
    std::size_t nameStart = path.find_last_of("/\\");
    nameStart = nameStart == std::string::npos ? 0 : nameStart + 1;
    if (defaultExtension.empty() || nameStart == path.size() ||
        path.find('.', nameStart) != std::string::npos)
        return path;
    return path + "." + defaultExtension;
}

}  // namespace carconv
