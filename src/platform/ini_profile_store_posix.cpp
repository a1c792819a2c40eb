// The INI-file settings store of POSIX desktops.

#include "platform/profile_store.h"

#include <ini.h>

#include <cerrno>
#include <charconv>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "files/errors.h"
#include "files/safe_name.h"
#include "files/warnings.h"
#include "platform/file_system.h"

namespace carconv {

namespace {

constexpr std::size_t kMaxSettingsFileSize = std::size_t{64} << 10;

int CollectItem(void* user, const char* section, const char* key, const char* value) {
    auto* items = static_cast<std::vector<IniItem>*>(user);
    items->push_back({section, key, value});
    return 1;
}

}  // namespace

// The items of the file in file order; an absent file has none. The lines that cannot be read
// are left out, and the first of them is reported, once per store.
std::vector<IniItem> IniProfileStore::ReadItems(const std::string& path) {
    std::vector<IniItem> items;
    if (!IsRegularFile(path))
        return items;
    // Settings take a few lines; a file larger than any they make is not read into memory.
    Bytes bytes = ReadFilePrefix(path, kMaxSettingsFileSize + 1);
    if (bytes.size() > kMaxSettingsFileSize) {
        if (!warnedMalformed_) {
            warnedMalformed_ = true;
            ReportWarning(fmt::format("{}: larger than {} KiB, more than settings take; it is "
                                      "ignored, and written anew when carconv next stores a "
                                      "setting",
                                      PrintableName(path), kMaxSettingsFileSize >> 10));
        }
        return items;
    }
    std::string text(bytes.begin(), bytes.end());
    // The parser goes on after a malformed line and names the first one.
    int line = ini_parse_string(text.c_str(), CollectItem, &items);
    if (line != 0 && !warnedMalformed_) {
        warnedMalformed_ = true;
        ReportWarning(
            fmt::format("{}: {}; what cannot be read counts as absent, and the file is "
                        "written anew when carconv next stores a setting",
                        path,
                        line > 0 ? fmt::format("line {} is malformed", line)
                                 : std::string("the settings cannot all be read")));
    }
    return items;
}

namespace {

std::string Render(const std::vector<IniItem>& items) {
    std::vector<std::string> sections;
    for (const IniItem& item : items) {
        bool known = false;
        for (const std::string& s : sections)
            known = known || s == item.section;
        if (!known)
            sections.push_back(item.section);
    }
    std::string text;
    for (const std::string& section : sections) {
        if (!text.empty())
            text += '\n';
        text += "[" + section + "]\n";
        for (const IniItem& item : items) {
            if (item.section == section)
                text += item.key + "=" + item.value + "\n";
        }
    }
    return text;
}

}  // namespace

IniProfileStore::IniProfileStore(std::string configDirectory, std::string application)
    : configDirectory_(std::move(configDirectory)), application_(std::move(application)) {}

void IniProfileStore::SetRegistryKey(const std::string& organisation) {
    organisation_ = organisation;
}

std::string IniProfileStore::FilePath() const {
    std::string dir =
        organisation_.empty() ? configDirectory_ : JoinPath(configDirectory_, organisation_);
    return JoinPath(dir, application_ + ".ini");
}

int IniProfileStore::GetProfileInt(const std::string& section, const std::string& key,
                                   int defaultValue) {
    for (const IniItem& item : ReadItems(FilePath())) {
        if (item.section != section || item.key != key)
            continue;
        int value = 0;
        const char* begin = item.value.data();
        const char* end = begin + item.value.size();
        auto [ptr, ec] = std::from_chars(begin, end, value);
        return (ec == std::errc() && ptr == end) ? value : defaultValue;
    }
    return defaultValue;
}

void IniProfileStore::WriteProfileInt(const std::string& section, const std::string& key,
                                      int value) {
    std::string path = FilePath();
    std::vector<IniItem> items = ReadItems(path);
    bool replaced = false;
    for (IniItem& item : items) {
        if (item.section == section && item.key == key) {
            item.value = std::to_string(value);
            replaced = true;
        }
    }
    if (!replaced)
        items.push_back({section, key, std::to_string(value)});
    std::size_t cut = path.find_last_of('/');
    if (cut != std::string::npos)
        CreateDirectories(path.substr(0, cut));
    std::string text = Render(items);
    WriteFileAtomically(path,
                        ByteSpan(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

}  // namespace carconv
