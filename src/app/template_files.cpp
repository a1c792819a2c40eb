#include "app/template_files.h"

#include <cstdlib>
#include <memory>

#include <fmt/format.h>

#include "files/errors.h"
#include "files/game_file.h"
#include "files/viv_archive.h"
#include "platform/file_system.h"
#include "platform/search_roots.h"

namespace carconv {

namespace {

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// True when `path` ends in the stock package's suffix, letter case and separator style aside.
bool EndsInStockSuffix(const std::string& path) {
    const std::string suffix = kStockPackageSuffix;
    if (path.size() < suffix.size())
        return false;
    const std::size_t start = path.size() - suffix.size();
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        char c = Lower(path[start + i]);
        if (c == '/')
            c = '\\';
        if (c != suffix[i])
            return false;
    }
    return true;
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
        } else if (entry.kind == DirectoryEntry::Kind::kFile && EndsInStockSuffix(path)) {
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

std::string ResolveTemplateDirectory(const std::string& requested,
                                     const std::string& programDirectory) {
    std::string dir = requested;
    if (dir.empty()) {
        const char* env = std::getenv("CARCONV_TEMPLATES");
        if (env != nullptr && *env != '\0')
            dir = env;
    }
    if (dir.empty())
        dir = PlatformTemplateDirectory(programDirectory);
    if (dir.back() != '/' && dir.back() != kPathSeparator)
        dir += kPathSeparator;
    return dir;
}

bool TemplatesPresent(const std::string& templateDirectory) {
    for (const char* name : kTemplateFiles) {
        if (!IsRegularFile(JoinPath(templateDirectory, name)))
            return false;
    }
    return true;
}

void InstallTemplatesFrom(const std::string& stockPackage, const std::string& templateDirectory,
                          ProfileStore& profile) {
    VivArchive stock(stockPackage);
    stock.Load();
    const std::string unpacked = stock.WorkingDirectoryPath();
    for (const char* name : kTemplateFiles) {
        if (!IsRegularFile(JoinPath(unpacked, name))) {
            throw IoError(stockPackage, fmt::format("the package holds no \"{}\"; it is not a "
                                                    "stock car package of the version-4 game",
                                                    name));
        }
    }
    CreateDirectories(templateDirectory);
    for (const char* name : kTemplateFiles) {
        CopyFileReplace(JoinPath(unpacked, name), JoinPath(templateDirectory, name));
    }
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
    if (profile.GetProfileInt(kInstalledSection, kInstalledKey, 0) == 1 &&
        TemplatesPresent(templateDirectory)) {
        return true;
    }
    if (InstallTemplates(templateDirectory, profile, {}, progress).empty()) {
        throw StockPackageNotFound(MissingStockPackageMessage(DefaultSearchRoots()));
    }
    return true;
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
