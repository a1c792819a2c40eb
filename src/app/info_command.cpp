#include "app/info_command.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <ostream>
#include <string_view>

#include <fmt/format.h>

#include "app/package_commands.h"
#include "carp/carp3_file.h"
#include "carp/carp4_file.h"
#include "carp/parameter_labels.h"
#include "fedata/fedata3_file.h"
#include "fedata/fedata4_file.h"
#include "files/member_factory.h"
#include "files/safe_name.h"
#include "files/viv_archive.h"
#include "image/fsh_file.h"
#include "image/tga_file.h"
#include "mesh/fce3_file.h"
#include "mesh/fce4_file.h"
#include "platform/file_system.h"
#include "platform/read_only_file.h"

namespace carconv {

namespace {

using Json = nlohmann::ordered_json;

// A TGA 2.0 file ends in a 26-byte footer whose last 18 bytes are this signature.
constexpr std::size_t kTgaFooterSize = 26;
constexpr std::string_view kTgaFooterSignature{"TRUEVISION-XFILE.\0", 18};

// A float32 of the file as JSON: the number with the fewest digits that reads back as the same
// float, or "nan", "inf" or "-inf", which JSON has no numbers for.
Json FloatJson(float value) {
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value > 0 ? "inf" : "-inf";
    return std::strtod(fmt::format("{}", value).c_str(), nullptr);
}

float FloatAt(ByteSpan bytes, std::size_t at) {
    return std::bit_cast<float>(LoadU32le(bytes, at));
}

// Three float32 at `at` of `bytes`, plus `add`.
std::array<float, 3> Vector(ByteSpan bytes, std::size_t at, const std::array<float, 3>& add = {}) {
    return {FloatAt(bytes, at) + add[0], FloatAt(bytes, at + 4) + add[1],
            FloatAt(bytes, at + 8) + add[2]};
}

Json VectorJson(const std::array<float, 3>& v) {
    return Json::array({FloatJson(v[0]), FloatJson(v[1]), FloatJson(v[2])});
}

// The smallest and largest coordinates of a part's vertices plus its position, in the car's
// coordinates; null for a part without vertices or whose vertices lie outside the mesh.
template <typename Mesh>
Json BoundingBox(const Mesh& mesh, int slot, const std::array<float, 3>& position) {
    const std::int64_t first = mesh.PartFirstVertex(slot), count = mesh.PartVertexCount(slot);
    if (first < 0 || count <= 0 || first + count > mesh.VertexCount())
        return nullptr;
    const Bytes& vertices = mesh.ArrayBytes(Mesh::kVertices);
    std::array<float, 3> low = Vector(vertices, 12 * static_cast<std::size_t>(first), position);
    std::array<float, 3> high = low;
    for (std::int64_t v = first + 1; v < first + count; ++v) {
        const auto p = Vector(vertices, 12 * static_cast<std::size_t>(v), position);
        for (std::size_t k = 0; k < 3; ++k) {
            low[k] = std::fmin(low[k], p[k]);
            high[k] = std::fmax(high[k], p[k]);
        }
    }
    return {{"min", VectorJson(low)}, {"max", VectorJson(high)}};
}

template <typename Mesh>
Json DescribeMeshCommon(const Mesh& mesh, int layoutVersion) {
    Json j;
    j["layoutVersion"] = layoutVersion;
    j["triangleCount"] = mesh.TriangleCount();
    j["vertexCount"] = mesh.VertexCount();
    j["auxiliaryCount"] = mesh.AuxiliaryCount();
    j["extent"] = Json::array();
    for (int i = 0; i < Mesh::kExtentValues; ++i)
        j["extent"].push_back(FloatJson(std::bit_cast<float>(mesh.Extent(i))));
    j["partCount"] = mesh.PartCount();
    j["parts"] = Json::array();
    for (int slot = 0; slot < mesh.UsedPartSlots(); ++slot) {
        const std::array<float, 3> position = Vector(mesh.PartPosition(slot), 0);
        j["parts"].push_back({{"slot", slot},
                              {"name", mesh.PartName(slot)},
                              {"firstVertex", mesh.PartFirstVertex(slot)},
                              {"vertexCount", mesh.PartVertexCount(slot)},
                              {"firstTriangle", mesh.PartFirstTriangle(slot)},
                              {"triangleCount", mesh.PartTriangleCount(slot)},
                              {"position", VectorJson(position)},
                              {"boundingBox", BoundingBox(mesh, slot, position)}});
    }
    j["colourCount"] = mesh.ColourCount();
    j["colours"] = Json::array();
    for (int slot = 0; slot < mesh.UsedColourSlots(); ++slot) {
        Json colour = Json::array();
        for (int c = 0; c < Mesh::kColourComponents; ++c)
            colour.push_back(mesh.Colour(slot, c));
        j["colours"].push_back(colour);
    }
    return j;
}

template <typename Mesh>
void AddMarkers(const Mesh& mesh, Json& j) {
    j["markerCount"] = mesh.MarkerCount();
    j["markers"] = Json::array();
    for (int slot = 0; slot < mesh.UsedMarkerSlots(); ++slot)
        j["markers"].push_back({{"slot", slot}, {"name", mesh.MarkerName(slot)}});
}

Json DescribeFce3(const Fce3File& mesh) {
    Json j = DescribeMeshCommon(mesh, 3);
    AddMarkers(mesh, j);
    return j;
}

Json DescribeFce4(const Fce4File& mesh) {
    Json j = DescribeMeshCommon(mesh, 4);
    j["secondColours"] = Json::array();
    for (int slot = 0; slot < mesh.UsedColourSlots(); ++slot) {
        Json colour = Json::array();
        for (int c = 0; c < Fce4File::kColourComponents; ++c)
            colour.push_back(mesh.SecondColour(slot, c));
        j["secondColours"].push_back(colour);
    }
    AddMarkers(mesh, j);
    return j;
}

template <std::size_t N>
Json DescribeCarp(const std::array<std::string, N>& values, const std::array<bool, N>& missing,
                  int layoutVersion) {
    Json j;
    j["layoutVersion"] = layoutVersion;
    j["parameters"] = Json::array();
    for (std::size_t n = 0; n < N; ++n) {
        j["parameters"].push_back({{"number", n},
                                   {"label", std::string(ParameterLabels[n])},
                                   {"value", values[n]},
                                   {"missing", missing[n]}});
    }
    return j;
}

template <typename Offsets, typename Strings>
Json DescribeStrings(const Offsets& offsets, const Strings& strings) {
    Json list = Json::array();
    for (std::size_t i = 0; i < strings.size(); ++i)
        list.push_back({{"slot", i}, {"offset", offsets[i]}, {"text", strings[i]}});
    return list;
}

template <typename Array>
Json Numbers(const Array& values) {
    Json list = Json::array();
    for (auto v : values)
        list.push_back(static_cast<int>(v));
    return list;
}

Json DescribeFedata3(const Fedata3File& file) {
    const Fedata3File::Header& h = file.GetHeader();
    Json j;
    j["layoutVersion"] = 3;
    j["header"] = {{"leadingBytes", Numbers(h.leadingBytes)},
                   {"flag6", h.flag6},
                   {"value10", h.value10},
                   {"flag16", h.flag16},
                   {"flag20", h.flag20},
                   {"value24", h.value24},
                   {"byteValues", Numbers(h.byteValues)}};
    j["strings"] = DescribeStrings(file.GetStringOffsets(), file.GetStrings());
    return j;
}

Json DescribeFedata4(const Fedata4File& file) {
    const Fedata4File::Header& h = file.GetHeader();
    Json j;
    j["layoutVersion"] = 4;
    j["header"] = {{"formatByte", h.leadingBlock[0]}, {"fedata3Bytes", Numbers(h.fedata3Bytes)},
                   {"value798", h.value798},          {"flagWord", h.flagWord},
                   {"value898", h.value898},          {"byteFields", Numbers(h.byteFields)},
                   {"value926", h.value926},          {"value930", h.value930},
                   {"value934", h.value934},          {"value938", h.value938}};
    j["strings"] = DescribeStrings(file.GetStringOffsets(), file.GetStrings());
    return j;
}

Json DescribeFsh(const FshFile& file) {
    Json j;
    j["entries"] = Json::array();
    for (const FshEntry& e : file.Entries()) {
        j["entries"].push_back({{"name", e.name},
                                {"offset", e.offset},
                                {"size", e.size},
                                {"formatCode", e.image->FormatCode()},
                                {"width", e.image->Width()},
                                {"height", e.image->Height()}});
    }
    return j;
}

Json DescribeTga(const TgaFile& file) {
    const TgaHeader& h = file.Header();
    const auto& colourMapBytes = h.colourMapSpec;
    // Load reports a decoded image under its uncompressed type; the file holds the RLE type.
    const int imageType = h.imageType | (file.WasRunLengthEncoded() ? TgaFile::kRleTypeBit : 0);
    Json j;
    j["header"] = {{"idLength", h.idLength},
                   {"colourMapType", h.colourMapType},
                   {"imageType", imageType},
                   {"colourMapFirstIndex", colourMapBytes[0] | (colourMapBytes[1] << 8)},
                   {"colourMapLength", colourMapBytes[2] | (colourMapBytes[3] << 8)},
                   {"colourMapEntrySize", colourMapBytes[4]},
                   {"xOrigin", h.xOrigin},
                   {"yOrigin", h.yOrigin},
                   {"width", h.width},
                   {"height", h.height},
                   {"pixelDepth", h.pixelDepth},
                   {"imageDescriptor", h.imageDescriptor}};
    j["runLengthEncoded"] = file.WasRunLengthEncoded();
    j["trailingBytes"] =
        file.WasRunLengthEncoded() ? file.DroppedByteCount() : file.TrailingByteCount();
    // Looked for in the file itself: a decoded image no longer holds what followed its data.
    const std::size_t trailing = j["trailingBytes"].get<std::size_t>();
    bool footer = false;
    if (trailing >= kTgaFooterSize) {
        const ReadOnlyFile in(file.path);
        const std::int64_t at = in.Size() - static_cast<std::int64_t>(kTgaFooterSignature.size());
        const Bytes end = in.ReadAt(std::max<std::int64_t>(at, 0), kTgaFooterSignature.size());
        footer = std::equal(
            kTgaFooterSignature.begin(), kTgaFooterSignature.end(), end.begin(), end.end(),
            [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; });
    }
    j["footer"] = footer;
    return j;
}

Json DescribeLoaded(const GameFile& file) {
    if (auto* f = dynamic_cast<const VivArchive*>(&file))
        return {{"members", DescribeMembers(*f)}};
    if (auto* f = dynamic_cast<const Fce3File*>(&file))
        return DescribeFce3(*f);
    if (auto* f = dynamic_cast<const Fce4File*>(&file))
        return DescribeFce4(*f);
    if (auto* f = dynamic_cast<const Carp3File*>(&file))
        return DescribeCarp(f->parameters, f->parameterMissing, 3);
    if (auto* f = dynamic_cast<const Carp4File*>(&file))
        return DescribeCarp(f->parameters, f->parameterMissing, 4);
    if (auto* f = dynamic_cast<const Fedata3File*>(&file))
        return DescribeFedata3(*f);
    if (auto* f = dynamic_cast<const Fedata4File*>(&file))
        return DescribeFedata4(*f);
    if (auto* f = dynamic_cast<const FshFile*>(&file))
        return DescribeFsh(*f);
    if (auto* f = dynamic_cast<const TgaFile*>(&file))
        return DescribeTga(*f);
    return Json::object();
}

// ---- Human-readable form, rendered from the description so that both forms agree. ----

std::string Text(const Json& value) {
    return PrintableName(value.get<std::string>());
}

// Numbers in their shortest form (1.5, 2); the words for non-finite floats without quotes.
std::string Joined(const Json& values) {
    std::string out;
    for (const Json& v : values) {
        if (!out.empty())
            out += ' ';
        out += v.is_string()         ? v.get<std::string>()
               : v.is_number_float() ? fmt::format("{}", v.get<double>())
                                     : v.dump();
    }
    return out;
}

void PrintMesh(const Json& j, std::ostream& out) {
    out << fmt::format("layout version: {}\n", j["layoutVersion"].get<int>());
    out << fmt::format("triangles: {}  vertices: {}  auxiliary: {}\n", j["triangleCount"].dump(),
                       j["vertexCount"].dump(), j["auxiliaryCount"].dump());
    out << "extent: " << Joined(j["extent"]) << '\n';
    out << fmt::format(
        "parts: {}  (box: smallest and largest vertex + position, car "
        "coordinates)\n",
        j["partCount"].dump());
    for (const Json& p : j["parts"]) {
        out << fmt::format("  {:>2} {:<24} vertices {} from {}, triangles {} from {}\n",
                           p["slot"].dump(), Text(p["name"]), p["vertexCount"].dump(),
                           p["firstVertex"].dump(), p["triangleCount"].dump(),
                           p["firstTriangle"].dump());
        const Json& box = p["boundingBox"];
        out << fmt::format(
            "     position {}  box {}\n", Joined(p["position"]),
            box.is_null() ? std::string("none") : Joined(box["min"]) + " to " + Joined(box["max"]));
    }
    out << fmt::format("colours: {}\n", j["colourCount"].dump());
    for (std::size_t i = 0; i < j["colours"].size(); ++i) {
        out << fmt::format("  {:>2} {}", i, Joined(j["colours"][i]));
        if (j.contains("secondColours"))
            out << " / " << Joined(j["secondColours"][i]);
        out << '\n';
    }
    out << fmt::format("markers: {}\n", j["markerCount"].dump());
    for (const Json& m : j["markers"])
        out << fmt::format("  {:>2} {}\n", m["slot"].dump(), Text(m["name"]));
}

void PrintCarp(const Json& j, std::ostream& out) {
    out << fmt::format("layout version: {}\n", j["layoutVersion"].get<int>());
    out << fmt::format("parameters: {}\n", j["parameters"].size());
    for (const Json& p : j["parameters"]) {
        out << fmt::format("  ({}) {}: {}\n", p["number"].dump(), Text(p["label"]),
                           p["missing"].get<bool>() ? std::string("(missing)") : Text(p["value"]));
    }
}

void PrintFedata(const Json& j, std::ostream& out) {
    out << fmt::format("layout version: {}\n", j["layoutVersion"].get<int>());
    for (const auto& [key, value] : j["header"].items())
        out << key << ": " << (value.is_array() ? Joined(value) : value.dump()) << '\n';
    out << fmt::format("strings: {}\n", j["strings"].size());
    for (const Json& s : j["strings"]) {
        out << fmt::format("  {:>2} at {:>5}: {}\n", s["slot"].dump(), s["offset"].dump(),
                           Text(s["text"]));
    }
}

void PrintFsh(const Json& j, std::ostream& out) {
    out << fmt::format("entries: {}\n", j["entries"].size());
    for (const Json& e : j["entries"]) {
        out << fmt::format("  {:<4} offset {:>8} size {:>8} format 0x{:02x} {} x {}\n",
                           Text(e["name"]), e["offset"].dump(), e["size"].dump(),
                           e["formatCode"].get<int>(), e["width"].dump(), e["height"].dump());
    }
}

void PrintTga(const Json& j, std::ostream& out) {
    for (const auto& [key, value] : j["header"].items())
        out << key << ": " << value.dump() << '\n';
    out << "run-length encoded: " << (j["runLengthEncoded"].get<bool>() ? "yes" : "no") << '\n';
    out << "bytes after the image data: " << j["trailingBytes"].dump() << '\n';
    out << "TGA 2.0 footer: " << (j["footer"].get<bool>() ? "yes" : "no") << '\n';
}

void PrintText(const Json& j, std::ostream& out) {
    out << "file: " << Text(j["file"]) << '\n';
    out << "type: " << Text(j["type"]) << '\n';
    out << "size: " << j["size"].dump() << " bytes\n";
    const std::string type = j["type"].get<std::string>();
    if (type == "VIV") {
        out << fmt::format("members: {}\n", j["members"].size());
        for (const Json& m : j["members"]) {
            out << fmt::format("{:>10} {:>10} {} {}\n", m["offset"].dump(), m["size"].dump(),
                               Text(m["name"]), Text(m["type"]));
        }
    } else if (type == "FCE3" || type == "FCE4") {
        PrintMesh(j, out);
    } else if (type == "CARP3" || type == "CARP4") {
        PrintCarp(j, out);
    } else if (type == "FEDATA3" || type == "FEDATA4") {
        PrintFedata(j, out);
    } else if (type == "FSH") {
        PrintFsh(j, out);
    } else if (type == "TGA") {
        PrintTga(j, out);
    }
}

}  // namespace

nlohmann::ordered_json DescribeFile(const std::string& path) {
    std::unique_ptr<GameFile> file = NewMemberFile(path, 0);
    const std::string type = MemberTypeTag(*file);
    if (type != "-")
        file->Load();
    Json j;
    j["file"] = path;
    j["type"] = type;
    j["size"] = FileSize(path);
    Json details = DescribeLoaded(*file);
    for (auto& [key, value] : details.items())
        j[key] = value;
    return j;
}

void PrintFileInfo(const std::string& path, bool json, std::ostream& out) {
    Json j = DescribeFile(path);
    if (json) {
        out << j.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
        return;
    }
    PrintText(j, out);
}

}  // namespace carconv
