#pragma once

// Shared plumbing of the fuzz targets.
//
// Each target process works in a scratch folder of its own, made at the first input under the
// temporary directory the fuzzer was started with. TMPDIR is then pointed at a folder inside the
// scratch folder, so every working directory an archive creates lands there and can be counted:
// after each input no "carconv-" entry may remain. The scratch folder goes when the process exits
// normally.
//
// The clean error path of a loader is a CarconvError. Anything else that escapes (std::bad_alloc,
// std::length_error, ...) is left uncaught so that the fuzzer reports it as a finding, as it does
// with sanitizer reports, timeouts and memory beyond the rss limit.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace carconv::fuzz {

// The scratch folder, created on first use (no trailing separator).
const std::string& ScratchDirectory();

// Writes the input bytes to `name` inside the scratch folder and returns the file's path.
std::string WriteInput(const std::string& name, const std::uint8_t* data, std::size_t size);

// A path inside the scratch folder for files the target writes itself.
std::string ScratchPath(const std::string& name);

// Runs `body` with warnings silenced. A CarconvError ends it cleanly; afterwards the working
// directories it created must all be gone, or the process aborts.
void RunOne(const std::function<void()>& body);

}  // namespace carconv::fuzz

#include <cstdio>
#include <cstdlib>
#include <exception>

#include "files/errors.h"

namespace carconv::fuzz {

// A file this program wrote from something it loaded must load again: anything else means a
// writer and its reader disagree, which the fuzzer reports as a crash.
template <class File>
void MustLoad(const std::string& path) {
    try {
        File file(path);
        file.Load();
    } catch (const CarconvError& e) {
        std::fprintf(stderr, "fuzz: a file written by carconv does not load again: %s\n", e.what());
        std::abort();
    }
}

}  // namespace carconv::fuzz
