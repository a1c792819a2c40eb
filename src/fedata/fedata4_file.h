#pragma once

// Fedata4File: a front-end data file ("fedata.eng" and its six sister languages) in the
// version-4 layout.
//
// File layout, little-endian, packed:
//   offset  size  field
//        0   274  leadingBlock       bytes; byte 0 is 4 in every file this class writes from Reset
//      274     4  fedata3Bytes       bytes; the first four bytes of the version-3 file
//      278   520  block278           bytes, not interpreted
//      798     4  value798           signed 32-bit
//      802    88  block802           bytes, not interpreted
//      890     2  flagWord           unsigned 16-bit; bits 0, 1 and 4 are used
//      892     6  block892           bytes, not interpreted
//      898     4  value898           signed 32-bit
//      902     3  block902           bytes; byte 2 (offset 904) is 10 after Reset
//      905    21  byteFields         21 signed 8-bit values: four version-3 byte values four times
//                                    each, then their mean four times, then one unused byte
//      926     4  value926           signed 32-bit
//      930     4  value930           signed 32-bit
//      934     4  value934           signed 32-bit
//      938     4  value938           signed 32-bit
//      942    18  block942           bytes; byte 16 (offset 958) is 41 after Reset
//      960   164  stringOffsets      41 signed 32-bit positions, from the start of the file
//     1124        end of the header
// Each string is a run of bytes ended by a NUL, found through its slot in the offset table (see
// fedata_read.h). A file that SaveAs writes stores the 41 strings right after the header, one
// after another in slot order, so Load followed by SaveAs reproduces such a file byte for byte.
//
// Load is lenient in the way the game's files require: it checks no signature, gives an offset
// that names no byte of the file the empty string, and reads header fields past the end of a file
// shorter than its header as zero. Every byte of the header is held and written back.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "files/game_file.h"

namespace carconv {

class Fedata4File : public GameFile {
  public:
    static constexpr int kStringCount = 41;

    // Field offsets and sizes of the header; each field ends where the next begins.
    static constexpr std::size_t kLeadingBlockOffset = 0;
    static constexpr std::size_t kLeadingBlockSize = 274;
    static constexpr std::size_t kFedata3BytesOffset = 274;
    static constexpr std::size_t kFedata3BytesSize = 4;
    static constexpr std::size_t kBlock278Offset = 278;
    static constexpr std::size_t kBlock278Size = 520;
    static constexpr std::size_t kValue798Offset = 798;
    static constexpr std::size_t kBlock802Offset = 802;
    static constexpr std::size_t kBlock802Size = 88;
    static constexpr std::size_t kFlagWordOffset = 890;
    static constexpr std::size_t kBlock892Offset = 892;
    static constexpr std::size_t kBlock892Size = 6;
    static constexpr std::size_t kValue898Offset = 898;
    static constexpr std::size_t kBlock902Offset = 902;
    static constexpr std::size_t kBlock902Size = 3;
    static constexpr std::size_t kByteFieldsOffset = 905;
    static constexpr std::size_t kByteFieldCount = 21;
    static constexpr std::size_t kValue926Offset = 926;
    static constexpr std::size_t kBlock942Offset = 942;
    static constexpr std::size_t kBlock942Size = 18;
    static constexpr std::size_t kStringOffsetsOffset = 960;
    static constexpr std::size_t kHeaderSize = 1124;

    // The values Reset puts into the otherwise zero header.
    static constexpr std::uint8_t kFormatByte = 4;  // leadingBlock[0]
    static constexpr std::size_t kBlock902MarkOffset = 904;
    static constexpr std::uint8_t kBlock902Mark = 10;
    static constexpr std::size_t kStringCountMarkOffset = 958;
    static constexpr std::uint8_t kStringCountMark = 41;

    static_assert(kLeadingBlockOffset + kLeadingBlockSize == kFedata3BytesOffset);
    static_assert(kFedata3BytesOffset + kFedata3BytesSize == kBlock278Offset);
    static_assert(kBlock278Offset + kBlock278Size == kValue798Offset);
    static_assert(kValue798Offset + 4 == kBlock802Offset);
    static_assert(kBlock802Offset + kBlock802Size == kFlagWordOffset);
    static_assert(kFlagWordOffset + 2 == kBlock892Offset);
    static_assert(kBlock892Offset + kBlock892Size == kValue898Offset);
    static_assert(kValue898Offset + 4 == kBlock902Offset);
    static_assert(kBlock902Offset + kBlock902Size == kByteFieldsOffset);
    static_assert(kByteFieldsOffset + kByteFieldCount == kValue926Offset);
    static_assert(kValue926Offset + 4 * 4 == kBlock942Offset);
    static_assert(kBlock942Offset + kBlock942Size == kStringOffsetsOffset);
    static_assert(kStringOffsetsOffset + kStringCount * 4 == kHeaderSize);
    static_assert(kStringCountMark == kStringCount);
    static_assert(kBlock902MarkOffset - kBlock902Offset < kBlock902Size);
    static_assert(kStringCountMarkOffset - kBlock942Offset < kBlock942Size);

    // The header fields from offset 0 to the end of block942, each with its width and
    // signedness.
    struct Header {
        std::array<std::uint8_t, kLeadingBlockSize> leadingBlock{};
        std::array<std::uint8_t, kFedata3BytesSize> fedata3Bytes{};
        std::array<std::uint8_t, kBlock278Size> block278{};
        std::int32_t value798 = 0;
        std::array<std::uint8_t, kBlock802Size> block802{};
        std::uint16_t flagWord = 0;
        std::array<std::uint8_t, kBlock892Size> block892{};
        std::int32_t value898 = 0;
        std::array<std::uint8_t, kBlock902Size> block902{};
        std::array<std::int8_t, kByteFieldCount> byteFields{};
        std::int32_t value926 = 0;
        std::int32_t value930 = 0;
        std::int32_t value934 = 0;
        std::int32_t value938 = 0;
        std::array<std::uint8_t, kBlock942Size> block942{};
    };

    using StringOffsets = std::array<std::int32_t, kStringCount>;
    using Strings = std::array<std::string, kStringCount>;

    // Starts with a zero header, zero offsets and empty strings; callers Load or Reset first.
    explicit Fedata4File(std::string path);

    // Zeroes the header and the offset table, then sets the three marks above; the strings keep
    // their contents.
    int Reset() override;
    // Reads the file at `path`; see the layout above. Throws IoError when it cannot be read.
    int Load() override;
    // Writes the header, with the offsets recomputed by UpdateStringOffsets, and the 41 strings
    // packed after it, replacing `target`. Leaves `length` alone: for an object loaded from a file
    // this class wrote, the rewritten file has exactly the size Load measured. Writes nothing when
    // `target` is the file Load read and it holds those bytes already.
    int SaveAs(std::string target) override;
    // Load of a file already in memory: the same reading, for bytes that need no file.
    int Parse(ByteSpan bytes) override;
    // The bytes SaveAs writes; updates the offsets as SaveAs does.
    Bytes Serialize();
    // Slot 0 is the end of the header; every further slot follows the previous string and its
    // NUL.
    int UpdateStringOffsets();

    const Header& GetHeader() const { return header_; }
    Header& GetHeader() { return header_; }
    const StringOffsets& GetStringOffsets() const { return stringOffsets_; }
    const Strings& GetStrings() const { return strings_; }
    const std::string& GetString(int index) const;
    // `value` must hold no NUL and at most kFedataStringWindow bytes, so that the written file
    // reads back the same; anything else throws std::invalid_argument.
    void SetString(int index, std::string value);

  private:
    Header header_;
    StringOffsets stringOffsets_{};
    Strings strings_;
    // The file Load read; empty after Parse.
    std::string loadedFrom_;
};

}  // namespace carconv
