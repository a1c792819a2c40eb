#pragma once

// The file formats of a car package as the sample generator writes them, each from a small model
// that the end-to-end tests can compare a converted package against. Layouts, field by field:
//
// Archive (".viv"), integers 32-bit BIG-endian:
//   0 "BIGF" | 4 total size | 8 member count | 12 header size (16 + directory)
//   16 directory: per member offset, size, name bytes + NUL | member bytes back to back
//
// Performance text ("carp.txt"): one section per parameter, in the layout's order:
//   label "(" N ")" line-end, value line-end.  Version 3: parameters 0..79; version 4 adds 80.
//
// Version-3 mesh (".fce"), integers 32-bit little-endian, 7940-byte header, arrays packed after it
// (offsets count from the header's end):
//   0x0000 first word  0x0004 triangles  0x0008 vertices  0x000C auxiliary count
//   0x0010..0x0024 offsets of vertices, normals, triangles, reserve1..3   0x0028 extent (3 floats)
//   0x0034 marker count  0x0038 16 marker positions (12 bytes)  0x00F8 part count
//   0x00FC 64 part positions  0x03FC first vertex  0x04FC vertex count  0x05FC first triangle
//   0x06FC triangle count (64 each)  0x07FC colour count  0x0800 16 colours of 4 x 32-bit
//   0x0900 260 bytes  0x0A04 16 marker names (64 bytes)  0x0E04 64 part names (64 bytes)
//   0x1E04 256 bytes
//   arrays: vertices 12V, normals 12V, triangles 56T, reserve1 32V, reserve2 12V, reserve3 12V
//
// Version-4 mesh, 8248-byte header: 0x0000 bytes 14 10 10 00  0x0008 triangles  0x000C vertices
//   0x0010 auxiliary  0x0014..0x0048 fourteen offsets  0x004C extent  0x0058 marker count
//   0x005C marker positions  0x011C part count  0x0120 part positions  0x0420/0x0520/0x0620/0x0720
//   part first vertex / vertex count / first triangle / triangle count  0x0820 colour count
//   0x0824 16 colours of 4 bytes  0x08A4 16 second colours  0x0A28 marker names
//   0x0E28 part names (the first byte, 3624, is ':')
//   arrays: the six of version 3, then vertices2, normals2, vertices3, normals3 (12V each),
//   three vertex-word arrays (4V each) and triangleExtra (12T)
//
// Targa texture: 18-byte header (id length, colour map type, image type, 5 colour map bytes,
//   x/y origin, width, height, depth, descriptor), image ID, then rows of width x depth/8 bytes
//   (type 2) or run-length packets (type 10: header byte, bit 7 = run, low 7 bits = count - 1),
//   optionally followed by a 26-byte footer (two zero offsets, "TRUEVISION-XFILE", ".", NUL).
//
// Version-3 front-end file: 207-byte header, strings anywhere after it:
//   0 four lead bytes (first above 31)  4 u16  6 flag  8 u16  10 number  12 u32  16 flag
//   18 u16  20 flag  22 u16  24 signed number  26 14 bytes  40..43 four signed bytes  44 3 bytes
//   47 forty 32-bit string offsets from the start of the file
//
// Picture archive (".fsh"), little-endian: 0 "SHPI" | 4 total size | 8 entry count | 12 "GIMX"
//   16 per entry: 4-byte name, 32-bit offset | entries: 16-byte image header (format code, 3
//   bytes, width, height, four 16-bit words) then the pixels (0x7D: 4 bytes a pixel, 0x78: 2,
//   0x7B: 1 byte a pixel then a 16-byte palette header and 256 x 4 palette bytes)

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "sample_bytes.h"

namespace carconv::samples {

// ---- archive ----

struct Member {
    std::string name;
    Bytes bytes;
};

Bytes VivBytes(const std::vector<Member>& members);
// The members of an archive; throws std::runtime_error for a directory the file cannot hold.
std::vector<Member> ReadViv(const Bytes& archive);

// ---- performance text ----

inline constexpr std::size_t kCarp3Count = 80;
inline constexpr std::size_t kCarp4Count = 81;
extern const std::array<const char*, kCarp4Count> kCarpLabels;

// `values` holds 80 (version 3) or 81 (version 4) entries; `lineEnd` is "\r\n" or "\n".
std::string CarpText(const std::vector<std::string>& values, const std::string& lineEnd);

// ---- meshes ----

struct Vec3 {
    float x = 0, y = 0, z = 0;
};

struct MeshTriangle {
    std::uint32_t texturePage = 0;
    std::array<std::uint32_t, 3> corners{};  // vertex indices, relative to the part's first vertex
    std::uint32_t flags = 0;
    std::array<float, 3> u{};
    std::array<float, 3> v{};
};
inline constexpr std::size_t kTriangleRecordSize = 56;

struct MeshPart {
    std::string name;
    Vec3 position;
    std::int32_t firstVertex = 0, vertexCount = 0, firstTriangle = 0, triangleCount = 0;
};

struct MeshMarker {
    std::string name;
    Vec3 position;
};

struct MeshModel {
    std::int32_t firstWord = 0;  // version 3 only; not carried
    std::int32_t auxiliaryCount = 0;
    Vec3 extent;
    std::vector<Vec3> vertices;
    std::vector<Vec3> normals;
    std::vector<MeshTriangle> triangles;
    Bytes reserve1, reserve2, reserve3;                // 32, 12 and 12 bytes a vertex
    std::vector<MeshPart> parts;                       // at most 64
    std::vector<MeshMarker> markers;                   // at most 16
    std::vector<std::array<std::int32_t, 4>> colours;  // at most 16
};

inline constexpr std::size_t kFce3HeaderSize = 7940;
inline constexpr std::size_t kFce4HeaderSize = 8248;

Bytes Fce3Bytes(const MeshModel& mesh);
// Part names are written as they stand; a dashboard or stock car mesh names its first part ":...".
Bytes Fce4Bytes(const MeshModel& mesh);
// The record bytes of the three arrays that both layouts carry.
Bytes VertexArrayBytes(const std::vector<Vec3>& vectors);
Bytes TriangleArrayBytes(const std::vector<MeshTriangle>& triangles);

// ---- textures ----

struct Texture {
    std::uint16_t width = 0, height = 0;
    std::uint8_t descriptor = 8;  // 8 alpha bits, rows stored bottom-up
    std::string imageId;
    Bytes pixels;  // width x height x 4 bytes, B G R A, rows in file order
    bool runLength = false;
    bool footer = false;
};

Bytes TgaBytes(const Texture& texture);

// ---- front-end data ----

struct FrontEnd3 {
    std::array<std::uint8_t, 4> lead{};
    std::uint16_t word4 = 0, word8 = 0, word18 = 0, word22 = 0;
    std::uint32_t word12 = 0;
    std::int16_t flag6 = 0, flag16 = 0, flag20 = 0;
    std::int16_t number10 = 0, number24 = 0;
    std::array<std::int8_t, 4> ratings{};
    std::array<std::string, 40> strings;
    // All forty offsets name one NUL (a file whose strings are all empty).
    bool shareOneEmptyString = false;
};

Bytes Fedata3Bytes(const FrontEnd3& file);

// ---- picture archives ----

struct Picture {
    std::string name;  // four characters
    std::uint8_t formatCode = 0x7D;
    std::uint16_t width = 0, height = 0;
    std::array<std::int16_t, 4> words{};
    Bytes pixels;   // width x height x bytes per pixel
    Bytes palette;  // 0x7B only: 1024 bytes
};

Bytes FshBytes(const std::vector<Picture>& pictures);

}  // namespace carconv::samples
