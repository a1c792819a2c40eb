#pragma once

// Mesh files laid out byte by byte for the mesh tests, independent of the code under test.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "support/test_util.h"

namespace carconv::test {

// `n` bytes counting up from `seed` (wrapping), so every array and record is recognisable.
Bytes Pattern(std::size_t n, std::uint8_t seed);
// Bytes [at, at + n) of `b`.
Bytes Slice(const Bytes& b, std::size_t at, std::size_t n);

// The 64-byte part name slots of the version-3 test header (see Fce3Header).
std::array<Bytes, 64> Fce3PartNameSlots();
// The 64-byte marker name slots, with bytes after the terminator that a copy must keep.
std::array<Bytes, 16> Fce3MarkerNameSlots();

// A 7940-byte version-3 header with odd values in every field: counts V and T, the six array
// offsets as given, markerCount 3, partCount 5, colourCount 2, the name slots above.
Bytes Fce3Header(std::int32_t vertexCount, std::int32_t triangleCount,
                 const std::array<std::int32_t, 6>& offsets);

// A version-3 file of V vertices and T triangles whose arrays (vertices, normals, triangles,
// reserve1, reserve2, reserve3) are patterns seeded 0x10, 0x20, 0x30, 0x50, 0x60, 0x70. With
// `packed` false they lie in reverse order with gaps of 0xCC bytes, and 5 bytes trail the last.
Bytes Fce3Mesh(std::int32_t vertexCount, std::int32_t triangleCount, bool packed);
// The six array patterns of Fce3Mesh, in table order.
std::array<Bytes, 6> Fce3Arrays(std::int32_t vertexCount, std::int32_t triangleCount);

// An 8248-byte version-4 header with odd values in every field, reserved areas included; ':'
// starts part name 0.
Bytes Fce4Header(std::int32_t vertexCount, std::int32_t triangleCount,
                 const std::array<std::int32_t, 14>& offsets);
// The fourteen array patterns of a version-4 mesh, in table order, seeded 0x11, 0x22, ...
std::array<Bytes, 14> Fce4Arrays(std::int32_t vertexCount, std::int32_t triangleCount);
// Header followed by the arrays, packed in table order.
Bytes Fce4PackedMesh(std::int32_t vertexCount, std::int32_t triangleCount);
// The packed offsets of a version-4 mesh, written out per array.
std::array<std::int32_t, 14> Fce4PackedOffsets(std::int32_t vertexCount,
                                               std::int32_t triangleCount);

}  // namespace carconv::test
