#pragma once

// Byte-level helpers of the sample generator: a growing byte sink, fixed-offset stores into a
// preallocated header, checked reads for the summary, and a small deterministic random source.
//
// The generator lays out every format on its own and shares no code with the converter, so that
// a fault in the converter's writers cannot hide behind the same fault in the samples.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace carconv::samples {

using Bytes = std::vector<std::uint8_t>;

// Appends fields one after another.
class ByteSink {
  public:
    ByteSink& U8(std::uint8_t v);
    ByteSink& U16le(std::uint16_t v);
    ByteSink& U32le(std::uint32_t v);
    ByteSink& I32le(std::int32_t v) { return U32le(static_cast<std::uint32_t>(v)); }
    ByteSink& F32le(float v);
    ByteSink& U32be(std::uint32_t v);
    ByteSink& Text(std::string_view s);   // the bytes of s, no terminator
    ByteSink& CText(std::string_view s);  // the bytes of s and one NUL
    ByteSink& Zeros(std::size_t n);
    ByteSink& Append(const Bytes& b);
    std::size_t Size() const { return bytes_.size(); }
    const Bytes& Data() const { return bytes_; }
    Bytes Take() { return std::move(bytes_); }

  private:
    Bytes bytes_;
};

// Stores at a fixed offset of a buffer that is already large enough (header layouts).
void PutU32le(Bytes& b, std::size_t offset, std::uint32_t v);
void PutI32le(Bytes& b, std::size_t offset, std::int32_t v);
void PutF32le(Bytes& b, std::size_t offset, float v);
void PutU16le(Bytes& b, std::size_t offset, std::uint16_t v);
// Writes `s` at `offset`, at most `slot` bytes; the rest of the slot is left as it is.
void PutName(Bytes& b, std::size_t offset, std::string_view s, std::size_t slot);

// Checked reads; each throws std::runtime_error naming `what` when the bytes are not there.
std::uint32_t GetU32le(const Bytes& b, std::size_t offset, std::string_view what);
std::int32_t GetI32le(const Bytes& b, std::size_t offset, std::string_view what);
std::uint16_t GetU16le(const Bytes& b, std::size_t offset, std::string_view what);
std::uint32_t GetU32be(const Bytes& b, std::size_t offset, std::string_view what);
// The bytes from `offset` up to the first NUL, at most `max`; empty when offset is past the end.
std::string GetCText(const Bytes& b, std::size_t offset, std::size_t max);

// splitmix64: the same sequence from the same seed on every platform and compiler, which the
// standard distributions do not promise.
class Random {
  public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next();
    // Uniform integer in [lo, hi].
    int Between(int lo, int hi);
    // Uniform real in [lo, hi].
    double Real(double lo, double hi);

  private:
    std::uint64_t state_;
};

// Whole files, for the tools built on the generator: WriteBytes creates missing parent folders.
// Both throw std::runtime_error naming the file when it cannot be read or written.
Bytes ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const Bytes& bytes);

}  // namespace carconv::samples
