#include "mesh/mesh_arrays.h"

#include <fmt/format.h>

#include <algorithm>
#include <limits>
#include <stdexcept>

#include "files/errors.h"
#include "platform/file_system.h"
#include "platform/read_only_file.h"

namespace carconv {

namespace {

struct ArrayRange {
    std::uint64_t start;
    std::uint64_t length;
};

}  // namespace

namespace {

std::vector<ArrayRange> CheckedRanges(ByteSpan header, std::size_t headerSize, std::size_t fileSize,
                                      const std::string& fileName,
                                      std::span<const MeshArrayLayout> arrays) {
    std::vector<ArrayRange> ranges;
    ranges.reserve(arrays.size());
    for (const MeshArrayLayout& array : arrays) {
        const std::int32_t count = LoadI32le(header, array.countAt);
        if (count < 0) {
            throw FormatError(
                fileName, array.countAt,
                fmt::format("array {}: {} is negative ({})", array.name, array.countField, count));
        }
        const std::int32_t offset = LoadI32le(header, array.offsetAt);
        if (offset < 0) {
            throw FormatError(fileName, array.offsetAt,
                              fmt::format("array {}: {} is negative ({})", array.name,
                                          array.offsetField, offset));
        }
        // Both factors are below 2^31 and 2^6, so neither product nor sum can overflow.
        const std::uint64_t start = std::uint64_t{headerSize} + static_cast<std::uint64_t>(offset);
        const std::uint64_t length = static_cast<std::uint64_t>(count) * array.recordSize;
        if (!RangeFits(start, length, fileSize)) {
            throw FormatError(
                fileName,
                fmt::format("array {} ({} records of {} bytes) needs bytes [0x{:x}, 0x{:x}) but "
                            "the file ends at 0x{:x}",
                            array.name, count, array.recordSize, start, start + length, fileSize));
        }
        ranges.push_back({start, length});
    }
    return ranges;
}

}  // namespace

void CheckMeshArrays(ByteSpan header, std::size_t headerSize, std::size_t fileSize,
                     const std::string& fileName, std::span<const MeshArrayLayout> arrays) {
    CheckedRanges(header, headerSize, fileSize, fileName, arrays);
}

namespace {

// The checks of a mesh file of `fileSize` bytes whose first bytes are `prefix` (at least the
// header when the file is that long).
void CheckMeshFile(ByteSpan prefix, std::size_t headerSize, std::uint64_t fileSize,
                   const std::string& fileName, std::span<const MeshArrayLayout> arrays) {
    if (fileSize > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()))
        throw IoError(fileName, "file is too large (2 GiB or more)");
    if (prefix.size() < headerSize) {
        throw FormatError(fileName,
                          fmt::format("file of {} bytes is shorter than the {}-byte mesh header",
                                      prefix.size(), headerSize));
    }
    CheckMeshArrays(prefix.first(headerSize), headerSize, static_cast<std::size_t>(fileSize),
                    fileName, arrays);
}

}  // namespace

std::size_t LoadMeshHeader(const FileRange& source, const std::string& fileName,
                           std::span<std::uint8_t> header,
                           std::span<const MeshArrayLayout> arrays) {
    const ReadOnlyFile in(source);
    const Bytes prefix = in.ReadAt(0, header.size());
    CheckMeshFile(prefix, header.size(), static_cast<std::uint64_t>(in.Size()), fileName, arrays);
    std::copy(prefix.begin(), prefix.end(), header.begin());
    return static_cast<std::size_t>(in.Size());
}

std::vector<Bytes> ParseMesh(ByteSpan file, const std::string& fileName,
                             std::span<std::uint8_t> header,
                             std::span<const MeshArrayLayout> arrays) {
    CheckMeshFile(file, header.size(), file.size(), fileName, arrays);
    ByteReader reader(file, fileName);
    const ByteSpan fileHeader = file.first(header.size());
    std::vector<Bytes> buffers = ReadMeshArrays(reader, fileHeader, header.size(), arrays);
    std::copy(fileHeader.begin(), fileHeader.end(), header.begin());
    return buffers;
}

std::vector<Bytes> RereadMeshArrays(const FileRange& source, const std::string& fileName,
                                    ByteSpan header, std::span<const MeshArrayLayout> arrays) {
    const MeshArrayFile file(source, fileName, header, header.size(), arrays);
    std::vector<Bytes> buffers;
    buffers.reserve(arrays.size());
    for (std::size_t i = 0; i < arrays.size(); ++i) {
        // Inside the file, which is smaller than 2 GiB: the size fits.
        buffers.emplace_back(static_cast<std::size_t>(file.ArraySize(i)));
        file.ReadPiece(i, 0, buffers.back());
    }
    return buffers;
}

namespace {

[[noreturn]] void ThrowChanged(const std::string& path) {
    throw FormatError(path, "the mesh file has changed since it was loaded");
}

}  // namespace

struct MeshArrayFile::Impl {
    Impl(const FileRange& source, const std::string& fileName) : file(source), name(fileName) {}
    ReadOnlyFile file;
    std::string name;
    std::vector<ArrayRange> ranges;
};

MeshArrayFile::MeshArrayFile(const FileRange& source, const std::string& fileName, ByteSpan header,
                             std::size_t headerSize, std::span<const MeshArrayLayout> arrays)
    : impl_(std::make_unique<Impl>(source, fileName)) {
    const std::int64_t size = impl_->file.Size();
    if (size > static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()))
        throw IoError(fileName, "file is too large (2 GiB or more)");
    if (header.size() < headerSize)
        throw std::invalid_argument("MeshArrayFile: header shorter than its size");
    const ByteSpan expected = header.first(headerSize);
    const Bytes start = impl_->file.ReadAt(0, headerSize);
    if (!std::equal(expected.begin(), expected.end(), start.begin(), start.end()))
        ThrowChanged(fileName);
    impl_->ranges =
        CheckedRanges(expected, headerSize, static_cast<std::size_t>(size), fileName, arrays);
}

MeshArrayFile::~MeshArrayFile() = default;

std::uint64_t MeshArrayFile::ArraySize(std::size_t array) const {
    return impl_->ranges.at(array).length;
}

void MeshArrayFile::ReadPiece(std::size_t array, std::uint64_t at,
                              std::span<std::uint8_t> into) const {
    const ArrayRange& range = impl_->ranges.at(array);
    if (!RangeFits(at, into.size(), range.length))
        throw std::out_of_range("MeshArrayFile: piece outside its array");
    if (impl_->file.ReadInto(static_cast<std::int64_t>(range.start + at), into) != into.size())
        ThrowChanged(impl_->name);
}

std::vector<Bytes> ReadMeshArrays(ByteReader& reader, ByteSpan header, std::size_t headerSize,
                                  std::span<const MeshArrayLayout> arrays) {
    const std::vector<ArrayRange> ranges =
        CheckedRanges(header, headerSize, reader.Size(), reader.FileName(), arrays);

    std::vector<Bytes> buffers;
    buffers.reserve(arrays.size());
    for (const ArrayRange& range : ranges) {
        reader.Seek(static_cast<std::size_t>(range.start));
        buffers.push_back(reader.TakeCopy(static_cast<std::size_t>(range.length)));
    }
    return buffers;
}

std::string SlotName(ByteSpan slot) {
    auto end = std::find(slot.begin(), slot.end(), std::uint8_t{0});
    return std::string(slot.begin(), end);
}

std::size_t SlotIndex(int index, int slots, const char* table) {
    if (index < 0 || index >= slots) {
        throw std::out_of_range(fmt::format("{} slot {} is not in [0, {})", table, index, slots));
    }
    return static_cast<std::size_t>(index);
}

}  // namespace carconv
