#include "mesh/fce3_file.h"

#include <algorithm>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "files/errors.h"
#include "mesh/fce4_file.h"
#include "platform/file_system.h"
#include "platform/interruption.h"

namespace carconv {

namespace {

// The names of part slots 0 to 11 in every version-4 car mesh; slot 0 supplies the version mark.
constexpr std::array<std::string_view, 12> kFixedPartNames = {
    ":HB",   ":HLFW", ":HRFW", ":HLRW", ":HRRW", ":MB",
    ":MLFW", ":MRFW", ":MLRW", ":MRRW", ":LB",   ":TB",
};

std::string AsciiLower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

}  // namespace

Fce3File::Fce3File(std::string path) : GameFile(std::move(path)) {
    typeTag = "FCE3";
}

int Fce3File::Reset() {
    arraysInFile_ = false;
    header_.fill(0);
    for (Bytes& array : arrays_)
        array.clear();
    return 1;
}

int Fce3File::Load() {
    return LoadFrom(FileRange{path});
}

int Fce3File::LoadFrom(const FileRange& source) {
    std::array<std::uint8_t, kHeaderSize> header{};
    const std::size_t fileSize = LoadMeshHeader(source, path, header, kArrays);

    header_ = header;
    for (Bytes& array : arrays_)
        Bytes().swap(array);
    arraysInFile_ = true;
    loadedFrom_ = source;
    loadedName_ = path;
    length = static_cast<std::int32_t>(fileSize);
    return 1;
}

int Fce3File::Parse(ByteSpan bytes) {
    std::array<std::uint8_t, kHeaderSize> header{};
    std::vector<Bytes> arrays = ParseMesh(bytes, path, header, kArrays);

    header_ = header;
    std::move(arrays.begin(), arrays.end(), arrays_.begin());
    arraysInFile_ = false;
    loadedFrom_ = FileRange{};
    loadedName_.clear();
    // ParseMesh refuses meshes of 2 GiB or more.
    length = static_cast<std::int32_t>(bytes.size());
    return 1;
}

int Fce3File::SaveAs(std::string /*target*/) {
    return 1;
}

std::vector<Bytes> Fce3File::CurrentArrays() const {
    if (arraysInFile_)
        return RereadMeshArrays(loadedFrom_, loadedName_, header_, kArrays);
    return std::vector<Bytes>(arrays_.begin(), arrays_.end());
}

namespace {

// Where each version-3 array goes in the version-4 mesh, record for record.
struct ArrayCopy {
    Fce3File::ArrayId from;
    std::array<Fce4File::ArrayId, 3> to;
    std::size_t copies;
};

constexpr std::array<ArrayCopy, 6> kArrayCopies = {{
    {Fce3File::kVertices, {Fce4File::kVertices, Fce4File::kVertices2, Fce4File::kVertices3}, 3},
    {Fce3File::kNormals, {Fce4File::kNormals, Fce4File::kNormals2, Fce4File::kNormals3}, 3},
    {Fce3File::kTriangles, {Fce4File::kTriangles}, 1},
    {Fce3File::kReserve1, {Fce4File::kReserve1}, 1},
    {Fce3File::kReserve2, {Fce4File::kReserve2}, 1},
    {Fce3File::kReserve3, {Fce4File::kReserve3}, 1},
}};

// The arrays that version 3 does not have: zeros.
constexpr std::array<Fce4File::ArrayId, 4> kZeroedArrays = {
    Fce4File::kVertexWords1, Fce4File::kVertexWords2, Fce4File::kVertexWords3,
    Fce4File::kTriangleExtra};

// A copy moves whole records, counted by the same header field in both layouts.
constexpr bool CopiesMatch() {
    for (const ArrayCopy& copy : kArrayCopies) {
        const MeshArrayLayout& from = Fce3File::kArrays[copy.from];
        for (std::size_t i = 0; i < copy.copies; ++i) {
            const MeshArrayLayout& to = Fce4File::kArrays[copy.to[i]];
            if (from.recordSize != to.recordSize ||
                std::string_view(from.countField) != to.countField)
                return false;
        }
    }
    return true;
}
static_assert(CopiesMatch());

// The most of a mesh that the streamed conversion holds at once.
constexpr std::size_t kStreamPiece = std::size_t{1} << 20;

// The size of an array of the version-4 `header`, whose counts PackedHeader has found not
// negative (and the source's arrays, of the same counts, back).
std::uint64_t ArraySize(ByteSpan header, const MeshArrayLayout& array) {
    return static_cast<std::uint64_t>(LoadI32le(header, array.countAt)) * array.recordSize;
}

// Where array `array` of the packed version-4 `header` begins in the file: a packed offset,
// which PackedHeader has made and bounded.
std::int64_t PackedStart(ByteSpan header, Fce4File::ArrayId array) {
    return static_cast<std::int64_t>(Fce4File::kHeaderSize) +
           LoadI32le(header, Fce4File::kArrays[array].offsetAt);
}

// The size of the version-4 mesh of packed `header`: where its last array ends.
std::uint64_t PackedSize(ByteSpan header) {
    std::uint64_t size = Fce4File::kHeaderSize;
    for (std::size_t i = 0; i < Fce4File::kArrayCount; ++i) {
        const auto array = static_cast<Fce4File::ArrayId>(i);
        size = std::max(size, static_cast<std::uint64_t>(PackedStart(header, array)) +
                                  ArraySize(header, Fce4File::kArrays[array]));
    }
    return size;
}

}  // namespace

int Fce3File::ConvertToFce4(std::string target) {
    if (!arraysInFile_)
        return ToFce4(std::move(target))->Save();
    // The counts are checked for the version-4 layout, and the file again as Load checked it,
    // before the target is opened or anything written.
    const std::array<std::uint8_t, Fce4File::kHeaderSize> header =
        Fce4Header(target)->PackedHeader(target);
    const MeshArrayFile source = SourceArrays();
    AtomicFileWriter out(target);
    StreamToFce4(header, source,
                 [&out](std::int64_t offset, ByteSpan piece) { out.WriteAt(offset, piece); });
    out.Commit();
    return 1;
}

std::uint64_t Fce3File::Fce4Size(const std::string& target) const {
    return PackedSize(Fce4Header(target)->PackedHeader(target));
}

Bytes Fce3File::Fce4Bytes(const std::string& target) {
    if (!arraysInFile_)
        return ToFce4(target)->Serialize(target);
    const std::array<std::uint8_t, Fce4File::kHeaderSize> header =
        Fce4Header(target)->PackedHeader(target);
    const MeshArrayFile source = SourceArrays();
    Bytes mesh(static_cast<std::size_t>(PackedSize(header)));
    StreamToFce4(header, source, [&mesh](std::int64_t offset, ByteSpan piece) {
        // Every piece lies inside the packed layout that the size was measured from.
        if (offset < 0 || static_cast<std::uint64_t>(offset) > mesh.size() ||
            piece.size() > mesh.size() - static_cast<std::size_t>(offset))
            throw std::logic_error("Fce3File: a mesh piece outside the packed layout");
        std::copy(piece.begin(), piece.end(), mesh.begin() + offset);
    });
    return mesh;
}

MeshArrayFile Fce3File::SourceArrays() const {
    return MeshArrayFile(loadedFrom_, loadedName_, header_, kHeaderSize, kArrays);
}

void Fce3File::StreamToFce4(ByteSpan header, const MeshArrayFile& source,
                            const PieceWriter& write) {
    // One buffer for every piece, no larger than the largest array needs.
    std::uint64_t largest = 0;
    for (const ArrayCopy& copy : kArrayCopies)
        largest = std::max(largest, source.ArraySize(copy.from));
    for (const Fce4File::ArrayId array : kZeroedArrays)
        largest = std::max(largest, ArraySize(header, Fce4File::kArrays[array]));
    Bytes buffer(static_cast<std::size_t>(std::min<std::uint64_t>(largest, kStreamPiece)));

    write(0, header);
    for (const ArrayCopy& copy : kArrayCopies) {
        const std::uint64_t size = source.ArraySize(copy.from);
        for (std::uint64_t at = 0; at < size; at += buffer.size()) {
            ThrowIfStopRequested();
            const std::span<std::uint8_t> piece = std::span(buffer).first(
                static_cast<std::size_t>(std::min<std::uint64_t>(size - at, buffer.size())));
            source.ReadPiece(copy.from, at, piece);
            for (std::size_t i = 0; i < copy.copies; ++i)
                write(PackedStart(header, copy.to[i]) + static_cast<std::int64_t>(at), piece);
        }
    }
    std::fill(buffer.begin(), buffer.end(), std::uint8_t{0});
    for (const Fce4File::ArrayId array : kZeroedArrays) {
        const std::uint64_t size = ArraySize(header, Fce4File::kArrays[array]);
        for (std::uint64_t at = 0; at < size; at += buffer.size()) {
            ThrowIfStopRequested();
            const std::size_t n =
                static_cast<std::size_t>(std::min<std::uint64_t>(size - at, buffer.size()));
            write(PackedStart(header, array) + static_cast<std::int64_t>(at),
                  ByteSpan(buffer).first(n));
        }
    }
}

std::unique_ptr<Fce4File> Fce3File::Fce4Header(std::string target) const {
    auto converted = std::make_unique<Fce4File>(std::move(target));
    Fce4File& mesh = *converted;
    mesh.Reset();

    mesh.SetTriangleCount(TriangleCount());
    mesh.SetVertexCount(VertexCount());
    mesh.SetAuxiliaryCount(AuxiliaryCount());
    // The source's own offsets only say where its arrays lay; the target is written packed.
    mesh.UsePackedOffsets();

    for (int i = 0; i < kExtentValues; ++i)
        mesh.SetExtent(i, Extent(i));

    mesh.SetMarkerCount(MarkerCount());
    for (int slot = 0; slot < kMarkerSlots; ++slot) {
        mesh.SetMarkerPosition(slot, MarkerPosition(slot));
        mesh.SetMarkerNameSlot(slot, MarkerNameSlot(slot));
    }

    mesh.SetPartCount(PartCount());
    for (int slot = 0; slot < kPartSlots; ++slot) {
        mesh.SetPartPosition(slot, PartPosition(slot));
        mesh.SetPartFirstVertex(slot, PartFirstVertex(slot));
        mesh.SetPartVertexCount(slot, PartVertexCount(slot));
        mesh.SetPartFirstTriangle(slot, PartFirstTriangle(slot));
        mesh.SetPartTriangleCount(slot, PartTriangleCount(slot));
        if (slot < static_cast<int>(kFixedPartNames.size())) {
            mesh.SetPartName(slot, kFixedPartNames[static_cast<std::size_t>(slot)]);
        } else {
            mesh.SetPartName(slot, AsciiLower(PartName(slot)));
        }
    }

    // Version 4 stores each colour component in one byte and keeps a second, identical table.
    mesh.SetColourCount(ColourCount());
    for (int slot = 0; slot < kColourSlots; ++slot) {
        for (int k = 0; k < kColourComponents; ++k) {
            const auto low = static_cast<std::uint8_t>(static_cast<std::uint32_t>(Colour(slot, k)));
            mesh.SetColour(slot, k, low);
            mesh.SetSecondColour(slot, k, low);
        }
    }
    return converted;
}

std::unique_ptr<Fce4File> Fce3File::ToFce4(std::string target) {
    std::unique_ptr<Fce4File> converted = Fce4Header(std::move(target));
    Fce4File& mesh = *converted;
    std::vector<Bytes> arrays = CurrentArrays();
    const auto vertexCount = static_cast<std::size_t>(VertexCount());
    const auto triangleCount = static_cast<std::size_t>(TriangleCount());
    mesh.SetArrayBytes(Fce4File::kVertices2, arrays[kVertices]);
    mesh.SetArrayBytes(Fce4File::kNormals2, arrays[kNormals]);
    mesh.SetArrayBytes(Fce4File::kVertices3, arrays[kVertices]);
    mesh.SetArrayBytes(Fce4File::kNormals3, arrays[kNormals]);
    mesh.SetArrayBytes(Fce4File::kVertices, std::move(arrays[kVertices]));
    mesh.SetArrayBytes(Fce4File::kNormals, std::move(arrays[kNormals]));
    mesh.SetArrayBytes(Fce4File::kTriangles, std::move(arrays[kTriangles]));
    mesh.SetArrayBytes(Fce4File::kReserve1, std::move(arrays[kReserve1]));
    mesh.SetArrayBytes(Fce4File::kReserve2, std::move(arrays[kReserve2]));
    mesh.SetArrayBytes(Fce4File::kReserve3, std::move(arrays[kReserve3]));
    // Load has checked the counts against the file, so these sizes are backed by it.
    mesh.SetArrayBytes(Fce4File::kVertexWords1, Bytes(4 * vertexCount, 0));
    mesh.SetArrayBytes(Fce4File::kVertexWords2, Bytes(4 * vertexCount, 0));
    mesh.SetArrayBytes(Fce4File::kVertexWords3, Bytes(4 * vertexCount, 0));
    mesh.SetArrayBytes(Fce4File::kTriangleExtra, Bytes(12 * triangleCount, 0));
    return converted;
}

std::int32_t Fce3File::ArrayOffset(ArrayId array) const {
    return I32At(kArrays[SlotIndex(array, kArrayCount, "array")].offsetAt);
}

std::int32_t Fce3File::Extent(int index) const {
    return I32At(kExtentAt + 4 * SlotIndex(index, kExtentValues, "extent"));
}

int Fce3File::UsedMarkerSlots() const {
    return std::clamp(MarkerCount(), 0, kMarkerSlots);
}
int Fce3File::UsedPartSlots() const {
    return std::clamp(PartCount(), 0, kPartSlots);
}
int Fce3File::UsedColourSlots() const {
    return std::clamp(ColourCount(), 0, kColourSlots);
}

std::span<const std::uint8_t, Fce3File::kPositionSize> Fce3File::MarkerPosition(int slot) const {
    const std::size_t at =
        kMarkerPositionsAt + kPositionSize * SlotIndex(slot, kMarkerSlots, "marker");
    return std::span<const std::uint8_t, kPositionSize>(header_.data() + at, kPositionSize);
}

std::span<const std::uint8_t, Fce3File::kPositionSize> Fce3File::PartPosition(int slot) const {
    const std::size_t at = kPartPositionsAt + kPositionSize * SlotIndex(slot, kPartSlots, "part");
    return std::span<const std::uint8_t, kPositionSize>(header_.data() + at, kPositionSize);
}

std::int32_t Fce3File::SlotI32(std::size_t tableAt, int slot) const {
    return I32At(tableAt + 4 * SlotIndex(slot, kPartSlots, "part"));
}

std::int32_t Fce3File::PartFirstVertex(int slot) const {
    return SlotI32(kPartFirstVertexAt, slot);
}
std::int32_t Fce3File::PartVertexCount(int slot) const {
    return SlotI32(kPartVertexCountAt, slot);
}
std::int32_t Fce3File::PartFirstTriangle(int slot) const {
    return SlotI32(kPartFirstTriangleAt, slot);
}
std::int32_t Fce3File::PartTriangleCount(int slot) const {
    return SlotI32(kPartTriangleCountAt, slot);
}

std::int32_t Fce3File::Colour(int slot, int component) const {
    return I32At(kColoursAt + kColourSize * SlotIndex(slot, kColourSlots, "colour") +
                 4 * SlotIndex(component, kColourComponents, "colour component"));
}

std::span<const std::uint8_t, Fce3File::kNameSize> Fce3File::MarkerNameSlot(int slot) const {
    const std::size_t at = kMarkerNamesAt + kNameSize * SlotIndex(slot, kMarkerSlots, "marker");
    return std::span<const std::uint8_t, kNameSize>(header_.data() + at, kNameSize);
}

std::span<const std::uint8_t, Fce3File::kNameSize> Fce3File::PartNameSlot(int slot) const {
    const std::size_t at = kPartNamesAt + kNameSize * SlotIndex(slot, kPartSlots, "part");
    return std::span<const std::uint8_t, kNameSize>(header_.data() + at, kNameSize);
}

const Bytes& Fce3File::ArrayBytes(ArrayId array) const {
    if (arraysInFile_) {
        std::vector<Bytes> arrays = RereadMeshArrays(loadedFrom_, loadedName_, header_, kArrays);
        std::move(arrays.begin(), arrays.end(), arrays_.begin());
        arraysInFile_ = false;
    }
    return arrays_[SlotIndex(array, kArrayCount, "array")];
}

}  // namespace carconv
