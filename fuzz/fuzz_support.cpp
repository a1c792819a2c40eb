#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include <unistd.h>

#include "files/errors.h"
#include "files/warnings.h"

namespace carconv::fuzz {

namespace fs = std::filesystem;

namespace {

std::string g_scratch;

void RemoveScratch() {
    std::error_code ec;
    if (!g_scratch.empty())
        fs::remove_all(g_scratch, ec);
}

// The names of working directories that are still on disk.
std::string LeftoverWorkingDirectories() {
    std::string found;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(fs::temp_directory_path(ec), ec)) {
        std::string name = entry.path().filename().string();
        if (name.rfind("carconv-", 0) == 0)
            found += " " + name;
    }
    return found;
}

}  // namespace

const std::string& ScratchDirectory() {
    if (g_scratch.empty()) {
        fs::path base = fs::temp_directory_path();
        fs::path scratch = base / ("fuzz-scratch-" + std::to_string(::getpid()));
        fs::remove_all(scratch);
        fs::create_directories(scratch / "tmp");
        g_scratch = scratch.string();
        // Working directories go below the scratch folder from now on.
        ::setenv("TMPDIR", (scratch / "tmp").c_str(), 1);
        std::atexit(RemoveScratch);
    }
    return g_scratch;
}

std::string ScratchPath(const std::string& name) {
    return (fs::path(ScratchDirectory()) / name).string();
}

std::string WriteInput(const std::string& name, const std::uint8_t* data, std::size_t size) {
    std::string path = ScratchPath(name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    if (!out) {
        std::fprintf(stderr, "fuzz: cannot write %s\n", path.c_str());
        std::abort();
    }
    return path;
}

void RunOne(const std::function<void()>& body) {
    ScratchDirectory();
    {
        ScopedWarningSink quiet([](const std::string&) {});
        try {
            body();
        } catch (const CarconvError&) {
            // The clean error path.
        }
    }
    std::string leftovers = LeftoverWorkingDirectories();
    if (!leftovers.empty()) {
        std::fprintf(stderr, "fuzz: working directories left behind:%s\n", leftovers.c_str());
        std::abort();
    }
}

}  // namespace carconv::fuzz
