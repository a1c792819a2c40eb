#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "app/stage.h"
#include "files/errors.h"
#include "files/file_list.h"
#include "mesh/fce3_file.h"
#include "mesh/fce4_file.h"
#include "mesh/mesh_bytes.h"
#include "mesh/mesh_stage.h"
#include "support/packages.h"
#include "support/stage_run.h"
#include "support/test_util.h"

namespace carconv {
namespace {

using test::Bytes;
using test::GetI32le;
using test::Slice;

// Converts `source` (a version-3 file) and returns the written version-4 file.
Bytes Convert(const test::ScratchDir& dir, const Bytes& source) {
    test::WriteFile(dir.File("v3.fce"), source);
    Fce3File mesh(dir.File("v3.fce"));
    mesh.Load();
    EXPECT_EQ(mesh.ConvertToFce4(dir.File("v4.fce")), 1);
    return test::ReadFile(dir.File("v4.fce"));
}

// The expected content of a converted part name slot.
Bytes NameSlot(const std::string& name) {
    Bytes slot(64, 0);
    std::copy(name.begin(), name.end(), slot.begin());
    return slot;
}

TEST(MeshConversion, WritesEveryFieldAtItsOffset) {
    test::ScratchDir dir;
    const int v = 3;
    const int t = 2;
    const Bytes source = test::Fce3Mesh(v, t, /*packed=*/false);
    const Bytes out = Convert(dir, source);
    ASSERT_EQ(out.size(), static_cast<std::size_t>(8248 + 140 * v + 68 * t));

    EXPECT_EQ(Slice(out, 0x0000, 4), (Bytes{0x14, 0x10, 0x10, 0x00}));  // leading word
    EXPECT_EQ(GetI32le(out, 0x0004), 0);                                // reserved
    EXPECT_EQ(GetI32le(out, 0x0008), t);                                // triangleCount
    EXPECT_EQ(GetI32le(out, 0x000C), v);                                // vertexCount
    EXPECT_EQ(GetI32le(out, 0x0010), 123456789);                        // auxiliaryCount

    // The packed offsets, although the source's arrays lay in reverse order with gaps.
    EXPECT_EQ(GetI32le(out, 0x0014), 0);                 // vertexOffset
    EXPECT_EQ(GetI32le(out, 0x0018), 12 * v);            // normalOffset
    EXPECT_EQ(GetI32le(out, 0x001C), 24 * v);            // triangleOffset
    EXPECT_EQ(GetI32le(out, 0x0020), 24 * v + 56 * t);   // reserve1Offset
    EXPECT_EQ(GetI32le(out, 0x0024), 56 * v + 56 * t);   // reserve2Offset
    EXPECT_EQ(GetI32le(out, 0x0028), 68 * v + 56 * t);   // reserve3Offset
    EXPECT_EQ(GetI32le(out, 0x002C), 80 * v + 56 * t);   // vertices2Offset
    EXPECT_EQ(GetI32le(out, 0x0030), 92 * v + 56 * t);   // normals2Offset
    EXPECT_EQ(GetI32le(out, 0x0034), 104 * v + 56 * t);  // vertices3Offset
    EXPECT_EQ(GetI32le(out, 0x0038), 116 * v + 56 * t);  // normals3Offset
    EXPECT_EQ(GetI32le(out, 0x003C), 128 * v + 56 * t);  // vertexWords1Offset
    EXPECT_EQ(GetI32le(out, 0x0040), 132 * v + 56 * t);  // vertexWords2Offset
    EXPECT_EQ(GetI32le(out, 0x0044), 136 * v + 56 * t);  // vertexWords3Offset
    EXPECT_EQ(GetI32le(out, 0x0048), 140 * v + 56 * t);  // triangleExtraOffset

    EXPECT_EQ(GetI32le(out, 0x004C), -5);  // extent
    EXPECT_EQ(GetI32le(out, 0x0050), 100000);
    EXPECT_EQ(GetI32le(out, 0x0054), 0x01020304);
    EXPECT_EQ(GetI32le(out, 0x0058), 3);                             // markerCount
    EXPECT_EQ(Slice(out, 0x005C, 192), Slice(source, 0x0038, 192));  // markerPositions, all 16
    EXPECT_EQ(GetI32le(out, 0x011C), 5);                             // partCount
    EXPECT_EQ(Slice(out, 0x0120, 768), Slice(source, 0x00FC, 768));  // partPositions, all 64
    for (int p = 0; p < 64; ++p) {
        EXPECT_EQ(GetI32le(out, 0x0420 + 4 * p), 1000 + p);  // partFirstVertex
        EXPECT_EQ(GetI32le(out, 0x0520 + 4 * p), 2000 + p);  // partVertexCount
        EXPECT_EQ(GetI32le(out, 0x0620 + 4 * p), 3000 + p);  // partFirstTriangle
        EXPECT_EQ(GetI32le(out, 0x0720 + 4 * p), -1 - p);    // partTriangleCount
    }

    EXPECT_EQ(GetI32le(out, 0x0820), 2);  // colourCount
    const Bytes firstColour = {255, 0, 255, 0x78};
    EXPECT_EQ(Slice(out, 0x0824, 4), firstColour);
    EXPECT_EQ(Slice(out, 0x08A4, 4), firstColour);
    for (int c = 1; c < 16; ++c) {
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(out[0x0824 + 4 * c + k], c * 16 + k) << "colour " << c << "." << k;
            EXPECT_EQ(out[0x08A4 + 4 * c + k], c * 16 + k) << "second colour " << c << "." << k;
        }
    }
    EXPECT_EQ(Slice(out, 0x0864, 64), Bytes(64, 0));    // reserved
    EXPECT_EQ(Slice(out, 0x08E4, 324), Bytes(324, 0));  // reserved
    EXPECT_EQ(Slice(out, 0x1E28, 528), Bytes(528, 0));  // reserved

    // markerNames: all 16 slots verbatim, bytes after the terminators included.
    EXPECT_EQ(Slice(out, 0x0A28, 1024), Slice(source, 0x0A04, 1024));

    const std::vector<std::string> fixed = {":HB",   ":HLFW", ":HRFW", ":HLRW", ":HRRW", ":MB",
                                            ":MLFW", ":MRFW", ":MLRW", ":MRRW", ":LB",   ":TB"};
    for (int p = 0; p < 12; ++p) {
        EXPECT_EQ(Slice(out, 0x0E28 + 64 * p, 64), NameSlot(fixed[p])) << "part " << p;
    }
    auto part = [&](int p) { return Slice(out, 0x0E28 + 64 * p, 64); };
    EXPECT_EQ(part(12), NameSlot("spoiler_mixedcase"));
    EXPECT_EQ(part(13), NameSlot(std::string(62, 'a') + "z"));  // 63 characters and the NUL
    EXPECT_EQ(part(14), NameSlot("full" + std::string(56, 'x') + "wxyz"));  // 64, no NUL
    EXPECT_EQ(part(15), Bytes(64, 0));                                      // empty name
    EXPECT_EQ(part(16), NameSlot("name"));  // what followed the source's NUL is dropped
    EXPECT_EQ(part(17), NameSlot("@az[`az{\xC4\xD6"));
    EXPECT_EQ(part(18), NameSlot("part_18"));
    EXPECT_EQ(part(63), NameSlot("last"));

    // The arrays, packed, from where they lay in the source.
    const std::array<Bytes, 6> in = test::Fce3Arrays(v, t);
    std::size_t at = 8248;
    auto next = [&](std::size_t size) {
        Bytes b = Slice(out, at, size);
        at += size;
        return b;
    };
    EXPECT_EQ(next(12 * v), in[0]);             // vertices
    EXPECT_EQ(next(12 * v), in[1]);             // normals
    EXPECT_EQ(next(56 * t), in[2]);             // triangles
    EXPECT_EQ(next(32 * v), in[3]);             // reserve1
    EXPECT_EQ(next(12 * v), in[4]);             // reserve2
    EXPECT_EQ(next(12 * v), in[5]);             // reserve3
    EXPECT_EQ(next(12 * v), in[0]);             // vertices2
    EXPECT_EQ(next(12 * v), in[1]);             // normals2
    EXPECT_EQ(next(12 * v), in[0]);             // vertices3
    EXPECT_EQ(next(12 * v), in[1]);             // normals3
    EXPECT_EQ(next(4 * v), Bytes(4 * v, 0));    // vertexWords1
    EXPECT_EQ(next(4 * v), Bytes(4 * v, 0));    // vertexWords2
    EXPECT_EQ(next(4 * v), Bytes(4 * v, 0));    // vertexWords3
    EXPECT_EQ(next(12 * t), Bytes(12 * t, 0));  // triangleExtra
    EXPECT_EQ(at, out.size());
}

TEST(MeshConversion, PackedAndEmptySources) {
    test::ScratchDir dir;
    // A packed and an unpacked source convert to the same file.
    EXPECT_EQ(Convert(dir, test::Fce3Mesh(2, 5, /*packed=*/true)),
              Convert(dir, test::Fce3Mesh(2, 5, /*packed=*/false)));

    const Bytes empty = Convert(dir, test::Fce3Mesh(0, 0, /*packed=*/true));
    ASSERT_EQ(empty.size(), 8248u);
    for (std::size_t at = 0x0014; at <= 0x0048; at += 4)
        EXPECT_EQ(GetI32le(empty, at), 0);
    EXPECT_EQ(test::GetCString(empty, 0x0E28, 64), ":HB");

    // The result loads as a version-4 mesh and rewrites itself unchanged; the source is intact.
    const Bytes source = test::Fce3Mesh(4, 3, /*packed=*/false);
    const Bytes converted = Convert(dir, source);
    EXPECT_EQ(test::ReadFile(dir.File("v3.fce")), source);
    Fce4File mesh(dir.File("v4.fce"));
    mesh.Load();
    EXPECT_EQ(mesh.length, static_cast<std::int32_t>(converted.size()));
    EXPECT_EQ(mesh.PartName(12), "spoiler_mixedcase");
    mesh.Save();
    EXPECT_EQ(test::ReadFile(dir.File("v4.fce")), converted);
}

TEST(MeshConversion, ConvertLeavesTheSourceObjectUnchanged) {
    test::ScratchDir dir;
    const Bytes source = test::Fce3Mesh(1, 1, /*packed=*/true);
    test::WriteFile(dir.File("v3.fce"), source);
    Fce3File mesh(dir.File("v3.fce"));
    mesh.Load();
    mesh.ConvertToFce4(dir.File("a.fce"));
    EXPECT_EQ(Bytes(mesh.Header().begin(), mesh.Header().end()), Slice(source, 0, 7940));
    EXPECT_EQ(mesh.ArrayBytes(Fce3File::kVertices), test::Pattern(12, 0x10));
    mesh.ConvertToFce4(dir.File("b.fce"));
    EXPECT_EQ(test::ReadFile(dir.File("a.fce")), test::ReadFile(dir.File("b.fce")));
}

// The streamed conversion of a loaded file against the in-memory one of the same bytes, with array
// bytes that never repeat, so that a piece written at another piece's place shows; the large shape
// has arrays of several pieces. `cutAfterLoad` bytes are cut off the file between Load and the
// conversion, which must then fail as Parse fails on the cut bytes, and write nothing.
TEST(MeshConversion, StreamedConversionWritesTheBytesOfTheInMemoryOne) {
    struct Shape {
        const char* name;
        std::int32_t vertices, triangles;
        bool packed;
        std::size_t cutAfterLoad;
    };
    const Shape shapes[] = {
        {"empty", 0, 0, true, 0},          {"no vertices", 0, 3, false, 0},
        {"small", 3, 2, false, 0},         {"several pieces", 100000, 30000, false, 0},
        {"cut after load", 3, 2, true, 1},
    };
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(shape.name);
        test::ScratchDir dir;
        Bytes source = test::Fce3Mesh(shape.vertices, shape.triangles, shape.packed);
        std::uint32_t state = 12345;
        for (std::size_t i = 7940; i < source.size(); ++i) {
            state = state * 1103515245u + 12345u;
            source[i] = static_cast<std::uint8_t>(state >> 24);
        }
        const std::string path = dir.File("v3.fce");
        test::WriteFile(path, source);
        Fce3File streamed(path);
        streamed.Load();
        source.resize(source.size() - shape.cutAfterLoad);
        test::WriteFile(path, source);

        const auto formatError = [](const auto& run) {
            try {
                run();
            } catch (const FormatError& e) {
                return std::string(e.what());
            }
            return std::string();
        };
        Fce3File inMemory(path);
        const std::string parseError = formatError([&]() { inMemory.Parse(source); });
        const std::string target = dir.File("v4.fce");
        const std::string streamError = formatError([&]() { streamed.ConvertToFce4(target); });
        Bytes held;
        EXPECT_EQ(formatError([&]() { held = streamed.Fce4Bytes(target); }), parseError);
        EXPECT_EQ(streamError, parseError);
        if (shape.cutAfterLoad > 0) {
            EXPECT_NE(streamError, "");
            EXPECT_EQ(test::ListNames(dir.Path()), std::vector<std::string>{"v3.fce"});
        } else {
            const Bytes expected = inMemory.ToFce4(target)->Serialize(target);
            EXPECT_EQ(test::ReadFile(target), expected);
            EXPECT_EQ(held, expected) << "built in memory the way it is streamed";
            EXPECT_EQ(streamed.Fce4Size(target), expected.size());
        }
    }
}

using StageRun = test::StageRun;

TEST(MeshStage, ConvertsCopiesAndAppendsFourMeshes) {
    StageRun run;
    run.context.heldMemberLimit = 0;  // working files, as for a mesh too large to hold
    const Bytes source = test::Fce3Mesh(2, 3, /*packed=*/false);
    test::WriteFile(run.in.File("car.fce"), source);

    RunMeshStage(run.Context());

    const Bytes converted = test::ReadFile(run.out.File("car.fce"));
    EXPECT_EQ(converted.size(), 8248u + 140 * 2 + 68 * 3);
    EXPECT_EQ(test::ListNames(run.out.Path()),
              (std::vector<std::string>{"car.fce", "car1.fce", "car2.fce", "car3.fce"}));
    const std::vector<std::string> names = {"car.fce", "car1.fce", "car2.fce", "car3.fce"};
    ASSERT_EQ(run.members.GetSize(), 4);
    for (int i = 0; i < 4; ++i) {
        GameFile& member = run.members.ElementAt(i);
        EXPECT_EQ(member.GetFileName(), names[i]);
        EXPECT_EQ(member.typeTag, "FCE4");
        EXPECT_EQ(member.length, static_cast<std::int32_t>(converted.size()));
        EXPECT_EQ(test::ReadFile(run.out.File(names[i])), converted) << names[i];
    }
    // The version-3 source and the four meshes are kept for the rest of the run.
    ASSERT_EQ(run.objects.size(), 5u);
    EXPECT_EQ(run.objects[0]->typeTag, "FCE3");
    EXPECT_EQ(run.objects[1].get(), &run.members.ElementAt(0));

    // Packing saves every member first: the rewrite changes nothing.
    for (int i = 0; i < 4; ++i)
        run.members.ElementAt(i).Save();
    for (const std::string& name : names) {
        EXPECT_EQ(test::ReadFile(run.out.File(name)), converted) << name;
    }
    EXPECT_EQ(test::ReadFile(run.in.File("car.fce")), source);
}

TEST(MeshStage, RefusesAVersion4InputAndWritesNothing) {
    StageRun run;
    test::WriteFile(run.in.File("car.fce"), test::Fce4PackedMesh(1, 1));
    try {
        RunMeshStage(run.Context());
        FAIL() << "converted a version-4 mesh";
    } catch (const CarconvError& e) {
        EXPECT_STREQ(e.what(), "car.fce is already a version-4 mesh");
    }
    EXPECT_TRUE(test::ListNames(run.out.Path()).empty());
    EXPECT_EQ(run.members.GetSize(), 0);

    // A version-3 mesh whose part name 0 starts with ':' (at its own position) is converted.
    Bytes v3 = test::Fce3Mesh(1, 1, /*packed=*/true);
    v3[0x0E04] = ':';
    test::WriteFile(run.in.File("car.fce"), v3);
    RunMeshStage(run.Context());
    EXPECT_EQ(run.members.GetSize(), 4);
}

TEST(MeshStage, AVersion3MeshIsNotTakenForVersion4ByItsByte3624Alone) {
    // Byte 3624 is the 37th character of part name 0 in the version-3 layout.
    const std::string longName = std::string(36, 'B') + ":Body";
    Bytes named = test::Fce3Mesh(2, 3, /*packed=*/true);
    std::copy(longName.begin(), longName.end(), named.begin() + 0x0E04);
    ASSERT_EQ(named[3624], ':');
    // The same with the version-4 leading word: its counts do not fit the version-4 layout.
    Bytes leading = named;
    const std::array<std::uint8_t, 4> word = {0x14, 0x10, 0x10, 0x00};
    std::copy(word.begin(), word.end(), leading.begin());
    // A version-4 mesh but for its leading word: an empty version-3 mesh whose part 0 is named
    // ":HB" from its 37th character on.
    Bytes wordless = test::EmptyFce4();
    std::fill(wordless.begin(), wordless.begin() + 4, std::uint8_t{0});

    for (const Bytes& source : {named, leading, wordless}) {
        StageRun run;
        test::WriteFile(run.in.File("car.fce"), source);
        ASSERT_NO_THROW(RunMeshStage(run.Context()));
        ASSERT_EQ(run.members.GetSize(), 4);
        const Bytes converted = run.Packed().at(0).second;
        EXPECT_EQ(test::GetCString(converted, 3624, 64), ":HB");
        EXPECT_EQ(converted.size(),
                  8248u + 140 * test::GetU32le(source, 8) + 68 * test::GetU32le(source, 4))
            << "a version-3 mesh of the source's counts";
    }
}

TEST(MeshStage, MissingOrBrokenInputFails) {
    StageRun run;
    try {
        RunMeshStage(run.Context());
        ADD_FAILURE() << "a package without a mesh converted";
    } catch (const CarconvError& e) {
        EXPECT_STREQ(e.what(), "in.viv has no member car.fce");
    }

    Bytes broken = test::Fce3Mesh(1, 1, /*packed=*/true);
    broken.resize(broken.size() - 1);
    test::WriteFile(run.in.File("car.fce"), broken);
    EXPECT_THROW(RunMeshStage(run.Context()), FormatError);
    EXPECT_TRUE(test::ListNames(run.out.Path()).empty());
    EXPECT_EQ(run.members.GetSize(), 0);
}

}  // namespace
}  // namespace carconv
