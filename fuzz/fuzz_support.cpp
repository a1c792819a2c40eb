#include "fuzz_support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>
#include <string_view>
#include <system_error>

#include <unistd.h>

#include "carp/carp3_file.h"
#include "carp/carp4_file.h"
#include "fedata/fedata4_file.h"
#include "files/warnings.h"
#include "image/tga_file.h"
#include "mesh/fce4_file.h"

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

// The bytes `write` makes of `file`; a writer that refuses what its reader made disagrees with it.
template <class File>
Bytes Written(File& file, const std::function<Bytes(File&)>& write) {
    try {
        return write(file);
    } catch (const CarconvError& e) {
        Disagree(std::string("carconv cannot write what it parsed: ") + e.what());
    }
}

// A performance text writes back the same after parsing unless a value holds a marker: the
// reader then takes that parameter from inside the value, as the conversion warns.
template <class File>
void RoundTripCarp(File& carp) {
    const std::function<Bytes(File&)> write = [](File& f) { return f.Serialize(f.path); };
    const Bytes written = Written(carp, write);
    const bool markerInValue = std::any_of(
        carp.parameters.begin(), carp.parameters.end(),
        [&](const std::string& v) { return !MarkersIn(v, carp.parameters.size()).empty(); });
    if (markerInValue)
        MustParse<File>(carp.path, written);
    else
        MustRewriteSame<File>(carp.path, written, write);
}

template <class File>
void RoundTripSame(File& file, const std::function<Bytes(File&)>& write) {
    MustRewriteSame<File>(file.path, Written(file, write), write);
}

}  // namespace

void Disagree(const std::string& what) {
    std::fprintf(stderr, "fuzz: %s\n", what.c_str());
    std::abort();
}

void RunOne(const std::function<void()>& body) {
    ScopedWarningSink quiet{DropWarnings{}};
    try {
        body();
    } catch (const CarconvError&) {
        // The clean error path.
    }
}

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

void RunOneOnDisk(const std::function<void()>& body) {
    ScratchDirectory();
    RunOne(body);
    std::string leftovers = LeftoverWorkingDirectories();
    if (!leftovers.empty()) {
        std::fprintf(stderr, "fuzz: working directories left behind:%s\n", leftovers.c_str());
        std::abort();
    }
}

void RoundTrip(GameFile& file) {
    if (auto* carp3 = dynamic_cast<Carp3File*>(&file)) {
        RoundTripCarp(*carp3);
    } else if (auto* carp4 = dynamic_cast<Carp4File*>(&file)) {
        RoundTripCarp(*carp4);
    } else if (auto* mesh = dynamic_cast<Fce4File*>(&file)) {
        RoundTripSame<Fce4File>(*mesh, [](Fce4File& f) { return f.Serialize(f.path); });
    } else if (auto* data = dynamic_cast<Fedata4File*>(&file)) {
        RoundTripSame<Fedata4File>(*data, [](Fedata4File& f) { return f.Serialize(); });
    } else if (auto* texture = dynamic_cast<TgaFile*>(&file)) {
        RoundTripSame<TgaFile>(*texture, [](TgaFile& f) { return f.Serialize(); });
    }
    // The other formats are never written: the archive writer packs their bytes as they are.
}

}  // namespace carconv::fuzz
