#include "app/template_files.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <system_error>

#include <fmt/format.h>
#include <fmt/ranges.h>

#include "files/carried_file.h"
#include "files/errors.h"
#include "files/game_file.h"
#include "files/name_index.h"
#include "files/safe_name.h"
#include "files/viv_archive.h"
#include "files/warnings.h"
#include "platform/file_system.h"
#include "platform/interruption.h"
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
std::string SearchFolder(const std::string& folder, const SearchProgress& progress,
                         VisitedFolders& visited) {
    ThrowIfStopRequested();
    if (!visited.Enter(folder))
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
            std::string found = SearchFolder(path, progress, visited);
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
        where += (where.empty() ? "" : ", ") + PrintableName(root);
    return fmt::format(
        "no stock car package found (looked for data/cars/fm50/car.viv under {}); install the "
        "template files from the version-4 game with 'carconv install-templates --from "
        "<game folder>/data/cars/fm50/car.viv'",
        where.empty() ? std::string("no folder") : where);
}

// The template files missing from `templateDirectory`, in installation order.
std::vector<std::string> MissingTemplates(const std::string& templateDirectory) {
    const NameIndex present = NameIndex::OfDirectory(templateDirectory);
    std::vector<std::string> missing;
    for (const char* name : kTemplateFiles) {
        if (!present.Find(name))
            missing.emplace_back(name);
    }
    return missing;
}

// "template file <name> in the templates directory <dir>".
std::string TemplateNamed(const char* name, const std::string& templateDirectory) {
    return fmt::format("template file {} in the templates directory {}", name,
                       PrintableName(templateDirectory));
}

}  // namespace

std::vector<std::string> DefaultSearchRoots() {
    return PlatformSearchRoots();
}

std::string FindStockCarPackage(std::string folder, const SearchProgress& progress) {
    VisitedFolders visited;
    if (!folder.empty())
        return SearchFolder(folder, progress, visited);
    for (const std::string& root : DefaultSearchRoots()) {
        std::string found = SearchFolder(root, progress, visited);
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

void CheckTemplateFiles(const std::string& templateDirectory) {
    namespace fs = std::filesystem;
    const NameIndex present = NameIndex::OfDirectory(templateDirectory);
    std::uint64_t total = 0;
    for (const char* name : kTemplateFiles) {
        const std::string path = JoinPath(templateDirectory, present.Find(name).value_or(name));
        std::error_code ec;
        const fs::file_status status = fs::symlink_status(NativePath(path), ec);
        if (!fs::exists(status)) {
            throw CarconvError(fmt::format(
                "template file {} is missing from the templates directory {}; install the template "
                "files with 'carconv install-templates'",
                name, PrintableName(templateDirectory)));
        }
        if (fs::is_symlink(status)) {
            throw CarconvError(TemplateNamed(name, templateDirectory) +
                               " is a link; template files must be regular files");
        }
        if (!fs::is_regular_file(status)) {
            throw CarconvError(TemplateNamed(name, templateDirectory) +
                               " is not a regular file (a directory, device or pipe)");
        }
        std::ifstream probe(NativePath(path), std::ios::binary);
        if (!probe) {
            throw CarconvError(TemplateNamed(name, templateDirectory) +
                               " cannot be read: " + std::generic_category().message(errno));
        }
        total += fs::file_size(NativePath(path), ec);
    }
    if (total > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
        throw CarconvError(
            fmt::format("the template files in the templates directory {} add up "
                        "to {} bytes, more than a package can hold (2 GiB)",
                        PrintableName(templateDirectory), total));
    }
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
    SweepAbandonedTemporaries(templateDirectory);
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

namespace {

// Whether the eight files in `templateDirectory` are what an installation leaves there.
bool TemplatesUsable(const std::string& templateDirectory) {
    if (!TemplatesPresent(templateDirectory))
        return false;
    try {
        CheckTemplateFiles(templateDirectory);
        return true;
    } catch (const CarconvError&) {
        return false;
    }
}

}  // namespace

bool FirstRunCheck(ProfileStore& profile, const std::string& templateDirectory,
                   const SearchProgress& progress) {
    const bool installed = profile.GetProfileInt(kInstalledSection, kInstalledKey, 0) != 0;
    // The files are the installation; the marker only saves looking at them. A marker lost with
    // the settings file, or on a line that cannot be read, is written again.
    if (TemplatesUsable(templateDirectory)) {
        if (!installed) {
            try {
                profile.WriteProfileInt(kInstalledSection, kInstalledKey, 1);
            } catch (const IoError& e) {
                ReportWarning(
                    fmt::format("the template files are installed, but that cannot be "
                                "recorded: {}",
                                e.what()));
            }
        }
        return true;
    }
    if (!InstallTemplates(templateDirectory, profile, {}, progress).empty())
        return true;
    const std::vector<std::string> missing = MissingTemplates(templateDirectory);
    if (missing.empty() || (!installed && missing.size() == kTemplateFiles.size()))
        throw StockPackageNotFound(MissingStockPackageMessage(DefaultSearchRoots()));
    // Templates that were there before and have gone: that is what the user needs to hear first.
    throw StockPackageNotFound(
        fmt::format("the templates directory {} lacks {}; {}", PrintableName(templateDirectory),
                    fmt::join(missing, ", "), MissingStockPackageMessage(DefaultSearchRoots())));
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
        // Nothing reads them on the way: the archive writer copies them from the templates.
        GameFile& file = context.Keep(
            std::make_unique<CarriedFile>(context.OutputFile(name), context.TemplateFile(name)));
        file.Load();
        context.members->Add(file);
    }
}

}  // namespace carconv
