#include "sample_bytes.h"

#include <bit>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace carconv::samples {

ByteSink& ByteSink::U8(std::uint8_t v) {
    bytes_.push_back(v);
    return *this;
}

ByteSink& ByteSink::U16le(std::uint16_t v) {
    bytes_.push_back(static_cast<std::uint8_t>(v & 0xFF));
    bytes_.push_back(static_cast<std::uint8_t>(v >> 8));
    return *this;
}

ByteSink& ByteSink::U32le(std::uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8)
        bytes_.push_back(static_cast<std::uint8_t>((v >> shift) & 0xFF));
    return *this;
}

ByteSink& ByteSink::F32le(float v) {
    return U32le(std::bit_cast<std::uint32_t>(v));
}

ByteSink& ByteSink::U32be(std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes_.push_back(static_cast<std::uint8_t>((v >> shift) & 0xFF));
    return *this;
}

ByteSink& ByteSink::Text(std::string_view s) {
    bytes_.insert(bytes_.end(), s.begin(), s.end());
    return *this;
}

ByteSink& ByteSink::CText(std::string_view s) {
    Text(s);
    bytes_.push_back(0);
    return *this;
}

ByteSink& ByteSink::Zeros(std::size_t n) {
    bytes_.insert(bytes_.end(), n, 0);
    return *this;
}

ByteSink& ByteSink::Append(const Bytes& b) {
    bytes_.insert(bytes_.end(), b.begin(), b.end());
    return *this;
}

namespace {

void Require(const Bytes& b, std::size_t offset, std::size_t size, std::string_view what) {
    if (offset > b.size() || size > b.size() - offset)
        throw std::runtime_error(std::string(what) + ": " + std::to_string(size) +
                                 " bytes at offset " + std::to_string(offset) +
                                 " lie past the end (" + std::to_string(b.size()) + " bytes)");
}

}  // namespace

void PutU32le(Bytes& b, std::size_t offset, std::uint32_t v) {
    Require(b, offset, 4, "PutU32le");
    for (std::size_t i = 0; i < 4; ++i)
        b[offset + i] = static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF);
}

void PutI32le(Bytes& b, std::size_t offset, std::int32_t v) {
    PutU32le(b, offset, static_cast<std::uint32_t>(v));
}

void PutF32le(Bytes& b, std::size_t offset, float v) {
    PutU32le(b, offset, std::bit_cast<std::uint32_t>(v));
}

void PutU16le(Bytes& b, std::size_t offset, std::uint16_t v) {
    Require(b, offset, 2, "PutU16le");
    b[offset] = static_cast<std::uint8_t>(v & 0xFF);
    b[offset + 1] = static_cast<std::uint8_t>(v >> 8);
}

void PutName(Bytes& b, std::size_t offset, std::string_view s, std::size_t slot) {
    std::size_t n = s.size() < slot ? s.size() : slot;
    Require(b, offset, n, "PutName");
    for (std::size_t i = 0; i < n; ++i)
        b[offset + i] = static_cast<std::uint8_t>(s[i]);
}

std::uint32_t GetU32le(const Bytes& b, std::size_t offset, std::string_view what) {
    Require(b, offset, 4, what);
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i)
        v |= static_cast<std::uint32_t>(b[offset + i]) << (8 * i);
    return v;
}

std::int32_t GetI32le(const Bytes& b, std::size_t offset, std::string_view what) {
    return static_cast<std::int32_t>(GetU32le(b, offset, what));
}

std::uint16_t GetU16le(const Bytes& b, std::size_t offset, std::string_view what) {
    Require(b, offset, 2, what);
    return static_cast<std::uint16_t>(b[offset] | (b[offset + 1] << 8));
}

std::uint32_t GetU32be(const Bytes& b, std::size_t offset, std::string_view what) {
    Require(b, offset, 4, what);
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i)
        v = (v << 8) | b[offset + i];
    return v;
}

std::string GetCText(const Bytes& b, std::size_t offset, std::size_t max) {
    std::string s;
    for (std::size_t i = offset; i < b.size() && i - offset < max && b[i] != 0; ++i)
        s.push_back(static_cast<char>(b[i]));
    return s;
}

std::uint64_t Random::Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

int Random::Between(int lo, int hi) {
    if (hi <= lo)
        return lo;
    std::uint64_t span = static_cast<std::uint64_t>(hi - lo) + 1;
    return lo + static_cast<int>(Next() % span);
}

double Random::Real(double lo, double hi) {
    double unit = static_cast<double>(Next() >> 11) / static_cast<double>(1ULL << 53);
    return lo + (hi - lo) * unit;
}

Bytes ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error(path.string() + ": cannot open for reading");
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::filesystem::path& path, const Bytes& bytes) {
    if (path.has_parent_path())
        std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error(path.string() + ": cannot write");
}

}  // namespace carconv::samples
