// Loaded meshes keep only their header in memory and read their arrays again from the file they
// loaded; a packed, unchanged version-4 mesh is left alone when saved to its own file.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "files/errors.h"
#include "mesh/fce3_file.h"
#include "mesh/fce4_file.h"
#include "mesh/mesh_bytes.h"
#include "platform/file_system.h"
#include "support/test_util.h"

namespace carconv {
namespace {

using test::Bytes;

ino_t Inode(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return st.st_ino;
}

TEST(MeshFileMemory, PackedUnchangedVersion4MeshIsLeftAloneAndChangesAreWritten) {
    test::ScratchDir dir;
    const Bytes packed = test::Fce4PackedMesh(3, 2);
    test::WriteFile(dir.File("a.fce"), packed);
    const ino_t before = Inode(dir.File("a.fce"));

    Fce4File mesh(dir.File("a.fce"));
    mesh.Load();
    EXPECT_EQ(mesh.length, static_cast<std::int32_t>(packed.size()));
    mesh.SaveAs(dir.File("a.fce"));
    EXPECT_EQ(Inode(dir.File("a.fce")), before);  // not rewritten
    EXPECT_EQ(test::ReadFile(dir.File("a.fce")), packed);

    // Saved elsewhere: the arrays are read again from the loaded file.
    mesh.SaveAs(dir.File("b.fce"));
    EXPECT_EQ(test::ReadFile(dir.File("b.fce")), packed);
    const auto arrays = test::Fce4Arrays(3, 2);
    EXPECT_EQ(mesh.ArrayBytes(Fce4File::kTriangleExtra), arrays[13]);

    // A change: the own file is written again, extent 0 at 0x004C.
    mesh.SetExtent(0, 0x01020304);
    mesh.SaveAs(dir.File("a.fce"));
    const Bytes changed = test::ReadFile(dir.File("a.fce"));
    ASSERT_EQ(changed.size(), packed.size());
    EXPECT_EQ(test::GetU32le(changed, 0x4C), 0x01020304u);
    EXPECT_EQ(test::Slice(changed, 0x50, changed.size() - 0x50),
              test::Slice(packed, 0x50, packed.size() - 0x50));

    // An unpacked file (one trailing byte) is rewritten packed even without a change.
    Bytes trailing = packed;
    trailing.push_back(0xEE);
    test::WriteFile(dir.File("c.fce"), trailing);
    Fce4File other(dir.File("c.fce"));
    other.Load();
    EXPECT_EQ(other.length, static_cast<std::int32_t>(trailing.size()));
    other.Save();
    EXPECT_EQ(test::ReadFile(dir.File("c.fce")), packed);
    EXPECT_EQ(other.length, static_cast<std::int32_t>(packed.size()));
}

TEST(MeshFileMemory, ArraysComeFromTheLoadedFileAndAChangedFileIsRefused) {
    test::ScratchDir dir;
    test::WriteFile(dir.File("m3.fce"), test::Fce3Mesh(2, 1, /*packed=*/false));
    Fce3File mesh3(dir.File("m3.fce"));
    mesh3.Load();
    // A changed count in the file: its header no longer matches what was loaded.
    Bytes edited = test::Fce3Mesh(2, 1, false);
    edited[8] = 1;  // vertexCount
    test::WriteFile(dir.File("m3.fce"), edited);
    EXPECT_THROW(mesh3.ConvertToFce4(dir.File("out.fce")), FormatError);
    EXPECT_FALSE(test::Exists(dir.File("out.fce")));
    std::filesystem::remove(dir.File("m3.fce"));
    EXPECT_THROW(mesh3.ArrayBytes(Fce3File::kVertices), IoError);

    // Loaded, then the file is cut short: the arrays cannot be read again.
    const Bytes packed = test::Fce4PackedMesh(2, 1);
    test::WriteFile(dir.File("m4.fce"), packed);
    Fce4File mesh4(dir.File("m4.fce"));
    mesh4.Load();
    test::WriteFile(dir.File("m4.fce"), test::Slice(packed, 0, packed.size() - 1));
    EXPECT_THROW(mesh4.SaveAs(dir.File("copy.fce")), FormatError);
    EXPECT_THROW(mesh4.SetVertexCount(2), FormatError);

    // Once in memory, the arrays no longer depend on the file.
    test::WriteFile(dir.File("m5.fce"), packed);
    Fce4File mesh5(dir.File("m5.fce"));
    mesh5.Load();
    const Bytes vertices = mesh5.ArrayBytes(Fce4File::kVertices);
    EXPECT_EQ(vertices, test::Fce4Arrays(2, 1)[0]);
    std::filesystem::remove(dir.File("m5.fce"));
    mesh5.SaveAs(dir.File("m6.fce"));
    EXPECT_EQ(test::ReadFile(dir.File("m6.fce")), packed);
}

#ifdef __linux__
// Starts this process's peak resident memory afresh from what it holds now; false where the
// kernel does not offer it.
bool RestartPeakMemory() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

// This process's peak resident memory, in KiB.
long PeakMemoryKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return -1;
}

TEST(MeshFileMemory, ConversionHoldsNeitherMeshWhole) {
    test::ScratchDir dir;
    // 54 MB in the version-3 layout, 83 MB in the version-4 one.
    test::WriteFile(dir.File("v3.fce"), test::Fce3Mesh(400000, 400000, /*packed=*/false));
    Fce3File mesh(dir.File("v3.fce"));
    mesh.Load();
    if (!RestartPeakMemory())
        GTEST_SKIP() << "the peak memory cannot be restarted here";
    const long before = PeakMemoryKiB();
    mesh.ConvertToFce4(dir.File("v4.fce"));
    EXPECT_LT(PeakMemoryKiB() - before, 8 * 1024);
    EXPECT_EQ(std::filesystem::file_size(dir.File("v4.fce")), 8248u + 140u * 400000 + 68u * 400000);
}
#endif

TEST(FileSystem, PrefixAndPiecesReadTheFileAsItIs) {
    test::ScratchDir dir;
    const Bytes big = test::Pattern((5u << 19) + 3, 7);  // two and a half pieces and a bit
    test::WriteFile(dir.File("big"), big);
    Bytes joined;
    int calls = 0;
    const std::int64_t total = ReadFileInPieces(dir.File("big"), [&](ByteSpan piece) {
        EXPECT_LE(piece.size(), 1u << 20);
        joined.insert(joined.end(), piece.begin(), piece.end());
        ++calls;
    });
    EXPECT_EQ(total, static_cast<std::int64_t>(big.size()));
    EXPECT_EQ(joined, big);
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(ReadFilePrefix(dir.File("big"), 4), test::Slice(big, 0, 4));
    test::WriteFile(dir.File("short"), Bytes{1, 2});
    EXPECT_EQ(ReadFilePrefix(dir.File("short"), 10), (Bytes{1, 2}));
    test::WriteFile(dir.File("empty"), Bytes{});
    EXPECT_EQ(ReadFileInPieces(dir.File("empty"), [](ByteSpan) { ADD_FAILURE(); }), 0);
    EXPECT_THROW(ReadFilePrefix(dir.File("missing"), 1), IoError);
    EXPECT_THROW(ReadFileInPieces(dir.File("missing"), [](ByteSpan) {}), IoError);
}

}  // namespace
}  // namespace carconv
