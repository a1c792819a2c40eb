#pragma once

// Pictures of a car: its high-detail parts (slots 0-4, the body and the four wheels) drawn with
// their skin, from the front, the side, the top and three-quarter from the front left.
//
// Geometry, as both mesh layouts store it (little-endian):
//   vertex    three float32 x, y, z, relative to the position of its part (partPositions)
//   normal    three float32 per vertex
//   triangle  56 bytes:
//     0   int32       texture page (not used: a car has one skin)
//     4   3 x int32   vertex indices, relative to the part's first vertex
//     16  6 x int16   smoothing data (not used)
//     28  int32       flags (not used)
//     32  3 x float32 U of the three corners
//     44  3 x float32 V of the three corners
// The car stands with y up, x across it (its left at -x) and z along it (its front at +z).
//
// The skin is a 24- or 32-bit Targa image. A modder paints it upright as a picture viewer shows
// it, origin bits honoured; V runs down that picture for a version-3 mesh, where U and V are 0 at
// its top left. The conversion reverses the skin's rows and keeps the UVs, so for a version-4 mesh
// V runs up the stored picture instead: a package and its conversion draw the same livery the
// same way up, pixel for pixel.
//
// The renderer is our own: perspective views, a depth buffer, perspective-correct bilinear skin
// lookup, a Lambert light from the front left above through the stored normals (interpolated
// over each triangle), two samples a pixel each way, a transparent background and the car
// fitted into each view with a margin. Only floating-point arithmetic in a fixed order: the same
// input gives the same image.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/byte_reader.h"

namespace carconv {

class Fce3File;
class Fce4File;
class TgaFile;

enum class PreviewView { kFront, kSide, kTop, kThreeQuarter };

// "front", "side", "top", "three-quarter"; nullopt for any other name.
std::optional<PreviewView> ParsePreviewView(std::string_view name);
std::string_view PreviewViewName(PreviewView view);

// Rows top to bottom, four bytes a pixel: red, green, blue, alpha (not premultiplied).
struct PreviewImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;
};

struct PreviewOptions {
    // Pixels along each side of one view, kMinPreviewSize to kMaxPreviewSize.
    int size = 512;
    // One view, or none for a 2 x 2 sheet: front and side above, top and three-quarter below.
    std::optional<PreviewView> view;
};

inline constexpr int kMinPreviewSize = 16;
inline constexpr int kMaxPreviewSize = 2048;

// Draws a loaded mesh with `skin` (none: the body in the mesh's first colour, the wheels dark
// grey). `name` names the mesh in errors and warnings. Throws FormatError for a mesh without
// parts, a part whose vertex or triangle range lies outside the mesh, a part position or vertex
// that is not a finite number, or no triangle left to draw; a single triangle with a vertex index
// outside its part or a UV or normal that is not finite is skipped, with one warning a part. A
// skin that is not a 24- or 32-bit colour image is reported in a warning and not used. Throws
// CarconvError for a size out of range.
PreviewImage RenderCarPreview(const Fce3File& mesh, const TgaFile* skin,
                              const PreviewOptions& options, const std::string& name);
PreviewImage RenderCarPreview(const Fce4File& mesh, const TgaFile* skin,
                              const PreviewOptions& options, const std::string& name);

// Reads the package (".viv": its "car.fce" and "car00.tga", any letter case, unpacked within the
// archive's unpack budget) or mesh (".fce", with a "car00.tga" beside it when there is one) at
// `path` and draws it. Throws IoError and FormatError for what cannot be read, and FormatError
// when a package holds no mesh.
PreviewImage RenderCarPreview(const std::string& path, const PreviewOptions& options);

// The image as a PNG file (8-bit RGBA). Throws CarconvError when the encoder fails.
Bytes EncodePng(const PreviewImage& image);

}  // namespace carconv
