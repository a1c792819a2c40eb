#include "app/template_files.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

#include <fmt/format.h>

#include "files/errors.h"
#include "files/game_file.h"
#include "files/name_index.h"
#include "files/viv_archive.h"
#include "platform/file_system.h"
#include "platform/search_roots.h"

namespace carconv {

namespace {

// True when `path` ends in the stock package's suffix, letter case and separator style aside.
bool EndsInStockSuffix(const std::string& path) {
    const std::string suffix = kStockPackageSuffix;
    if (path.size() < suffix.size())
        return false;
    std::string tail = AsciiLowerCase(path.substr(path.size() - suffix.size()));
    std::replace(tail.begin(), tail.end(), '/', '\\');
    return tail == suffix;
}

// Depth-first, in directory-search order; stops at the first match.
std::string SearchFolder(const std::string& folder, const SearchProgress& progress) {
    if (IsSystemFolder(folder))
        return std::string();
    if (progress)
        progress(folder);
    std::vector<DirectoryEntry> entries;
    try {
        entries = SearchDirectory(folder);
    } catch (const IoError&) {
        return std::string();  // unreadable folders are skipped
    }
    for (const DirectoryEntry& entry : entries) {
        if (entry.name.empty() || entry.name[0] == '.')
            continue;
        std::string path = JoinPath(folder, entry.name);
        if (entry.kind == DirectoryEntry::Kind::kDirectory) {
            std::string found = SearchFolder(path, progress);
            if (!found.empty())
                return found;
        } else if (EndsInStockSuffix(path) &&
                   (entry.kind == DirectoryEntry::Kind::kFile ||
                    (entry.kind == DirectoryEntry::Kind::kLink && IsRegularFile(path)))) {
            // A link to the package counts as the package; a link to a folder is never entered.
            return path;
        }
    }
    return std::string();
}

std::string MissingStockPackageMessage(const std::vector<std::string>& roots) {
    std::string where;
    for (const std::string& root : roots)
        where += (where.empty() ? "" : ", ") + root;
    return fmt::format(
        "no stock car package found (looked for data/cars/fm50/car.viv under {}); install the "
        "template files from the version-4 game with 'carconv install-templates --from "
        "<game folder>/data/cars/fm50/car.viv'",
        where.empty() ? std::string("no folder") : where);
}

}  // namespace

std::vector<std::string> DefaultSearchRoots() {
    return PlatformSearchRoots();
}

std::string FindStockCarPackage(std::string folder, const SearchProgress& progress) {
    if (!folder.empty())
        return SearchFolder(folder, progress);
    for (const std::string& root : DefaultSearchRoots()) {
        std::string found = SearchFolder(root, progress);
        if (!found.empty())
            return found;
    }
    return std::string();
}

TemplateLocation LocateTemplates(const std::string& requested,
                                 const std::string& programDirectory) {
    TemplateLocation location{requested, true};
    if (location.directory.empty()) {
        const char* env = std::getenv("CARCONV_TEMPLATES");
        if (env != nullptr && *env != '\0')
            location.directory = env;
    }
    if (location.directory.empty())
        location = {PlatformTemplateDirectory(programDirectory), false};
    std::string& dir = location.directory;
    if (dir.back() != '/' && dir.back() != kPathSeparator)
        dir += kPathSeparator;
    return location;
}

std::string ResolveTemplateDirectory(const std::string& requested,
                                     const std::string& programDirectory) {
    return LocateTemplates(requested, programDirectory).directory;
}

bool TemplatesPresent(const std::string& templateDirectory) {
    const NameIndex present = NameIndex::OfDirectory(templateDirectory);
    return std::all_of(kTemplateFiles.begin(), kTemplateFiles.end(),
                       [&present](const char* name) { return present.Find(name).has_value(); });
}

void InstallTemplatesFrom(const std::string& stockPackage, const std::string& templateDirectory,
                          ProfileStore& profile) {
    VivArchive stock(stockPackage);
    stock.Load();
    const std::string unpacked = stock.WorkingDirectoryPath();
    const NameIndex members = NameIndex::OfArchive(stock.directory, stock.GetFileName());
    std::vector<std::string> sources;
    for (const char* name : kTemplateFiles) {
        std::optional<std::string> member = members.Find(name);
        if (!member) {
            throw IoError(stockPackage, fmt::format("the package holds no \"{}\"; it is not a "
                                                    "stock car package of the version-4 game",
                                                    name));
        }
        sources.push_back(JoinPath(unpacked, *member));
    }
    CreateDirectories(templateDirectory);
    // The copies get the names the stages look for first, whatever case the package used.
    for (std::size_t i = 0; i < kTemplateFiles.size(); ++i)
        CopyFileReplace(sources[i], JoinPath(templateDirectory, kTemplateFiles[i]));
    // Only a complete installation is recorded.
    profile.WriteProfileInt(kInstalledSection, kInstalledKey, 1);
}

std::string InstallTemplates(const std::string& templateDirectory, ProfileStore& profile,
                             const std::vector<std::string>& roots,
                             const SearchProgress& progress) {
    std::string found;
    if (roots.empty()) {
        found = FindStockCarPackage(std::string(), progress);
    } else {
        for (const std::string& root : roots) {
            found = FindStockCarPackage(root, progress);
            if (!found.empty())
                break;
        }
    }
    if (!found.empty())
        InstallTemplatesFrom(found, templateDirectory, profile);
    return found;
}

bool FirstRunCheck(ProfileStore& profile, const std::string& templateDirectory,
                   const SearchProgress& progress) {
    if (profile.GetProfileInt(kInstalledSection, kInstalledKey, 0) != 0 &&
        TemplatesPresent(templateDirectory)) {
        return true;
    }
    if (InstallTemplates(templateDirectory, profile, {}, progress).empty()) {
        throw StockPackageNotFound(MissingStockPackageMessage(DefaultSearchRoots()));
    }
    return true;
}

bool FirstRunCheck(ProfileStore& profile, const TemplateLocation& templates,
                   const SearchProgress& progress) {
    if (templates.named && TemplatesPresent(templates.directory))
        return true;
    return FirstRunCheck(profile, templates.directory, progress);
}

void RunEngineSoundStage(StageContext& context) {
    for (const char* name :
         {"careng.ctb", "careng.ltb", "careng.bnk", "ocareng.bnk", "scareng.bnk"}) {
        std::string copy = context.OutputFile(name);
        CopyFileReplace(context.TemplateFile(name), copy);
        GameFile& file = context.Keep(std::make_unique<GameFile>(copy));
        file.Load();
        context.members->Add(file);
    }
}

}  // namespace carconv
