#pragma once

// TgaFile: a texture in the Targa format ("TGA").
//
// File layout (all multi-byte fields little-endian):
//   offset  size  field
//   0       1     idLength          number of image ID bytes after the header
//   1       1     colourMapType     0 = no colour map, 1 = colour map present
//   2       1     imageType         0 none, 1 colour-mapped, 2 true-colour, 3 grey,
//                                   9/10/11 the same run-length encoded
//   3       5     colourMapSpec     first index (u16), entry count (u16), entry size in bits (u8)
//   8       2     xOrigin
//   10      2     yOrigin
//   12      2     width             pixels per row
//   14      2     height            number of rows
//   16      1     pixelDepth        bits per pixel
//   17      1     imageDescriptor   alpha bits and origin; kept, not interpreted
//   18      idLength                image ID bytes
//   ...     colour map              entry count x (entry size + 7) / 8 bytes, when colourMapType is
//   1
//   ...     image data              height rows of width x (pixelDepth + 7) / 8 bytes, no padding;
//                                   for types 9/10/11 a sequence of run-length packets instead
//   ...     trailing bytes          anything after the image data (a TGA 2.0 extension area and
//                                   footer, for instance)
//
// What the converter does with a texture is reverse the order of its rows. Everything else is
// kept: header, image ID, colour map (verbatim) and the bytes after an uncompressed image's data,
// so that SaveAs of an uncompressed file writes exactly the bytes Load read, rows aside.
//
// Run-length-encoded images are decoded when their data is read and written uncompressed: image
// type 9, 10, 11 becomes 1, 2, 3 and the header says so from Load on. The bytes after RLE data are
// dropped, since a footer's offsets into the file no longer hold once the data changes size. For
// such a file `length` is therefore NOT the size of the file on disk but the size SaveAs will
// write, so that an archive writer packing `length` bytes after SaveAs gets the whole rewritten
// file.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "files/byte_reader.h"
#include "files/game_file.h"
#include "files/unpack_budget.h"

namespace carconv {

struct TgaLayout;

struct TgaHeader {
    std::uint8_t idLength = 0;
    std::uint8_t colourMapType = 0;
    std::uint8_t imageType = 0;
    std::array<std::uint8_t, 5> colourMapSpec{};
    std::uint16_t xOrigin = 0;
    std::uint16_t yOrigin = 0;
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::uint8_t pixelDepth = 0;
    std::uint8_t imageDescriptor = 0;
};

class TgaFile : public GameFile {
  public:
    static constexpr std::size_t kIdLengthOffset = 0;
    static constexpr std::size_t kColourMapTypeOffset = 1;
    static constexpr std::size_t kImageTypeOffset = 2;
    static constexpr std::size_t kColourMapSpecOffset = 3;
    static constexpr std::size_t kColourMapSpecSize = 5;
    static constexpr std::size_t kXOriginOffset = 8;
    static constexpr std::size_t kYOriginOffset = 10;
    static constexpr std::size_t kWidthOffset = 12;
    static constexpr std::size_t kHeightOffset = 14;
    static constexpr std::size_t kPixelDepthOffset = 16;
    static constexpr std::size_t kImageDescriptorOffset = 17;
    static constexpr std::size_t kHeaderSize = 18;

    static_assert(kColourMapTypeOffset == kIdLengthOffset + 1);
    static_assert(kImageTypeOffset == kColourMapTypeOffset + 1);
    static_assert(kColourMapSpecOffset == kImageTypeOffset + 1);
    static_assert(kXOriginOffset == kColourMapSpecOffset + kColourMapSpecSize);
    static_assert(kYOriginOffset == kXOriginOffset + 2);
    static_assert(kWidthOffset == kYOriginOffset + 2);
    static_assert(kHeightOffset == kWidthOffset + 2);
    static_assert(kPixelDepthOffset == kHeightOffset + 2);
    static_assert(kImageDescriptorOffset == kPixelDepthOffset + 1);
    static_assert(kHeaderSize == kImageDescriptorOffset + 1);

    // Image types this class reads. The run-length-encoded ones differ from their uncompressed
    // counterparts by kRleTypeBit.
    static constexpr std::uint8_t kTypeNoImage = 0;
    static constexpr std::uint8_t kTypeColourMapped = 1;
    static constexpr std::uint8_t kTypeTrueColour = 2;
    static constexpr std::uint8_t kTypeGrey = 3;
    static constexpr std::uint8_t kRleTypeBit = 8;

    // With a `budget` (that of the archive the texture lies in), what decoding adds to the
    // file's size is taken from it, reckoned from the header before anything is decoded.
    explicit TgaFile(std::string path, std::shared_ptr<UnpackBudget> budget = nullptr);
    ~TgaFile() override;

    // Zeroes the header and empties every buffer. `length` is left as it was.
    int Reset() override;
    // Reads the header, image ID and colour map, and checks the image data against them (a
    // run-length image is walked to its end, a window at a time); the image data itself is read
    // when Pixels, TrailingBytes, FlipRows or Serialize first needs it, so that loading costs the
    // same memory whatever the size of the image. Throws FormatError for an image type or colour
    // map type it cannot lay out, for a colour map or image data the file cannot hold and for RLE
    // data that overruns its image or ends before it is complete; UnpackLimitError when the decoded
    // image would exceed the budget. Sets `length` to the size SaveAs will write.
    int Load() override;
    // Load of the image that lies in `source` (a range of a package, or a whole file): the image
    // data is read from there when asked for, and errors name `path`.
    int LoadFrom(const FileRange& source);
    // Writes header, image ID, colour map, image data and trailing bytes, replacing `target`.
    // Changes neither `path` nor `length`. Writes nothing when `target` is the file Load read and
    // that file holds those very bytes: uncompressed, and unchanged since.
    int SaveAs(std::string target) override;
    // Load of a file already in memory: the same reading and errors, for bytes that need no file.
    int Parse(ByteSpan bytes) override;
    // The bytes SaveAs writes.
    Bytes Serialize() const;
    // Reverses the order of the rows of the image data; the bytes within a row stay as they are.
    int FlipRows();

    // Read-only views for reporting.
    const TgaHeader& Header() const { return header_; }
    const Bytes& ImageId() const { return imageId_; }
    const Bytes& ColourMap() const { return colourMap_; }
    // These two read the image data from the loaded file if it has not been read yet; IoError
    // when the file can no longer be read, or changed since Load.
    const Bytes& Pixels() const;
    const Bytes& TrailingBytes() const;
    std::size_t TrailingByteCount() const { return trailingByteCount_; }
    bool HasTrailingBytes() const { return trailingByteCount_ != 0; }
    // True when Load decoded run-length-encoded data; Header().imageType is then the
    // uncompressed type that SaveAs writes.
    bool WasRunLengthEncoded() const { return wasRunLengthEncoded_; }
    // True while SaveAs would write exactly the bytes Load read: uncompressed, unchanged.
    bool WritesWhatItRead() const { return fileCurrent_; }
    // Bytes that followed the RLE data in the file and that SaveAs does not write.
    std::size_t DroppedByteCount() const { return droppedByteCount_; }

    // Bytes per pixel for a depth in bits: (depth + 7) / 8, so 15-bit pixels take two bytes.
    static std::size_t BytesPerPixel(std::uint8_t pixelDepth) {
        return (static_cast<std::size_t>(pixelDepth) + 7) / 8;
    }

  private:
    // Takes from `budget_` what decoding the image of `layout` adds to a file of `fileSize` bytes.
    void ChargeDecodedGrowth(const TgaLayout& layout, std::uint64_t fileSize);
    // Keeps `layout`, after whose image data the file holds `afterData` more bytes, and sets
    // `length`.
    void Keep(TgaLayout layout, std::uint64_t afterData);
    // Reads the image data and trailing bytes from the loaded file, once.
    void ReadPixels() const;

    std::shared_ptr<UnpackBudget> budget_;
    TgaHeader header_;
    Bytes imageId_;
    Bytes colourMap_;
    // Read on first use after Load (`pixelsPending_`), at once by Parse.
    mutable Bytes pixels_;
    mutable Bytes trailing_;
    mutable bool pixelsPending_ = false;
    std::size_t trailingByteCount_ = 0;
    // The size of the file Load read, to tell a file changed since.
    std::uint64_t loadedSize_ = 0;
    bool wasRunLengthEncoded_ = false;
    std::size_t droppedByteCount_ = 0;
    // What Load read; no path after Parse.
    FileRange loadedFrom_;
    // The file Load read holds exactly what SaveAs to it would write.
    bool fileCurrent_ = false;
};

}  // namespace carconv
