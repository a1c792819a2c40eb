#pragma once

// Bounded reading and writing of file bytes.
//
// Byte order is explicit everywhere: the formats are little-endian, the archive header and
// directory big-endian. Values are assembled from bytes with shifts, never by copying memory onto
// a struct, so the code behaves the same on any host.
//
// ByteReader is a cursor over bytes already in memory. Every read first checks that the bytes are
// there (`n <= size - pos`, which cannot overflow) and throws FormatError naming the file, the
// offset and the range it wanted. Format code reads through it and never indexes a raw buffer by
// a number taken from the file.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace carconv {

using Bytes = std::vector<std::uint8_t>;
using ByteSpan = std::span<const std::uint8_t>;

class ByteReader {
  public:
    // `fileName` is used only in error messages; `bytes` must outlive the reader.
    ByteReader(ByteSpan bytes, std::string fileName);

    std::size_t Size() const { return bytes_.size(); }
    std::size_t Position() const { return pos_; }
    std::size_t Remaining() const { return bytes_.size() - pos_; }
    const std::string& FileName() const { return fileName_; }

    // Moves to an absolute position; positions past the end are an error, the end itself is not.
    void Seek(std::size_t position);
    void Skip(std::size_t n);

    std::uint8_t U8();
    std::int8_t I8() { return static_cast<std::int8_t>(U8()); }
    std::uint16_t U16le();
    std::int16_t I16le() { return static_cast<std::int16_t>(U16le()); }
    std::uint32_t U32le();
    std::int32_t I32le() { return static_cast<std::int32_t>(U32le()); }
    std::uint32_t U32be();
    std::int32_t I32be() { return static_cast<std::int32_t>(U32be()); }

    // The next n bytes, as a view into the reader's buffer.
    ByteSpan Take(std::size_t n);
    Bytes TakeCopy(std::size_t n);

    // Throws FormatError "<file>: <what> at offset 0x<pos>" at the current position.
    [[noreturn]] void Fail(const std::string& what) const;

  private:
    void Require(std::size_t n, const char* what) const;

    ByteSpan bytes_;
    std::size_t pos_ = 0;
    std::string fileName_;
};

// True when [offset, offset + length) lies inside a buffer of `size` bytes. Written so that no
// sum can overflow.
inline bool RangeFits(std::uint64_t offset, std::uint64_t length, std::uint64_t size) {
    return offset <= size && length <= size - offset;
}

// Little-endian and big-endian loads and stores on a fixed buffer whose size the caller has
// checked (header images held in memory).
std::uint16_t LoadU16le(ByteSpan bytes, std::size_t offset);
std::uint32_t LoadU32le(ByteSpan bytes, std::size_t offset);
inline std::int32_t LoadI32le(ByteSpan bytes, std::size_t offset) {
    return static_cast<std::int32_t>(LoadU32le(bytes, offset));
}
void StoreU16le(std::span<std::uint8_t> bytes, std::size_t offset, std::uint16_t value);
void StoreU32le(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value);
inline void StoreI32le(std::span<std::uint8_t> bytes, std::size_t offset, std::int32_t value) {
    StoreU32le(bytes, offset, static_cast<std::uint32_t>(value));
}

// Appends values to a growing byte buffer.
class ByteWriter {
  public:
    // Makes room for `n` bytes in all, so that a writer that knows its size grows the buffer once.
    void Reserve(std::size_t n) { out_.reserve(n); }
    void U8(std::uint8_t v) { out_.push_back(v); }
    void U16le(std::uint16_t v);
    void U32le(std::uint32_t v);
    void I32le(std::int32_t v) { U32le(static_cast<std::uint32_t>(v)); }
    void U32be(std::uint32_t v);
    void I32be(std::int32_t v) { U32be(static_cast<std::uint32_t>(v)); }
    void Append(ByteSpan bytes) { out_.insert(out_.end(), bytes.begin(), bytes.end()); }
    void Append(std::string_view text);
    void Zeros(std::size_t n) { out_.insert(out_.end(), n, 0); }

    std::size_t Size() const { return out_.size(); }
    const Bytes& Data() const { return out_; }
    Bytes Release() { return std::move(out_); }

  private:
    Bytes out_;
};

}  // namespace carconv
