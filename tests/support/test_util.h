#pragma once

// Helpers shared by the tests: scratch directories, raw file access that does not go through the
// code under test, and a byte builder for laying out file formats inline.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace carconv::test {

using Bytes = std::vector<std::uint8_t>;

// The separator the program joins paths with on this platform, and `path` with every '/' turned
// into it: what the program's own paths look like.
#ifdef _WIN32
inline constexpr char kSeparator = '\\';
#else
inline constexpr char kSeparator = '/';
#endif
std::string NativeSeparators(std::string path);

// Paths in the tests are UTF-8 strings, as in the program; these convert them for the standard
// library (on Windows a narrow path would be read in the ANSI code page).
std::filesystem::path Native(const std::string& path);
std::string Utf8(const std::filesystem::path& path);

// A scratch directory, created fresh and removed with everything in it at destruction.
class ScratchDir {
  public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& Path() const { return path_; }
    // `name` (which may hold '/') inside the directory, with the platform's separators.
    std::string File(const std::string& name) const;

  private:
    std::string path_;
};

// Raw file access with the standard library alone.
Bytes ReadFile(const std::string& path);
void WriteFile(const std::string& path, const Bytes& bytes);
void WriteFile(const std::string& path, std::string_view text);
bool Exists(const std::string& path);
// Names of the entries of a directory, sorted.
std::vector<std::string> ListNames(const std::string& dir);
// Gives the file `path` the further name `link` (a hard link); false where the file system cannot.
bool AddHardLink(const std::string& path, const std::string& link);
// Sets the write time of `path` an hour back and returns it as the file system stores it.
std::filesystem::file_time_type Backdate(const std::string& path);
// Names of the entries of the temporary directory that begin with "carconv-".
std::vector<std::string> LeftoverWorkingDirectories();

// Builds a byte layout field by field.
class Builder {
  public:
    Builder& u8(std::uint8_t v);
    Builder& u16le(std::uint16_t v);
    Builder& u32le(std::uint32_t v);
    Builder& i32le(std::int32_t v) { return u32le(static_cast<std::uint32_t>(v)); }
    Builder& u32be(std::uint32_t v);
    Builder& i32be(std::int32_t v) { return u32be(static_cast<std::uint32_t>(v)); }
    Builder& str(std::string_view s);   // bytes of s, no terminator
    Builder& cstr(std::string_view s);  // bytes of s and a NUL
    Builder& zeros(std::size_t n);
    Builder& fill(std::size_t n, std::uint8_t v);
    Builder& raw(const Bytes& b);
    std::size_t size() const { return bytes_.size(); }
    const Bytes& bytes() const { return bytes_; }

  private:
    Bytes bytes_;
};

// Little-endian / big-endian reads from raw bytes, for checking written files.
std::uint32_t GetU32le(const Bytes& b, std::size_t offset);
std::int32_t GetI32le(const Bytes& b, std::size_t offset);
std::uint16_t GetU16le(const Bytes& b, std::size_t offset);
std::uint32_t GetU32be(const Bytes& b, std::size_t offset);
std::string GetCString(const Bytes& b, std::size_t offset, std::size_t max);

// `s` in single quotes, for the shell command lines RunCarconv takes (paths without quotes).
std::string Q(const std::string& s);

// Runs the carconv executable (or the copy of it at `program`) with `args` (a shell-quoted
// string), feeding `input` on stdin. POSIX only (it goes through the shell): tests that use it skip
// on Windows.
struct RunResult {
    int exitCode;
    std::string out;
    std::string err;
};
RunResult RunCarconv(const std::string& args, const std::string& input = "",
                     const std::string& env = "", const std::string& program = "");

#ifndef _WIN32
// Runs `work` in a child process and waits for it; false when no child could be started. `work`
// ends the child itself, with raise(SIGKILL) while what it made is still open, as a power cut
// ends a run; one that returns is ended the same way.
bool RunAndKill(const std::function<void()>& work);

// carconv started in the background, in `directory` (when given) with `arguments` (shell-quoted)
// and `env`, its stdout and stderr going to files in `io`. Its standard input is empty: closed
// at once, or with `holdInput` a pipe held open (a question on the terminal waits) until the
// object goes. The process is carconv itself, so that a signal sent to Pid() reaches it.
class CarconvProcess {
  public:
    CarconvProcess(const std::string& env, const ScratchDir& io, const std::string& arguments = "",
                   const std::string& directory = "", bool holdInput = false);
    ~CarconvProcess();
    CarconvProcess(const CarconvProcess&) = delete;
    CarconvProcess& operator=(const CarconvProcess&) = delete;

    // The exit status once the process has ended (128 + the signal when a signal ended it), or
    // nothing after `seconds`.
    std::optional<int> Wait(double seconds);
    // Waits at most `seconds` until `ready` holds; false when it did not, or only after the
    // process had ended.
    bool WaitUntil(const std::function<bool()>& ready, double seconds);
    // Whether the process ended by a signal rather than by exiting (after Wait).
    bool KilledBySignal() const { return killedBySignal_; }
    int Pid() const { return pid_; }
    // Ends the standard input held open with `holdInput`: a question waiting on it reads its end.
    void CloseInput();
    std::string Out() const;
    std::string Err() const;

  private:
    const ScratchDir& io_;
    int pid_ = -1;
    int input_ = -1;
    std::optional<int> exitCode_;
    bool killedBySignal_ = false;
};
#endif

}  // namespace carconv::test

// Skips the current test on Windows, with the reason; nothing elsewhere. For tests that need a
// POSIX shell, environment or file system feature.
#ifdef _WIN32
#define CARCONV_SKIP_ON_WINDOWS(reason) GTEST_SKIP() << (reason)
#else
#define CARCONV_SKIP_ON_WINDOWS(reason) static_cast<void>(0)
#endif
