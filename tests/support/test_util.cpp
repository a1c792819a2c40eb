#include "support/test_util.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace carconv::test {

namespace fs = std::filesystem;

namespace {

// A new directory under `base` whose name is `prefix` and random letters; only a directory this
// call created counts. Empty when none could be made.
std::string MakeFreshDirectory(const fs::path& base, const std::string& prefix) {
    static std::mt19937_64 random{std::random_device{}()};
    const char* letters = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = prefix;
        for (int i = 0; i < 8; ++i)
            name += letters[random() % 36];
        std::error_code ec;
        if (fs::create_directory(base / name, ec))
            return Utf8(base / name);
    }
    return std::string();
}

// Every test process gets a temporary directory of its own, so that tests running in parallel
// processes never see each other's working directories. Child processes inherit it via TMPDIR
// (TMP and TEMP on Windows).
class PrivateTemporaryDirectory {
  public:
    PrivateTemporaryDirectory() {
        path_ = MakeFreshDirectory(fs::temp_directory_path(), "carconv-tests-");
        if (path_.empty())
            return;
#ifdef _WIN32
        std::wstring wide = Native(path_).wstring();
        SetEnvironmentVariableW(L"TMP", wide.c_str());
        SetEnvironmentVariableW(L"TEMP", wide.c_str());
        _wputenv_s(L"TMP", wide.c_str());
        _wputenv_s(L"TEMP", wide.c_str());
#else
        setenv("TMPDIR", path_.c_str(), 1);
#endif
    }
    ~PrivateTemporaryDirectory() {
        std::error_code ec;
        if (!path_.empty())
            fs::remove_all(Native(path_), ec);
    }

  private:
    std::string path_;
};

PrivateTemporaryDirectory privateTemporaryDirectory;

}  // namespace

fs::path Native(const std::string& path) {
    return fs::path(std::u8string(path.begin(), path.end()));
}

std::string Utf8(const fs::path& path) {
    std::u8string s = path.u8string();
    return std::string(s.begin(), s.end());
}

ScratchDir::ScratchDir() {
    path_ = MakeFreshDirectory(fs::temp_directory_path(), "carconv-test-");
    if (path_.empty())
        throw std::runtime_error("cannot create a scratch directory");
}

std::string ScratchDir::File(const std::string& name) const {
    return path_ + kSeparator + NativeSeparators(name);
}

std::string NativeSeparators(std::string path) {
    for (char& c : path) {
        if (c == '/')
            c = kSeparator;
    }
    return path;
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    fs::remove_all(Native(path_), ec);
}

Bytes ReadFile(const std::string& path) {
    std::ifstream in(Native(path), std::ios::binary);
    if (!in)
        throw std::runtime_error("test: cannot read " + path);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(Native(path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("test: cannot write " + path);
}

void WriteFile(const std::string& path, std::string_view text) {
    WriteFile(path, Bytes(text.begin(), text.end()));
}

bool Exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(Native(path), ec));
}

std::vector<std::string> ListNames(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(Native(dir)))
        names.push_back(Utf8(e.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
}

bool AddHardLink(const std::string& path, const std::string& link) {
    std::error_code ec;
    std::filesystem::create_hard_link(Native(path), Native(link), ec);
    return !ec;
}

std::filesystem::file_time_type Backdate(const std::string& path) {
    std::filesystem::last_write_time(
        Native(path), std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
    return std::filesystem::last_write_time(Native(path));
}

std::vector<std::string> LeftoverWorkingDirectories() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(fs::temp_directory_path())) {
        std::string name = Utf8(e.path().filename());
        if (name.rfind("carconv-", 0) == 0 && name.rfind("carconv-test-", 0) != 0) {
            names.push_back(name);
        }
    }
    return names;
}

Builder& Builder::u8(std::uint8_t v) {
    bytes_.push_back(v);
    return *this;
}
Builder& Builder::u16le(std::uint16_t v) {
    bytes_.push_back(static_cast<std::uint8_t>(v & 0xff));
    bytes_.push_back(static_cast<std::uint8_t>(v >> 8));
    return *this;
}
Builder& Builder::u32le(std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        bytes_.push_back(static_cast<std::uint8_t>((v >> (8 * i)) & 0xff));
    return *this;
}
Builder& Builder::u32be(std::uint32_t v) {
    for (int i = 3; i >= 0; --i)
        bytes_.push_back(static_cast<std::uint8_t>((v >> (8 * i)) & 0xff));
    return *this;
}
Builder& Builder::str(std::string_view s) {
    bytes_.insert(bytes_.end(), s.begin(), s.end());
    return *this;
}
Builder& Builder::cstr(std::string_view s) {
    str(s);
    bytes_.push_back(0);
    return *this;
}
Builder& Builder::zeros(std::size_t n) {
    return fill(n, 0);
}
Builder& Builder::fill(std::size_t n, std::uint8_t v) {
    bytes_.insert(bytes_.end(), n, v);
    return *this;
}
Builder& Builder::raw(const Bytes& b) {
    bytes_.insert(bytes_.end(), b.begin(), b.end());
    return *this;
}

std::uint32_t GetU32le(const Bytes& b, std::size_t o) {
    if (o + 4 > b.size())
        throw std::out_of_range("GetU32le");
    return b[o] | (b[o + 1] << 8) | (b[o + 2] << 16) | (std::uint32_t(b[o + 3]) << 24);
}
std::int32_t GetI32le(const Bytes& b, std::size_t o) {
    return static_cast<std::int32_t>(GetU32le(b, o));
}
std::uint16_t GetU16le(const Bytes& b, std::size_t o) {
    if (o + 2 > b.size())
        throw std::out_of_range("GetU16le");
    return static_cast<std::uint16_t>(b[o] | (b[o + 1] << 8));
}
std::uint32_t GetU32be(const Bytes& b, std::size_t o) {
    if (o + 4 > b.size())
        throw std::out_of_range("GetU32be");
    return (std::uint32_t(b[o]) << 24) | (b[o + 1] << 16) | (b[o + 2] << 8) | b[o + 3];
}
std::string GetCString(const Bytes& b, std::size_t o, std::size_t max) {
    std::string s;
    for (std::size_t i = o; i < b.size() && i < o + max && b[i] != 0; ++i)
        s += static_cast<char>(b[i]);
    return s;
}

#ifdef _WIN32
RunResult RunCarconv(const std::string&, const std::string&, const std::string&,
                     const std::string&) {
    throw std::logic_error("RunCarconv needs a POSIX shell; skip the test on Windows");
}
#else
namespace {
std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
}  // namespace

RunResult RunCarconv(const std::string& args, const std::string& input, const std::string& env,
                     const std::string& program) {
    ScratchDir io;
    WriteFile(io.File("in"), input);
    // Without a display, so that a run without a command asks on the terminal even where the
    // suite runs on a desktop; `env` may name a display of its own.
    std::string command = "unset DISPLAY WAYLAND_DISPLAY; " + env + " " +
                          (program.empty() ? std::string(CARCONV_EXECUTABLE) : Q(program)) + " " +
                          args + " <" + io.File("in") + " >" + io.File("out") + " 2>" +
                          io.File("err");
    int status = std::system(command.c_str());
    int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return {code, Slurp(io.File("out")), Slurp(io.File("err"))};
}

bool RunAndKill(const std::function<void()>& work) {
    const pid_t child = fork();
    if (child == 0) {
        work();
        raise(SIGKILL);
    }
    if (child < 0)
        return false;
    waitpid(child, nullptr, 0);
    return true;
}

CarconvProcess::CarconvProcess(const std::string& env, const ScratchDir& io,
                               const std::string& arguments, const std::string& directory,
                               bool holdInput)
    : io_(io) {
    int pipeEnds[2] = {-1, -1};
    if (holdInput && pipe(pipeEnds) != 0)
        throw std::runtime_error("test: cannot make a pipe");
    // Only this process's carconv may inherit the pipe: another one holding its writing end too
    // would keep CloseInput from ending the input.
    for (int end : pipeEnds) {
        if (end >= 0)
            fcntl(end, F_SETFD, FD_CLOEXEC);
    }
    // `exec` all the way: the shell becomes env, which becomes carconv, one process throughout.
    const std::string command = (directory.empty() ? "" : "cd " + Q(directory) + " && ") +
                                "exec env " + env + " " + std::string(CARCONV_EXECUTABLE) + " " +
                                arguments + (holdInput ? "" : " </dev/null") + " >" +
                                Q(io.File("out")) + " 2>" + Q(io.File("err"));
    pid_ = fork();
    if (pid_ == 0) {
        setpgid(0, 0);
        if (holdInput) {
            dup2(pipeEnds[0], 0);
            close(pipeEnds[0]);
            close(pipeEnds[1]);
        }
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    if (holdInput) {
        close(pipeEnds[0]);
        input_ = pipeEnds[1];
    }
}

CarconvProcess::~CarconvProcess() {
    if (pid_ > 0 && !exitCode_) {
        kill(-pid_, SIGKILL);
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (input_ >= 0)
        close(input_);
}

void CarconvProcess::CloseInput() {
    if (input_ >= 0)
        close(input_);
    input_ = -1;
}

std::optional<int> CarconvProcess::Wait(double seconds) {
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
    while (!exitCode_ && pid_ > 0) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            killedBySignal_ = WIFSIGNALED(status);
            exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            break;
        }
        if (Clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return exitCode_;
}

bool CarconvProcess::WaitUntil(const std::function<bool()>& ready, double seconds) {
    using Clock = std::chrono::steady_clock;
    auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < deadline) {
        if (ready())
            return !Wait(0);
        if (Wait(0))
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

std::string CarconvProcess::Out() const {
    return Slurp(io_.File("out"));
}

std::string CarconvProcess::Err() const {
    return Slurp(io_.File("err"));
}

#endif

std::string Q(const std::string& s) {
    return "'" + s + "'";
}

}  // namespace carconv::test
