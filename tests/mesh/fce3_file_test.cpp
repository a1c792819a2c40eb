#include "mesh/fce3_file.h"

#include <gtest/gtest.h>

#include <string>

#include "files/errors.h"
#include "mesh/mesh_bytes.h"
#include "support/test_util.h"

namespace carconv {
namespace {

using test::Bytes;

// Loads `bytes` written to `file`; returns the error text, or "" when it loaded.
std::string LoadError(const std::string& file, const Bytes& bytes) {
    test::WriteFile(file, bytes);
    Fce3File mesh(file);
    try {
        mesh.Load();
    } catch (const FormatError& e) {
        return e.what();
    }
    return "";
}

TEST(Fce3File, LoadsHeaderFieldsAndPackedArrays) {
    test::ScratchDir dir;
    const Bytes file = test::Fce3Mesh(3, 2, /*packed=*/true);
    ASSERT_EQ(file.size(), 7940u + 80 * 3 + 56 * 2);
    test::WriteFile(dir.File("car.fce"), file);

    Fce3File mesh(dir.File("car.fce"));
    EXPECT_EQ(mesh.typeTag, "FCE3");
    EXPECT_EQ(mesh.Load(), 1);
    EXPECT_EQ(mesh.length, static_cast<std::int32_t>(file.size()));
    EXPECT_EQ(mesh.TriangleCount(), 2);
    EXPECT_EQ(mesh.VertexCount(), 3);
    EXPECT_EQ(mesh.AuxiliaryCount(), 123456789);
    EXPECT_EQ(mesh.ArrayOffset(Fce3File::kReserve3), 68 * 3 + 56 * 2);
    EXPECT_EQ(mesh.Extent(0), -5);
    EXPECT_EQ(mesh.Extent(2), 0x01020304);
    EXPECT_EQ(mesh.MarkerCount(), 3);
    EXPECT_EQ(mesh.PartCount(), 5);
    EXPECT_EQ(mesh.ColourCount(), 2);
    EXPECT_EQ(mesh.UsedPartSlots(), 5);
    EXPECT_EQ(mesh.PartFirstVertex(63), 1063);
    EXPECT_EQ(mesh.PartTriangleCount(4), -5);
    EXPECT_EQ(mesh.Colour(0, 1), 256);
    EXPECT_EQ(mesh.Colour(0, 2), -1);
    EXPECT_EQ(mesh.PartName(12), "Spoiler_MixedCASE");
    EXPECT_EQ(mesh.PartName(14).size(), 64u);
    EXPECT_EQ(mesh.PartName(16), "Name");
    EXPECT_EQ(mesh.MarkerName(2), "Marker2");
    EXPECT_EQ(Bytes(mesh.MarkerPosition(1).begin(), mesh.MarkerPosition(1).end()),
              test::Pattern(12, 13));
    EXPECT_EQ(Bytes(mesh.Header().begin(), mesh.Header().end()), test::Slice(file, 0, 7940));
    EXPECT_THROW(mesh.PartName(64), std::out_of_range);

    const std::array<Bytes, 6> arrays = test::Fce3Arrays(3, 2);
    for (int i = 0; i < Fce3File::kArrayCount; ++i) {
        EXPECT_EQ(mesh.ArrayBytes(static_cast<Fce3File::ArrayId>(i)), arrays[i]) << "array " << i;
    }
}

TEST(Fce3File, LoadsEachArrayFromItsOwnOffset) {
    test::ScratchDir dir;
    test::WriteFile(dir.File("car.fce"), test::Fce3Mesh(2, 3, /*packed=*/false));
    Fce3File mesh(dir.File("car.fce"));
    mesh.Load();
    const std::array<Bytes, 6> arrays = test::Fce3Arrays(2, 3);
    for (int i = 0; i < Fce3File::kArrayCount; ++i) {
        EXPECT_EQ(mesh.ArrayBytes(static_cast<Fce3File::ArrayId>(i)), arrays[i]) << "array " << i;
    }
    // reserve3 comes first, after a 3-byte gap.
    EXPECT_EQ(mesh.ArrayOffset(Fce3File::kReserve3), 3);
}

TEST(Fce3File, EmptyMeshAndReset) {
    test::ScratchDir dir;
    test::WriteFile(dir.File("car.fce"), test::Fce3Mesh(0, 0, /*packed=*/true));
    Fce3File mesh(dir.File("car.fce"));
    mesh.Load();
    EXPECT_EQ(mesh.length, 7940);
    EXPECT_EQ(mesh.PartCount(), 5);
    EXPECT_TRUE(mesh.ArrayBytes(Fce3File::kTriangles).empty());

    test::WriteFile(dir.File("big.fce"), test::Fce3Mesh(1, 1, /*packed=*/true));
    mesh.path = dir.File("big.fce");
    mesh.Load();
    EXPECT_EQ(mesh.Reset(), 1);
    EXPECT_EQ(mesh.VertexCount(), 0);
    EXPECT_EQ(mesh.PartName(0), "");
    for (int i = 0; i < Fce3File::kArrayCount; ++i) {
        EXPECT_TRUE(mesh.ArrayBytes(static_cast<Fce3File::ArrayId>(i)).empty());
    }
}

TEST(Fce3File, SaveWritesNothing) {
    test::ScratchDir dir;
    const Bytes file = test::Fce3Mesh(1, 1, /*packed=*/false);
    test::WriteFile(dir.File("car.fce"), file);
    Fce3File mesh(dir.File("car.fce"));
    mesh.Load();
    EXPECT_EQ(mesh.SaveAs(dir.File("other.fce")), 1);
    EXPECT_EQ(mesh.Save(), 1);
    EXPECT_FALSE(test::Exists(dir.File("other.fce")));
    EXPECT_EQ(test::ReadFile(dir.File("car.fce")), file);
}

TEST(Fce3File, RefusesNegativeNumbersAndArraysPastTheEnd) {
    test::ScratchDir dir;
    const std::string path = dir.File("car.fce");
    const Bytes good = test::Fce3Mesh(2, 1, /*packed=*/true);  // 7940 + 160 + 56 = 8156 bytes

    Bytes bytes = good;
    bytes[0x08] = bytes[0x09] = bytes[0x0A] = bytes[0x0B] = 0xFF;  // vertexCount -1
    EXPECT_EQ(LoadError(path, bytes),
              path + ": array vertices: vertexCount is negative (-1) at offset 0x8");

    bytes = good;
    bytes[0x07] = 0x80;  // triangleCount with the sign bit set
    EXPECT_EQ(LoadError(path, bytes),
              path + ": array triangles: triangleCount is negative (-2147483647) at offset 0x4");

    bytes = good;
    bytes[0x20] = 0xF4;
    bytes[0x21] = bytes[0x22] = bytes[0x23] = 0xFF;  // reserve2Offset -12
    EXPECT_EQ(LoadError(path, bytes),
              path + ": array reserve2: reserve2Offset is negative (-12) at offset 0x20");

    bytes = good;
    bytes[0x18] = 0xA1;  // triangleOffset 161: the array ends one byte past the file
    EXPECT_EQ(LoadError(path, bytes),
              path +
                  ": array triangles (1 records of 56 bytes) needs bytes [0x1fa5, 0x1fdd) but "
                  "the file ends at 0x1fdc");

    // A count the file cannot back is refused before anything is allocated for it.
    bytes = good;
    bytes[0x08] = bytes[0x09] = bytes[0x0A] = 0xFF;
    bytes[0x0B] = 0x7F;  // vertexCount 2^31 - 1
    EXPECT_EQ(LoadError(path, bytes),
              path +
                  ": array vertices (2147483647 records of 12 bytes) needs bytes [0x1f04, "
                  "0x600001ef8) but the file ends at 0x1fdc");

    bytes = good;
    bytes[0x1C] = 0xFF;
    bytes[0x1D] = bytes[0x1E] = 0xFF;
    bytes[0x1F] = 0x7F;  // reserve1Offset 2^31 - 1
    EXPECT_NE(LoadError(path, bytes).find("array reserve1 (2 records of 32 bytes)"),
              std::string::npos);

    EXPECT_EQ(LoadError(path, test::Slice(good, 0, 7939)),
              path + ": file of 7939 bytes is shorter than the 7940-byte mesh header");
}

TEST(Fce3File, EveryTruncationFailsCleanly) {
    test::ScratchDir dir;
    const std::string path = dir.File("car.fce");
    const Bytes good = test::Fce3Mesh(1, 1, /*packed=*/true);
    for (std::size_t size = 0; size < good.size(); size += (size < 7930 ? 61 : 1)) {
        EXPECT_NE(LoadError(path, test::Slice(good, 0, size)), "") << "size " << size;
    }
    EXPECT_EQ(LoadError(path, good), "");
}

TEST(Fce3File, FailedLoadKeepsThePreviousMesh) {
    test::ScratchDir dir;
    test::WriteFile(dir.File("good.fce"), test::Fce3Mesh(2, 1, /*packed=*/true));
    Bytes bad = test::Fce3Mesh(1, 1, /*packed=*/true);
    bad.resize(bad.size() - 1);
    test::WriteFile(dir.File("bad.fce"), bad);

    Fce3File mesh(dir.File("good.fce"));
    mesh.Load();
    mesh.path = dir.File("bad.fce");
    EXPECT_THROW(mesh.Load(), FormatError);
    EXPECT_EQ(mesh.VertexCount(), 2);
    EXPECT_EQ(mesh.length, 7940 + 160 + 56);
    EXPECT_EQ(mesh.ArrayBytes(Fce3File::kReserve1), test::Pattern(64, 0x50));

    mesh.path = dir.File("missing.fce");
    EXPECT_THROW(mesh.Load(), IoError);
}

}  // namespace
}  // namespace carconv
