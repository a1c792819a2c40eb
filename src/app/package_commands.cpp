#include "app/package_commands.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <ostream>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "files/errors.h"
#include "files/game_file.h"
#include "files/name_index.h"
#include "files/safe_name.h"
#include "files/unpack_budget.h"
#include "files/viv_archive.h"
#include "files/warnings.h"
#include "platform/file_system.h"
#include "platform/interruption.h"
#include "platform/read_only_file.h"

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

void UnpackArchive(const std::string& archive, const std::string& directory) {
    // Header and directory only; the members go from file to file.
    const ReadOnlyFile in(archive);
    VivDirectory dir = VivArchive::ReadDirectory(in, archive);
    VivArchive::ReportForeignMagic(dir, PathString(NativePath(archive).filename()));
    // The budget of list, info and convert, charged in full before anything is written.
    UnpackBudget budget(archive, static_cast<std::uint64_t>(in.Size()));
    std::vector<std::string> names;
    for (const VivEntry& e : dir.entries) {
        budget.Charge(static_cast<std::uint64_t>(e.size));
        names.push_back(e.name);
    }
    CreateDirectories(directory);
    SweepAbandonedTemporaries(directory, names);
    for (const VivEntry& e : dir.entries) {
        ThrowIfStopRequested();
        // Written beside and renamed over the target, so a link of that name is replaced rather
        // than followed.
        AtomicFileWriter out(JoinPath(directory, e.name));
        out.AppendRange(in, e.offset, e.size);
        out.Commit();
    }
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
            ReportWarning(fmt::format("\"{}\" and \"{}\" differ only in letter case: the game "
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
    SweepAbandonedTemporaries(archive);
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
