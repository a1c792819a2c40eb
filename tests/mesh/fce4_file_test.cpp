#include "mesh/fce4_file.h"

#include <gtest/gtest.h>

#include <string>

#include "files/errors.h"
#include "mesh/mesh_bytes.h"
#include "support/test_util.h"

namespace carconv {
namespace {

using test::Bytes;

std::string LoadError(const std::string& file, const Bytes& bytes) {
    test::WriteFile(file, bytes);
    Fce4File mesh(file);
    try {
        mesh.Load();
    } catch (const FormatError& e) {
        return e.what();
    }
    return "";
}

TEST(Fce4File, ResetThenSaveWritesTheEmptyMesh) {
    test::ScratchDir dir;
    Fce4File mesh(dir.File("empty.fce"));
    EXPECT_EQ(mesh.typeTag, "FCE4");
    EXPECT_EQ(mesh.Reset(), 1);
    EXPECT_EQ(mesh.Save(), 1);
    const Bytes written = test::ReadFile(dir.File("empty.fce"));
    ASSERT_EQ(written.size(), 8248u);
    EXPECT_EQ(test::GetU32le(written, 0), 0x00101014u);
    EXPECT_EQ(test::Slice(written, 4, 8244), Bytes(8244, 0));
    EXPECT_EQ(mesh.length, 8248);
}

TEST(Fce4File, PackedFileRoundTripsByteForByte) {
    test::ScratchDir dir;
    for (auto [v, t] : {std::pair{3, 2}, std::pair{0, 0}, std::pair{1, 0}}) {
        const Bytes file = test::Fce4PackedMesh(v, t);
        ASSERT_EQ(file.size(), static_cast<std::size_t>(8248 + 140 * v + 68 * t));
        test::WriteFile(dir.File("in.fce"), file);

        Fce4File mesh(dir.File("in.fce"));
        EXPECT_EQ(mesh.Load(), 1);
        EXPECT_EQ(mesh.length, static_cast<std::int32_t>(file.size()));
        EXPECT_EQ(mesh.SaveAs(dir.File("out.fce")), 1);
        EXPECT_EQ(test::ReadFile(dir.File("out.fce")), file) << v << " vertices, " << t;
        EXPECT_EQ(mesh.Save(), 1);
        EXPECT_EQ(test::ReadFile(dir.File("in.fce")), file);
        EXPECT_EQ(mesh.length, static_cast<std::int32_t>(file.size()));
    }
}

TEST(Fce4File, ReadOnlyView) {
    test::ScratchDir dir;
    test::WriteFile(dir.File("in.fce"), test::Fce4PackedMesh(3, 2));
    Fce4File mesh(dir.File("in.fce"));
    mesh.Load();
    EXPECT_EQ(mesh.TriangleCount(), 2);
    EXPECT_EQ(mesh.VertexCount(), 3);
    EXPECT_EQ(mesh.AuxiliaryCount(), -77);
    EXPECT_EQ(mesh.ArrayOffset(Fce4File::kTriangleExtra), 140 * 3 + 56 * 2);
    EXPECT_EQ(mesh.Extent(1), -2);
    EXPECT_EQ(mesh.MarkerCount(), 17);
    EXPECT_EQ(mesh.UsedMarkerSlots(), 16);
    EXPECT_EQ(mesh.PartCount(), -1);
    EXPECT_EQ(mesh.UsedPartSlots(), 0);
    EXPECT_EQ(mesh.UsedColourSlots(), 16);
    EXPECT_EQ(mesh.PartName(0), ":HB");
    EXPECT_EQ(mesh.Colour(1, 2), 0xC6);
    EXPECT_EQ(mesh.SecondColour(15, 3), 0x6F);
    // 0x0420 + 4 * 2 holds pattern bytes 0x15..0x18.
    EXPECT_EQ(mesh.PartFirstVertex(2), 0x18171615);
    EXPECT_EQ(mesh.ArrayBytes(Fce4File::kVertexWords3), test::Pattern(12, 0x11 * 13));
}

TEST(Fce4File, UnpackedFileLoadsAndIsWrittenPacked) {
    test::ScratchDir dir;
    const int v = 2;
    const int t = 1;
    const std::array<Bytes, 14> arrays = test::Fce4Arrays(v, t);
    // Arrays in reverse order, each after a 2-byte gap, and 7 trailing bytes.
    test::Builder body;
    std::array<std::int32_t, 14> offsets{};
    for (int i = 13; i >= 0; --i) {
        body.fill(2, 0xCC);
        offsets[i] = static_cast<std::int32_t>(body.size());
        body.raw(arrays[i]);
    }
    body.fill(7, 0xCC);
    const Bytes header = test::Fce4Header(v, t, offsets);
    test::Builder file;
    file.raw(header).raw(body.bytes());
    test::WriteFile(dir.File("in.fce"), file.bytes());

    Fce4File mesh(dir.File("in.fce"));
    mesh.Load();
    for (int i = 0; i < Fce4File::kArrayCount; ++i) {
        EXPECT_EQ(mesh.ArrayBytes(static_cast<Fce4File::ArrayId>(i)), arrays[i]) << "array " << i;
    }
    EXPECT_EQ(mesh.ArrayOffset(Fce4File::kNormals), offsets[1]);

    // Elsewhere: packed, with the packed offsets, and the object's length stays as measured.
    mesh.SaveAs(dir.File("out.fce"));
    const Bytes packed = test::Fce4PackedMesh(v, t);
    EXPECT_EQ(test::ReadFile(dir.File("out.fce")), packed);
    EXPECT_EQ(mesh.length, static_cast<std::int32_t>(file.size()));
    EXPECT_EQ(mesh.ArrayOffset(Fce4File::kNormals), offsets[1]);

    // Over its own file: the file shrinks to the packed size and length follows it.
    mesh.Save();
    EXPECT_EQ(test::ReadFile(dir.File("in.fce")), packed);
    EXPECT_EQ(mesh.length, static_cast<std::int32_t>(packed.size()));
}

TEST(Fce4File, RefusesNegativeNumbersAndArraysPastTheEnd) {
    test::ScratchDir dir;
    const std::string path = dir.File("car.fce");
    const Bytes good = test::Fce4PackedMesh(1, 1);  // 8248 + 140 + 68 = 8456 bytes

    Bytes bytes = good;
    bytes[0x0C] = bytes[0x0D] = bytes[0x0E] = bytes[0x0F] = 0xFF;  // vertexCount -1
    EXPECT_EQ(LoadError(path, bytes),
              path + ": array vertices: vertexCount is negative (-1) at offset 0xc");

    bytes = good;
    bytes[0x4B] = 0xFF;  // triangleExtraOffset with the sign bit set
    EXPECT_EQ(LoadError(path, bytes).substr(path.size()),
              ": array triangleExtra: triangleExtraOffset is negative (-16777020) at offset 0x48");

    bytes = good;
    bytes[0x48] += 1;  // triangleExtraOffset one further: the last array ends past the file
    EXPECT_EQ(LoadError(path, bytes),
              path +
                  ": array triangleExtra (1 records of 12 bytes) needs bytes [0x20fd, 0x2109) "
                  "but the file ends at 0x2108");

    bytes = good;
    bytes.pop_back();
    EXPECT_NE(LoadError(path, bytes).find("array triangleExtra"), std::string::npos);

    EXPECT_EQ(LoadError(path, test::Slice(good, 0, 8247)),
              path + ": file of 8247 bytes is shorter than the 8248-byte mesh header");

    for (std::size_t size = 0; size < good.size(); size += (size < 8240 ? 53 : 1)) {
        EXPECT_NE(LoadError(path, test::Slice(good, 0, size)), "") << "size " << size;
    }
}

TEST(Fce4File, SettersWriteTheirFieldsAndSaveChecksTheArrays) {
    test::ScratchDir dir;
    Fce4File mesh(dir.File("set.fce"));
    mesh.Reset();
    mesh.SetVertexCount(1);
    mesh.SetTriangleCount(1);
    mesh.SetPartName(3, std::string(64, 'q'));
    mesh.SetPartName(3, "ab");  // a shorter name clears the rest of the slot
    mesh.SetPartName(4, std::string(64, 'r'));
    EXPECT_THROW(mesh.SetPartName(5, std::string(65, 's')), std::length_error);
    mesh.SetColour(15, 3, 0x99);
    mesh.SetSecondColour(0, 0, 0x98);

    // Arrays still empty: the counts ask for more.
    try {
        mesh.Save();
        FAIL() << "saved arrays that disagree with the counts";
    } catch (const FormatError& e) {
        EXPECT_EQ(
            std::string(e.what()),
            dir.File("set.fce") + ": array vertices holds 0 bytes but vertexCount asks for 12");
    }
    EXPECT_FALSE(test::Exists(dir.File("set.fce")));

    const std::array<Bytes, 14> arrays = test::Fce4Arrays(1, 1);
    for (int i = 0; i < Fce4File::kArrayCount; ++i) {
        mesh.SetArrayBytes(static_cast<Fce4File::ArrayId>(i), arrays[i]);
    }
    mesh.Save();
    const Bytes written = test::ReadFile(dir.File("set.fce"));
    ASSERT_EQ(written.size(), 8248u + 140 + 68);
    EXPECT_EQ(test::GetCString(written, 0x0E28 + 3 * 64, 64), "ab");
    EXPECT_EQ(test::Slice(written, 0x0E28 + 3 * 64 + 2, 62), Bytes(62, 0));
    EXPECT_EQ(test::Slice(written, 0x0E28 + 4 * 64, 64), Bytes(64, 'r'));
    EXPECT_EQ(written[0x0824 + 63], 0x99);
    EXPECT_EQ(written[0x08A4], 0x98);
    // Offsets are written packed even though nobody set them.
    EXPECT_EQ(test::GetI32le(written, 0x0018), 12);
    EXPECT_EQ(test::GetI32le(written, 0x0048), 140 + 56);
    EXPECT_EQ(test::Slice(written, 8248 + 140 + 56, 12), arrays[13]);
}

TEST(Fce4File, PackedOffsetsMustFitAFile) {
    Fce4File mesh("huge.fce");
    mesh.Reset();
    mesh.SetVertexCount(16'000'000);  // 140 bytes each: 2.24 GB
    EXPECT_THROW(mesh.UsePackedOffsets(), FormatError);
    EXPECT_EQ(mesh.ArrayOffset(Fce4File::kNormals), 0);
    mesh.SetVertexCount(8'000'000);
    mesh.UsePackedOffsets();
    EXPECT_EQ(mesh.ArrayOffset(Fce4File::kNormals), 12 * 8'000'000);
    EXPECT_EQ(mesh.ArrayOffset(Fce4File::kTriangleExtra), 140 * 8'000'000);
    mesh.SetTriangleCount(-1);
    EXPECT_THROW(mesh.UsePackedOffsets(), FormatError);
}

TEST(Fce4File, VersionMarkIsTheColonAt3624) {
    Bytes bytes(3624, ':');
    EXPECT_FALSE(Fce4File::HasVersionMark(bytes));
    bytes.push_back(':');
    EXPECT_TRUE(Fce4File::HasVersionMark(bytes));
    bytes[3624] = ';';
    EXPECT_FALSE(Fce4File::HasVersionMark(bytes));
    EXPECT_TRUE(Fce4File::HasVersionMark(test::Fce4PackedMesh(0, 0)));
}

}  // namespace
}  // namespace carconv
