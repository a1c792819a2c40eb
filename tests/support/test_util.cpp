#include "support/test_util.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace carconv::test {

namespace fs = std::filesystem;

namespace {

// Every test process gets a temporary directory of its own, so that tests running in parallel
// processes never see each other's working directories. Child processes inherit it via TMPDIR.
class PrivateTemporaryDirectory {
public:
    PrivateTemporaryDirectory() {
        std::string pattern = (fs::temp_directory_path() / "carconv-tests-XXXXXX").string();
        std::vector<char> buf(pattern.begin(), pattern.end());
        buf.push_back('\0');
        if (mkdtemp(buf.data()) == nullptr) return;
        path_ = buf.data();
        setenv("TMPDIR", path_.c_str(), 1);
    }
    ~PrivateTemporaryDirectory() {
        std::error_code ec;
        if (!path_.empty()) fs::remove_all(path_, ec);
    }

private:
    std::string path_;
};

PrivateTemporaryDirectory privateTemporaryDirectory;

}  // namespace

ScratchDir::ScratchDir() {
    std::string pattern = (fs::temp_directory_path() / "carconv-test-XXXXXX").string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = buf.data();
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("test: cannot read " + path);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
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
    return fs::exists(fs::symlink_status(path, ec));
}

std::vector<std::string> ListNames(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> LeftoverWorkingDirectories() {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(fs::temp_directory_path())) {
        std::string name = e.path().filename().string();
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

namespace {
std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
}  // namespace

RunResult RunCarconv(const std::string& args, const std::string& input, const std::string& env) {
    ScratchDir io;
    WriteFile(io.File("in"), input);
    // Without a display, so that a run without a command asks on the terminal even where the
    // suite runs on a desktop; `env` may name a display of its own.
    std::string command = "unset DISPLAY WAYLAND_DISPLAY; " + env + " " +
                          std::string(CARCONV_EXECUTABLE) + " " + args + " <" + io.File("in") +
                          " >" + io.File("out") + " 2>" + io.File("err");
    int status = std::system(command.c_str());
    int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return {code, Slurp(io.File("out")), Slurp(io.File("err"))};
}

}  // namespace carconv::test
