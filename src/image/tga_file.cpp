#include "image/tga_file.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <utility>

#include <fmt/format.h>

#include "files/errors.h"
#include "platform/file_system.h"
#include "platform/read_only_file.h"

namespace carconv {

// Header, image ID and colour map, as read and checked against a file of `fileSize` bytes, and
// what the image data after them must be.
struct TgaLayout {
    TgaHeader header;
    Bytes imageId;
    Bytes colourMap;
    bool runLength = false;
    std::size_t bytesPerPixel = 0;
    std::uint64_t pixelCount = 0;
    std::uint64_t dataSize = 0;    // decoded
    std::uint64_t prefixSize = 0;  // offset of the image data
};

namespace {

// A run-length packet header byte: the top bit marks a run (one pixel value repeated), the low
// seven bits hold the pixel count minus one.
constexpr std::uint8_t kRunPacketBit = 0x80;
constexpr std::uint8_t kPacketCountMask = 0x7f;
constexpr std::uint64_t kMaxPacketPixels = 128;
// How far a run-length decode grows its output ahead of the pixels it has written.
constexpr std::size_t kDecodeStep = 64 * 1024;

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

// The bytes a layout takes: the header, then as far as its image ID and colour map reach.
std::uint64_t LayoutSize(ByteSpan header) {
    const std::uint64_t idLength = header[TgaFile::kIdLengthOffset];
    std::uint64_t mapSize = 0;
    if (header[TgaFile::kColourMapTypeOffset] == 1) {
        const ByteSpan mapFields = header.subspan(TgaFile::kColourMapSpecOffset);
        mapSize = std::uint64_t{LoadU16le(mapFields, 2)} * ((std::uint64_t{mapFields[4]} + 7) / 8);
    }
    return TgaFile::kHeaderSize + idLength + mapSize;
}

// Reads the layout from `prefix`, the first bytes of a file of `fileSize` bytes: all of them, or
// at least LayoutSize of its header.
TgaLayout ReadLayout(ByteSpan prefix, std::uint64_t fileSize, const std::string& path) {
    if (fileSize < TgaFile::kHeaderSize) {
        throw FormatError(path, fmt::format("file of {} bytes is shorter than the {}-byte header",
                                            fileSize, TgaFile::kHeaderSize));
    }
    ByteReader reader(prefix, path);
    TgaLayout layout;
    TgaHeader& header = layout.header;
    header.idLength = reader.U8();
    header.colourMapType = reader.U8();
    header.imageType = reader.U8();
    ByteSpan colourMapBytes = reader.Take(TgaFile::kColourMapSpecSize);
    std::copy(colourMapBytes.begin(), colourMapBytes.end(), header.colourMapSpec.begin());
    header.xOrigin = reader.U16le();
    header.yOrigin = reader.U16le();
    header.width = reader.U16le();
    header.height = reader.U16le();
    header.pixelDepth = reader.U8();
    header.imageDescriptor = reader.U8();
    assert(reader.Position() == TgaFile::kHeaderSize);
    const auto fileRemaining = [&] { return fileSize - reader.Position(); };

    if (header.colourMapType > 1) {
        throw FormatError(path, TgaFile::kColourMapTypeOffset,
                          fmt::format("unsupported colour map type {}", header.colourMapType));
    }
    if (!IsKnownImageType(header.imageType)) {
        throw FormatError(path, TgaFile::kImageTypeOffset,
                          fmt::format("unsupported image type {}", header.imageType));
    }
    layout.runLength = (header.imageType & TgaFile::kRleTypeBit) != 0;

    if (header.idLength > fileRemaining()) {
        reader.Fail(
            fmt::format("image ID of {} bytes runs past the end of the file", header.idLength));
    }
    layout.imageId = reader.TakeCopy(header.idLength);

    if (header.colourMapType == 1) {
        const std::uint64_t entries = LoadU16le(colourMapBytes, 2);
        const std::uint64_t entryBits = colourMapBytes[4];
        const std::uint64_t mapSize = entries * ((entryBits + 7) / 8);
        if (mapSize > fileRemaining()) {
            reader.Fail(
                fmt::format("colour map of {} entries of {} bits needs {} bytes, the file "
                            "holds {}",
                            entries, entryBits, mapSize, fileRemaining()));
        }
        layout.colourMap = reader.TakeCopy(static_cast<std::size_t>(mapSize));
    }

    layout.bytesPerPixel = TgaFile::BytesPerPixel(header.pixelDepth);
    layout.pixelCount =
        header.imageType == TgaFile::kTypeNoImage ? 0 : std::uint64_t{header.width} * header.height;
    layout.dataSize = layout.pixelCount * layout.bytesPerPixel;
    layout.prefixSize = reader.Position();

    if (!layout.runLength) {
        if (layout.dataSize > fileRemaining()) {
            reader.Fail(fmt::format(
                "image data of {}x{} pixels at {} bits needs {} bytes, the "
                "file holds {}",
                header.width, header.height, header.pixelDepth, layout.dataSize, fileRemaining()));
        }
    } else {
        // A packet of 1 + n bytes yields at most 128 pixels of n bytes, so data that would expand
        // more than 128-fold cannot be complete; refusing it up front keeps the allocation within
        // what the file can back. The rewritten file must also fit the 32-bit `length`.
        if (layout.dataSize / kMaxPacketPixels > fileRemaining()) {
            reader.Fail(
                fmt::format("run-length data of {} bytes cannot fill an image of {}x{} "
                            "pixels at {} bits",
                            fileRemaining(), header.width, header.height, header.pixelDepth));
        }
        if (layout.dataSize > static_cast<std::uint64_t>(INT32_MAX) - layout.prefixSize) {
            reader.Fail(
                fmt::format("decoded image of {} bytes is too large to write", layout.dataSize));
        }
    }
    return layout;
}

// Walks the run-length packets of `layout`'s image, which start at the layout's end in a file of
// `fileSize` bytes, until the image is complete, and returns the offset where they end. `fetch`
// (offset, count) gives the file's bytes from offset, count of them; the caller has checked that
// they lie in the file. With `out`, the decoded pixels are appended to it; the caller has checked
// that the decoded size is one it is willing to allocate.
template <class Fetch>
std::uint64_t WalkRunLength(const TgaLayout& layout, std::uint64_t fileSize, Fetch&& fetch,
                            Bytes* out, const std::string& path) {
    const std::uint64_t pixelCount = layout.pixelCount;
    const std::size_t bytesPerPixel = layout.bytesPerPixel;
    // The decoded pixels are copied to `out` through a pointer; the vector grows ahead of them,
    // by kDecodeStep at a time, rather than at every packet: most packets hold a pixel or a few.
    // Not further ahead, so that data that ends early has not made the rest of the image
    // resident.
    const std::size_t outStart = out ? out->size() : 0;
    const std::size_t outEnd = outStart + static_cast<std::size_t>(layout.dataSize);
    std::size_t written = outStart;
    if (out)
        out->reserve(outEnd);
    std::uint64_t offset = layout.prefixSize;
    std::uint64_t done = 0;
    while (done < pixelCount) {
        if (offset == fileSize) {
            throw FormatError(
                path, static_cast<std::size_t>(offset),
                fmt::format("run-length data ends after {} of {} pixels", done, pixelCount));
        }
        const std::uint64_t packetStart = offset;
        const std::uint8_t packet = fetch(offset, 1)[0];
        ++offset;
        const std::uint64_t count = (packet & kPacketCountMask) + 1u;
        if (count > pixelCount - done) {
            throw FormatError(path, static_cast<std::size_t>(packetStart),
                              fmt::format("run-length packet of {} pixels overruns the image "
                                          "({} of {} pixels left)",
                                          count, pixelCount - done, pixelCount));
        }
        const bool run = (packet & kRunPacketBit) != 0;
        const std::size_t decoded = static_cast<std::size_t>(count) * bytesPerPixel;
        const std::size_t packetBytes = run ? bytesPerPixel : decoded;
        if (packetBytes > fileSize - offset) {
            throw FormatError(path, static_cast<std::size_t>(packetStart),
                              fmt::format("run-length data ends inside a packet after {} of {} "
                                          "pixels",
                                          done, pixelCount));
        }
        if (out && decoded != 0) {
            // Within outEnd: the packets together hold no more pixels than the image.
            if (out->size() - written < decoded)
                out->resize(std::min(outEnd, written + std::max(decoded, kDecodeStep)));
            std::uint8_t* to = out->data() + written;
            std::memcpy(to, fetch(offset, packetBytes).data(), packetBytes);
            // A run's pixel repeated by doubling what is there already: a few copies, not one
            // a pixel.
            for (std::size_t filled = packetBytes; filled < decoded; filled *= 2)
                std::memcpy(to + filled, to, std::min(filled, decoded - filled));
            written += decoded;
        }
        offset += packetBytes;
        done += count;
    }
    if (out)
        out->resize(written);
    return offset;
}

// The bytes of a file read a window at a time, for walking it from start to end.
class FileWindow {
  public:
    explicit FileWindow(const ReadOnlyFile& file) : file_(file) {}
    // `count` bytes from `offset`, which the caller has checked lie in the file; valid until the
    // next call.
    ByteSpan operator()(std::uint64_t offset, std::size_t count) {
        if (offset < start_ || offset + count > start_ + held_) {
            // One buffer for every window, no larger than what is left of the file: a small
            // image is not given a megabyte to fill.
            const auto left = static_cast<std::uint64_t>(
                std::max<std::int64_t>(file_.Size() - static_cast<std::int64_t>(offset), 0));
            const std::size_t size = std::max(
                count, static_cast<std::size_t>(std::min<std::uint64_t>(left, kCopyChunkSize)));
            if (window_.size() < size)
                window_.resize(size);
            start_ = offset;
            held_ =
                file_.ReadInto(static_cast<std::int64_t>(offset), std::span(window_).first(size));
            if (held_ < count)
                throw IoError(file_.Path(), "file changed while it was read");
        }
        return ByteSpan(window_).subspan(static_cast<std::size_t>(offset - start_), count);
    }

  private:
    const ReadOnlyFile& file_;
    std::uint64_t start_ = 0;
    std::size_t held_ = 0;
    Bytes window_;
};

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
    pixelsPending_ = false;
    trailingByteCount_ = 0;
    wasRunLengthEncoded_ = false;
    droppedByteCount_ = 0;
    fileCurrent_ = false;
    return 1;
}

int TgaFile::Load() {
    return LoadFrom(FileRange{path});
}

int TgaFile::LoadFrom(const FileRange& source) {
    const ReadOnlyFile in(source);
    const std::uint64_t fileSize = static_cast<std::uint64_t>(in.Size());
    if (fileSize > static_cast<std::uint64_t>(INT32_MAX))
        throw IoError(path, "file is too large (2 GiB or more)");
    const Bytes header = in.ReadAt(0, kHeaderSize);
    const Bytes prefix = header.size() < kHeaderSize
                             ? header
                             : in.ReadAt(0, static_cast<std::size_t>(LayoutSize(header)));
    TgaLayout layout = ReadLayout(prefix, fileSize, path);

    // Only the layout is kept: the image data is read when something asks for it, so that typing
    // a member costs the same whatever the size of its image.
    std::uint64_t dataEnd = layout.prefixSize + layout.dataSize;
    if (layout.runLength) {
        ChargeDecodedGrowth(layout, fileSize);
        // Walked here, to find what is wrong with it now rather than when it is used.
        dataEnd = WalkRunLength(layout, fileSize, FileWindow(in), nullptr, path);
    }
    Keep(std::move(layout), fileSize - dataEnd);
    pixels_.clear();
    trailing_.clear();
    pixelsPending_ = true;
    loadedFrom_ = source;
    loadedSize_ = fileSize;
    // Uncompressed, every byte read is kept and written back in place.
    fileCurrent_ = !wasRunLengthEncoded_;
    return 1;
}

int TgaFile::Parse(ByteSpan bytes) {
    // Within 2 GiB, so is everything the file holds.
    LengthOf(bytes);
    TgaLayout layout = ReadLayout(bytes, bytes.size(), path);
    Bytes pixels;
    std::size_t afterData = 0;
    if (!layout.runLength) {
        pixels.assign(
            bytes.begin() + static_cast<std::ptrdiff_t>(layout.prefixSize),
            bytes.begin() + static_cast<std::ptrdiff_t>(layout.prefixSize + layout.dataSize));
        afterData = static_cast<std::size_t>(layout.prefixSize + layout.dataSize);
    } else {
        ChargeDecodedGrowth(layout, bytes.size());
        afterData = static_cast<std::size_t>(WalkRunLength(
            layout, bytes.size(),
            [bytes](std::uint64_t offset, std::size_t count) {
                return bytes.subspan(static_cast<std::size_t>(offset), count);
            },
            &pixels, path));
        assert(pixels.size() == layout.dataSize);
    }
    const bool runLength = layout.runLength;
    Keep(std::move(layout), bytes.size() - afterData);
    pixels_ = std::move(pixels);
    trailing_.clear();
    if (!runLength)
        trailing_.assign(bytes.begin() + static_cast<std::ptrdiff_t>(afterData), bytes.end());
    pixelsPending_ = false;
    loadedFrom_ = FileRange{};
    fileCurrent_ = false;
    return 1;
}

void TgaFile::ChargeDecodedGrowth(const TgaLayout& layout, std::uint64_t fileSize) {
    // The header says how large the image is: what it adds to the file is charged before a
    // byte of it is allocated.
    if (budget_ && layout.prefixSize + layout.dataSize > fileSize)
        budget_->ChargeGrowth(layout.prefixSize + layout.dataSize - fileSize);
}

void TgaFile::Keep(TgaLayout layout, std::uint64_t afterData) {
    header_ = layout.header;
    imageId_ = std::move(layout.imageId);
    colourMap_ = std::move(layout.colourMap);
    wasRunLengthEncoded_ = layout.runLength;
    // Decoded, the bytes after the data are dropped; uncompressed, they are kept.
    droppedByteCount_ = layout.runLength ? static_cast<std::size_t>(afterData) : 0;
    trailingByteCount_ = layout.runLength ? 0 : static_cast<std::size_t>(afterData);
    if (layout.runLength)
        header_.imageType = static_cast<std::uint8_t>(header_.imageType & ~kRleTypeBit);
    // Uncompressed, this is the size of the file; decoded, the size SaveAs will write.
    const std::uint64_t writtenSize = layout.prefixSize + layout.dataSize + trailingByteCount_;
    assert(writtenSize <= static_cast<std::uint64_t>(INT32_MAX));
    length = static_cast<std::int32_t>(writtenSize);
}

void TgaFile::ReadPixels() const {
    if (!pixelsPending_)
        return;
    const ReadOnlyFile in(loadedFrom_);
    if (static_cast<std::uint64_t>(in.Size()) != loadedSize_)
        throw IoError(loadedFrom_.path, "file changed since it was read");
    const std::uint64_t fileSize = loadedSize_;
    const Bytes header = in.ReadAt(0, kHeaderSize);
    TgaLayout layout =
        ReadLayout(in.ReadAt(0, static_cast<std::size_t>(LayoutSize(header))), fileSize, path);
    Bytes pixels;
    Bytes trailing;
    if (!layout.runLength) {
        pixels = in.ReadAt(static_cast<std::int64_t>(layout.prefixSize),
                           static_cast<std::size_t>(layout.dataSize));
        trailing = in.ReadAt(static_cast<std::int64_t>(layout.prefixSize + layout.dataSize),
                             trailingByteCount_);
        if (pixels.size() != layout.dataSize || trailing.size() != trailingByteCount_)
            throw IoError(loadedFrom_.path, "file changed since it was read");
    } else {
        // The growth was charged when the file was loaded.
        WalkRunLength(layout, fileSize, FileWindow(in), &pixels, path);
    }
    pixels_ = std::move(pixels);
    trailing_ = std::move(trailing);
    pixelsPending_ = false;
}

const Bytes& TgaFile::Pixels() const {
    ReadPixels();
    return pixels_;
}

const Bytes& TgaFile::TrailingBytes() const {
    ReadPixels();
    return trailing_;
}

int TgaFile::SaveAs(std::string target) {
    const bool loadedWhole = loadedFrom_.offset == 0 && loadedFrom_.size < 0;
    if (target == path && target == loadedFrom_.path && loadedWhole && fileCurrent_)
        return 1;
    WriteFileAtomically(target, Serialize());
    if (target == path) {
        loadedFrom_ = FileRange{path};
        fileCurrent_ = true;
    }
    return 1;
}

Bytes TgaFile::Serialize() const {
    ByteWriter writer;
    ReadPixels();
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
    ReadPixels();
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
