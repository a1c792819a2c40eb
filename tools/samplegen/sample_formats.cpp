#include "sample_formats.h"

#include <stdexcept>

namespace carconv::samples {

// ---- archive ----

namespace {
constexpr std::size_t kVivHeaderSize = 16;
constexpr std::size_t kVivEntryFixedSize = 9;  // offset, size, terminating NUL
}  // namespace

Bytes VivBytes(const std::vector<Member>& members) {
    std::size_t header = kVivHeaderSize;
    std::size_t total = kVivHeaderSize;
    for (const Member& m : members) {
        header += kVivEntryFixedSize + m.name.size();
        total += kVivEntryFixedSize + m.name.size() + m.bytes.size();
    }
    ByteSink out;
    out.Text("BIGF");
    out.U32be(static_cast<std::uint32_t>(total));
    out.U32be(static_cast<std::uint32_t>(members.size()));
    out.U32be(static_cast<std::uint32_t>(header));
    std::size_t offset = header;
    for (const Member& m : members) {
        out.U32be(static_cast<std::uint32_t>(offset));
        out.U32be(static_cast<std::uint32_t>(m.bytes.size()));
        out.CText(m.name);
        offset += m.bytes.size();
    }
    for (const Member& m : members)
        out.Append(m.bytes);
    return out.Take();
}

std::vector<Member> ReadViv(const Bytes& archive) {
    std::uint32_t count = GetU32be(archive, 8, "archive member count");
    if (count > archive.size() / kVivEntryFixedSize)
        throw std::runtime_error("archive: member count " + std::to_string(count) +
                                 " is more than the file can hold");
    std::vector<Member> members;
    std::size_t pos = kVivHeaderSize;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t offset = GetU32be(archive, pos, "archive entry");
        std::uint32_t size = GetU32be(archive, pos + 4, "archive entry");
        std::string name = GetCText(archive, pos + 8, 256);
        pos += kVivEntryFixedSize + name.size();
        if (offset > archive.size() || size > archive.size() - offset)
            throw std::runtime_error("archive: member " + name + " lies outside the file");
        members.push_back({name, Bytes(archive.begin() + offset, archive.begin() + offset + size)});
    }
    return members;
}

// ---- performance text ----

const std::array<const char*, kCarp4Count> kCarpLabels = {
    "Serial Number",
    "Car Classification",
    "mass [kg]",
    "number of gears (reverse + neutral + forward gears)",
    "gear shift delay (ticks)",
    "shift blip in rpm (size 8)",
    "brake blip in rpm (size 8)",
    "velocity to rpm ratio (size 8)",
    "gear ratios (size 8)",
    "gear efficiency (size 8)",
    "torque curve (size 21) in 500 rpm increments",
    "final gear",
    "engine minimum rpm",
    "engine redline in rpm",
    "maximum velocity of car [m/s]",
    "top speed cap [m/s]",
    "front drive ratio",
    "Uses Antilock Brake System",
    "maximum braking deceleration",
    "front bias brake ratio",
    "gas increasing curve",
    "gas decreasing curve",
    "brake increasing curve",
    "brake decreasing curve",
    "wheel base",
    "front grip bias",
    "power steering (boolean)",
    "minimum steering acceleration",
    "turn in ramp",
    "turn out ramp",
    "lateral acceleration grip multiplier",
    "aerodynamic downforce multiplier",
    "gas off factor",
    "g transfer factor",
    "turning circle radius",
    "tire specs front",
    "tire specs rear",
    "tire wear",
    "Slide Multiplier",
    "Spin Velocity Cap",
    "Slide Velocity Cap",
    "Slide Assistance Factor",
    "Push Factor",
    "Low Turn Factor (the lower the figure, the better the turn)",
    "High Turn Factor (the lower the figure, the better the turn)",
    "pitch roll factor",
    "road bumpiness factor",
    "spoiler function type",
    "spoiler activation speed [m/s]",
    "gradual turn cutoff",
    "medium turn cutoff",
    "sharp turn cutoff",
    "medium turn speed modifier",
    "sharp turn speed modifier",
    "extreme turn speed modifier",
    "subdivide level",
    "camera arm",
    "Body Damage",
    "Engine Damage",
    "Suspension Damage",
    "Engine Tuning",
    "Brake Balance",
    "Steering Speed",
    "Gear Rat Factor",
    "Suspension Stiffness",
    "Aero Factor",
    "Tire Factor",
    "AI ACC0 acceleration table section",
    "AI ACC1 acceleration table section",
    "AI ACC2 acceleration table section",
    "AI ACC3 acceleration table section",
    "AI ACC4 acceleration table section",
    "AI ACC5 acceleration table section",
    "AI ACC6 acceleration table section",
    "AI ACC7 acceleration table section",
    "number of gears (automatic, r, n, forward)",
    "velocity to rpm ratio automatic(size 8)",
    "gear ratios automatic (size 8)",
    "gear efficiency automatic (size 8)",
    "final gear automatic",
    "understeer gradient",
};

std::string CarpText(const std::vector<std::string>& values, const std::string& lineEnd) {
    if (values.size() != kCarp3Count && values.size() != kCarp4Count)
        throw std::invalid_argument("a performance text holds 80 or 81 values");
    // Each automatic-gearbox parameter follows its manual counterpart; 80 follows 30.
    std::vector<std::size_t> order = {0, 1, 2, 3, 75, 4, 5, 6, 7, 76, 8, 77, 9, 78, 10, 11, 79};
    for (std::size_t n = 12; n <= 74; ++n) {
        order.push_back(n);
        if (n == 30 && values.size() == kCarp4Count)
            order.push_back(80);
    }
    std::string text;
    for (std::size_t n : order)
        text += std::string(kCarpLabels[n]) + "(" + std::to_string(n) + ")" + lineEnd + values[n] +
                lineEnd;
    return text;
}

// ---- meshes ----

namespace {

constexpr std::size_t kMaxParts = 64;
constexpr std::size_t kMaxMarkers = 16;
constexpr std::size_t kMaxColours = 16;
constexpr std::size_t kNameSlot = 64;
constexpr std::size_t kVectorSize = 12;

// Version-3 header offsets.
constexpr std::size_t k3Triangles = 0x0004, k3Vertices = 0x0008, k3Auxiliary = 0x000C;
constexpr std::size_t k3Offsets = 0x0010, k3Extent = 0x0028, k3MarkerCount = 0x0034;
constexpr std::size_t k3MarkerPositions = 0x0038, k3PartCount = 0x00F8;
constexpr std::size_t k3PartPositions = 0x00FC, k3PartFirstVertex = 0x03FC;
constexpr std::size_t k3PartVertexCount = 0x04FC, k3PartFirstTriangle = 0x05FC;
constexpr std::size_t k3PartTriangleCount = 0x06FC, k3ColourCount = 0x07FC, k3Colours = 0x0800;
constexpr std::size_t k3Unused1 = 0x0900, k3MarkerNames = 0x0A04, k3PartNames = 0x0E04;
constexpr std::size_t k3Unused2 = 0x1E04;
static_assert(k3MarkerPositions + kMaxMarkers * kVectorSize == k3PartCount);
static_assert(k3PartPositions + kMaxParts * kVectorSize == k3PartFirstVertex);
static_assert(k3PartTriangleCount + kMaxParts * 4 == k3ColourCount);
static_assert(k3Colours + kMaxColours * 16 + 260 == k3MarkerNames);
static_assert(k3PartNames + kMaxParts * kNameSlot + 256 == kFce3HeaderSize);

// Version-4 header offsets.
constexpr std::size_t k4Triangles = 0x0008, k4Vertices = 0x000C, k4Auxiliary = 0x0010;
constexpr std::size_t k4Offsets = 0x0014, k4Extent = 0x004C, k4MarkerCount = 0x0058;
constexpr std::size_t k4MarkerPositions = 0x005C, k4PartCount = 0x011C;
constexpr std::size_t k4PartPositions = 0x0120, k4PartFirstVertex = 0x0420;
constexpr std::size_t k4PartVertexCount = 0x0520, k4PartFirstTriangle = 0x0620;
constexpr std::size_t k4PartTriangleCount = 0x0720, k4ColourCount = 0x0820, k4Colours = 0x0824;
constexpr std::size_t k4SecondColours = 0x08A4, k4MarkerNames = 0x0A28, k4PartNames = 0x0E28;
static_assert(k4Offsets + 14 * 4 == k4Extent);
static_assert(k4MarkerPositions + kMaxMarkers * kVectorSize == k4PartCount);
static_assert(k4PartTriangleCount + kMaxParts * 4 == k4ColourCount);
static_assert(k4Colours + kMaxColours * 4 + 64 == k4SecondColours);
static_assert(k4SecondColours + kMaxColours * 4 + 324 == k4MarkerNames);
static_assert(k4PartNames == 3624);
static_assert(k4PartNames + kMaxParts * kNameSlot + 528 == kFce4HeaderSize);

void PutVec3(Bytes& b, std::size_t offset, const Vec3& v) {
    PutF32le(b, offset, v.x);
    PutF32le(b, offset + 4, v.y);
    PutF32le(b, offset + 8, v.z);
}

void CheckCapacities(const MeshModel& mesh) {
    if (mesh.parts.size() > kMaxParts || mesh.markers.size() > kMaxMarkers ||
        mesh.colours.size() > kMaxColours || mesh.normals.size() != mesh.vertices.size() ||
        mesh.reserve1.size() != 32 * mesh.vertices.size() ||
        mesh.reserve2.size() != kVectorSize * mesh.vertices.size() ||
        mesh.reserve3.size() != kVectorSize * mesh.vertices.size())
        throw std::invalid_argument("mesh model does not fit the mesh layout");
}

// The fields both layouts share, at each layout's own offsets.
struct MeshOffsets {
    std::size_t extent, markerCount, markerPositions, partCount, partPositions, partFirstVertex,
        partVertexCount, partFirstTriangle, partTriangleCount, markerNames, partNames;
};

void PutSharedFields(Bytes& h, const MeshModel& mesh, const MeshOffsets& o) {
    PutVec3(h, o.extent, mesh.extent);
    PutU32le(h, o.markerCount, static_cast<std::uint32_t>(mesh.markers.size()));
    for (std::size_t i = 0; i < mesh.markers.size(); ++i) {
        PutVec3(h, o.markerPositions + i * kVectorSize, mesh.markers[i].position);
        PutName(h, o.markerNames + i * kNameSlot, mesh.markers[i].name, kNameSlot);
    }
    PutU32le(h, o.partCount, static_cast<std::uint32_t>(mesh.parts.size()));
    for (std::size_t i = 0; i < mesh.parts.size(); ++i) {
        const MeshPart& p = mesh.parts[i];
        PutVec3(h, o.partPositions + i * kVectorSize, p.position);
        PutI32le(h, o.partFirstVertex + i * 4, p.firstVertex);
        PutI32le(h, o.partVertexCount + i * 4, p.vertexCount);
        PutI32le(h, o.partFirstTriangle + i * 4, p.firstTriangle);
        PutI32le(h, o.partTriangleCount + i * 4, p.triangleCount);
        PutName(h, o.partNames + i * kNameSlot, p.name, kNameSlot);
    }
}

}  // namespace

Bytes VertexArrayBytes(const std::vector<Vec3>& vectors) {
    ByteSink out;
    for (const Vec3& v : vectors)
        out.F32le(v.x).F32le(v.y).F32le(v.z);
    return out.Take();
}

Bytes TriangleArrayBytes(const std::vector<MeshTriangle>& triangles) {
    ByteSink out;
    for (const MeshTriangle& t : triangles) {
        out.U32le(t.texturePage);
        for (std::uint32_t c : t.corners)
            out.U32le(c);
        out.Zeros(12);  // padding between the corners and the flags
        out.U32le(t.flags);
        for (float u : t.u)
            out.F32le(u);
        for (float v : t.v)
            out.F32le(v);
    }
    return out.Take();
}

Bytes Fce3Bytes(const MeshModel& mesh) {
    CheckCapacities(mesh);
    const std::uint32_t v = static_cast<std::uint32_t>(mesh.vertices.size());
    const std::uint32_t t = static_cast<std::uint32_t>(mesh.triangles.size());
    Bytes h(kFce3HeaderSize, 0);
    PutI32le(h, 0, mesh.firstWord);
    PutU32le(h, k3Triangles, t);
    PutU32le(h, k3Vertices, v);
    PutI32le(h, k3Auxiliary, mesh.auxiliaryCount);
    const std::uint32_t offsets[6] = {
        0, 12 * v, 24 * v, 24 * v + 56 * t, 56 * v + 56 * t, 68 * v + 56 * t};
    for (std::size_t i = 0; i < 6; ++i)
        PutU32le(h, k3Offsets + 4 * i, offsets[i]);
    PutSharedFields(h, mesh,
                    {k3Extent, k3MarkerCount, k3MarkerPositions, k3PartCount, k3PartPositions,
                     k3PartFirstVertex, k3PartVertexCount, k3PartFirstTriangle, k3PartTriangleCount,
                     k3MarkerNames, k3PartNames});
    PutU32le(h, k3ColourCount, static_cast<std::uint32_t>(mesh.colours.size()));
    for (std::size_t i = 0; i < mesh.colours.size(); ++i)
        for (std::size_t k = 0; k < 4; ++k)
            PutI32le(h, k3Colours + i * 16 + k * 4, mesh.colours[i][k]);
    // The areas the converter must not carry hold a recognisable filler.
    for (std::size_t i = 0; i < 260; ++i)
        h[k3Unused1 + i] = 0xA5;
    for (std::size_t i = 0; i < 256; ++i)
        h[k3Unused2 + i] = 0x5A;

    ByteSink out;
    out.Append(h)
        .Append(VertexArrayBytes(mesh.vertices))
        .Append(VertexArrayBytes(mesh.normals))
        .Append(TriangleArrayBytes(mesh.triangles))
        .Append(mesh.reserve1)
        .Append(mesh.reserve2)
        .Append(mesh.reserve3);
    return out.Take();
}

Bytes Fce4Bytes(const MeshModel& mesh) {
    CheckCapacities(mesh);
    const std::uint32_t v = static_cast<std::uint32_t>(mesh.vertices.size());
    const std::uint32_t t = static_cast<std::uint32_t>(mesh.triangles.size());
    Bytes h(kFce4HeaderSize, 0);
    h[0] = 0x14;
    h[1] = 0x10;
    h[2] = 0x10;
    PutU32le(h, k4Triangles, t);
    PutU32le(h, k4Vertices, v);
    PutI32le(h, k4Auxiliary, mesh.auxiliaryCount);
    const std::uint32_t sizes[14] = {12 * v, 12 * v, 56 * t, 32 * v, 12 * v, 12 * v, 12 * v,
                                     12 * v, 12 * v, 12 * v, 4 * v,  4 * v,  4 * v,  12 * t};
    std::uint32_t offset = 0;
    for (std::size_t i = 0; i < 14; ++i) {
        PutU32le(h, k4Offsets + 4 * i, offset);
        offset += sizes[i];
    }
    PutSharedFields(h, mesh,
                    {k4Extent, k4MarkerCount, k4MarkerPositions, k4PartCount, k4PartPositions,
                     k4PartFirstVertex, k4PartVertexCount, k4PartFirstTriangle, k4PartTriangleCount,
                     k4MarkerNames, k4PartNames});
    PutU32le(h, k4ColourCount, static_cast<std::uint32_t>(mesh.colours.size()));
    for (std::size_t i = 0; i < mesh.colours.size(); ++i)
        for (std::size_t k = 0; k < 4; ++k) {
            h[k4Colours + i * 4 + k] = static_cast<std::uint8_t>(mesh.colours[i][k] & 0xFF);
            h[k4SecondColours + i * 4 + k] = static_cast<std::uint8_t>(mesh.colours[i][k] & 0xFF);
        }
    const Bytes vertices = VertexArrayBytes(mesh.vertices);
    const Bytes normals = VertexArrayBytes(mesh.normals);
    ByteSink out;
    out.Append(h)
        .Append(vertices)
        .Append(normals)
        .Append(TriangleArrayBytes(mesh.triangles))
        .Append(mesh.reserve1)
        .Append(mesh.reserve2)
        .Append(mesh.reserve3)
        .Append(vertices)
        .Append(normals)
        .Append(vertices)
        .Append(normals)
        .Zeros(3 * 4 * v + 12 * t);
    return out.Take();
}

// ---- textures ----

namespace {

constexpr std::uint8_t kTgaTrueColour = 2;
constexpr std::uint8_t kTgaTrueColourRle = 10;
constexpr std::size_t kPixelSize = 4;
constexpr std::size_t kMaxPacketPixels = 128;

bool SamePixel(const Bytes& p, std::size_t a, std::size_t b) {
    for (std::size_t k = 0; k < kPixelSize; ++k)
        if (p[a * kPixelSize + k] != p[b * kPixelSize + k])
            return false;
    return true;
}

// Run-length packets for one row: runs of two or more equal pixels become run packets, the
// pixels between them raw packets; no packet crosses the end of the row.
void EncodeRow(const Bytes& pixels, std::size_t first, std::size_t width, ByteSink& out) {
    std::size_t x = 0;
    while (x < width) {
        std::size_t run = 1;
        while (x + run < width && run < kMaxPacketPixels &&
               SamePixel(pixels, first + x, first + x + run))
            ++run;
        if (run >= 2) {
            out.U8(static_cast<std::uint8_t>(0x80 | (run - 1)));
            for (std::size_t k = 0; k < kPixelSize; ++k)
                out.U8(pixels[(first + x) * kPixelSize + k]);
            x += run;
            continue;
        }
        std::size_t raw = 1;
        while (x + raw < width && raw < kMaxPacketPixels &&
               !(x + raw + 1 < width && SamePixel(pixels, first + x + raw, first + x + raw + 1)))
            ++raw;
        out.U8(static_cast<std::uint8_t>(raw - 1));
        for (std::size_t i = 0; i < raw * kPixelSize; ++i)
            out.U8(pixels[(first + x) * kPixelSize + i]);
        x += raw;
    }
}

}  // namespace

Bytes TgaBytes(const Texture& texture) {
    const std::size_t pixelCount = std::size_t{texture.width} * texture.height;
    if (texture.pixels.size() != pixelCount * kPixelSize || texture.imageId.size() > 255)
        throw std::invalid_argument("texture model does not fit its size");
    ByteSink out;
    out.U8(static_cast<std::uint8_t>(texture.imageId.size()));
    out.U8(0);  // no colour map
    out.U8(texture.runLength ? kTgaTrueColourRle : kTgaTrueColour);
    out.Zeros(5);  // colour map fields
    out.U16le(0).U16le(0);
    out.U16le(texture.width).U16le(texture.height);
    out.U8(32);
    out.U8(texture.descriptor);
    out.Text(texture.imageId);
    if (texture.runLength) {
        for (std::size_t row = 0; row < texture.height; ++row)
            EncodeRow(texture.pixels, row * texture.width, texture.width, out);
    } else {
        out.Append(texture.pixels);
    }
    if (texture.footer) {
        out.U32le(0).U32le(0);  // no extension area, no developer directory
        out.Text("TRUEVISION-XFILE").Text(".").U8(0);
    }
    return out.Take();
}

// ---- front-end data ----

namespace {
constexpr std::size_t kFedata3HeaderSize = 207;
constexpr std::size_t kFedata3StringCount = 40;
constexpr std::size_t kFedata3OffsetTable = 47;
static_assert(kFedata3OffsetTable + kFedata3StringCount * 4 == kFedata3HeaderSize);
}  // namespace

Bytes Fedata3Bytes(const FrontEnd3& file) {
    ByteSink out;
    for (std::uint8_t b : file.lead)
        out.U8(b);
    out.U16le(file.word4);
    out.U16le(static_cast<std::uint16_t>(file.flag6));
    out.U16le(file.word8);
    out.U16le(static_cast<std::uint16_t>(file.number10));
    out.U32le(file.word12);
    out.U16le(static_cast<std::uint16_t>(file.flag16));
    out.U16le(file.word18);
    out.U16le(static_cast<std::uint16_t>(file.flag20));
    out.U16le(file.word22);
    out.U16le(static_cast<std::uint16_t>(file.number24));
    out.Zeros(14);
    for (std::int8_t r : file.ratings)
        out.U8(static_cast<std::uint8_t>(r));
    out.Zeros(3);
    if (out.Size() != kFedata3OffsetTable)
        throw std::logic_error("front-end header fields do not end at the offset table");
    std::uint32_t offset = kFedata3HeaderSize;
    for (const std::string& s : file.strings) {
        out.U32le(offset);
        if (!file.shareOneEmptyString)
            offset += static_cast<std::uint32_t>(s.size() + 1);
    }
    if (file.shareOneEmptyString) {
        out.U8(0);
    } else {
        for (const std::string& s : file.strings)
            out.CText(s);
    }
    return out.Take();
}

// ---- picture archives ----

namespace {
constexpr std::size_t kFshHeaderSize = 16;
constexpr std::size_t kFshRecordSize = 8;
constexpr std::size_t kImageHeaderSize = 16;
constexpr std::size_t kPaletteHeaderSize = 16;
}  // namespace

Bytes FshBytes(const std::vector<Picture>& pictures) {
    std::vector<Bytes> entries;
    for (const Picture& p : pictures) {
        ByteSink e;
        e.U8(p.formatCode).Zeros(3);
        e.U16le(p.width).U16le(p.height);
        for (std::int16_t w : p.words)
            e.U16le(static_cast<std::uint16_t>(w));
        e.Append(p.pixels);
        if (p.formatCode == 0x7B) {
            e.U8(0x2A).Zeros(3).U16le(256).U16le(1).Zeros(8);  // palette header
            e.Append(p.palette);
        }
        static_assert(kImageHeaderSize == 16 && kPaletteHeaderSize == 16);
        entries.push_back(e.Take());
    }
    std::size_t offset = kFshHeaderSize + kFshRecordSize * pictures.size();
    std::size_t total = offset;
    for (const Bytes& e : entries)
        total += e.size();
    ByteSink out;
    out.Text("SHPI").U32le(static_cast<std::uint32_t>(total));
    out.U32le(static_cast<std::uint32_t>(pictures.size())).Text("GIMX");
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        std::string name = pictures[i].name;
        name.resize(4, ' ');
        out.Text(name).U32le(static_cast<std::uint32_t>(offset));
        offset += entries[i].size();
    }
    for (const Bytes& e : entries)
        out.Append(e);
    return out.Take();
}

}  // namespace carconv::samples
