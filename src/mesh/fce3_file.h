#pragma once

// Fce3File: a car mesh in the version-3 layout (".fce"), read-only.
//
// All integers are 32-bit little-endian and signed. A file is a 7940-byte header followed by six
// arrays; an array whose offset field holds o starts at file position 7940 + o.
//
// Header:
//   0x0000     4        (not interpreted)
//   0x0004     4        triangleCount       number of triangle records
//   0x0008     4        vertexCount         number of vertices; sizes every per-vertex array
//   0x000C     4        auxiliaryCount      carried into version 4, otherwise unused
//   0x0010     4        vertexOffset        offset of vertices
//   0x0014     4        normalOffset        offset of normals
//   0x0018     4        triangleOffset      offset of triangles
//   0x001C     4        reserve1Offset      offset of reserve1
//   0x0020     4        reserve2Offset      offset of reserve2
//   0x0024     4        reserve3Offset      offset of reserve3
//   0x0028     3 x 4    extent              three values, carried unchanged
//   0x0034     4        markerCount         marker slots in use
//   0x0038     16 x 12  markerPositions     opaque records
//   0x00F8     4        partCount           part slots in use
//   0x00FC     64 x 12  partPositions       opaque records
//   0x03FC     64 x 4   partFirstVertex
//   0x04FC     64 x 4   partVertexCount
//   0x05FC     64 x 4   partFirstTriangle
//   0x06FC     64 x 4   partTriangleCount
//   0x07FC     4        colourCount         colour slots in use
//   0x0800     16 x 16  colours             each entry four 32-bit components
//   0x0900     260      (not interpreted)
//   0x0A04     16 x 64  markerNames         NUL-terminated within the slot
//   0x0E04     64 x 64  partNames           NUL-terminated within the slot
//   0x1E04     256      (not interpreted)
//   0x1F04              end of header
//
// Arrays, in the order Load reads them (V = vertexCount, T = triangleCount):
//   vertices   vertexOffset     12 bytes x V
//   normals    normalOffset     12 bytes x V
//   triangles  triangleOffset   56 bytes x T
//   reserve1   reserve1Offset   32 bytes x V
//   reserve2   reserve2Offset   12 bytes x V
//   reserve3   reserve3Offset   12 bytes x V
// A packed file has them back to back in this order and is 7940 + 80 V + 56 T bytes long, but
// Load reads each array from its own offset, wherever it lies.
//
// The slot counts (markerCount, partCount, colourCount) are kept as stored; the conversion copies
// every slot whatever they say.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "files/byte_reader.h"
#include "files/game_file.h"
#include "mesh/mesh_arrays.h"

namespace carconv {

class Fce4File;

class Fce3File : public GameFile {
  public:
    // Header positions.
    static constexpr std::size_t kLeadingWordAt = 0x0000;
    static constexpr std::size_t kTriangleCountAt = 0x0004;
    static constexpr std::size_t kVertexCountAt = 0x0008;
    static constexpr std::size_t kAuxiliaryCountAt = 0x000C;
    static constexpr std::size_t kVertexOffsetAt = 0x0010;
    static constexpr std::size_t kNormalOffsetAt = 0x0014;
    static constexpr std::size_t kTriangleOffsetAt = 0x0018;
    static constexpr std::size_t kReserve1OffsetAt = 0x001C;
    static constexpr std::size_t kReserve2OffsetAt = 0x0020;
    static constexpr std::size_t kReserve3OffsetAt = 0x0024;
    static constexpr std::size_t kExtentAt = 0x0028;
    static constexpr std::size_t kMarkerCountAt = 0x0034;
    static constexpr std::size_t kMarkerPositionsAt = 0x0038;
    static constexpr std::size_t kPartCountAt = 0x00F8;
    static constexpr std::size_t kPartPositionsAt = 0x00FC;
    static constexpr std::size_t kPartFirstVertexAt = 0x03FC;
    static constexpr std::size_t kPartVertexCountAt = 0x04FC;
    static constexpr std::size_t kPartFirstTriangleAt = 0x05FC;
    static constexpr std::size_t kPartTriangleCountAt = 0x06FC;
    static constexpr std::size_t kColourCountAt = 0x07FC;
    static constexpr std::size_t kColoursAt = 0x0800;
    static constexpr std::size_t kUninterpretedAfterColoursAt = 0x0900;
    static constexpr std::size_t kMarkerNamesAt = 0x0A04;
    static constexpr std::size_t kPartNamesAt = 0x0E04;
    static constexpr std::size_t kUninterpretedAfterNamesAt = 0x1E04;
    static constexpr std::size_t kHeaderSize = 0x1F04;

    // Capacities and field sizes.
    static constexpr int kExtentValues = 3;
    static constexpr int kMarkerSlots = 16;
    static constexpr int kPartSlots = 64;
    static constexpr int kColourSlots = 16;
    static constexpr int kColourComponents = 4;
    static constexpr std::size_t kPositionSize = 12;
    static constexpr std::size_t kColourSize = 4 * kColourComponents;
    static constexpr std::size_t kNameSize = 64;
    static constexpr std::size_t kUninterpretedAfterColoursSize = 260;
    static constexpr std::size_t kUninterpretedAfterNamesSize = 256;

    enum ArrayId : int {
        kVertices,
        kNormals,
        kTriangles,
        kReserve1,
        kReserve2,
        kReserve3,
        kArrayCount
    };

    static constexpr std::array<MeshArrayLayout, kArrayCount> kArrays = {{
        {"vertices", 12, "vertexCount", kVertexCountAt, "vertexOffset", kVertexOffsetAt},
        {"normals", 12, "vertexCount", kVertexCountAt, "normalOffset", kNormalOffsetAt},
        {"triangles", 56, "triangleCount", kTriangleCountAt, "triangleOffset", kTriangleOffsetAt},
        {"reserve1", 32, "vertexCount", kVertexCountAt, "reserve1Offset", kReserve1OffsetAt},
        {"reserve2", 12, "vertexCount", kVertexCountAt, "reserve2Offset", kReserve2OffsetAt},
        {"reserve3", 12, "vertexCount", kVertexCountAt, "reserve3Offset", kReserve3OffsetAt},
    }};

    // Stores the path and the type tag "FCE3"; reads nothing. The mesh is empty until Load.
    explicit Fce3File(std::string path);

    // Zeroes the header and empties the six arrays.
    int Reset() override;
    // Reads and checks the file at `path` and sets `length` to its size. Throws IoError when the
    // file cannot be read and FormatError when it is shorter than the header, a count or offset is
    // negative or an array reaches past the end of the file; the object is unchanged then.
    // Only the header stays in memory; the arrays are read again from the file when needed
    // (ArrayBytes keeps them; ConvertToFce4 reads them a piece at a time).
    int Load() override;
    // Load of a mesh whose bytes fill `source`, a range of another file (a member inside its
    // package), which is read where it lies, now and when the arrays are needed; messages name
    // `path`.
    int LoadFrom(const FileRange& source);
    // The mesh is read-only: writes nothing, creates no file.
    int SaveAs(std::string target) override;
    // Load of a mesh file already in memory, with the same checks and errors; the arrays are
    // taken into memory at once.
    int Parse(ByteSpan bytes) override;

    // Builds the version-4 mesh of this loaded mesh and writes it to `target`. Counts, extent,
    // markers and part tables are copied, all slots whatever the counts say; part slots 0-11 get
    // the fixed version-4 names, the others the source name in lower case; colour components are
    // narrowed to their low byte into both version-4 colour tables; the version-4 arrays get
    // copies of the vertices and normals and zeroed extras; offsets are the packed layout.
    // Leaves this object unchanged.
    //
    // While the arrays are in the file Load read, the mesh is written as it is built: the header,
    // then each source array read a bounded piece at a time and each piece written wherever the
    // version-4 layout wants it (vertices and normals three times), then the zeroed arrays, so
    // neither mesh is ever whole in memory. The file is checked again first as Load checked it
    // (FormatError when it has changed), and the target appears only once complete. After Parse,
    // or once ArrayBytes has brought the arrays into memory, ToFce4 builds it and saves it.
    int ConvertToFce4(std::string target);
    // The version-4 mesh that ConvertToFce4 writes, for `target`, in memory; nothing is written.
    std::unique_ptr<Fce4File> ToFce4(std::string target);
    // The size of the file ConvertToFce4 writes. Throws FormatError naming `target`, as
    // ConvertToFce4 would, when the counts do not fit the version-4 layout.
    std::uint64_t Fce4Size(const std::string& target) const;
    // The bytes ConvertToFce4 writes to `target`, made the same way in memory (the arrays read
    // a piece at a time from the file Load read, or taken from memory after Parse): for a mesh
    // small enough to hold whole, as Fce4Size tells. Nothing is written.
    Bytes Fce4Bytes(const std::string& target);

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
    // Component 0-3 of a colour entry, as the full 32-bit value stored.
    std::int32_t Colour(int slot, int component) const;
    // The 64 bytes of a name slot, and the name they hold (up to the first NUL).
    std::span<const std::uint8_t, kNameSize> MarkerNameSlot(int slot) const;
    std::span<const std::uint8_t, kNameSize> PartNameSlot(int slot) const;
    std::string MarkerName(int slot) const { return SlotName(MarkerNameSlot(slot)); }
    std::string PartName(int slot) const { return SlotName(PartNameSlot(slot)); }
    std::span<const std::uint8_t, kHeaderSize> Header() const { return header_; }

    // The arrays, each exactly records x record size bytes.
    const Bytes& ArrayBytes(ArrayId array) const;

  private:
    std::int32_t I32At(std::size_t at) const { return LoadI32le(header_, at); }
    std::int32_t SlotI32(std::size_t tableAt, int slot) const;

    // The arrays from memory, or read again from the file when Load left them there.
    std::vector<Bytes> CurrentArrays() const;
    // The version-4 mesh of this one without its arrays: the header fields only.
    std::unique_ptr<Fce4File> Fce4Header(std::string target) const;
    // Where StreamToFce4 puts each piece of the version-4 mesh: at that offset of the mesh.
    using PieceWriter = std::function<void(std::int64_t offset, ByteSpan piece)>;
    // The arrays of the file Load read, checked again as Load checked them.
    MeshArrayFile SourceArrays() const;
    // Builds the version-4 mesh of packed header `header` from `source`, a bounded piece at a
    // time, and hands each piece to `write`.
    static void StreamToFce4(ByteSpan header, const MeshArrayFile& source,
                             const PieceWriter& write);

    std::array<std::uint8_t, kHeaderSize> header_{};
    // Empty while arraysInFile_: then the file Load read holds them, as Load checked.
    mutable std::array<Bytes, kArrayCount> arrays_;
    mutable bool arraysInFile_ = false;
    // What Load read, and the name it gave in messages (`path` may be changed afterwards); unused
    // after Parse.
    FileRange loadedFrom_;
    std::string loadedName_;
};

static_assert(Fce3File::kTriangleCountAt == Fce3File::kLeadingWordAt + 4);
static_assert(Fce3File::kVertexCountAt == Fce3File::kTriangleCountAt + 4);
static_assert(Fce3File::kAuxiliaryCountAt == Fce3File::kVertexCountAt + 4);
static_assert(Fce3File::kVertexOffsetAt == Fce3File::kAuxiliaryCountAt + 4);
static_assert(Fce3File::kNormalOffsetAt == Fce3File::kVertexOffsetAt + 4);
static_assert(Fce3File::kTriangleOffsetAt == Fce3File::kNormalOffsetAt + 4);
static_assert(Fce3File::kReserve1OffsetAt == Fce3File::kTriangleOffsetAt + 4);
static_assert(Fce3File::kReserve2OffsetAt == Fce3File::kReserve1OffsetAt + 4);
static_assert(Fce3File::kReserve3OffsetAt == Fce3File::kReserve2OffsetAt + 4);
static_assert(Fce3File::kExtentAt == Fce3File::kReserve3OffsetAt + 4);
static_assert(Fce3File::kMarkerCountAt == Fce3File::kExtentAt + 4 * Fce3File::kExtentValues);
static_assert(Fce3File::kMarkerPositionsAt == Fce3File::kMarkerCountAt + 4);
static_assert(Fce3File::kPartCountAt ==
              Fce3File::kMarkerPositionsAt + Fce3File::kMarkerSlots * Fce3File::kPositionSize);
static_assert(Fce3File::kPartPositionsAt == Fce3File::kPartCountAt + 4);
static_assert(Fce3File::kPartFirstVertexAt ==
              Fce3File::kPartPositionsAt + Fce3File::kPartSlots * Fce3File::kPositionSize);
static_assert(Fce3File::kPartVertexCountAt ==
              Fce3File::kPartFirstVertexAt + 4 * Fce3File::kPartSlots);
static_assert(Fce3File::kPartFirstTriangleAt ==
              Fce3File::kPartVertexCountAt + 4 * Fce3File::kPartSlots);
static_assert(Fce3File::kPartTriangleCountAt ==
              Fce3File::kPartFirstTriangleAt + 4 * Fce3File::kPartSlots);
static_assert(Fce3File::kColourCountAt ==
              Fce3File::kPartTriangleCountAt + 4 * Fce3File::kPartSlots);
static_assert(Fce3File::kColoursAt == Fce3File::kColourCountAt + 4);
static_assert(Fce3File::kUninterpretedAfterColoursAt ==
              Fce3File::kColoursAt + Fce3File::kColourSlots * Fce3File::kColourSize);
static_assert(Fce3File::kMarkerNamesAt ==
              Fce3File::kUninterpretedAfterColoursAt + Fce3File::kUninterpretedAfterColoursSize);
static_assert(Fce3File::kPartNamesAt ==
              Fce3File::kMarkerNamesAt + Fce3File::kMarkerSlots * Fce3File::kNameSize);
static_assert(Fce3File::kUninterpretedAfterNamesAt ==
              Fce3File::kPartNamesAt + Fce3File::kPartSlots * Fce3File::kNameSize);
static_assert(Fce3File::kHeaderSize ==
              Fce3File::kUninterpretedAfterNamesAt + Fce3File::kUninterpretedAfterNamesSize);
static_assert(Fce3File::kHeaderSize == 7940);

}  // namespace carconv
