// Previews drawn from packages and meshes that the sample generator lays out on its own, and read
// back with an independent PNG decoder.

#include "preview/car_preview.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "app/converter_app.h"
#include "files/errors.h"
#include "files/warnings.h"
#include "sample_cars.h"
#include "sample_formats.h"
#include "support/packages.h"
#include "support/test_util.h"

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

namespace carconv {
namespace {

using test::Bytes;
using test::Q;
using test::ReadFile;
using test::RunCarconv;
using test::ScratchDir;

struct Decoded {
    int width = 0, height = 0;
    Bytes rgba;  // rows from the top
};

Decoded DecodePng(const Bytes& png) {
    int width = 0, height = 0, channels = 0;
    stbi_uc* data = stbi_load_from_memory(png.data(), static_cast<int>(png.size()), &width, &height,
                                          &channels, 4);
    if (data == nullptr)
        return {};
    Decoded d{width, height, Bytes(data, data + std::size_t(width) * std::size_t(height) * 4)};
    stbi_image_free(data);
    return d;
}

// "red", "green", "blue", "white" or "clear" for a pixel, "?" for anything between.
std::string ColourAt(const Decoded& image, int x, int y) {
    const std::uint8_t* p = &image.rgba[(std::size_t(y) * std::size_t(image.width) + x) * 4];
    if (p[3] == 0)
        return "clear";
    std::string on;
    for (int c = 0; c < 3; ++c) {
        if (p[c] > 100)
            on += "rgb"[c];
        else if (p[c] > 40)
            return "?";
    }
    return on == "r"     ? "red"
           : on == "g"   ? "green"
           : on == "b"   ? "blue"
           : on == "rgb" ? "white"
                         : "?";
}

// A flat square of 2 x 2 units facing the car's front (+z), its UVs running across and down it
// as seen from the front: U from the car's right (+x) to its left, V from the top down.
samples::MeshModel Square() {
    samples::MeshModel mesh;
    mesh.vertices = {{1, 1, 0}, {-1, 1, 0}, {-1, -1, 0}, {1, -1, 0}};
    mesh.normals.assign(4, {0, 0, 1});
    mesh.reserve1.assign(4 * 32, 0);
    mesh.reserve2.assign(4 * 12, 0);
    mesh.reserve3.assign(4 * 12, 0);
    for (const auto& corners : {std::array<std::uint32_t, 3>{0, 1, 2}, {0, 2, 3}}) {
        samples::MeshTriangle t;
        t.corners = corners;
        for (int k = 0; k < 3; ++k) {
            t.u[k] = (1 - mesh.vertices[corners[k]].x) / 2;
            t.v[k] = (1 - mesh.vertices[corners[k]].y) / 2;
        }
        mesh.triangles.push_back(t);
    }
    mesh.parts = {{"HighBody", {0, 0.5f, 0}, 0, 4, 0, 2}};
    mesh.colours = {{0, 255, 255, 0}};  // pure red
    return mesh;
}

// An 8 x 8 skin that shows red at its top left, green top right, blue bottom left and white
// bottom right, its rows stored from the top or from the bottom as `descriptor` says.
samples::Texture Quadrants(std::uint8_t descriptor) {
    samples::Texture t;
    t.width = t.height = 8;
    t.descriptor = descriptor;
    for (int row = 0; row < 8; ++row) {
        const int pictureRow = (descriptor & 0x20) ? row : 7 - row;
        for (int x = 0; x < 8; ++x) {
            const bool top = pictureRow < 4, left = x < 4;
            const std::uint8_t r = (top && left) || (!top && !left) ? 255 : 0;
            const std::uint8_t g = (top && !left) || (!top && !left) ? 255 : 0;
            const std::uint8_t b = !top ? 255 : 0;
            t.pixels.insert(t.pixels.end(), {b, g, r, 255});
        }
    }
    return t;
}

// Writes a version-3 package with `mesh` and `skin` and its conversion; returns both paths.
std::pair<std::string, std::string> PackageAndConversion(const ScratchDir& dir,
                                                         const std::string& name, const Bytes& mesh,
                                                         const Bytes& skin) {
    auto members = test::Version3Members(false);
    for (auto& [member, bytes] : members) {
        if (member == "car.fce")
            bytes = mesh;
        if (member == "car00.tga")
            bytes = skin;
    }
    const std::string v3 = dir.File(name + ".viv"), v4 = dir.File(name + ".v4.viv");
    test::WriteArchive(v3, members);
    std::filesystem::create_directories(test::Native(dir.File("templates")));
    test::WriteTemplates(dir.File("templates"));
    ConvertPackage(v3, v4, dir.File("templates") + test::kSeparator);
    return {v3, v4};
}

class KnownTexel : public ::testing::TestWithParam<std::uint8_t> {};

TEST_P(KnownTexel, EachQuadrantOfTheSkinLandsWhereThePictureHasIt) {
    ScratchDir dir;
    const auto [v3, v4] = PackageAndConversion(dir, "square", samples::Fce3Bytes(Square()),
                                               samples::TgaBytes(Quadrants(GetParam())));
    PreviewOptions options;
    options.size = 64;
    options.view = PreviewView::kFront;
    for (const std::string& package : {v3, v4}) {
        SCOPED_TRACE(package);
        const Decoded image = DecodePng(EncodePng(RenderCarPreview(package, options)));
        ASSERT_EQ(image.width, 64);
        ASSERT_EQ(image.height, 64);
        EXPECT_EQ(ColourAt(image, 18, 18), "red");
        EXPECT_EQ(ColourAt(image, 45, 18), "green");
        EXPECT_EQ(ColourAt(image, 18, 45), "blue");
        EXPECT_EQ(ColourAt(image, 45, 45), "white");
        EXPECT_EQ(ColourAt(image, 0, 0), "clear");
        EXPECT_EQ(ColourAt(image, 63, 63), "clear");
    }
}

INSTANTIATE_TEST_SUITE_P(RowsFromTheBottomOrTheTop, KnownTexel, ::testing::Values(0x08, 0x28));

TEST(CarPreview, SamplePackagesAndTheirConversionsGiveTheSamePng) {
    ScratchDir dir;
    const std::vector<std::string> packages = samples::WriteSamples(dir.File("samples"), 11);
    std::filesystem::create_directories(test::Native(dir.File("templates")));
    test::WriteTemplates(dir.File("templates"));
    PreviewOptions options;
    options.size = 96;
    int compared = 0;
    for (const std::string& v3 : packages) {
        if (v3.find("minimal") != std::string::npos)
            continue;  // no parts to draw
        SCOPED_TRACE(v3);
        const std::string v4 = v3 + ".v4.viv";
        ConvertPackage(v3, v4, dir.File("templates") + test::kSeparator);
        const Bytes before = EncodePng(RenderCarPreview(v3, options));
        const Bytes after = EncodePng(RenderCarPreview(v4, options));
        EXPECT_EQ(before, after);
        const Decoded sheet = DecodePng(before);
        ASSERT_EQ(sheet.width, 192);
        std::size_t opaque = 0;
        for (std::size_t i = 3; i < sheet.rgba.size(); i += 4)
            opaque += sheet.rgba[i] == 255;
        EXPECT_GT(opaque, sheet.rgba.size() / 4 / 10);  // the car fills a good part of each view
        EXPECT_EQ(ColourAt(sheet, 0, 0), "clear");
        ++compared;
    }
    EXPECT_EQ(compared, 2);
}

struct Damage {
    const char* name;
    void (*apply)(samples::MeshModel&);
    const char* error;    // empty: drawn
    const char* warning;  // besides the one about the missing skin; empty: none
};

const float kNaN = std::numeric_limits<float>::quiet_NaN();

const Damage kDamages[] = {
    {"NoParts", [](samples::MeshModel& m) { m.parts.clear(); }, "the mesh has no parts to draw",
     ""},
    {"NaNVertex", [](samples::MeshModel& m) { m.vertices[2].x = kNaN; },
     "part 0: vertex 2 is not a finite number", ""},
    {"InfinitePartPosition",
     [](samples::MeshModel& m) { m.parts[0].position.y = std::numeric_limits<float>::infinity(); },
     "part 0: its position is not a finite number", ""},
    {"CoordinatesTooLarge", [](samples::MeshModel& m) { m.vertices[0].x = 3e37f; },
     "the car's coordinates are too large to draw", ""},
    {"VerticesOutsideTheMesh", [](samples::MeshModel& m) { m.parts[0].vertexCount = 99; },
     "part 0: its 99 vertices from 0 lie outside the mesh's 4", ""},
    {"TrianglesOutsideTheMesh", [](samples::MeshModel& m) { m.parts[0].firstTriangle = -1; },
     "part 0: its 2 triangles from -1 lie outside the mesh's 2", ""},
    {"OneIndexOutsideThePart", [](samples::MeshModel& m) { m.triangles[1].corners[2] = 7; }, "",
     "part 0: 1 of 2 triangles skipped; triangle 1 has vertex index 7 outside the part's 4 "
     "vertices"},
    {"NaNTextureCoordinate", [](samples::MeshModel& m) { m.triangles[0].v[1] = kNaN; }, "",
     "part 0: 1 of 2 triangles skipped; triangle 0 has a texture coordinate that is not a finite "
     "number"},
    {"EveryTriangleBad",
     [](samples::MeshModel& m) {
         for (auto& t : m.triangles)
             t.corners[0] = 4;
     },
     "parts 0 to 4 hold no triangle to draw",
     "part 0: 2 of 2 triangles skipped; triangle 0 has vertex index 4 outside the part's 4 "
     "vertices"},
};

class DamagedMesh : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedMesh, IsRefusedOrDrawnWithoutItsBadTriangles) {
    ScratchDir dir;
    samples::MeshModel mesh = Square();
    GetParam().apply(mesh);
    const std::string path = dir.File("car.fce");
    test::WriteFile(path, samples::Fce3Bytes(mesh));
    std::vector<std::string> warnings;
    ScopedWarningSink sink([&warnings](const std::string& w) { warnings.push_back(w); });
    PreviewOptions options;
    options.size = 16;
    options.view = PreviewView::kFront;
    std::vector<std::string> expected = {
        path + ": there is no car00.tga beside it: the car is drawn in its paint colour"};
    if (*GetParam().warning != '\0')
        expected.push_back(path + ": " + GetParam().warning);
    if (*GetParam().error == '\0') {
        const Decoded image = DecodePng(EncodePng(RenderCarPreview(path, options)));
        ASSERT_EQ(image.width, 16);
        EXPECT_EQ(ColourAt(image, 8, 8), "red");  // the first colour, for want of a skin
    } else {
        try {
            RenderCarPreview(path, options);
            ADD_FAILURE() << "no error";
        } catch (const FormatError& e) {
            EXPECT_EQ(std::string(e.what()), path + ": " + GetParam().error);
        }
    }
    EXPECT_EQ(warnings, expected);
}

INSTANTIATE_TEST_SUITE_P(Damages, DamagedMesh, ::testing::ValuesIn(kDamages),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PreviewCommand, WritesBesideThePackageOrToStandardOutput) {
    CARCONV_SKIP_ON_WINDOWS("runs carconv through the shell");
    ScratchDir dir;
    const std::string package = PackageAndConversion(dir, "square", samples::Fce3Bytes(Square()),
                                                     samples::TgaBytes(Quadrants(0x08)))
                                    .first;
    const Bytes original = ReadFile(package);
    test::RunResult r = RunCarconv("preview --size 32 " + Q(package));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    const Bytes written = ReadFile(dir.File("square-preview.png"));
    const Decoded sheet = DecodePng(written);
    EXPECT_EQ(sheet.width, 64);
    EXPECT_EQ(sheet.height, 64);
    // Another process, the same bytes.
    r = RunCarconv("preview --size 32 -o - " + Q(package));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Bytes(r.out.begin(), r.out.end()), written);

    r = RunCarconv("preview --view top --size 20 -o " + Q(dir.File("top.png")) + " " + Q(package));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(DecodePng(ReadFile(dir.File("top.png"))).width, 20);

    for (const char* bad : {"--view below", "--size 8", "--size 4096"}) {
        r = RunCarconv(std::string("preview ") + bad + " " + Q(package));
        EXPECT_EQ(r.exitCode, 2) << bad;
    }
    r = RunCarconv("preview -o " + Q(package) + " " + Q(package));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("is the input itself"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(package), original);
}

}  // namespace
}  // namespace carconv
