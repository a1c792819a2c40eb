#include "image/tga_file.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <utility>

#include <fmt/format.h>

#include "files/errors.h"
#include "platform/file_system.h"

namespace carconv {

namespace {

// A run-length packet header byte: the top bit marks a run (one pixel value repeated), the low
// seven bits hold the pixel count minus one.
constexpr std::uint8_t kRunPacketBit = 0x80;
constexpr std::uint8_t kPacketCountMask = 0x7f;
constexpr std::uint64_t kMaxPacketPixels = 128;

bool IsKnownImageType(std::uint8_t type) {
    switch (type) {
        case TgaFile::kTypeNoImage:
        case TgaFile::kTypeColourMapped:
        case TgaFile::kTypeTrueColour:
        case TgaFile::kTypeGrey:
        case TgaFile::kTypeColourMapped | TgaFile::kRleTypeBit:
        case TgaFile::kTypeTrueColour | TgaFile::kRleTypeBit:
        case TgaFile::kTypeGrey | TgaFile::kRleTypeBit:
            return true;
        default:
            return false;
    }
}

// Decodes run-length packets into exactly `pixelCount` pixels of `bytesPerPixel` bytes each.
// The caller has checked that the decoded size is one it is willing to allocate.
Bytes DecodeRunLength(ByteReader& reader, std::uint64_t pixelCount, std::size_t bytesPerPixel) {
    Bytes out;
    out.reserve(static_cast<std::size_t>(pixelCount * bytesPerPixel));
    std::uint64_t done = 0;
    while (done < pixelCount) {
        if (reader.Remaining() == 0) {
            reader.Fail(
                fmt::format("run-length data ends after {} of {} pixels", done, pixelCount));
        }
        const std::size_t packetStart = reader.Position();
        const std::uint8_t packet = reader.U8();
        const std::uint64_t count = (packet & kPacketCountMask) + 1u;
        if (count > pixelCount - done) {
            throw FormatError(reader.FileName(), packetStart,
                              fmt::format("run-length packet of {} pixels overruns the image "
                                          "({} of {} pixels left)",
                                          count, pixelCount - done, pixelCount));
        }
        const std::size_t packetBytes = (packet & kRunPacketBit)
                                            ? bytesPerPixel
                                            : static_cast<std::size_t>(count) * bytesPerPixel;
        if (packetBytes > reader.Remaining()) {
            throw FormatError(reader.FileName(), packetStart,
                              fmt::format("run-length data ends inside a packet after {} of {} "
                                          "pixels",
                                          done, pixelCount));
        }
        ByteSpan data = reader.Take(packetBytes);
        const std::size_t start = out.size();
        out.insert(out.end(), data.begin(), data.end());
        if (packet & kRunPacketBit) {
            // The pixel repeated by doubling what is there already: a few copies, not one a pixel.
            const std::size_t end = start + static_cast<std::size_t>(count) * bytesPerPixel;
            out.resize(end);
            for (std::size_t filled = bytesPerPixel; start + filled < end; filled *= 2) {
                const std::size_t n = std::min(filled, end - start - filled);
                std::copy_n(out.begin() + static_cast<std::ptrdiff_t>(start), n,
                            out.begin() + static_cast<std::ptrdiff_t>(start + filled));
            }
        }
        done += count;
    }
    return out;
}

}  // namespace

TgaFile::TgaFile(std::string path, std::shared_ptr<UnpackBudget> budget)
    : GameFile(std::move(path)), budget_(std::move(budget)) {
    typeTag = "TGA";
}

TgaFile::~TgaFile() = default;

int TgaFile::Reset() {
    header_ = TgaHeader{};
    imageId_.clear();
    colourMap_.clear();
    pixels_.clear();
    trailing_.clear();
    wasRunLengthEncoded_ = false;
    droppedByteCount_ = 0;
    fileCurrent_ = false;
    return 1;
}

int TgaFile::Load() {
    Parse(ReadWholeFile(path));
    loadedFrom_ = path;
    // Uncompressed, every byte read is kept and written back in place.
    fileCurrent_ = !wasRunLengthEncoded_;
    return 1;
}

int TgaFile::Parse(ByteSpan bytes) {
    // Within 2 GiB, so is everything the file holds.
    LengthOf(bytes);
    if (bytes.size() < kHeaderSize) {
        throw FormatError(path, fmt::format("file of {} bytes is shorter than the {}-byte header",
                                            bytes.size(), kHeaderSize));
    }
    ByteReader reader(bytes, path);

    TgaHeader header;
    header.idLength = reader.U8();
    header.colourMapType = reader.U8();
    header.imageType = reader.U8();
    ByteSpan colourMapBytes = reader.Take(kColourMapSpecSize);
    std::copy(colourMapBytes.begin(), colourMapBytes.end(), header.colourMapSpec.begin());
    header.xOrigin = reader.U16le();
    header.yOrigin = reader.U16le();
    header.width = reader.U16le();
    header.height = reader.U16le();
    header.pixelDepth = reader.U8();
    header.imageDescriptor = reader.U8();
    assert(reader.Position() == kHeaderSize);

    if (header.colourMapType > 1) {
        throw FormatError(path, kColourMapTypeOffset,
                          fmt::format("unsupported colour map type {}", header.colourMapType));
    }
    if (!IsKnownImageType(header.imageType)) {
        throw FormatError(path, kImageTypeOffset,
                          fmt::format("unsupported image type {}", header.imageType));
    }
    const bool runLength = (header.imageType & kRleTypeBit) != 0;

    if (header.idLength > reader.Remaining()) {
        reader.Fail(
            fmt::format("image ID of {} bytes runs past the end of the file", header.idLength));
    }
    Bytes imageId = reader.TakeCopy(header.idLength);

    Bytes colourMap;
    if (header.colourMapType == 1) {
        const std::uint64_t entries = LoadU16le(colourMapBytes, 2);
        const std::uint64_t entryBits = colourMapBytes[4];
        const std::uint64_t mapSize = entries * ((entryBits + 7) / 8);
        if (mapSize > reader.Remaining()) {
            reader.Fail(
                fmt::format("colour map of {} entries of {} bits needs {} bytes, the file "
                            "holds {}",
                            entries, entryBits, mapSize, reader.Remaining()));
        }
        colourMap = reader.TakeCopy(static_cast<std::size_t>(mapSize));
    }

    const std::size_t bytesPerPixel = BytesPerPixel(header.pixelDepth);
    const std::uint64_t pixelCount =
        header.imageType == kTypeNoImage ? 0 : std::uint64_t{header.width} * header.height;
    const std::uint64_t dataSize = pixelCount * bytesPerPixel;
    const std::uint64_t prefixSize = reader.Position();

    Bytes pixels;
    Bytes trailing;
    std::size_t dropped = 0;
    if (!runLength) {
        if (dataSize > reader.Remaining()) {
            reader.Fail(fmt::format(
                "image data of {}x{} pixels at {} bits needs {} bytes, the "
                "file holds {}",
                header.width, header.height, header.pixelDepth, dataSize, reader.Remaining()));
        }
        pixels = reader.TakeCopy(static_cast<std::size_t>(dataSize));
        trailing = reader.TakeCopy(reader.Remaining());
    } else {
        // A packet of 1 + n bytes yields at most 128 pixels of n bytes, so data that would expand
        // more than 128-fold cannot be complete; refusing it up front keeps the allocation within
        // what the file can back. The rewritten file must also fit the 32-bit `length`.
        if (dataSize / kMaxPacketPixels > reader.Remaining()) {
            reader.Fail(
                fmt::format("run-length data of {} bytes cannot fill an image of {}x{} "
                            "pixels at {} bits",
                            reader.Remaining(), header.width, header.height, header.pixelDepth));
        }
        if (dataSize > static_cast<std::uint64_t>(INT32_MAX) - prefixSize) {
            reader.Fail(fmt::format("decoded image of {} bytes is too large to write", dataSize));
        }
        // The header says how large the image is: what it adds to the file is charged before a
        // byte of it is allocated.
        if (budget_ && prefixSize + dataSize > bytes.size())
            budget_->ChargeGrowth(prefixSize + dataSize - bytes.size());
        pixels = DecodeRunLength(reader, pixelCount, bytesPerPixel);
        assert(pixels.size() == dataSize);
        dropped = reader.Remaining();
        header.imageType = static_cast<std::uint8_t>(header.imageType & ~kRleTypeBit);
    }

    // Uncompressed, this is the size of the file; decoded, the size SaveAs will write.
    const std::uint64_t writtenSize = prefixSize + pixels.size() + trailing.size();
    assert(writtenSize <= static_cast<std::uint64_t>(INT32_MAX));

    header_ = header;
    imageId_ = std::move(imageId);
    colourMap_ = std::move(colourMap);
    pixels_ = std::move(pixels);
    trailing_ = std::move(trailing);
    wasRunLengthEncoded_ = runLength;
    droppedByteCount_ = dropped;
    loadedFrom_.clear();
    fileCurrent_ = false;
    length = static_cast<std::int32_t>(writtenSize);
    return 1;
}

int TgaFile::SaveAs(std::string target) {
    if (target == path && target == loadedFrom_ && fileCurrent_)
        return 1;
    WriteFileAtomically(target, Serialize());
    if (target == path) {
        loadedFrom_ = path;
        fileCurrent_ = true;
    }
    return 1;
}

Bytes TgaFile::Serialize() const {
    ByteWriter writer;
    writer.Reserve(kHeaderSize + imageId_.size() + colourMap_.size() + pixels_.size() +
                   trailing_.size());
    writer.U8(header_.idLength);
    writer.U8(header_.colourMapType);
    writer.U8(header_.imageType);
    writer.Append(ByteSpan(header_.colourMapSpec));
    writer.U16le(header_.xOrigin);
    writer.U16le(header_.yOrigin);
    writer.U16le(header_.width);
    writer.U16le(header_.height);
    writer.U8(header_.pixelDepth);
    writer.U8(header_.imageDescriptor);
    assert(writer.Size() == kHeaderSize);
    writer.Append(imageId_);
    writer.Append(colourMap_);
    writer.Append(pixels_);
    writer.Append(trailing_);
    return writer.Release();
}

int TgaFile::FlipRows() {
    // An image without data (type 0, or after Reset) has no rows to move.
    if (pixels_.empty())
        return 1;
    fileCurrent_ = false;
    const std::size_t rowBytes = std::size_t{header_.width} * BytesPerPixel(header_.pixelDepth);
    const std::size_t rows = header_.height;
    assert(pixels_.size() == rowBytes * rows);
    for (std::size_t top = 0, bottom = rows - 1; top < bottom; ++top, --bottom) {
        std::swap_ranges(pixels_.begin() + static_cast<std::ptrdiff_t>(top * rowBytes),
                         pixels_.begin() + static_cast<std::ptrdiff_t>((top + 1) * rowBytes),
                         pixels_.begin() + static_cast<std::ptrdiff_t>(bottom * rowBytes));
    }
    return 1;
}

}  // namespace carconv
