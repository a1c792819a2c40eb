#include "files/byte_reader.h"

#include <cassert>
#include <utility>

#include "files/errors.h"

namespace carconv {

ByteReader::ByteReader(ByteSpan bytes, std::string fileName)
    : bytes_(bytes), fileName_(std::move(fileName)) {}

void ByteReader::Fail(const std::string& what) const {
    throw FormatError(fileName_, pos_, what);
}

void ByteReader::Require(std::size_t n, const char* what) const {
    if (n > bytes_.size() - pos_) {
        throw FormatError(fileName_, pos_,
                          std::string("unexpected end of data while reading ") + what + " [" +
                              HexOffset(pos_) + ", " + HexOffset(pos_ + n) + ")");
    }
}

void ByteReader::Seek(std::size_t position) {
    if (position > bytes_.size()) {
        throw FormatError(fileName_, position, "position lies past the end of the file");
    }
    pos_ = position;
}

void ByteReader::Skip(std::size_t n) {
    Require(n, "bytes");
    pos_ += n;
}

std::uint8_t ByteReader::U8() {
    Require(1, "a byte");
    return bytes_[pos_++];
}

std::uint16_t ByteReader::U16le() {
    Require(2, "a 16-bit value");
    std::uint16_t v = LoadU16le(bytes_, pos_);
    pos_ += 2;
    return v;
}

std::uint32_t ByteReader::U32le() {
    Require(4, "a 32-bit value");
    std::uint32_t v = LoadU32le(bytes_, pos_);
    pos_ += 4;
    return v;
}

std::uint32_t ByteReader::U32be() {
    Require(4, "a 32-bit value");
    const std::uint8_t* p = bytes_.data() + pos_;
    pos_ += 4;
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           std::uint32_t{p[3]};
}

ByteSpan ByteReader::Take(std::size_t n) {
    Require(n, "bytes");
    ByteSpan view = bytes_.subspan(pos_, n);
    pos_ += n;
    return view;
}

Bytes ByteReader::TakeCopy(std::size_t n) {
    ByteSpan view = Take(n);
    return Bytes(view.begin(), view.end());
}

std::uint16_t LoadU16le(ByteSpan bytes, std::size_t offset) {
    assert(offset + 2 <= bytes.size());
    return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

std::uint32_t LoadU32le(ByteSpan bytes, std::size_t offset) {
    assert(offset + 4 <= bytes.size());
    return std::uint32_t{bytes[offset]} | (std::uint32_t{bytes[offset + 1]} << 8) |
           (std::uint32_t{bytes[offset + 2]} << 16) | (std::uint32_t{bytes[offset + 3]} << 24);
}

void StoreU16le(std::span<std::uint8_t> bytes, std::size_t offset, std::uint16_t value) {
    assert(offset + 2 <= bytes.size());
    bytes[offset] = static_cast<std::uint8_t>(value);
    bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

void StoreU32le(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value) {
    assert(offset + 4 <= bytes.size());
    for (int i = 0; i < 4; ++i) {
        bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

void ByteWriter::U16le(std::uint16_t v) {
    out_.push_back(static_cast<std::uint8_t>(v));
    out_.push_back(static_cast<std::uint8_t>(v >> 8));
}

void ByteWriter::U32le(std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void ByteWriter::U32be(std::uint32_t v) {
    for (int i = 3; i >= 0; --i)
        out_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void ByteWriter::Append(std::string_view text) {
    // As bytes, so that the characters are copied as one block.
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    out_.insert(out_.end(), bytes, bytes + text.size());
}

}  // namespace carconv
