#include "files/working_directory.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <random>
#include <system_error>

#include <fmt/format.h>

#include "files/errors.h"
#include "platform/file_system.h"

namespace carconv {

namespace fs = std::filesystem;

void RemoveDirectoryTree(std::string directory) {
    while (directory.size() > 1 && (directory.back() == '/' || directory.back() == '\\')) {
        directory.pop_back();
    }
    if (directory.empty())
        return;
    std::error_code ec;
    // remove_all deletes links themselves and never descends through them.
    fs::remove_all(NativePath(directory), ec);
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

WorkingDirectory::WorkingDirectory(const std::string& hint) {
    static std::atomic<unsigned> counter{0};
    std::random_device device;
    std::mt19937_64 random(
        device() ^
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::string base = TemporaryDirectory();
    std::string stem = "carconv-" + SanitizeHint(hint) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = JoinPath(
            base,
            stem + fmt::format("{:012x}{:x}", random() & 0xffffffffffffULL, counter.fetch_add(1)));
        std::error_code ec;
        // create_directory reports false for an existing directory: we only take one we made.
        if (fs::create_directory(NativePath(candidate), ec)) {
            path_ = candidate;
            return;
        }
        if (ec && ec != std::errc::file_exists) {
            throw IoError(candidate, "cannot create working directory: " + ec.message());
        }
    }
    throw IoError(base, "cannot create a fresh working directory");
}

WorkingDirectory::~WorkingDirectory() {
    RemoveDirectoryTree(path_);
}

}  // namespace carconv
