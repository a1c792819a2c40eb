#include "mesh/mesh_bytes.h"

#include <stdexcept>
#include <string_view>

namespace carconv::test {

Bytes Pattern(std::size_t n, std::uint8_t seed) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>(seed + i);
    return b;
}

Bytes Slice(const Bytes& b, std::size_t at, std::size_t n) {
    if (at > b.size() || n > b.size() - at)
        throw std::out_of_range("Slice");
    return Bytes(b.begin() + static_cast<std::ptrdiff_t>(at),
                 b.begin() + static_cast<std::ptrdiff_t>(at + n));
}

namespace {

Bytes NameSlot(std::string_view name, std::uint8_t fillAfterNul = 0) {
    Builder b;
    b.str(name);
    if (b.size() < 64)
        b.u8(0);
    if (b.size() < 64)
        b.fill(64 - b.size(), fillAfterNul);
    return b.bytes();
}

}  // namespace

std::array<Bytes, 64> Fce3PartNameSlots() {
    std::array<Bytes, 64> slots;
    for (int i = 0; i < 64; ++i)
        slots[i] = NameSlot("PART_" + std::to_string(i));
    slots[0] = NameSlot("Body");
    slots[1] = NameSlot("");
    slots[12] = NameSlot("Spoiler_MixedCASE");
    slots[13] = NameSlot(std::string(62, 'A') + "Z");              // 63 characters
    slots[14] = NameSlot("Full" + std::string(56, 'X') + "WXYZ");  // 64, no terminator
    slots[15] = NameSlot("");
    slots[16] = NameSlot("Name", 0xAB);        // junk after the NUL
    slots[17] = NameSlot("@AZ[`az{\xC4\xD6");  // bytes around A-Z, non-ASCII
    slots[63] = NameSlot("LAST");
    return slots;
}

std::array<Bytes, 16> Fce3MarkerNameSlots() {
    std::array<Bytes, 16> slots;
    for (int i = 0; i < 16; ++i) {
        slots[i] = NameSlot("Marker" + std::to_string(i), static_cast<std::uint8_t>(0x80 + i));
    }
    slots[15] = Pattern(64, 0x41);  // a full slot, no terminator
    return slots;
}

Bytes Fce3Header(std::int32_t vertexCount, std::int32_t triangleCount,
                 const std::array<std::int32_t, 6>& offsets) {
    Builder b;
    b.u32le(0xDEADBEEF);     // 0x0000 not interpreted
    b.i32le(triangleCount);  // 0x0004 triangleCount
    b.i32le(vertexCount);    // 0x0008 vertexCount
    b.i32le(123456789);      // 0x000C auxiliaryCount
    b.i32le(offsets[0]);     // 0x0010 vertexOffset
    b.i32le(offsets[1]);     // 0x0014 normalOffset
    b.i32le(offsets[2]);     // 0x0018 triangleOffset
    b.i32le(offsets[3]);     // 0x001C reserve1Offset
    b.i32le(offsets[4]);     // 0x0020 reserve2Offset
    b.i32le(offsets[5]);     // 0x0024 reserve3Offset
    b.i32le(-5);             // 0x0028 extent[0]
    b.i32le(100000);         // 0x002C extent[1]
    b.u32le(0x01020304);     // 0x0030 extent[2]
    b.i32le(3);              // 0x0034 markerCount (slots 3-15 are filled too)
    for (int m = 0; m < 16; ++m) {
        b.raw(Pattern(12, static_cast<std::uint8_t>(1 + 12 * m)));  // 0x0038 markerPositions[m]
    }
    b.i32le(5);  // 0x00F8 partCount (slots 5-63 are filled too)
    for (int p = 0; p < 64; ++p) {
        b.raw(Pattern(12, static_cast<std::uint8_t>(7 + 12 * p)));  // 0x00FC partPositions[p]
    }
    for (int p = 0; p < 64; ++p)
        b.i32le(1000 + p);  // 0x03FC partFirstVertex[p]
    for (int p = 0; p < 64; ++p)
        b.i32le(2000 + p);  // 0x04FC partVertexCount[p]
    for (int p = 0; p < 64; ++p)
        b.i32le(3000 + p);  // 0x05FC partFirstTriangle[p]
    for (int p = 0; p < 64; ++p)
        b.i32le(-1 - p);  // 0x06FC partTriangleCount[p]
    b.i32le(2);           // 0x07FC colourCount (slots 2-15 filled)
    // 0x0800 colours[0]: 255 stays, 256 narrows to 0, -1 to 255, 0x12345678 to 0x78
    b.i32le(255).i32le(256).i32le(-1).u32le(0x12345678);
    for (int c = 1; c < 16; ++c) {
        for (int k = 0; k < 4; ++k) {
            b.i32le((k + 1) * 0x01000000 + c * 16 + k);  // 0x0800 colours[c][k], low byte c*16+k
        }
    }
    b.fill(260, 0xEE);  // 0x0900 not interpreted
    for (const Bytes& slot : Fce3MarkerNameSlots())
        b.raw(slot);  // 0x0A04 markerNames
    for (const Bytes& slot : Fce3PartNameSlots())
        b.raw(slot);    // 0x0E04 partNames
    b.fill(256, 0xDD);  // 0x1E04 not interpreted
    if (b.size() != 7940)
        throw std::logic_error("version-3 test header is not 7940 bytes");
    return b.bytes();
}

std::array<Bytes, 6> Fce3Arrays(std::int32_t vertexCount, std::int32_t triangleCount) {
    const auto v = static_cast<std::size_t>(vertexCount);
    const auto t = static_cast<std::size_t>(triangleCount);
    return {Pattern(12 * v, 0x10), Pattern(12 * v, 0x20), Pattern(56 * t, 0x30),
            Pattern(32 * v, 0x50), Pattern(12 * v, 0x60), Pattern(12 * v, 0x70)};
}

Bytes Fce3Mesh(std::int32_t vertexCount, std::int32_t triangleCount, bool packed) {
    const std::array<Bytes, 6> arrays = Fce3Arrays(vertexCount, triangleCount);
    const std::int32_t v = vertexCount;
    const std::int32_t t = triangleCount;
    if (packed) {
        Builder b;
        b.raw(Fce3Header(v, t,
                         {0, 12 * v, 24 * v, 24 * v + 56 * t, 56 * v + 56 * t, 68 * v + 56 * t}));
        for (const Bytes& a : arrays)
            b.raw(a);
        return b.bytes();
    }
    // Reverse order, a gap of 3 bytes before each array.
    Builder body;
    std::array<std::int32_t, 6> offsets{};
    for (int i = 5; i >= 0; --i) {
        body.fill(3, 0xCC);
        offsets[i] = static_cast<std::int32_t>(body.size());
        body.raw(arrays[i]);
    }
    body.fill(5, 0xCC);
    Builder b;
    b.raw(Fce3Header(v, t, offsets)).raw(body.bytes());
    return b.bytes();
}

Bytes Fce4Header(std::int32_t vertexCount, std::int32_t triangleCount,
                 const std::array<std::int32_t, 14>& offsets) {
    Builder b;
    b.u8(0x14).u8(0x10).u8(0x10).u8(0x00);  // 0x0000 leading word
    b.u32le(0xA5A5A5A5);                    // 0x0004 reserved
    b.i32le(triangleCount);                 // 0x0008 triangleCount
    b.i32le(vertexCount);                   // 0x000C vertexCount
    b.i32le(-77);                           // 0x0010 auxiliaryCount
    for (std::int32_t o : offsets)
        b.i32le(o);                    // 0x0014-0x0048 the fourteen offsets
    b.i32le(1).i32le(-2).i32le(3);     // 0x004C extent
    b.i32le(17);                       // 0x0058 markerCount (beyond the 16 slots)
    b.raw(Pattern(16 * 12, 0x05));     // 0x005C markerPositions
    b.i32le(-1);                       // 0x011C partCount
    b.raw(Pattern(64 * 12, 0x09));     // 0x0120 partPositions
    b.raw(Pattern(4 * 64 * 4, 0x0D));  // 0x0420-0x0720 the four part tables
    b.i32le(16);                       // 0x0820 colourCount
    b.raw(Pattern(64, 0xC0));          // 0x0824 colours
    b.fill(64, 0xE1);                  // 0x0864 reserved
    b.raw(Pattern(64, 0x30));          // 0x08A4 secondColours
    b.fill(324, 0xE2);                 // 0x08E4 reserved
    b.raw(Pattern(16 * 64, 0x61));     // 0x0A28 markerNames
    b.str(":HB").u8(0).raw(Pattern(60, 0x70)).raw(Pattern(63 * 64, 0x41));  // 0x0E28 partNames
    b.fill(528, 0xE3);                                                      // 0x1E28 reserved
    if (b.size() != 8248)
        throw std::logic_error("version-4 test header is not 8248 bytes");
    return b.bytes();
}

std::array<Bytes, 14> Fce4Arrays(std::int32_t vertexCount, std::int32_t triangleCount) {
    const auto v = static_cast<std::size_t>(vertexCount);
    const auto t = static_cast<std::size_t>(triangleCount);
    const std::array<std::size_t, 14> sizes = {12 * v, 12 * v, 56 * t, 32 * v, 12 * v,
                                               12 * v, 12 * v, 12 * v, 12 * v, 12 * v,
                                               4 * v,  4 * v,  4 * v,  12 * t};
    std::array<Bytes, 14> arrays;
    for (std::size_t i = 0; i < 14; ++i) {
        arrays[i] = Pattern(sizes[i], static_cast<std::uint8_t>(0x11 * (i + 1)));
    }
    return arrays;
}

std::array<std::int32_t, 14> Fce4PackedOffsets(std::int32_t v, std::int32_t t) {
    return {0,
            12 * v,
            24 * v,
            24 * v + 56 * t,
            56 * v + 56 * t,
            68 * v + 56 * t,
            80 * v + 56 * t,
            92 * v + 56 * t,
            104 * v + 56 * t,
            116 * v + 56 * t,
            128 * v + 56 * t,
            132 * v + 56 * t,
            136 * v + 56 * t,
            140 * v + 56 * t};
}

Bytes Fce4PackedMesh(std::int32_t vertexCount, std::int32_t triangleCount) {
    Builder b;
    b.raw(Fce4Header(vertexCount, triangleCount, Fce4PackedOffsets(vertexCount, triangleCount)));
    for (const Bytes& a : Fce4Arrays(vertexCount, triangleCount))
        b.raw(a);
    return b.bytes();
}

}  // namespace carconv::test
