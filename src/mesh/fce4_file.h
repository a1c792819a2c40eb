#pragma once

// Fce4File: a car mesh in the version-4 layout (".fce").
//
// All integers are 32-bit little-endian and signed. A file is an 8248-byte header followed by
// fourteen arrays; an array whose offset field holds o starts at file position 8248 + o.
//
// Header:
//   0x0000     4        leading word        14 10 10 00 after Reset
//   0x0004     4        (reserved)
//   0x0008     4        triangleCount       number of triangle records
//   0x000C     4        vertexCount         number of vertices; sizes every per-vertex array
//   0x0010     4        auxiliaryCount      not interpreted
//   0x0014     4        vertexOffset        offset of vertices
//   0x0018     4        normalOffset        offset of normals
//   0x001C     4        triangleOffset      offset of triangles
//   0x0020     4        reserve1Offset      offset of reserve1
//   0x0024     4        reserve2Offset      offset of reserve2
//   0x0028     4        reserve3Offset      offset of reserve3
//   0x002C     4        vertices2Offset     offset of vertices2
//   0x0030     4        normals2Offset      offset of normals2
//   0x0034     4        vertices3Offset     offset of vertices3
//   0x0038     4        normals3Offset      offset of normals3
//   0x003C     4        vertexWords1Offset  offset of vertexWords1
//   0x0040     4        vertexWords2Offset  offset of vertexWords2
//   0x0044     4        vertexWords3Offset  offset of vertexWords3
//   0x0048     4        triangleExtraOffset offset of triangleExtra
//   0x004C     3 x 4    extent              not interpreted
//   0x0058     4        markerCount         marker slots in use
//   0x005C     16 x 12  markerPositions     opaque records
//   0x011C     4        partCount           part slots in use
//   0x0120     64 x 12  partPositions       opaque records
//   0x0420     64 x 4   partFirstVertex
//   0x0520     64 x 4   partVertexCount
//   0x0620     64 x 4   partFirstTriangle
//   0x0720     64 x 4   partTriangleCount
//   0x0820     4        colourCount         colour slots in use
//   0x0824     16 x 4   colours             each entry four one-byte components
//   0x0864     64       (reserved)
//   0x08A4     16 x 4   secondColours       each entry four one-byte components
//   0x08E4     324      (reserved)
//   0x0A28     16 x 64  markerNames         NUL-terminated within the slot
//   0x0E28     64 x 64  partNames           NUL-terminated within the slot
//   0x1E28     528      (reserved)
//   0x2038              end of header
//
// Arrays, in the order of the packed layout (V = vertexCount, T = triangleCount):
//   vertices       12 x V      vertices2      12 x V      vertexWords1   4 x V
//   normals        12 x V      normals2       12 x V      vertexWords2   4 x V
//   triangles      56 x T      vertices3      12 x V      vertexWords3   4 x V
//   reserve1       32 x V      normals3       12 x V      triangleExtra  12 x T
//   reserve2       12 x V
//   reserve3       12 x V
// In the packed layout each offset is the previous one plus the previous array's size, starting
// from 0, and the file is 8248 + 140 V + 68 T bytes long.
//
// Load reads each array from its own offset, wherever it lies. SaveAs always writes the packed
// layout and puts its offsets into the header it writes, so a written file never contradicts its
// own header; a packed file round-trips byte for byte. The first part name starts at file
// position 3624; every converted mesh has ":HB" there, and that ':' is what tells a version-4 mesh
// from a version-3 one when a package's members are typed (IsVersion4Mesh looks closer).

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "files/byte_reader.h"
#include "files/game_file.h"
#include "mesh/mesh_arrays.h"

namespace carconv {

class Fce4File : public GameFile {
  public:
    // Header positions.
    static constexpr std::size_t kLeadingWordAt = 0x0000;
    static constexpr std::size_t kReservedWordAt = 0x0004;
    static constexpr std::size_t kTriangleCountAt = 0x0008;
    static constexpr std::size_t kVertexCountAt = 0x000C;
    static constexpr std::size_t kAuxiliaryCountAt = 0x0010;
    static constexpr std::size_t kVertexOffsetAt = 0x0014;
    static constexpr std::size_t kNormalOffsetAt = 0x0018;
    static constexpr std::size_t kTriangleOffsetAt = 0x001C;
    static constexpr std::size_t kReserve1OffsetAt = 0x0020;
    static constexpr std::size_t kReserve2OffsetAt = 0x0024;
    static constexpr std::size_t kReserve3OffsetAt = 0x0028;
    static constexpr std::size_t kVertices2OffsetAt = 0x002C;
    static constexpr std::size_t kNormals2OffsetAt = 0x0030;
    static constexpr std::size_t kVertices3OffsetAt = 0x0034;
    static constexpr std::size_t kNormals3OffsetAt = 0x0038;
    static constexpr std::size_t kVertexWords1OffsetAt = 0x003C;
    static constexpr std::size_t kVertexWords2OffsetAt = 0x0040;
    static constexpr std::size_t kVertexWords3OffsetAt = 0x0044;
    static constexpr std::size_t kTriangleExtraOffsetAt = 0x0048;
    static constexpr std::size_t kExtentAt = 0x004C;
    static constexpr std::size_t kMarkerCountAt = 0x0058;
    static constexpr std::size_t kMarkerPositionsAt = 0x005C;
    static constexpr std::size_t kPartCountAt = 0x011C;
    static constexpr std::size_t kPartPositionsAt = 0x0120;
    static constexpr std::size_t kPartFirstVertexAt = 0x0420;
    static constexpr std::size_t kPartVertexCountAt = 0x0520;
    static constexpr std::size_t kPartFirstTriangleAt = 0x0620;
    static constexpr std::size_t kPartTriangleCountAt = 0x0720;
    static constexpr std::size_t kColourCountAt = 0x0820;
    static constexpr std::size_t kColoursAt = 0x0824;
    static constexpr std::size_t kReservedAfterColoursAt = 0x0864;
    static constexpr std::size_t kSecondColoursAt = 0x08A4;
    static constexpr std::size_t kReservedAfterSecondColoursAt = 0x08E4;
    static constexpr std::size_t kMarkerNamesAt = 0x0A28;
    static constexpr std::size_t kPartNamesAt = 0x0E28;
    static constexpr std::size_t kReservedAfterNamesAt = 0x1E28;
    static constexpr std::size_t kHeaderSize = 0x2038;

    // Capacities and field sizes.
    static constexpr int kExtentValues = 3;
    static constexpr int kMarkerSlots = 16;
    static constexpr int kPartSlots = 64;
    static constexpr int kColourSlots = 16;
    static constexpr int kColourComponents = 4;
    static constexpr std::size_t kPositionSize = 12;
    static constexpr std::size_t kColourSize = kColourComponents;
    static constexpr std::size_t kNameSize = 64;
    static constexpr std::size_t kReservedAfterColoursSize = 64;
    static constexpr std::size_t kReservedAfterSecondColoursSize = 324;
    static constexpr std::size_t kReservedAfterNamesSize = 528;

    // The leading word that Reset writes.
    static constexpr std::array<std::uint8_t, 4> kLeadingWord = {0x14, 0x10, 0x10, 0x00};
    // The byte at this file position is ':' in a version-4 mesh (the first byte of part name 0).
    static constexpr std::size_t kVersionMarkAt = kPartNamesAt;
    static constexpr std::uint8_t kVersionMark = ':';

    enum ArrayId : int {
        kVertices,
        kNormals,
        kTriangles,
        kReserve1,
        kReserve2,
        kReserve3,
        kVertices2,
        kNormals2,
        kVertices3,
        kNormals3,
        kVertexWords1,
        kVertexWords2,
        kVertexWords3,
        kTriangleExtra,
        kArrayCount
    };

    // In packed order.
    static constexpr std::array<MeshArrayLayout, kArrayCount> kArrays = {{
        {"vertices", 12, "vertexCount", kVertexCountAt, "vertexOffset", kVertexOffsetAt},
        {"normals", 12, "vertexCount", kVertexCountAt, "normalOffset", kNormalOffsetAt},
        {"triangles", 56, "triangleCount", kTriangleCountAt, "triangleOffset", kTriangleOffsetAt},
        {"reserve1", 32, "vertexCount", kVertexCountAt, "reserve1Offset", kReserve1OffsetAt},
        {"reserve2", 12, "vertexCount", kVertexCountAt, "reserve2Offset", kReserve2OffsetAt},
        {"reserve3", 12, "vertexCount", kVertexCountAt, "reserve3Offset", kReserve3OffsetAt},
        {"vertices2", 12, "vertexCount", kVertexCountAt, "vertices2Offset", kVertices2OffsetAt},
        {"normals2", 12, "vertexCount", kVertexCountAt, "normals2Offset", kNormals2OffsetAt},
        {"vertices3", 12, "vertexCount", kVertexCountAt, "vertices3Offset", kVertices3OffsetAt},
        {"normals3", 12, "vertexCount", kVertexCountAt, "normals3Offset", kNormals3OffsetAt},
        {"vertexWords1", 4, "vertexCount", kVertexCountAt, "vertexWords1Offset",
         kVertexWords1OffsetAt},
        {"vertexWords2", 4, "vertexCount", kVertexCountAt, "vertexWords2Offset",
         kVertexWords2OffsetAt},
        {"vertexWords3", 4, "vertexCount", kVertexCountAt, "vertexWords3Offset",
         kVertexWords3OffsetAt},
        {"triangleExtra", 12, "triangleCount", kTriangleCountAt, "triangleExtraOffset",
         kTriangleExtraOffsetAt},
    }};

    // The type tag of a version-4 mesh, whatever holds its bytes.
    static constexpr const char* kTypeTag = "FCE4";

    // Stores the path and the type tag "FCE4"; reads nothing. The header is all zero (not even
    // the leading word) until Reset or Load.
    explicit Fce4File(std::string path);

    // The empty mesh: header all zero but for the leading word, no arrays.
    int Reset() override;
    // Reads and checks the file at `path` and sets `length` to its size. Throws IoError when the
    // file cannot be read and FormatError when it is shorter than the header, a count or offset is
    // negative or an array reaches past the end of the file; the object is unchanged then.
    // Only the header stays in memory: the arrays, which make up nearly all of a mesh, are read
    // again from the file when first needed (ArrayBytes, a change, SaveAs to another file), so a
    // run that holds many loaded meshes holds one copy of each on disk, not one in memory too.
    int Load() override;
    // Load of a mesh whose bytes fill `source`, a range of another file (a member inside its
    // package), read where it lies, now and when the arrays are needed; messages name `path`.
    // SaveAs then always writes: no file of the mesh's own holds it yet.
    int LoadFrom(const FileRange& source);
    // Writes the header and the fourteen arrays, packed, to `target`, with the packed offsets in
    // the written header. Writing to the object's own path sets `length` to the size written, so
    // the file and `length` agree for whoever packs it next; when that file is already packed and
    // nothing has changed since Load, it is left alone, as it holds those very bytes. Throws
    // FormatError when an array's size disagrees with the counts, the mesh would not fit a 32-bit
    // file size or the file changed on disk before its arrays were read again, IoError when the
    // file cannot be read or written.
    int SaveAs(std::string target) override;
    // True while SaveAs would write exactly the bytes Load read: a whole file, packed, unchanged.
    bool WritesWhatItRead() const { return fileCurrent_; }
    // Load of a mesh file already in memory, with the same checks and errors; the arrays are
    // taken into memory at once and the object stands for no file, so SaveAs writes in every
    // case.
    int Parse(ByteSpan bytes) override;
    // The bytes SaveAs writes, with its errors (`target` names the file in them).
    Bytes Serialize(const std::string& target) const;
    // The header SaveAs writes, with the packed offsets of the current counts, whatever arrays
    // the object holds (none are read): for a writer that produces the arrays itself, at the
    // positions those offsets give. Throws FormatError naming `target` when a count is negative
    // or the mesh would not fit a 32-bit file size.
    std::array<std::uint8_t, kHeaderSize> PackedHeader(const std::string& target) const;

    // True when `file` (the leading bytes of a mesh file, or all of it) is long enough to hold
    // the version mark and holds ':' there.
    static bool HasVersionMark(ByteSpan file);

    // True when the mesh that fills `source` (a file, or a range of one) is a version-4 mesh by
    // more than its mark: it begins with kLeadingWord, holds the version mark, and its counts and
    // offsets describe arrays that lie inside the mesh. The mark alone can be chance: in the
    // version-3 layout byte 3624 is the 37th character of part name 0. Throws IoError when the
    // file cannot be read.
    static bool IsVersion4Mesh(const FileRange& source);

    // Read-only view of the header.
    std::int32_t TriangleCount() const { return I32At(kTriangleCountAt); }
    std::int32_t VertexCount() const { return I32At(kVertexCountAt); }
    std::int32_t AuxiliaryCount() const { return I32At(kAuxiliaryCountAt); }
    std::int32_t ArrayOffset(ArrayId array) const;
    std::int32_t Extent(int index) const;
    std::int32_t MarkerCount() const { return I32At(kMarkerCountAt); }
    std::int32_t PartCount() const { return I32At(kPartCountAt); }
    std::int32_t ColourCount() const { return I32At(kColourCountAt); }
    // The counts clamped to the slots that exist, for listing the slots in use.
    int UsedMarkerSlots() const;
    int UsedPartSlots() const;
    int UsedColourSlots() const;
    std::span<const std::uint8_t, kPositionSize> MarkerPosition(int slot) const;
    std::span<const std::uint8_t, kPositionSize> PartPosition(int slot) const;
    std::int32_t PartFirstVertex(int slot) const;
    std::int32_t PartVertexCount(int slot) const;
    std::int32_t PartFirstTriangle(int slot) const;
    std::int32_t PartTriangleCount(int slot) const;
    std::uint8_t Colour(int slot, int component) const;
    std::uint8_t SecondColour(int slot, int component) const;
    std::span<const std::uint8_t, kNameSize> MarkerNameSlot(int slot) const;
    std::span<const std::uint8_t, kNameSize> PartNameSlot(int slot) const;
    std::string MarkerName(int slot) const { return SlotName(MarkerNameSlot(slot)); }
    std::string PartName(int slot) const { return SlotName(PartNameSlot(slot)); }
    std::span<const std::uint8_t, kHeaderSize> Header() const { return header_; }
    const Bytes& ArrayBytes(ArrayId array) const;

    // Filling the mesh in memory. Every setter writes its field at its header position.
    void SetTriangleCount(std::int32_t value) { SetI32At(kTriangleCountAt, value); }
    void SetVertexCount(std::int32_t value) { SetI32At(kVertexCountAt, value); }
    void SetAuxiliaryCount(std::int32_t value) { SetI32At(kAuxiliaryCountAt, value); }
    void SetExtent(int index, std::int32_t value);
    void SetMarkerCount(std::int32_t value) { SetI32At(kMarkerCountAt, value); }
    void SetPartCount(std::int32_t value) { SetI32At(kPartCountAt, value); }
    void SetColourCount(std::int32_t value) { SetI32At(kColourCountAt, value); }
    void SetMarkerPosition(int slot, std::span<const std::uint8_t, kPositionSize> record);
    void SetPartPosition(int slot, std::span<const std::uint8_t, kPositionSize> record);
    void SetPartFirstVertex(int slot, std::int32_t value);
    void SetPartVertexCount(int slot, std::int32_t value);
    void SetPartFirstTriangle(int slot, std::int32_t value);
    void SetPartTriangleCount(int slot, std::int32_t value);
    void SetColour(int slot, int component, std::uint8_t value);
    void SetSecondColour(int slot, int component, std::uint8_t value);
    // Copies all 64 bytes of a marker name slot.
    void SetMarkerNameSlot(int slot, std::span<const std::uint8_t, kNameSize> bytes);
    // Writes `name` (at most 64 bytes) at the start of the slot and zeroes the rest, so a name
    // shorter than the slot is NUL-terminated and one of 64 bytes fills it.
    void SetPartName(int slot, std::string_view name);
    // Replaces an array's bytes; SaveAs checks that their size matches the counts.
    void SetArrayBytes(ArrayId array, Bytes bytes);
    // Sets the fourteen offset fields to the packed layout of the current counts. Throws
    // FormatError when a count is negative or the mesh would not fit a 32-bit file size.
    void UsePackedOffsets();

  private:
    std::int32_t I32At(std::size_t at) const { return LoadI32le(header_, at); }
    void SetI32At(std::size_t at, std::int32_t value) {
        Modify();
        StoreI32le(header_, at, value);
    }
    // Brings the arrays into memory if Load left them in the file.
    void ReadArrays() const;
    // Called before every change: the file no longer stands for the object.
    void Modify();
    // The packed offsets of the current counts; `file` names the file in errors.
    std::array<std::int32_t, kArrayCount> PackedOffsets(const std::string& file) const;
    // The header SaveAs writes, with the packed offsets, after checking the arrays against the
    // counts; brings the arrays into memory.
    std::array<std::uint8_t, kHeaderSize> WrittenHeader(const std::string& target) const;

    std::array<std::uint8_t, kHeaderSize> header_{};
    // Empty while arraysInFile_: then the file Load read holds them, as Load checked.
    mutable std::array<Bytes, kArrayCount> arrays_;
    mutable bool arraysInFile_ = false;
    // What Load read, and the name it gave in messages (`path` may be changed afterwards); unused
    // after Parse.
    FileRange loadedFrom_;
    std::string loadedName_;
    // The file Load read, a whole file, holds exactly what SaveAs to it would write.
    bool fileCurrent_ = false;
};

static_assert(Fce4File::kReservedWordAt == Fce4File::kLeadingWordAt + 4);
static_assert(Fce4File::kTriangleCountAt == Fce4File::kReservedWordAt + 4);
static_assert(Fce4File::kVertexCountAt == Fce4File::kTriangleCountAt + 4);
static_assert(Fce4File::kAuxiliaryCountAt == Fce4File::kVertexCountAt + 4);
static_assert(Fce4File::kVertexOffsetAt == Fce4File::kAuxiliaryCountAt + 4);
static_assert(Fce4File::kNormalOffsetAt == Fce4File::kVertexOffsetAt + 4);
static_assert(Fce4File::kTriangleOffsetAt == Fce4File::kNormalOffsetAt + 4);
static_assert(Fce4File::kReserve1OffsetAt == Fce4File::kTriangleOffsetAt + 4);
static_assert(Fce4File::kReserve2OffsetAt == Fce4File::kReserve1OffsetAt + 4);
static_assert(Fce4File::kReserve3OffsetAt == Fce4File::kReserve2OffsetAt + 4);
static_assert(Fce4File::kVertices2OffsetAt == Fce4File::kReserve3OffsetAt + 4);
static_assert(Fce4File::kNormals2OffsetAt == Fce4File::kVertices2OffsetAt + 4);
static_assert(Fce4File::kVertices3OffsetAt == Fce4File::kNormals2OffsetAt + 4);
static_assert(Fce4File::kNormals3OffsetAt == Fce4File::kVertices3OffsetAt + 4);
static_assert(Fce4File::kVertexWords1OffsetAt == Fce4File::kNormals3OffsetAt + 4);
static_assert(Fce4File::kVertexWords2OffsetAt == Fce4File::kVertexWords1OffsetAt + 4);
static_assert(Fce4File::kVertexWords3OffsetAt == Fce4File::kVertexWords2OffsetAt + 4);
static_assert(Fce4File::kTriangleExtraOffsetAt == Fce4File::kVertexWords3OffsetAt + 4);
static_assert(Fce4File::kExtentAt == Fce4File::kTriangleExtraOffsetAt + 4);
static_assert(Fce4File::kMarkerCountAt == Fce4File::kExtentAt + 4 * Fce4File::kExtentValues);
static_assert(Fce4File::kMarkerPositionsAt == Fce4File::kMarkerCountAt + 4);
static_assert(Fce4File::kPartCountAt ==
              Fce4File::kMarkerPositionsAt + Fce4File::kMarkerSlots * Fce4File::kPositionSize);
static_assert(Fce4File::kPartPositionsAt == Fce4File::kPartCountAt + 4);
static_assert(Fce4File::kPartFirstVertexAt ==
              Fce4File::kPartPositionsAt + Fce4File::kPartSlots * Fce4File::kPositionSize);
static_assert(Fce4File::kPartVertexCountAt ==
              Fce4File::kPartFirstVertexAt + 4 * Fce4File::kPartSlots);
static_assert(Fce4File::kPartFirstTriangleAt ==
              Fce4File::kPartVertexCountAt + 4 * Fce4File::kPartSlots);
static_assert(Fce4File::kPartTriangleCountAt ==
              Fce4File::kPartFirstTriangleAt + 4 * Fce4File::kPartSlots);
static_assert(Fce4File::kColourCountAt ==
              Fce4File::kPartTriangleCountAt + 4 * Fce4File::kPartSlots);
static_assert(Fce4File::kColoursAt == Fce4File::kColourCountAt + 4);
static_assert(Fce4File::kReservedAfterColoursAt ==
              Fce4File::kColoursAt + Fce4File::kColourSlots * Fce4File::kColourSize);
static_assert(Fce4File::kSecondColoursAt ==
              Fce4File::kReservedAfterColoursAt + Fce4File::kReservedAfterColoursSize);
static_assert(Fce4File::kReservedAfterSecondColoursAt ==
              Fce4File::kSecondColoursAt + Fce4File::kColourSlots * Fce4File::kColourSize);
static_assert(Fce4File::kMarkerNamesAt ==
              Fce4File::kReservedAfterSecondColoursAt + Fce4File::kReservedAfterSecondColoursSize);
static_assert(Fce4File::kPartNamesAt ==
              Fce4File::kMarkerNamesAt + Fce4File::kMarkerSlots * Fce4File::kNameSize);
static_assert(Fce4File::kReservedAfterNamesAt ==
              Fce4File::kPartNamesAt + Fce4File::kPartSlots * Fce4File::kNameSize);
static_assert(Fce4File::kHeaderSize ==
              Fce4File::kReservedAfterNamesAt + Fce4File::kReservedAfterNamesSize);
static_assert(Fce4File::kHeaderSize == 8248);
static_assert(Fce4File::kVersionMarkAt == 3624);

}  // namespace carconv
