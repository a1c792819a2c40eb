#include "app/package_commands.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <ostream>
#include <string_view>
#include <system_error>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "files/errors.h"
#include "files/game_file.h"
#include "files/name_index.h"
#include "files/safe_name.h"
#include "files/unpack_budget.h"
#include "files/viv_archive.h"
#include "files/warnings.h"
#include "files/working_directory.h"
#include "platform/file_system.h"
#include "platform/interruption.h"
#include "platform/output_file.h"
#include "platform/read_only_file.h"
#include "platform/temporary_path.h"

namespace carconv {

std::string MemberTypeTag(const GameFile& member) {
    return member.typeTag.empty() ? std::string("-") : member.typeTag;
}

nlohmann::ordered_json DescribeMembers(const VivArchive& archive) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (std::size_t i = 0; i < archive.directory.size(); ++i) {
        const VivEntry& e = archive.directory[i];
        list.push_back({{"name", e.name},
                        {"offset", e.offset},
                        {"size", e.size},
                        {"type", MemberTypeTag(archive.members.ElementAt(static_cast<int>(i)))}});
    }
    return list;
}

void PrintMembers(const VivArchive& archive, std::ostream& out) {
    for (std::size_t i = 0; i < archive.directory.size(); ++i) {
        const VivEntry& e = archive.directory[i];
        out << fmt::format("{:>10} {:>10} {} {}\n", e.offset, e.size, PrintableName(e.name),
                           MemberTypeTag(archive.members.ElementAt(static_cast<int>(i))));
    }
}

void ListArchive(const std::string& archive, bool json, std::ostream& out) {
    // Typing a member may need its content, so the archive is unpacked into its working
    // directory, which goes with the archive object.
    VivArchive loaded(archive);
    loaded.Load();
    if (json) {
        // Names are bytes; replace what is not UTF-8 rather than fail.
        out << DescribeMembers(loaded).dump(2, ' ', false, nlohmann::json::error_handler_t::replace)
            << '\n';
        return;
    }
    PrintMembers(loaded, out);
}

namespace {

constexpr std::string_view kStagingPrefix = ".carconv-unpack-";
constexpr std::size_t kStagingDigits = 16;

bool IsStagingName(const std::string& name) {
    return name.size() == kStagingPrefix.size() + kStagingDigits &&
           name.compare(0, kStagingPrefix.size(), kStagingPrefix) == 0 &&
           IsHexDigits(std::string_view(name).substr(kStagingPrefix.size()));
}

// A fresh directory beside `target`, removed when it goes unless kept. It is marked as this
// process's own like a working directory, so that what an unpack killed outright leaves is
// removed by the next unpack beside it.
TemporaryPath StagingDirectoryBeside(const std::string& target) {
    std::string parent = PathString(NativePath(target).parent_path());
    if (parent.empty())
        parent = ".";
    CreateDirectories(parent);
    SweepAbandonedDirectories(parent, IsStagingName);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate =
            JoinPath(parent, fmt::format("{}{:016x}", kStagingPrefix, FreshNameBits()));
        std::error_code ec;
        TemporaryPath staging = TemporaryPath::Create(
            candidate, TemporaryPath::Kind::kDirectoryTree,
            [&]() { return std::filesystem::create_directory(NativePath(candidate), ec); },
            OwnerMarkPath(candidate));
        if (staging)
            return staging;
        if (ec && ec != std::errc::file_exists)
            throw IoError(candidate, "cannot create directory: " + ec.message());
    }
    throw IoError(target, "cannot choose a fresh directory beside it");
}

}  // namespace

void UnpackArchive(const std::string& archive, const std::string& directory) {
    // Header and directory only; the members go from file to file.
    const ReadOnlyFile in(archive);
    VivDirectory dir = VivArchive::ReadDirectory(in, archive);
    VivArchive::ReportForeignMagic(dir, PathString(NativePath(archive).filename()));
    // The budget of list, info and convert, charged in full before anything is written.
    UnpackBudget budget(archive, static_cast<std::uint64_t>(in.Size()));
    for (const VivEntry& e : dir.entries)
        budget.Charge(static_cast<std::uint64_t>(e.size));

    std::string target = directory;
    while (target.size() > 1 && (target.back() == '/' || target.back() == kPathSeparator))
        target.pop_back();
    const bool existed = IsDirectory(target);
    std::error_code ec;
    if (!existed &&
        std::filesystem::exists(std::filesystem::symlink_status(NativePath(target), ec)))
        throw IoError(target, "not a directory");
    // Every member goes into a fresh directory beside the target first, which becomes the target,
    // or hands its files over to an existing one, only once every member is complete: a failed or
    // interrupted unpack leaves no directory and no file of its own, and the target as it was.
    TemporaryPath staging = StagingDirectoryBeside(target);
    if (existed)
        SweepAbandonedTemporaries(target);
    // The staging directory is this run's own and goes whole unless the unpack completes, so a
    // member goes straight to its name there: one open, no temporary name, no rename. A name the
    // archive gives twice (or twice but for letter case, where the file system ignores case) is
    // already there: the later member replaces the earlier, as the game unpacks them.
    for (const VivEntry& e : dir.entries) {
        ThrowIfStopRequested();
        const std::string memberPath = JoinPath(staging.Path(), e.name);
        if (std::unique_ptr<OutputFile> out =
                OutputFile::CreateInOwnDirectory(memberPath, memberPath)) {
            out->AppendRange(in, e.offset, e.size);
            out->Finish(std::string());
            continue;
        }
        AtomicFileWriter out(memberPath);
        out.AppendRange(in, e.offset, e.size);
        out.Commit();
    }
    if (!existed) {
        RenameOver(staging.Path(), target);
        staging.Keep();
        return;
    }
    // Renamed over what has the name in the target, so a link of that name is replaced rather
    // than followed.
    for (const DirectoryEntry& entry : SearchDirectory(staging.Path()))
        RenameOver(JoinPath(staging.Path(), entry.name), JoinPath(target, entry.name));
}

void PackArchive(const std::string& directory, const std::string& archive,
                 std::vector<std::string> names) {
    namespace fs = std::filesystem;
    if (!IsDirectory(directory))
        throw IoError(directory, "not a directory");
    if (names.empty()) {
        for (const DirectoryEntry& entry : SearchDirectory(directory)) {
            if (entry.kind == DirectoryEntry::Kind::kFile)
                names.push_back(entry.name);
        }
        std::sort(names.begin(), names.end());
    }
    // Every name and file is checked before anything is written: the archive replaces its target
    // once complete, so a target that is one of the files would lose that file.
    std::map<std::string, std::string> spelled;  // lower-case name -> name as given
    for (const std::string& name : names) {
        if (!IsSafeFileName(name) || name.size() > VivArchive::kMaxNameLength) {
            throw IoError(name, "not a member name: names are 1 to 255 bytes without separators");
        }
        const auto [seen, fresh] = spelled.emplace(AsciiLowerCase(name), name);
        if (!fresh && seen->second == name) {
            throw IoError(name, "named twice; an archive holds each member once");
        }
        if (!fresh) {
            ReportWarning(
                fmt::format("\"{}\" and \"{}\" differ only in letter case: the game "
                            "finds one of them",
                            PrintableName(seen->second), PrintableName(name)));
        }
        const std::string path = JoinPath(directory, name);
        if (!IsRegularFile(path))
            throw IoError(path, "no such file");
        std::error_code ec;
        // By identity: also through a link, or in another letter case where the file system
        // ignores it.
        if (fs::equivalent(NativePath(path), NativePath(archive), ec)) {
            throw IoError(archive, fmt::format("is \"{}\", one of the files to pack; the archive "
                                               "would replace it",
                                               PrintableName(name)));
        }
    }
    SweepAbandonedTemporariesBeside(archive);
    std::vector<std::unique_ptr<GameFile>> files;
    VivArchive out(archive);
    for (const std::string& name : names) {
        files.push_back(std::make_unique<GameFile>(JoinPath(directory, name)));
        files.back()->Load();
        out.members.Add(*files.back());
    }
    out.Reset();
    out.Save();
}

}  // namespace carconv
