#pragma once

// Fedata3File: a front-end data file ("fedata.eng" and its six sister languages) in the
// version-3 layout. Read-only: the class converts such a file into the version-4 layout but never
// writes one, so as an archive member it is packed as its file lies.
//
// File layout, little-endian, packed:
//   offset  size  field
//        0     4  leadingBytes   bytes; carried verbatim into the version-4 file
//        4     2  field4         unsigned 16-bit, not interpreted
//        6     2  flag6          signed 16-bit; 1 sets bit 0 of the version-4 flag word
//        8     2  field8         unsigned 16-bit, not interpreted
//       10     2  value10        signed 16-bit; carried, plus one, into the version-4 file
//       12     4  field12        unsigned 32-bit, not interpreted
//       16     2  flag16         signed 16-bit; 1 sets bit 4 of the version-4 flag word
//       18     2  field18        unsigned 16-bit, not interpreted
//       20     2  flag20         signed 16-bit; 1 sets bit 1 of the version-4 flag word
//       22     2  field22        unsigned 16-bit, not interpreted
//       24     2  value24        signed 16-bit; carried, sign-extended, into the version-4 file
//       26    14  block26        bytes, not interpreted
//       40     4  byteValues     4 signed 8-bit values
//       44     3  block44        bytes, not interpreted
//       47   160  stringOffsets  40 signed 32-bit positions, from the start of the file
//      207        end of the header
// Each string is a run of bytes ended by a NUL, found through its slot in the offset table (see
// fedata_read.h); the strings lie wherever the offsets put them.
//
// Load checks no signature, gives an offset that names no byte of the file the empty string, and
// reads header fields past the end of a file shorter than its header as zero.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "files/game_file.h"

namespace carconv {

class Fedata4File;

class Fedata3File : public GameFile {
  public:
    static constexpr int kStringCount = 40;

    // Field offsets and sizes of the header; each field ends where the next begins.
    static constexpr std::size_t kLeadingBytesOffset = 0;
    static constexpr std::size_t kLeadingBytesSize = 4;
    static constexpr std::size_t kField4Offset = 4;
    static constexpr std::size_t kFlag6Offset = 6;
    static constexpr std::size_t kField8Offset = 8;
    static constexpr std::size_t kValue10Offset = 10;
    static constexpr std::size_t kField12Offset = 12;
    static constexpr std::size_t kFlag16Offset = 16;
    static constexpr std::size_t kField18Offset = 18;
    static constexpr std::size_t kFlag20Offset = 20;
    static constexpr std::size_t kField22Offset = 22;
    static constexpr std::size_t kValue24Offset = 24;
    static constexpr std::size_t kBlock26Offset = 26;
    static constexpr std::size_t kBlock26Size = 14;
    static constexpr std::size_t kByteValuesOffset = 40;
    static constexpr std::size_t kByteValueCount = 4;
    static constexpr std::size_t kBlock44Offset = 44;
    static constexpr std::size_t kBlock44Size = 3;
    static constexpr std::size_t kStringOffsetsOffset = 47;
    static constexpr std::size_t kHeaderSize = 207;

    static_assert(kLeadingBytesOffset + kLeadingBytesSize == kField4Offset);
    static_assert(kField4Offset + 2 == kFlag6Offset && kFlag6Offset + 2 == kField8Offset);
    static_assert(kField8Offset + 2 == kValue10Offset && kValue10Offset + 2 == kField12Offset);
    static_assert(kField12Offset + 4 == kFlag16Offset && kFlag16Offset + 2 == kField18Offset);
    static_assert(kField18Offset + 2 == kFlag20Offset && kFlag20Offset + 2 == kField22Offset);
    static_assert(kField22Offset + 2 == kValue24Offset && kValue24Offset + 2 == kBlock26Offset);
    static_assert(kBlock26Offset + kBlock26Size == kByteValuesOffset);
    static_assert(kByteValuesOffset + kByteValueCount == kBlock44Offset);
    static_assert(kBlock44Offset + kBlock44Size == kStringOffsetsOffset);
    static_assert(kStringOffsetsOffset + kStringCount * 4 == kHeaderSize);

    // The header fields from offset 0 to the end of block44, each with its width and signedness.
    struct Header {
        std::array<std::uint8_t, kLeadingBytesSize> leadingBytes{};
        std::uint16_t field4 = 0;
        std::int16_t flag6 = 0;
        std::uint16_t field8 = 0;
        std::int16_t value10 = 0;
        std::uint32_t field12 = 0;
        std::int16_t flag16 = 0;
        std::uint16_t field18 = 0;
        std::int16_t flag20 = 0;
        std::uint16_t field22 = 0;
        std::int16_t value24 = 0;
        std::array<std::uint8_t, kBlock26Size> block26{};
        std::array<std::int8_t, kByteValueCount> byteValues{};
        std::array<std::uint8_t, kBlock44Size> block44{};
    };

    using StringOffsets = std::array<std::int32_t, kStringCount>;
    using Strings = std::array<std::string, kStringCount>;

    // Starts with a zero header, zero offsets and empty strings; callers Load first.
    explicit Fedata3File(std::string path);

    // Zeroes the header and the offset table; the strings keep their contents.
    int Reset() override;
    // Reads the file at `path`; see the layout above. Throws IoError when it cannot be read.
    int Load() override;
    // Load of the file that lies in `source` (a range of a package, or a whole file).
    int LoadFrom(const FileRange& source);
    // Writes nothing and creates no file: the version-3 file is never rewritten.
    int SaveAs(std::string target) override;
    // Load of a file already in memory: the same reading, for bytes that need no file.
    int Parse(ByteSpan bytes) override;

    // Writes the version-4 form of the loaded content to `target`, creating or replacing it:
    // the interpreted header fields carried over, version-3 strings 0 to 16 in slots 0 to 16, an
    // empty string in slot 17 and version-3 strings 17 to 39 in slots 18 to 40.
    int ConvertToFedata4(std::string target) const;
    // The version-4 object that ConvertToFedata4 writes, for `target`; nothing is written.
    std::unique_ptr<Fedata4File> ToFedata4(std::string target) const;

    const Header& GetHeader() const { return header_; }
    const StringOffsets& GetStringOffsets() const { return stringOffsets_; }
    const Strings& GetStrings() const { return strings_; }
    const std::string& GetString(int index) const;

  private:
    Header header_;
    StringOffsets stringOffsets_{};
    Strings strings_;
};

}  // namespace carconv
