#include "files/name_index.h"

#include <algorithm>
#include <vector>

#include <fmt/format.h>

#include "files/errors.h"
#include "files/safe_name.h"
#include "files/warnings.h"
#include "platform/file_system.h"

namespace carconv {

std::string AsciiLowerCase(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

NameIndex NameIndex::OfArchive(std::span<const VivEntry> directory,
                               const std::string& archiveName) {
    NameIndex index;
    for (const VivEntry& entry : directory) {
        auto [it, added] = index.spelled_.try_emplace(AsciiLowerCase(entry.name), entry.name);
        if (added)
            continue;
        if (it->second != entry.name) {
            ReportWarning(
                fmt::format("{}: members \"{}\" and \"{}\" differ only in letter case; "
                            "the later one, \"{}\", is used",
                            PrintableName(archiveName), PrintableName(it->second), PrintableName(entry.name),
                            PrintableName(entry.name)));
        }
        it->second = entry.name;
    }
    return index;
}

NameIndex NameIndex::OfDirectory(const std::string& directory) {
    std::vector<DirectoryEntry> entries;
    try {
        entries = SearchDirectory(directory);
    } catch (const IoError&) {
        return NameIndex();
    }
    std::vector<std::string> names;
    for (const DirectoryEntry& entry : entries) {
        if (entry.kind == DirectoryEntry::Kind::kFile ||
            (entry.kind == DirectoryEntry::Kind::kLink &&
             IsRegularFile(JoinPath(directory, entry.name)))) {
            names.push_back(entry.name);
        }
    }
    std::sort(names.begin(), names.end());
    NameIndex index;
    for (const std::string& name : names) {
        std::string lower = AsciiLowerCase(name);
        const bool canonical = lower == name;
        auto [it, added] = index.spelled_.try_emplace(std::move(lower), name);
        if (!added && canonical)
            it->second = name;
    }
    return index;
}

std::optional<std::string> NameIndex::Find(const std::string& name) const {
    auto it = spelled_.find(AsciiLowerCase(name));
    if (it == spelled_.end())
        return std::nullopt;
    return it->second;
}

}  // namespace carconv
