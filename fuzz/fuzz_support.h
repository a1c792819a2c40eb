#pragma once

// Shared plumbing of the fuzz targets.
//
// The per-format targets work in memory: each hands its input to the Parse of its format class
// (the entry point that every Load calls with the bytes it read), writes what the class writes to
// memory and parses that again. They read and write no file, so they run as fast as the parsers.
//
// The conversion target works on disk, as the conversion does. Its process works in a scratch
// folder of its own, made at the first input under the temporary directory the fuzzer was started
// with. TMPDIR is then pointed at a folder inside the scratch folder, so every working directory
// an archive creates lands there and can be counted: after each input no "carconv-" entry may
// remain. The scratch folder goes when the process exits normally.
//
// The clean error path of a loader is a CarconvError. Anything else that escapes (std::bad_alloc,
// std::length_error, ...) is left uncaught so that the fuzzer reports it as a finding, as it does
// with sanitizer reports, timeouts and memory beyond the rss limit.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "files/byte_reader.h"
#include "files/errors.h"
#include "files/game_file.h"

namespace carconv::fuzz {

// Runs `body` with warnings silenced; a CarconvError ends it cleanly.
void RunOne(const std::function<void()>& body);

// RunOne for a target that writes files: afterwards the working directories it created must all
// be gone, or the process aborts.
void RunOneOnDisk(const std::function<void()>& body);

// The scratch folder, created on first use (no trailing separator).
const std::string& ScratchDirectory();

// Writes the input bytes to `name` inside the scratch folder and returns the file's path.
std::string WriteInput(const std::string& name, const std::uint8_t* data, std::size_t size);

// A path inside the scratch folder for files the target writes itself.
std::string ScratchPath(const std::string& name);

// The input as bytes for Parse.
inline ByteSpan Input(const std::uint8_t* data, std::size_t size) {
    return ByteSpan(data, size);
}

// Ends the process as a finding: a writer and its reader disagree.
[[noreturn]] void Disagree(const std::string& what);

// What this program wrote from something it parsed must parse again: anything else means a
// writer and its reader disagree, which the fuzzer reports as a crash. `name` names the object.
template <class File>
void MustParse(const std::string& name, ByteSpan written) {
    try {
        File file(name);
        file.Parse(written);
    } catch (const CarconvError& e) {
        Disagree(std::string("what carconv wrote does not parse again: ") + e.what());
    }
}

// MustParse, and the parsed object must write the very same bytes again: writing is
// deterministic and its output is a fixed point of parsing then writing.
template <class File>
void MustRewriteSame(const std::string& name, ByteSpan written,
                     const std::function<Bytes(File&)>& write) {
    File file(name);
    try {
        file.Parse(written);
    } catch (const CarconvError& e) {
        Disagree(std::string("what carconv wrote does not parse again: ") + e.what());
    }
    const Bytes again = write(file);
    if (!std::equal(again.begin(), again.end(), written.begin(), written.end()))
        Disagree(name + ": what carconv wrote does not write back the same after parsing");
}

// The round trip of a parsed object of any format that has a writer: it serialises itself to
// memory, and the result must parse again and, where the writer promises it, write back the same.
void RoundTrip(GameFile& file);

// A file this program wrote from something it loaded must load again.
template <class File>
void MustLoad(const std::string& path) {
    try {
        File file(path);
        file.Load();
    } catch (const CarconvError& e) {
        Disagree(std::string("a file written by carconv does not load again: ") + e.what());
    }
}

}  // namespace carconv::fuzz
