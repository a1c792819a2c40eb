#include "mesh/fce4_file.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <utility>

#include "files/errors.h"
#include "platform/file_system.h"

namespace carconv {

Fce4File::Fce4File(std::string path) : GameFile(std::move(path)) {
    typeTag = kTypeTag;
}

int Fce4File::Reset() {
    arraysInFile_ = false;
    fileCurrent_ = false;
    header_.fill(0);
    std::copy(kLeadingWord.begin(), kLeadingWord.end(), header_.begin() + kLeadingWordAt);
    for (Bytes& array : arrays_)
        array.clear();
    return 1;
}

int Fce4File::Load() {
    return LoadFrom(FileRange{path});
}

int Fce4File::LoadFrom(const FileRange& source) {
    std::array<std::uint8_t, kHeaderSize> header{};
    const std::size_t fileSize = LoadMeshHeader(source, path, header, kArrays);

    header_ = header;
    for (Bytes& array : arrays_)
        Bytes().swap(array);
    arraysInFile_ = true;
    loadedFrom_ = source;
    loadedName_ = path;
    length = static_cast<std::int32_t>(fileSize);
    // Packed offsets and nothing after the last array: SaveAs(path) would write these bytes.
    std::uint64_t packedSize = kHeaderSize;
    bool packed = true;
    for (const MeshArrayLayout& array : kArrays) {
        packed = packed && LoadI32le(header_, array.offsetAt) ==
                               static_cast<std::int64_t>(packedSize - kHeaderSize);
        packedSize +=
            static_cast<std::uint64_t>(LoadI32le(header_, array.countAt)) * array.recordSize;
    }
    fileCurrent_ = source.size < 0 && packed && packedSize == fileSize;
    return 1;
}

void Fce4File::ReadArrays() const {
    if (!arraysInFile_)
        return;
    std::vector<Bytes> arrays = RereadMeshArrays(loadedFrom_, loadedName_, header_, kArrays);
    std::move(arrays.begin(), arrays.end(), arrays_.begin());
    arraysInFile_ = false;
}

void Fce4File::Modify() {
    ReadArrays();
    fileCurrent_ = false;
}

std::array<std::int32_t, Fce4File::kArrayCount> Fce4File::PackedOffsets(
    const std::string& file) const {
    std::array<std::uint64_t, kArrayCount> starts{};
    std::uint64_t next = 0;
    for (std::size_t i = 0; i < kArrays.size(); ++i) {
        const MeshArrayLayout& array = kArrays[i];
        const std::int32_t count = I32At(array.countAt);
        if (count < 0) {
            throw FormatError(file, fmt::format("array {}: {} is negative ({})", array.name,
                                                array.countField, count));
        }
        starts[i] = next;
        // At most 14 terms below 2^37 each: the sum cannot overflow.
        next += static_cast<std::uint64_t>(count) * array.recordSize;
    }
    // Every file size is a signed 32-bit number (the member length in the archive among them);
    // the offsets, being smaller, then fit as well.
    if (kHeaderSize + next > static_cast<std::uint64_t>(INT32_MAX)) {
        throw FormatError(file, fmt::format("a mesh of {} vertices and {} triangles needs {} "
                                            "bytes, more than a file can hold",
                                            VertexCount(), TriangleCount(), kHeaderSize + next));
    }
    std::array<std::int32_t, kArrayCount> offsets{};
    for (std::size_t i = 0; i < kArrays.size(); ++i) {
        offsets[i] = static_cast<std::int32_t>(starts[i]);
    }
    return offsets;
}

void Fce4File::UsePackedOffsets() {
    const std::array<std::int32_t, kArrayCount> offsets = PackedOffsets(path);
    for (std::size_t i = 0; i < kArrays.size(); ++i)
        SetI32At(kArrays[i].offsetAt, offsets[i]);
}

int Fce4File::Parse(ByteSpan bytes) {
    std::array<std::uint8_t, kHeaderSize> header{};
    std::vector<Bytes> arrays = ParseMesh(bytes, path, header, kArrays);

    header_ = header;
    std::move(arrays.begin(), arrays.end(), arrays_.begin());
    arraysInFile_ = false;
    loadedFrom_ = FileRange{};
    loadedName_.clear();
    fileCurrent_ = false;
    // ParseMesh refuses meshes of 2 GiB or more.
    length = static_cast<std::int32_t>(bytes.size());
    return 1;
}

std::array<std::uint8_t, Fce4File::kHeaderSize> Fce4File::WrittenHeader(
    const std::string& target) const {
    ReadArrays();
    // Checks the counts first: none negative, the whole within a 32-bit file size.
    std::array<std::uint8_t, kHeaderSize> header = PackedHeader(target);
    for (std::size_t i = 0; i < kArrays.size(); ++i) {
        const MeshArrayLayout& array = kArrays[i];
        // PackedHeader has checked that the count is not negative.
        const std::uint64_t expected =
            static_cast<std::uint64_t>(I32At(array.countAt)) * array.recordSize;
        if (arrays_[i].size() != expected) {
            throw FormatError(target,
                              fmt::format("array {} holds {} bytes but {} asks for {}", array.name,
                                          arrays_[i].size(), array.countField, expected));
        }
    }
    return header;
}

std::array<std::uint8_t, Fce4File::kHeaderSize> Fce4File::PackedHeader(
    const std::string& target) const {
    const std::array<std::int32_t, kArrayCount> offsets = PackedOffsets(target);
    std::array<std::uint8_t, kHeaderSize> header = header_;
    for (std::size_t i = 0; i < kArrays.size(); ++i) {
        StoreI32le(header, kArrays[i].offsetAt, offsets[i]);
    }
    return header;
}

Bytes Fce4File::Serialize(const std::string& target) const {
    const std::array<std::uint8_t, kHeaderSize> header = WrittenHeader(target);
    std::size_t size = header.size();
    for (const Bytes& array : arrays_)
        size += array.size();
    ByteWriter out;
    out.Reserve(size);
    out.Append(header);
    for (const Bytes& array : arrays_)
        out.Append(array);
    return out.Release();
}

int Fce4File::SaveAs(std::string target) {
    if (target == path && target == loadedFrom_.path && fileCurrent_)
        return 1;
    const std::array<std::uint8_t, kHeaderSize> header = WrittenHeader(target);
    // Written array by array: no second copy of the whole mesh in memory.
    AtomicFileWriter out(target);
    out.Write(header);
    for (const Bytes& array : arrays_)
        out.Write(array);
    out.Commit();
    // PackedOffsets has bounded the size to a signed 32-bit number.
    if (target == path) {
        length = static_cast<std::int32_t>(out.BytesWritten());
        loadedFrom_ = FileRange{path};
        loadedName_ = path;
        fileCurrent_ = true;
    }
    return 1;
}

bool Fce4File::HasVersionMark(ByteSpan file) {
    return file.size() > kVersionMarkAt && file[kVersionMarkAt] == kVersionMark;
}

bool Fce4File::IsVersion4Mesh(const FileRange& source) {
    std::array<std::uint8_t, kHeaderSize> header{};
    try {
        LoadMeshHeader(source, source.path, header, kArrays);
    } catch (const FormatError&) {
        return false;  // too short, or arrays that do not fit the version-4 layout
    }
    return std::equal(kLeadingWord.begin(), kLeadingWord.end(), header.begin() + kLeadingWordAt) &&
           HasVersionMark(header);
}

std::int32_t Fce4File::ArrayOffset(ArrayId array) const {
    return I32At(kArrays[SlotIndex(array, kArrayCount, "array")].offsetAt);
}

std::int32_t Fce4File::Extent(int index) const {
    return I32At(kExtentAt + 4 * SlotIndex(index, kExtentValues, "extent"));
}

void Fce4File::SetExtent(int index, std::int32_t value) {
    SetI32At(kExtentAt + 4 * SlotIndex(index, kExtentValues, "extent"), value);
}

int Fce4File::UsedMarkerSlots() const {
    return std::clamp(MarkerCount(), 0, kMarkerSlots);
}
int Fce4File::UsedPartSlots() const {
    return std::clamp(PartCount(), 0, kPartSlots);
}
int Fce4File::UsedColourSlots() const {
    return std::clamp(ColourCount(), 0, kColourSlots);
}

std::span<const std::uint8_t, Fce4File::kPositionSize> Fce4File::MarkerPosition(int slot) const {
    const std::size_t at =
        kMarkerPositionsAt + kPositionSize * SlotIndex(slot, kMarkerSlots, "marker");
    return std::span<const std::uint8_t, kPositionSize>(header_.data() + at, kPositionSize);
}

std::span<const std::uint8_t, Fce4File::kPositionSize> Fce4File::PartPosition(int slot) const {
    const std::size_t at = kPartPositionsAt + kPositionSize * SlotIndex(slot, kPartSlots, "part");
    return std::span<const std::uint8_t, kPositionSize>(header_.data() + at, kPositionSize);
}

void Fce4File::SetMarkerPosition(int slot, std::span<const std::uint8_t, kPositionSize> record) {
    Modify();
    const std::size_t at =
        kMarkerPositionsAt + kPositionSize * SlotIndex(slot, kMarkerSlots, "marker");
    std::copy(record.begin(), record.end(), header_.begin() + static_cast<std::ptrdiff_t>(at));
}

void Fce4File::SetPartPosition(int slot, std::span<const std::uint8_t, kPositionSize> record) {
    Modify();
    const std::size_t at = kPartPositionsAt + kPositionSize * SlotIndex(slot, kPartSlots, "part");
    std::copy(record.begin(), record.end(), header_.begin() + static_cast<std::ptrdiff_t>(at));
}

std::int32_t Fce4File::PartFirstVertex(int slot) const {
    return I32At(kPartFirstVertexAt + 4 * SlotIndex(slot, kPartSlots, "part"));
}
std::int32_t Fce4File::PartVertexCount(int slot) const {
    return I32At(kPartVertexCountAt + 4 * SlotIndex(slot, kPartSlots, "part"));
}
std::int32_t Fce4File::PartFirstTriangle(int slot) const {
    return I32At(kPartFirstTriangleAt + 4 * SlotIndex(slot, kPartSlots, "part"));
}
std::int32_t Fce4File::PartTriangleCount(int slot) const {
    return I32At(kPartTriangleCountAt + 4 * SlotIndex(slot, kPartSlots, "part"));
}

void Fce4File::SetPartFirstVertex(int slot, std::int32_t value) {
    SetI32At(kPartFirstVertexAt + 4 * SlotIndex(slot, kPartSlots, "part"), value);
}
void Fce4File::SetPartVertexCount(int slot, std::int32_t value) {
    SetI32At(kPartVertexCountAt + 4 * SlotIndex(slot, kPartSlots, "part"), value);
}
void Fce4File::SetPartFirstTriangle(int slot, std::int32_t value) {
    SetI32At(kPartFirstTriangleAt + 4 * SlotIndex(slot, kPartSlots, "part"), value);
}
void Fce4File::SetPartTriangleCount(int slot, std::int32_t value) {
    SetI32At(kPartTriangleCountAt + 4 * SlotIndex(slot, kPartSlots, "part"), value);
}

std::uint8_t Fce4File::Colour(int slot, int component) const {
    return header_[kColoursAt + kColourSize * SlotIndex(slot, kColourSlots, "colour") +
                   SlotIndex(component, kColourComponents, "colour component")];
}

std::uint8_t Fce4File::SecondColour(int slot, int component) const {
    return header_[kSecondColoursAt + kColourSize * SlotIndex(slot, kColourSlots, "colour") +
                   SlotIndex(component, kColourComponents, "colour component")];
}

void Fce4File::SetColour(int slot, int component, std::uint8_t value) {
    Modify();
    header_[kColoursAt + kColourSize * SlotIndex(slot, kColourSlots, "colour") +
            SlotIndex(component, kColourComponents, "colour component")] = value;
}

void Fce4File::SetSecondColour(int slot, int component, std::uint8_t value) {
    Modify();
    header_[kSecondColoursAt + kColourSize * SlotIndex(slot, kColourSlots, "colour") +
            SlotIndex(component, kColourComponents, "colour component")] = value;
}

std::span<const std::uint8_t, Fce4File::kNameSize> Fce4File::MarkerNameSlot(int slot) const {
    const std::size_t at = kMarkerNamesAt + kNameSize * SlotIndex(slot, kMarkerSlots, "marker");
    return std::span<const std::uint8_t, kNameSize>(header_.data() + at, kNameSize);
}

std::span<const std::uint8_t, Fce4File::kNameSize> Fce4File::PartNameSlot(int slot) const {
    const std::size_t at = kPartNamesAt + kNameSize * SlotIndex(slot, kPartSlots, "part");
    return std::span<const std::uint8_t, kNameSize>(header_.data() + at, kNameSize);
}

void Fce4File::SetMarkerNameSlot(int slot, std::span<const std::uint8_t, kNameSize> bytes) {
    Modify();
    const std::size_t at = kMarkerNamesAt + kNameSize * SlotIndex(slot, kMarkerSlots, "marker");
    std::copy(bytes.begin(), bytes.end(), header_.begin() + static_cast<std::ptrdiff_t>(at));
}

void Fce4File::SetPartName(int slot, std::string_view name) {
    Modify();
    if (name.size() > kNameSize) {
        throw std::length_error(fmt::format("part name of {} bytes does not fit a {}-byte slot",
                                            name.size(), kNameSize));
    }
    auto start =
        header_.begin() +
        static_cast<std::ptrdiff_t>(kPartNamesAt + kNameSize * SlotIndex(slot, kPartSlots, "part"));
    auto end = std::copy(name.begin(), name.end(), start);
    std::fill(end, start + kNameSize, std::uint8_t{0});
}

const Bytes& Fce4File::ArrayBytes(ArrayId array) const {
    ReadArrays();
    return arrays_[SlotIndex(array, kArrayCount, "array")];
}

void Fce4File::SetArrayBytes(ArrayId array, Bytes bytes) {
    Modify();
    arrays_[SlotIndex(array, kArrayCount, "array")] = std::move(bytes);
}

}  // namespace carconv
