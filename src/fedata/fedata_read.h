#pragma once

// Reading rules shared by both front-end data layouts.
//
// A front-end data file locates each of its strings through an offset table in its header. A
// string is the run of bytes at its offset up to the first NUL, looked for within at most
// kFedataStringWindow bytes; without a NUL in that window the string is the whole window (or the
// bytes up to the end of the file, when that comes first). Offsets are independent of each other:
// they need not ascend and may share a position. The bytes are carried as they are, without any
// character-set translation.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "files/byte_reader.h"

namespace carconv {

// Longest string a front-end data file can hold; a writer must keep to it for its file to read
// back the same.
inline constexpr std::size_t kFedataStringWindow = 256;

// Real front-end files hold a few kilobytes: forty strings and a header. Larger ones are refused
// before they are read, so that no such file costs more memory than this.
inline constexpr std::size_t kMaxFedataSize = std::size_t{1} << 20;

// The string at `offset` in the reader's bytes. An offset that is negative, or at or beyond the
// end of the bytes, names no string and gives the empty string. Moves the reader.
std::string ReadFedataString(ByteReader& reader, std::int32_t offset);

// The bytes of a file to read, `bytes` itself or, when they are shorter than the header, a copy
// in `padded` filled up to `headerSize` with zeros. A file shorter than its header is read as if
// zeros followed it: the missing header fields read as zero, and an offset into the added zeros
// gives the empty string, just as an offset past the end does.
ByteSpan PadToHeader(ByteSpan bytes, std::size_t headerSize, Bytes& padded);

// Fills `block` with the reader's next N bytes (header blocks held as they are).
template <std::size_t N>
void ReadFedataBlock(ByteReader& reader, std::array<std::uint8_t, N>& block) {
    ByteSpan bytes = reader.Take(N);
    std::copy(bytes.begin(), bytes.end(), block.begin());
}

}  // namespace carconv
