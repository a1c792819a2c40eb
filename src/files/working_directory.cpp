#include "files/working_directory.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "files/errors.h"
#include "platform/file_system.h"
#include "platform/output_file.h"

namespace carconv {

namespace fs = std::filesystem;

namespace {

constexpr const char* kOwnerMarkSuffix = ".owner";

}  // namespace

void RemoveDirectoryTree(std::string directory) {
    while (directory.size() > 1 && (directory.back() == '/' || directory.back() == '\\')) {
        directory.pop_back();
    }
    if (directory.empty())
        return;
    RemoveTree(directory);
}

namespace {

// Keeps only characters that are harmless in a directory name, so the hint cannot steer the path.
std::string SanitizeHint(const std::string& hint) {
    std::string out;
    for (char c : hint) {
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                  c == '-' || c == '_' || c == '.';
        out += ok ? c : '_';
        if (out.size() >= 32)
            break;
    }
    return out.empty() ? std::string("work") : out;
}

}  // namespace

std::string OwnerMarkPath(const std::string& directory) {
    const fs::path path = NativePath(directory);
    return PathString(
        path.parent_path() /
        NativePath(fmt::format(".{}{}", PathString(path.filename()), kOwnerMarkSuffix)));
}

WorkingDirectory::WorkingDirectory(const std::string& hint, const std::string& container) {
    static std::atomic<unsigned> counter{0};
    std::string base = TemporaryDirectory();
    std::string stem = "carconv-" + SanitizeHint(hint) + "-";
    // A container that is itself unpacked in a working directory is named after its own package.
    const std::string shownAs = container.empty() ? std::string() : ShownPath(container);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate =
            JoinPath(base, stem + fmt::format("{:012x}{:x}", FreshNameBits() & 0xffffffffffffULL,
                                              counter.fetch_add(1)));
        // Only a directory this run made itself is taken; an existing one is another's.
        directory_ = TemporaryPath::Create(
            candidate, TemporaryPath::Kind::kWorkingDirectory,
            [&]() { return CreatePrivateDirectory(candidate); }, OwnerMarkPath(candidate), shownAs);
        if (directory_)
            return;
    }
    throw IoError(base, "cannot create a fresh working directory");
}

WorkingDirectory::~WorkingDirectory() = default;

bool WorkingDirectory::Empty() {
    return !RemoveContent(Path());
}

void WorkingDirectory::ShowAs(const std::string& container) {
    directory_.ShowAs(container.empty() ? std::string() : ShownPath(container));
}

namespace {

thread_local WorkingDirectoryReuse* openReuse = nullptr;

}  // namespace

WorkingDirectoryReuse::WorkingDirectoryReuse() : outer_(std::exchange(openReuse, this)) {}

WorkingDirectoryReuse::~WorkingDirectoryReuse() {
    openReuse = outer_;
}

WorkingDirectory* WorkingDirectoryReuse::Take(std::size_t slot, const std::string& hint,
                                              const std::string& container) {
    if (openReuse == nullptr || slot >= kSlots)
        return nullptr;
    std::unique_ptr<WorkingDirectory>& kept = openReuse->kept_[slot];
    if (kept)
        kept->ShowAs(container);
    else
        kept = std::make_unique<WorkingDirectory>(hint, container);
    return kept.get();
}

void WorkingDirectoryReuse::Return(std::size_t slot) noexcept {
    if (openReuse == nullptr || slot >= kSlots || !openReuse->kept_[slot])
        return;
    std::unique_ptr<WorkingDirectory>& kept = openReuse->kept_[slot];
    if (!kept->Empty())
        kept.reset();
}

namespace {

// "carconv-", a hint of SanitizeHint's characters, '-', and at least 13 lower-case hex digits.
bool IsWorkingDirectoryName(const std::string& name) {
    constexpr std::string_view kPrefix = "carconv-";
    constexpr std::size_t kMinimumDigits = 13;
    if (name.compare(0, kPrefix.size(), kPrefix) != 0)
        return false;
    const std::size_t dash = name.rfind('-');
    if (dash < kPrefix.size() + 1 || name.size() - dash - 1 < kMinimumDigits)
        return false;
    const std::string hint = name.substr(kPrefix.size(), dash - kPrefix.size());
    const std::string digits = name.substr(dash + 1);
    return SanitizeHint(hint) == hint && IsHexDigits(digits);
}

}  // namespace

void SweepAbandonedWorkingDirectories() {
    std::string base;
    try {
        base = TemporaryDirectory();
    } catch (const IoError&) {
        return;  // the run that needs the directory reports the problem
    }
    SweepAbandonedDirectories(base, IsWorkingDirectoryName);
}

void SweepAbandonedDirectories(const std::string& base,
                               const std::function<bool(const std::string& name)>& isOurs) {
    std::vector<DirectoryEntry> entries;
    try {
        entries = SearchDirectory(base);
    } catch (const IoError&) {
        return;  // the run that needs the directory reports the problem
    }
    constexpr std::string_view kSuffix = kOwnerMarkSuffix;
    for (const DirectoryEntry& entry : entries) {
        const std::string& name = entry.name;
        if (entry.kind != DirectoryEntry::Kind::kFile || name.size() < 1 + kSuffix.size() ||
            name[0] != '.' ||
            name.compare(name.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0)
            continue;
        const std::string directoryName = name.substr(1, name.size() - 1 - kSuffix.size());
        if (!isOurs(directoryName))
            continue;
        const std::string mark = JoinPath(base, name);
        const std::string directory = JoinPath(base, directoryName);
        RemoveIfAbandoned(mark, [&mark, &directory]() {
            std::error_code ec;
            if (fs::is_directory(fs::symlink_status(NativePath(directory), ec)) &&
                OwnedByThisUser(directory)) {
                RemoveDirectoryTree(directory);
            }
            fs::remove(NativePath(mark), ec);
        });
    }
}

}  // namespace carconv
