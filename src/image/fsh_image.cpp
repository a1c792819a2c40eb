#include "image/fsh_image.h"

#include <algorithm>
#include <utility>

#include "platform/file_system.h"

namespace carconv {

namespace {

struct PixelLayout {
    std::uint64_t bytesPerPixel;
    std::uint64_t paletteBytes;  // palette header and palette after the pixels
};

// The pixel data each known format code calls for; nothing for a code that reads none.
std::optional<PixelLayout> LayoutOf(std::uint8_t formatCode) {
    switch (formatCode) {
        case FshImage::kFormat16BitA:
        case FshImage::kFormat16BitB:
            return PixelLayout{2, 0};
        case FshImage::kFormatPalette:
            return PixelLayout{1, FshImage::kPaletteHeaderSize + FshImage::kPaletteSize};
        case FshImage::kFormat32Bit:
            return PixelLayout{4, 0};
        default:
            return std::nullopt;
    }
}

}  // namespace

FshImage::FshImage(std::string path) : GameFile(std::move(path)) {
    typeTag = "FSHImage";
}

FshImage::~FshImage() = default;

std::optional<std::uint64_t> FshImage::PixelDataSize(std::uint8_t formatCode, std::int16_t width,
                                                     std::int16_t height) {
    const std::optional<PixelLayout> layout = LayoutOf(formatCode);
    if (!layout)
        return 0;
    if (width < 0 || height < 0)
        return std::nullopt;
    // At most 32767 x 32767 x 4 bytes plus the palette: no overflow in 64 bits.
    return static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) *
               layout->bytesPerPixel +
           layout->paletteBytes;
}

int FshImage::Load() {
    return Parse(ReadWholeFile(path));
}

int FshImage::Parse(ByteSpan bytes) {
    const std::int32_t size = LengthOf(bytes);

    // An entry shorter than the header is read as far as it goes; the rest of the header is zero.
    std::array<std::uint8_t, kHeaderSize> head{};
    std::copy_n(bytes.begin(), std::min(bytes.size(), kHeaderSize), head.begin());
    ByteReader reader(head, path);
    const std::uint8_t formatCode = reader.U8();
    std::array<std::uint8_t, kHeaderBytesSize> headerBytes{};
    ByteSpan rawHeaderBytes = reader.Take(kHeaderBytesSize);
    std::copy(rawHeaderBytes.begin(), rawHeaderBytes.end(), headerBytes.begin());
    const std::int16_t width = reader.I16le();
    const std::int16_t height = reader.I16le();
    std::array<std::int16_t, kExtraWordCount> extraWords{};
    for (std::int16_t& word : extraWords)
        word = reader.I16le();

    const std::size_t available = bytes.size() > kHeaderSize ? bytes.size() - kHeaderSize : 0;
    const std::optional<std::uint64_t> needed = PixelDataSize(formatCode, width, height);
    const bool complete = needed.has_value() && *needed <= available;

    Bytes pixels;
    std::array<std::uint8_t, kPaletteHeaderSize> paletteHeader{};
    std::array<std::uint8_t, kPaletteSize> palette{};
    if (complete && *needed > 0) {
        ByteReader data(bytes, path);
        data.Seek(kHeaderSize);
        const PixelLayout layout = *LayoutOf(formatCode);
        pixels = data.TakeCopy(static_cast<std::size_t>(*needed - layout.paletteBytes));
        if (layout.paletteBytes > 0) {
            ByteSpan header = data.Take(kPaletteHeaderSize);
            std::copy(header.begin(), header.end(), paletteHeader.begin());
            ByteSpan entries = data.Take(kPaletteSize);
            std::copy(entries.begin(), entries.end(), palette.begin());
        }
    }

    formatCode_ = formatCode;
    headerBytes_ = headerBytes;
    width_ = width;
    height_ = height;
    extraWords_ = extraWords;
    pixels_ = std::move(pixels);
    paletteHeader_ = paletteHeader;
    palette_ = palette;
    pixelDataComplete_ = complete;
    length = size;
    return 1;
}

}  // namespace carconv
