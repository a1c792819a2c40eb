#include "image/fsh_image.h"

#include <algorithm>
#include <utility>

#include "files/errors.h"
#include "platform/file_system.h"

namespace carconv {

namespace {

using PixelLayout = FshImage::PixelLayout;

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
    const ReadOnlyFile in(path);
    LoadFrom(in, 0, in.Size());
    return 1;
}

void FshImage::LoadFrom(const ReadOnlyFile& file, std::int64_t offset, std::int64_t size) {
    if (size > std::int64_t{INT32_MAX})
        throw IoError(path, "file is too large (2 GiB or more)");
    const Bytes head =
        file.ReadAt(offset, std::min<std::size_t>(static_cast<std::size_t>(size), kHeaderSize));
    const std::optional<PixelLayout> layout = KeepHeader(head, static_cast<std::uint64_t>(size));
    pixels_.clear();
    pixelsPending_ = false;
    paletteHeader_ = {};
    palette_ = {};
    if (layout) {
        // The pixels are read when asked for; the palette, small, now.
        const std::int64_t pixelsAt = offset + static_cast<std::int64_t>(kHeaderSize);
        pixelSource_ = file.Path();
        pixelOffset_ = file.Start() + pixelsAt;  // where the pixels lie in the whole file
        pixelsPending_ = pixelByteCount_ > 0;
        if (layout->paletteBytes > 0) {
            const Bytes tail = file.ReadAt(pixelsAt + static_cast<std::int64_t>(pixelByteCount_),
                                           static_cast<std::size_t>(layout->paletteBytes));
            if (tail.size() != layout->paletteBytes)
                throw IoError(file.Path(), "file changed while it was read");
            KeepPalette(tail);
        }
    }
    length = static_cast<std::int32_t>(size);
}

int FshImage::Parse(ByteSpan bytes) {
    const std::int32_t size = LengthOf(bytes);
    const std::optional<PixelLayout> layout =
        KeepHeader(bytes.first(std::min(bytes.size(), kHeaderSize)), bytes.size());
    pixels_.clear();
    pixelsPending_ = false;
    paletteHeader_ = {};
    palette_ = {};
    if (layout) {
        const ByteSpan data = bytes.subspan(kHeaderSize);
        pixels_.assign(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(pixelByteCount_));
        if (layout->paletteBytes > 0)
            KeepPalette(data.subspan(pixelByteCount_, layout->paletteBytes));
    }
    length = size;
    return 1;
}

std::optional<FshImage::PixelLayout> FshImage::KeepHeader(ByteSpan head, std::uint64_t size) {
    // An entry shorter than the header is read as far as it goes; the rest of the header is zero.
    std::array<std::uint8_t, kHeaderSize> padded{};
    std::copy_n(head.begin(), std::min(head.size(), kHeaderSize), padded.begin());
    ByteReader reader(padded, path);
    formatCode_ = reader.U8();
    ByteSpan rawHeaderBytes = reader.Take(kHeaderBytesSize);
    std::copy(rawHeaderBytes.begin(), rawHeaderBytes.end(), headerBytes_.begin());
    width_ = reader.I16le();
    height_ = reader.I16le();
    for (std::int16_t& word : extraWords_)
        word = reader.I16le();

    const std::uint64_t available = size > kHeaderSize ? size - kHeaderSize : 0;
    const std::optional<std::uint64_t> needed = PixelDataSize(formatCode_, width_, height_);
    pixelDataComplete_ = needed.has_value() && *needed <= available;
    pixelByteCount_ = 0;
    if (!pixelDataComplete_ || *needed == 0)
        return std::nullopt;
    const PixelLayout layout = *LayoutOf(formatCode_);
    pixelByteCount_ = static_cast<std::size_t>(*needed - layout.paletteBytes);
    return layout;
}

void FshImage::KeepPalette(ByteSpan bytes) {
    std::copy_n(bytes.begin(), kPaletteHeaderSize, paletteHeader_.begin());
    std::copy_n(bytes.begin() + kPaletteHeaderSize, kPaletteSize, palette_.begin());
}

const Bytes& FshImage::Pixels() const {
    if (pixelsPending_) {
        const ReadOnlyFile in(pixelSource_);
        Bytes pixels = in.ReadAt(pixelOffset_, pixelByteCount_);
        if (pixels.size() != pixelByteCount_)
            throw IoError(pixelSource_, "file changed since it was read");
        pixels_ = std::move(pixels);
        pixelsPending_ = false;
    }
    return pixels_;
}

}  // namespace carconv
