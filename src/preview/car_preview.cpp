#include "preview/car_preview.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <filesystem>
#include <memory>

#include <fmt/format.h>

#include "files/errors.h"
#include "files/game_file.h"
#include "files/member_factory.h"
#include "files/name_index.h"
#include "files/viv_archive.h"
#include "files/warnings.h"
#include "image/tga_file.h"
#include "mesh/fce3_file.h"
#include "mesh/fce4_file.h"
#include "platform/file_system.h"

// The PNG writer is compiled here and nowhere else; it writes to memory only.
#define STBI_WRITE_NO_STDIO
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

namespace {

// The encoder's shortest search for repeated bytes, set before anything runs. A sheet is mostly
// flat colour: the encoder's default search takes twice the time for a file 2% smaller.
[[maybe_unused]] const bool kShortPngSearch = (stbi_write_png_compression_level = 5, true);

}  // namespace

namespace carconv {

namespace {

// Body and the four high-detail wheels.
constexpr int kDrawnParts = 5;
constexpr std::size_t kVectorSize = 12;
constexpr std::size_t kTriangleSize = 56;
constexpr std::size_t kCornersAt = 4;
constexpr std::size_t kUAt = 32;
constexpr std::size_t kVAt = 44;
static_assert(kVAt + 3 * 4 == kTriangleSize);

// Fraction of a view left empty on each side, and the camera's distance in bounding radii.
constexpr float kMargin = 0.05f;
constexpr float kCameraDistance = 4.0f;
constexpr float kAmbient = 0.35f;
constexpr float kDiffuse = 0.65f;
constexpr int kSupersampling = 2;

struct Vec3 {
    float x = 0, y = 0, z = 0;
};

Vec3 operator+(Vec3 a, Vec3 b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
Vec3 operator-(Vec3 a, Vec3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec3 operator*(Vec3 a, float s) {
    return {a.x * s, a.y * s, a.z * s};
}
float Dot(Vec3 a, Vec3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vec3 Cross(Vec3 a, Vec3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
bool IsFinite(Vec3 a) {
    return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z);
}
// `a` scaled to length 1, or nullopt when it has no direction.
std::optional<Vec3> Normalised(Vec3 a) {
    const float length = std::sqrt(Dot(a, a));
    if (!(length > 0) || !std::isfinite(length))
        return std::nullopt;
    return a * (1.0f / length);
}

float FloatAt(ByteSpan bytes, std::size_t at) {
    return std::bit_cast<float>(LoadU32le(bytes, at));
}
Vec3 VectorAt(ByteSpan bytes, std::size_t at) {
    return {FloatAt(bytes, at), FloatAt(bytes, at + 4), FloatAt(bytes, at + 8)};
}

// Light from the car's front left, above it; fixed to the car, so every view sees it alike.
const Vec3 kLight = *Normalised({-1.0f, 1.2f, 1.0f});

struct Corner {
    Vec3 position;  // the part's position added
    float u = 0, v = 0;
    float light = 1;
};

struct Triangle {
    std::array<Corner, 3> corners;
    bool body = true;  // part 0; the others are wheels
};

struct CarModel {
    std::vector<Triangle> triangles;
    std::array<std::uint8_t, 3> bodyColour{};
    Vec3 centre;
    float radius = 1;
};

float Lambert(Vec3 normal) {
    return kAmbient + kDiffuse * std::max(0.0f, Dot(normal, kLight));
}

// A colour entry's hue, saturation and brightness (0-255 each) as red, green and blue.
std::array<std::uint8_t, 3> PaintColour(int hue, int saturation, int brightness) {
    const float h = static_cast<float>(hue) * 6.0f / 256.0f;
    const float s = static_cast<float>(saturation) / 255.0f;
    const float b = static_cast<float>(brightness) / 255.0f;
    const int sector = static_cast<int>(h);
    const float f = h - static_cast<float>(sector);
    const float p = b * (1 - s), q = b * (1 - s * f), t = b * (1 - s * (1 - f));
    std::array<float, 3> rgb;
    switch (sector) {
        case 0:
            rgb = {b, t, p};
            break;
        case 1:
            rgb = {q, b, p};
            break;
        case 2:
            rgb = {p, b, t};
            break;
        case 3:
            rgb = {p, q, b};
            break;
        case 4:
            rgb = {t, p, b};
            break;
        default:
            rgb = {b, p, q};
            break;
    }
    std::array<std::uint8_t, 3> out{};
    for (int i = 0; i < 3; ++i)
        out[i] = static_cast<std::uint8_t>(std::lround(std::clamp(rgb[i], 0.0f, 1.0f) * 255.0f));
    return out;
}

// Why a triangle is left out; empty when it is drawn.
std::string CheckTriangle(ByteSpan triangles, std::size_t at, std::int64_t partVertices,
                          const Bytes& normals, std::int64_t firstVertex,
                          std::array<std::int64_t, 3>& corners) {
    for (int k = 0; k < 3; ++k) {
        const std::int32_t index = LoadI32le(triangles, at + kCornersAt + 4 * k);
        if (index < 0 || index >= partVertices) {
            return fmt::format("vertex index {} outside the part's {} vertices", index,
                               partVertices);
        }
        corners[k] = firstVertex + index;
        if (!IsFinite(VectorAt(normals, static_cast<std::size_t>(corners[k]) * kVectorSize)))
            return fmt::format("a normal that is not a finite number (vertex {})", corners[k]);
        if (!std::isfinite(FloatAt(triangles, at + kUAt + 4 * k)) ||
            !std::isfinite(FloatAt(triangles, at + kVAt + 4 * k)))
            return "a texture coordinate that is not a finite number";
    }
    return {};
}

// Checks a part's (first, count) range against an array of `total` records.
void CheckRange(const std::string& name, int part, const char* what, std::int64_t first,
                std::int64_t count, std::int64_t total) {
    if (first < 0 || count < 0 || first > total || count > total - first) {
        throw FormatError(name, fmt::format("part {}: its {} {} from {} lie outside the mesh's {}",
                                            part, count, what, first, total));
    }
}

template <typename Mesh>
CarModel ReadModel(const Mesh& mesh, const std::string& name) {
    if (mesh.PartCount() <= 0)
        throw FormatError(name, "the mesh has no parts to draw");
    const Bytes& vertices = mesh.ArrayBytes(Mesh::kVertices);
    const Bytes& normals = mesh.ArrayBytes(Mesh::kNormals);
    const Bytes& triangles = mesh.ArrayBytes(Mesh::kTriangles);
    // The arrays hold exactly as many records as the counts that Load checked say.
    const auto vertexTotal = static_cast<std::int64_t>(vertices.size() / kVectorSize);
    const auto triangleTotal = static_cast<std::int64_t>(triangles.size() / kTriangleSize);

    CarModel model;
    const int parts = std::min(mesh.UsedPartSlots(), kDrawnParts);
    for (int part = 0; part < parts; ++part) {
        const Vec3 position = VectorAt(mesh.PartPosition(part), 0);
        if (!IsFinite(position))
            throw FormatError(name,
                              fmt::format("part {}: its position is not a finite number", part));
        const std::int64_t firstVertex = mesh.PartFirstVertex(part);
        const std::int64_t vertexCount = mesh.PartVertexCount(part);
        const std::int64_t firstTriangle = mesh.PartFirstTriangle(part);
        const std::int64_t triangleCount = mesh.PartTriangleCount(part);
        CheckRange(name, part, "vertices", firstVertex, vertexCount, vertexTotal);
        CheckRange(name, part, "triangles", firstTriangle, triangleCount, triangleTotal);
        for (std::int64_t i = firstVertex; i < firstVertex + vertexCount; ++i) {
            if (!IsFinite(VectorAt(vertices, static_cast<std::size_t>(i) * kVectorSize))) {
                throw FormatError(
                    name, fmt::format("part {}: vertex {} is not a finite number", part, i));
            }
        }

        std::int64_t skipped = 0;
        std::string firstReason;
        for (std::int64_t t = firstTriangle; t < firstTriangle + triangleCount; ++t) {
            const std::size_t at = static_cast<std::size_t>(t) * kTriangleSize;
            std::array<std::int64_t, 3> corners{};
            std::string reason =
                CheckTriangle(triangles, at, vertexCount, normals, firstVertex, corners);
            if (!reason.empty()) {
                if (skipped++ == 0)
                    firstReason = fmt::format("triangle {} has {}", t, reason);
                continue;
            }
            Triangle triangle;
            triangle.body = part == 0;
            for (int k = 0; k < 3; ++k) {
                const std::size_t vertexAt = static_cast<std::size_t>(corners[k]) * kVectorSize;
                triangle.corners[k].position = VectorAt(vertices, vertexAt) + position;
                triangle.corners[k].u = FloatAt(triangles, at + kUAt + 4 * k);
                triangle.corners[k].v = FloatAt(triangles, at + kVAt + 4 * k);
            }
            const auto& c = triangle.corners;
            const std::optional<Vec3> face =
                Normalised(Cross(c[1].position - c[0].position, c[2].position - c[0].position));
            for (int k = 0; k < 3; ++k) {
                const std::size_t vertexAt = static_cast<std::size_t>(corners[k]) * kVectorSize;
                std::optional<Vec3> normal = Normalised(VectorAt(normals, vertexAt));
                if (!normal)
                    normal = face;
                triangle.corners[k].light = normal ? Lambert(*normal) : kAmbient;
            }
            model.triangles.push_back(triangle);
        }
        if (skipped > 0) {
            ReportWarning(fmt::format("{}: part {}: {} of {} triangles skipped; {}", name, part,
                                      skipped, triangleCount, firstReason));
        }
    }
    if (model.triangles.empty())
        throw FormatError(name, "parts 0 to 4 hold no triangle to draw");

    Vec3 low = model.triangles.front().corners[0].position, high = low;
    for (const Triangle& t : model.triangles) {
        for (const Corner& c : t.corners) {
            low = {std::min(low.x, c.position.x), std::min(low.y, c.position.y),
                   std::min(low.z, c.position.z)};
            high = {std::max(high.x, c.position.x), std::max(high.y, c.position.y),
                    std::max(high.z, c.position.z)};
        }
    }
    model.centre = (low + high) * 0.5f;
    float radius = 0;
    for (const Triangle& t : model.triangles) {
        for (const Corner& c : t.corners) {
            const Vec3 d = c.position - model.centre;
            radius = std::max(radius, std::sqrt(Dot(d, d)));
        }
    }
    // The camera stands kCameraDistance radii from the centre, and depths reach twice as far.
    if (!std::isfinite(radius * kCameraDistance * 2) || !IsFinite(model.centre))
        throw FormatError(name, "the car's coordinates are too large to draw");
    model.radius = radius > 0 ? radius : 1.0f;

    // The first paint colour, its components narrowed to a byte as the conversion does.
    model.bodyColour = {160, 160, 160};
    if (mesh.UsedColourSlots() > 0) {
        model.bodyColour = PaintColour(static_cast<std::uint8_t>(mesh.Colour(0, 0)),
                                       static_cast<std::uint8_t>(mesh.Colour(0, 1)),
                                       static_cast<std::uint8_t>(mesh.Colour(0, 2)));
    }
    return model;
}

// The skin as the picture it shows: rows from the top, three bytes a pixel (red, green, blue),
// turned so that V runs down it for the mesh's layout.
struct Skin {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;
};

constexpr std::uint8_t kTopOrigin = 0x20;
constexpr std::uint8_t kRightOrigin = 0x10;

std::optional<Skin> DecodeSkin(const TgaFile& tga, int layoutVersion, const std::string& name) {
    const TgaHeader& h = tga.Header();
    const std::size_t bytesPerPixel = TgaFile::BytesPerPixel(h.pixelDepth);
    const std::size_t needed = std::size_t{h.width} * h.height * bytesPerPixel;
    if (h.colourMapType != 0 || h.imageType != TgaFile::kTypeTrueColour ||
        (h.pixelDepth != 24 && h.pixelDepth != 32) || h.width == 0 || h.height == 0 ||
        tga.Pixels().size() < needed) {
        ReportWarning(
            fmt::format("{}: the skin is not a 24- or 32-bit colour image (type {}, "
                        "{} bits, {} x {}): the car is drawn in its paint colour",
                        name, h.imageType, h.pixelDepth, h.width, h.height));
        return std::nullopt;
    }
    Skin skin;
    skin.width = h.width;
    skin.height = h.height;
    skin.rgb.resize(std::size_t{h.width} * h.height * 3);
    const bool fromTop = (h.imageDescriptor & kTopOrigin) != 0;
    const bool fromRight = (h.imageDescriptor & kRightOrigin) != 0;
    // A version-4 skin holds the version-3 rows in reverse under the same header.
    const bool flip = fromTop == (layoutVersion == 4);
    const Bytes& pixels = tga.Pixels();
    for (int row = 0; row < skin.height; ++row) {
        const int pictureRow = flip ? skin.height - 1 - row : row;
        for (int x = 0; x < skin.width; ++x) {
            const int pictureX = fromRight ? skin.width - 1 - x : x;
            const std::size_t from =
                (static_cast<std::size_t>(row) * skin.width + static_cast<std::size_t>(x)) *
                bytesPerPixel;
            const std::size_t to = (static_cast<std::size_t>(pictureRow) * skin.width +
                                    static_cast<std::size_t>(pictureX)) *
                                   3;
            skin.rgb[to] = pixels[from + 2];
            skin.rgb[to + 1] = pixels[from + 1];
            skin.rgb[to + 2] = pixels[from];
        }
    }
    return skin;
}

// Bilinear lookup, clamped at the edges; U and V 0 at the picture's top left.
std::array<float, 3> Sample(const Skin& skin, float u, float v) {
    const float tx = std::clamp(u * static_cast<float>(skin.width) - 0.5f, -1.0f,
                                static_cast<float>(skin.width));
    const float ty = std::clamp(v * static_cast<float>(skin.height) - 0.5f, -1.0f,
                                static_cast<float>(skin.height));
    const float fx = std::floor(tx), fy = std::floor(ty);
    const float ax = tx - fx, ay = ty - fy;
    const int x0 = std::clamp(static_cast<int>(fx), 0, skin.width - 1);
    const int x1 = std::clamp(static_cast<int>(fx) + 1, 0, skin.width - 1);
    const int y0 = std::clamp(static_cast<int>(fy), 0, skin.height - 1);
    const int y1 = std::clamp(static_cast<int>(fy) + 1, 0, skin.height - 1);
    auto texel = [&skin](int x, int y, int c) {
        return static_cast<float>(
            skin.rgb[(static_cast<std::size_t>(y) * skin.width + static_cast<std::size_t>(x)) * 3 +
                     static_cast<std::size_t>(c)]);
    };
    std::array<float, 3> out{};
    for (int c = 0; c < 3; ++c) {
        const float top = texel(x0, y0, c) * (1 - ax) + texel(x1, y0, c) * ax;
        const float bottom = texel(x0, y1, c) * (1 - ax) + texel(x1, y1, c) * ax;
        out[c] = top * (1 - ay) + bottom * ay;
    }
    return out;
}

struct Camera {
    Vec3 forward, up;
};

// Where each view looks from. The car's coordinates are left-handed (x to its right, y up, z to
// its front), so right = up x forward keeps the pictures unmirrored: the front view shows the
// car's left on the right, the side view is the car's left side with the front to the left.
Camera ViewCamera(PreviewView view) {
    switch (view) {
        case PreviewView::kFront:
            return {{0, 0, -1}, {0, 1, 0}};
        case PreviewView::kSide:
            return {{1, 0, 0}, {0, 1, 0}};
        case PreviewView::kTop:
            return {{0, -1, 0}, {0, 0, 1}};
        case PreviewView::kThreeQuarter:
            break;
    }
    return {*Normalised({1.0f, -0.6f, -1.0f}), {0, 1, 0}};
}

struct ScreenCorner {
    float x = 0, y = 0;
    float inverseDepth = 0;
};

// The supersampled buffers of a view, kept from one view to the next.
struct ViewBuffers {
    std::vector<float> depth;  // inverse depth: larger is nearer, 0 is nothing
    std::vector<std::uint8_t> colour;
};

// Draws one view into the size x size square of `out` at (atX, atY).
void RenderView(const CarModel& model, const Skin* skin, PreviewView view, int size,
                ViewBuffers& buffers, PreviewImage& out, int atX, int atY) {
    const int s = size * kSupersampling;
    const Camera camera = ViewCamera(view);
    const Vec3 forward = camera.forward;
    const Vec3 right = *Normalised(Cross(camera.up, forward));
    const Vec3 up = Cross(forward, right);
    const Vec3 eye = model.centre - forward * (model.radius * kCameraDistance);

    // Every corner lies within the bounding sphere, so its depth is at least 3 radii.
    std::vector<ScreenCorner> screen;
    screen.reserve(model.triangles.size() * 3);
    float lowX = 0, lowY = 0, highX = 0, highY = 0;
    for (const Triangle& t : model.triangles) {
        for (const Corner& c : t.corners) {
            const Vec3 d = c.position - eye;
            const float inverseDepth = 1.0f / Dot(d, forward);
            const ScreenCorner p{Dot(d, right) * inverseDepth, Dot(d, up) * inverseDepth,
                                 inverseDepth};
            if (screen.empty()) {
                lowX = highX = p.x;
                lowY = highY = p.y;
            }
            lowX = std::min(lowX, p.x), highX = std::max(highX, p.x);
            lowY = std::min(lowY, p.y), highY = std::max(highY, p.y);
            screen.push_back(p);
        }
    }
    const float extent = std::max(highX - lowX, highY - lowY);
    const float scale = extent > 0 ? static_cast<float>(s) * (1 - 2 * kMargin) / extent : 1.0f;
    const float midX = (lowX + highX) / 2, midY = (lowY + highY) / 2;
    const float half = static_cast<float>(s) / 2;
    for (ScreenCorner& p : screen) {
        p.x = half + (p.x - midX) * scale;
        p.y = half - (p.y - midY) * scale;
    }

    const std::size_t pixels = static_cast<std::size_t>(s) * static_cast<std::size_t>(s);
    buffers.depth.assign(pixels, 0.0f);
    buffers.colour.assign(pixels * 4, 0);
    std::vector<float>& depth = buffers.depth;
    std::vector<std::uint8_t>& colour = buffers.colour;
    const float limit = static_cast<float>(s - 1);
    for (std::size_t i = 0; i < model.triangles.size(); ++i) {
        const Triangle& triangle = model.triangles[i];
        const ScreenCorner* p = &screen[i * 3];
        const float area =
            (p[1].x - p[0].x) * (p[2].y - p[0].y) - (p[2].x - p[0].x) * (p[1].y - p[0].y);
        if (!(std::fabs(area) > 1e-12f))
            continue;
        // Barycentric weight of corner k at (x, y): a[k] x + b[k] y + c[k].
        std::array<float, 3> a{}, b{}, c{};
        for (int k = 0; k < 3; ++k) {
            const ScreenCorner& from = p[(k + 1) % 3];
            const ScreenCorner& to = p[(k + 2) % 3];
            a[k] = -(to.y - from.y) / area;
            b[k] = (to.x - from.x) / area;
            c[k] = ((to.y - from.y) * from.x - (to.x - from.x) * from.y) / area;
        }
        const float left = std::clamp(std::floor(std::min({p[0].x, p[1].x, p[2].x})), 0.0f, limit);
        const float rightEdge =
            std::clamp(std::ceil(std::max({p[0].x, p[1].x, p[2].x})), 0.0f, limit);
        const float top = std::clamp(std::floor(std::min({p[0].y, p[1].y, p[2].y})), 0.0f, limit);
        const float bottom = std::clamp(std::ceil(std::max({p[0].y, p[1].y, p[2].y})), 0.0f, limit);
        const int y0 = static_cast<int>(top), y1 = static_cast<int>(bottom);
        const auto& corners = triangle.corners;
        for (int y = y0; y <= y1; ++y) {
            const float cy = static_cast<float>(y) + 0.5f;
            // The row's span inside all three edges, a pixel wider on each side against
            // rounding: the weights below decide.
            float from = left, to = rightEdge;
            bool empty = false;
            for (int k = 0; k < 3; ++k) {
                const float rest = b[k] * cy + c[k];
                if (a[k] > 0)
                    from = std::max(from, -rest / a[k] - 1.5f);
                else if (a[k] < 0)
                    to = std::min(to, -rest / a[k] + 0.5f);
                else if (rest < 0)
                    empty = true;
            }
            if (empty || !(from <= to))
                continue;
            const int spanFrom = static_cast<int>(std::clamp(std::floor(from), left, rightEdge));
            const int spanTo = static_cast<int>(std::clamp(std::ceil(to), left, rightEdge));
            for (int x = spanFrom; x <= spanTo; ++x) {
                const float cx = static_cast<float>(x) + 0.5f;
                std::array<float, 3> w{};
                bool inside = true;
                for (int k = 0; k < 3; ++k) {
                    w[k] = a[k] * cx + b[k] * cy + c[k];
                    inside = inside && w[k] >= 0;
                }
                if (!inside)
                    continue;
                const float z =
                    w[0] * p[0].inverseDepth + w[1] * p[1].inverseDepth + w[2] * p[2].inverseDepth;
                const std::size_t at = static_cast<std::size_t>(y) * static_cast<std::size_t>(s) +
                                       static_cast<std::size_t>(x);
                if (!(z > depth[at]))
                    continue;
                depth[at] = z;
                // Perspective-correct weights.
                const float toDepth = 1.0f / z;
                std::array<float, 3> q{};
                for (int k = 0; k < 3; ++k)
                    q[k] = w[k] * p[k].inverseDepth * toDepth;
                const float light =
                    q[0] * corners[0].light + q[1] * corners[1].light + q[2] * corners[2].light;
                std::array<float, 3> base;
                if (skin != nullptr) {
                    const float u = q[0] * corners[0].u + q[1] * corners[1].u + q[2] * corners[2].u;
                    const float v = q[0] * corners[0].v + q[1] * corners[1].v + q[2] * corners[2].v;
                    base = Sample(*skin, u, v);
                } else if (triangle.body) {
                    base = {static_cast<float>(model.bodyColour[0]),
                            static_cast<float>(model.bodyColour[1]),
                            static_cast<float>(model.bodyColour[2])};
                } else {
                    base = {48, 48, 48};
                }
                for (int k = 0; k < 3; ++k) {
                    colour[at * 4 + static_cast<std::size_t>(k)] =
                        static_cast<std::uint8_t>(std::clamp(base[k] * light + 0.5f, 0.0f, 255.0f));
                }
                colour[at * 4 + 3] = 255;
            }
        }
    }

    // Each output pixel: the average colour of the samples that hit the car, and their share as
    // its coverage.
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            std::array<int, 3> sum{};
            int hits = 0;
            for (int dy = 0; dy < kSupersampling; ++dy) {
                for (int dx = 0; dx < kSupersampling; ++dx) {
                    const std::size_t at = (static_cast<std::size_t>(y * kSupersampling + dy) *
                                                static_cast<std::size_t>(s) +
                                            static_cast<std::size_t>(x * kSupersampling + dx)) *
                                           4;
                    if (colour[at + 3] == 0)
                        continue;
                    ++hits;
                    for (int k = 0; k < 3; ++k)
                        sum[k] += colour[at + static_cast<std::size_t>(k)];
                }
            }
            if (hits == 0)
                continue;
            const std::size_t to =
                (static_cast<std::size_t>(atY + y) * static_cast<std::size_t>(out.width) +
                 static_cast<std::size_t>(atX + x)) *
                4;
            for (int k = 0; k < 3; ++k)
                out.rgba[to + static_cast<std::size_t>(k)] =
                    static_cast<std::uint8_t>((sum[k] + hits / 2) / hits);
            constexpr int kSamples = kSupersampling * kSupersampling;
            out.rgba[to + 3] = static_cast<std::uint8_t>((hits * 255 + kSamples / 2) / kSamples);
        }
    }
}

void CheckSize(const PreviewOptions& options) {
    if (options.size < kMinPreviewSize || options.size > kMaxPreviewSize) {
        throw CarconvError(fmt::format("a preview is {} to {} pixels a view, not {}",
                                       kMinPreviewSize, kMaxPreviewSize, options.size));
    }
}

template <typename Mesh>
PreviewImage Render(const Mesh& mesh, int layoutVersion, const TgaFile* skin,
                    const PreviewOptions& options, const std::string& name) {
    CheckSize(options);
    const CarModel model = ReadModel(mesh, name);
    std::optional<Skin> picture;
    if (skin != nullptr)
        picture = DecodeSkin(*skin, layoutVersion, name);
    const Skin* drawn = picture ? &*picture : nullptr;

    PreviewImage image;
    const int views = options.view ? 1 : 2;
    image.width = image.height = options.size * views;
    image.rgba.assign(static_cast<std::size_t>(image.width) * image.height * 4, 0);
    ViewBuffers buffers;
    if (options.view) {
        RenderView(model, drawn, *options.view, options.size, buffers, image, 0, 0);
        return image;
    }
    const PreviewView sheet[4] = {PreviewView::kFront, PreviewView::kSide, PreviewView::kTop,
                                  PreviewView::kThreeQuarter};
    for (int i = 0; i < 4; ++i) {
        RenderView(model, drawn, sheet[i], options.size, buffers, image, (i % 2) * options.size,
                   (i / 2) * options.size);
    }
    return image;
}

// A member read again on its own, for the error that made the factory keep it untyped.
[[noreturn]] void RethrowMemberError(const GameFile& member, const std::string& name) {
    std::unique_ptr<GameFile> again = NewMemberFile(member.path, 1);
    again->Load();
    throw FormatError(name, "not a mesh this program can read");
}

PreviewImage RenderMesh(const GameFile& mesh, const TgaFile* skin, const PreviewOptions& options,
                        const std::string& name) {
    if (const auto* fce3 = dynamic_cast<const Fce3File*>(&mesh))
        return RenderCarPreview(*fce3, skin, options, name);
    if (const auto* fce4 = dynamic_cast<const Fce4File*>(&mesh))
        return RenderCarPreview(*fce4, skin, options, name);
    RethrowMemberError(mesh, name);
}

void ReportNoSkin(const std::string& name, const std::string& why) {
    ReportWarning(fmt::format("{}: {}: the car is drawn in its paint colour", name, why));
}

}  // namespace

std::optional<PreviewView> ParsePreviewView(std::string_view name) {
    for (PreviewView view :
         {PreviewView::kFront, PreviewView::kSide, PreviewView::kTop, PreviewView::kThreeQuarter}) {
        if (PreviewViewName(view) == name)
            return view;
    }
    return std::nullopt;
}

std::string_view PreviewViewName(PreviewView view) {
    switch (view) {
        case PreviewView::kFront:
            return "front";
        case PreviewView::kSide:
            return "side";
        case PreviewView::kTop:
            return "top";
        case PreviewView::kThreeQuarter:
            break;
    }
    return "three-quarter";
}

PreviewImage RenderCarPreview(const Fce3File& mesh, const TgaFile* skin,
                              const PreviewOptions& options, const std::string& name) {
    return Render(mesh, 3, skin, options, name);
}

PreviewImage RenderCarPreview(const Fce4File& mesh, const TgaFile* skin,
                              const PreviewOptions& options, const std::string& name) {
    return Render(mesh, 4, skin, options, name);
}

PreviewImage RenderCarPreview(const std::string& path, const PreviewOptions& options) {
    CheckSize(options);
    std::unique_ptr<GameFile> file = NewMemberFile(path, 0);
    if (auto* archive = dynamic_cast<VivArchive*>(file.get())) {
        archive->Load();
        // Of names equal but for letter case the later wins, as when they are unpacked.
        const GameFile* mesh = nullptr;
        const GameFile* skin = nullptr;
        std::string meshName, skinName;
        for (std::size_t i = 0; i < archive->directory.size(); ++i) {
            const std::string lower = AsciiLowerCase(archive->directory[i].name);
            const GameFile& member = archive->members.ElementAt(static_cast<int>(i));
            if (lower == "car.fce")
                mesh = &member, meshName = archive->directory[i].name;
            else if (lower == "car00.tga")
                skin = &member, skinName = archive->directory[i].name;
        }
        if (mesh == nullptr)
            throw FormatError(path, "the package holds no car.fce: there is no car to draw");
        const std::string name = path + ": " + meshName;
        const auto* tga = dynamic_cast<const TgaFile*>(skin);
        if (skin == nullptr)
            ReportNoSkin(path, "the package holds no car00.tga");
        else if (tga == nullptr)
            ReportNoSkin(path, skinName + " cannot be read");
        return RenderMesh(*mesh, tga, options, name);
    }
    if (dynamic_cast<Fce3File*>(file.get()) == nullptr &&
        dynamic_cast<Fce4File*>(file.get()) == nullptr) {
        throw IoError(path, "not a package (.viv) or a mesh (.fce)");
    }
    file->Load();
    // A mesh unpacked from a package: its skin lies beside it.
    const std::filesystem::path native = NativePath(path);
    const std::string directory =
        native.has_parent_path() ? PathString(native.parent_path()) : std::string(".");
    std::unique_ptr<TgaFile> skin;
    if (std::optional<std::string> found = NameIndex::OfDirectory(directory).Find("car00.tga")) {
        skin = std::make_unique<TgaFile>(JoinPath(directory, *found));
        try {
            skin->Load();
        } catch (const FormatError& e) {
            ReportWarning(e.what());
            ReportNoSkin(path, "the skin beside it cannot be read");
            skin.reset();
        }
    } else {
        ReportNoSkin(path, "there is no car00.tga beside it");
    }
    return RenderMesh(*file, skin.get(), options, path);
}

Bytes EncodePng(const PreviewImage& image) {
    if (image.width <= 0 || image.height <= 0 ||
        image.rgba.size() != static_cast<std::size_t>(image.width) * image.height * 4) {
        throw CarconvError("cannot encode an empty or inconsistent image as PNG");
    }
    Bytes png;
    auto append = [](void* context, void* data, int size) {
        auto* out = static_cast<Bytes*>(context);
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        out->insert(out->end(), bytes, bytes + size);
    };
    if (stbi_write_png_to_func(append, &png, image.width, image.height, 4, image.rgba.data(),
                               image.width * 4) == 0) {
        throw CarconvError("the PNG encoder failed");
    }
    return png;
}

}  // namespace carconv
