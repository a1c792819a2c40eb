#pragma once

// FshImage: one image taken out of an FSH picture archive ("FSHImage"), read from the entry file
// the archive wrote for it. It is never written back.
//
// Entry file layout (little-endian):
//   offset  size  field
//   0       1     formatCode      pixel format, see below
//   1       3     headerBytes     kept, not interpreted
//   4       2     width           signed, pixels per row
//   6       2     height          signed, number of rows
//   8       4x2   extraWords      four signed 16-bit values, kept, not interpreted
//   16            pixel data      by formatCode:
//                                   0x78, 0x7E  width x height x 2 bytes
//                                   0x7B        width x height bytes of palette indices, then a
//                                               16-byte palette header and a 1024-byte palette
//                                               (256 entries of 4 bytes)
//                                   0x7D        width x height x 4 bytes
//                                   any other   nothing is read
//
// Load never fails on content, only on a file it cannot read. It never allocates more than the
// entry file holds: a negative width or height, or pixel data (palette included) longer than the
// file, loads the header alone and leaves the pixel buffer empty and the palette zeroed. A file
// shorter than the 16-byte header loads what is there; the missing header bytes read as zero.
// Bytes after the pixel data are ignored.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "files/byte_reader.h"
#include "files/game_file.h"
#include "platform/read_only_file.h"

namespace carconv {

class FshImage : public GameFile {
  public:
    static constexpr std::size_t kFormatCodeOffset = 0;
    static constexpr std::size_t kHeaderBytesOffset = 1;
    static constexpr std::size_t kHeaderBytesSize = 3;
    static constexpr std::size_t kWidthOffset = 4;
    static constexpr std::size_t kHeightOffset = 6;
    static constexpr std::size_t kExtraWordsOffset = 8;
    static constexpr std::size_t kExtraWordCount = 4;
    static constexpr std::size_t kHeaderSize = 16;
    static constexpr std::size_t kPaletteHeaderSize = 16;
    static constexpr std::size_t kPaletteSize = 1024;

    static_assert(kHeaderBytesOffset == kFormatCodeOffset + 1);
    static_assert(kWidthOffset == kHeaderBytesOffset + kHeaderBytesSize);
    static_assert(kHeightOffset == kWidthOffset + 2);
    static_assert(kExtraWordsOffset == kHeightOffset + 2);
    static_assert(kHeaderSize == kExtraWordsOffset + 2 * kExtraWordCount);
    static_assert(kPaletteSize == 256 * 4);

    static constexpr std::uint8_t kFormat16BitA = 0x78;
    static constexpr std::uint8_t kFormatPalette = 0x7B;
    static constexpr std::uint8_t kFormat32Bit = 0x7D;
    static constexpr std::uint8_t kFormat16BitB = 0x7E;

    explicit FshImage(std::string path);
    ~FshImage() override;

    // Reads the entry file's header and palette; the pixels are read when Pixels first asks for
    // them. Sets `length` to its size. Throws only IoError.
    int Load() override;
    // Load of an entry that lies in `file`, `size` bytes from `offset`: the pixels are read from
    // there when asked for, so `file` must stay as it is while this image may need them.
    void LoadFrom(const ReadOnlyFile& file, std::int64_t offset, std::int64_t size);
    // Load of an entry already in memory: the same reading, for bytes that need no file.
    int Parse(ByteSpan bytes) override;

    // Bytes of pixel data (palette part included) that `formatCode` calls for at this size: 0 for
    // a code that reads none, nothing at all when the code reads pixels and a dimension is
    // negative.
    static std::optional<std::uint64_t> PixelDataSize(std::uint8_t formatCode, std::int16_t width,
                                                      std::int16_t height);

    // Read-only views for reporting.
    std::uint8_t FormatCode() const { return formatCode_; }
    const std::array<std::uint8_t, kHeaderBytesSize>& HeaderBytes() const { return headerBytes_; }
    std::int16_t Width() const { return width_; }
    std::int16_t Height() const { return height_; }
    const std::array<std::int16_t, kExtraWordCount>& ExtraWords() const { return extraWords_; }
    // Reads the pixels if Load left them in the file; IoError when it changed since.
    const Bytes& Pixels() const;
    const std::array<std::uint8_t, kPaletteHeaderSize>& PaletteHeader() const {
        return paletteHeader_;
    }
    const std::array<std::uint8_t, kPaletteSize>& Palette() const { return palette_; }
    // False when the format calls for pixel data that Load left out: a negative dimension, or
    // pixel data longer than the file.
    bool PixelDataComplete() const { return pixelDataComplete_; }

    struct PixelLayout {
        std::uint64_t bytesPerPixel;
        std::uint64_t paletteBytes;  // palette header and palette after the pixels
    };

  private:
    // Keeps the header read from `head` (the entry's first bytes, padded with zeros) of an entry
    // of `size` bytes and works out whether its pixel data is complete; the layout of that pixel
    // data when it is complete and not empty.
    std::optional<PixelLayout> KeepHeader(ByteSpan head, std::uint64_t size);
    // Keeps the palette header and palette that `bytes` begins with.
    void KeepPalette(ByteSpan bytes);

    std::uint8_t formatCode_ = 0;
    std::array<std::uint8_t, kHeaderBytesSize> headerBytes_{};
    std::int16_t width_ = 0;
    std::int16_t height_ = 0;
    std::array<std::int16_t, kExtraWordCount> extraWords_{};
    // After Load, read on first use from `pixelSource_` at `pixelOffset_` (`pixelsPending_`).
    mutable Bytes pixels_;
    mutable bool pixelsPending_ = false;
    std::size_t pixelByteCount_ = 0;
    std::string pixelSource_;
    std::int64_t pixelOffset_ = 0;
    std::array<std::uint8_t, kPaletteHeaderSize> paletteHeader_{};
    std::array<std::uint8_t, kPaletteSize> palette_{};
    bool pixelDataComplete_ = true;
};

}  // namespace carconv
