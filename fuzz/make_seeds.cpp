// carconv-fuzz-seeds OUTDIR: writes a seed corpus for every fuzz target into OUTDIR/<target>/.
//
// The seeds are the sample generator's version-3 packages and its stock car package, the packages
// the converter makes of the samples, and every member of all of them, each sorted to the loader
// it belongs to: members by name and, where the name cannot tell the layouts apart, by content.
// The picture archives are also split into their entries for the picture entry target. Textures,
// pictures and meshes are cut down (see kSeedTextureSide), which keeps the seeds small and fast to
// run.

#include <algorithm>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <iostream>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/converter_app.h"
#include "files/warnings.h"
#include "sample_cars.h"
#include "sample_formats.h"

namespace {

namespace fs = std::filesystem;
using carconv::samples::Bytes;
using carconv::samples::Member;
using carconv::samples::ReadBytes;
using carconv::samples::WriteBytes;

// Where the version-4 mesh layout has the first part name, which starts with ':'.
constexpr std::size_t kMeshVersionMarkAt = 3624;

// The seeds keep every feature of the samples at a fraction of their size: a large image or mesh
// only makes each input slower to run, and every input derived from it too. Textures are cut down
// to this many pixels square, meshes to this many vertices and triangles.
constexpr std::uint16_t kSeedTextureSide = 16;
constexpr std::int32_t kSeedMeshVertices = 24;
constexpr std::int32_t kSeedMeshTriangles = 16;

// The top-left corner of `texture`, at most kSeedTextureSide pixels square; all else as it was.
carconv::samples::Texture Cropped(carconv::samples::Texture texture) {
    constexpr std::size_t kBytesPerPixel = 4;
    const std::uint16_t width = std::min(texture.width, kSeedTextureSide);
    const std::uint16_t height = std::min(texture.height, kSeedTextureSide);
    Bytes pixels;
    for (std::size_t y = 0; y < height; ++y) {
        const auto row = texture.pixels.begin() +
                         static_cast<std::ptrdiff_t>(y * texture.width * kBytesPerPixel);
        pixels.insert(pixels.end(), row, row + static_cast<std::ptrdiff_t>(width * kBytesPerPixel));
    }
    texture.width = width;
    texture.height = height;
    texture.pixels = std::move(pixels);
    return texture;
}

// The first vertices and triangles of `mesh`, the parts' ranges cut to match; all else as it was.
carconv::samples::MeshModel Cropped(carconv::samples::MeshModel mesh) {
    const std::int32_t vertices =
        std::min(static_cast<std::int32_t>(mesh.vertices.size()), kSeedMeshVertices);
    const std::int32_t triangles =
        std::min(static_cast<std::int32_t>(mesh.triangles.size()), kSeedMeshTriangles);
    const auto v = static_cast<std::size_t>(vertices);
    mesh.vertices.resize(v);
    mesh.normals.resize(v);
    mesh.reserve1.resize(32 * v);
    mesh.reserve2.resize(12 * v);
    mesh.reserve3.resize(12 * v);
    mesh.triangles.resize(static_cast<std::size_t>(triangles));
    for (carconv::samples::MeshPart& part : mesh.parts) {
        part.firstVertex = std::min(part.firstVertex, vertices);
        part.vertexCount = std::min(part.vertexCount, vertices - part.firstVertex);
        part.firstTriangle = std::min(part.firstTriangle, triangles);
        part.triangleCount = std::min(part.triangleCount, triangles - part.firstTriangle);
    }
    return mesh;
}

bool EndsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The fuzz target whose loader reads a member of this name and content; empty for none.
std::string TargetFor(const std::string& memberName, const Bytes& bytes) {
    const std::string name = Lower(memberName);
    if (EndsWith(name, ".viv"))
        return "viv_archive";
    if (EndsWith(name, ".fsh"))
        return "fsh_file";
    if (EndsWith(name, ".tga"))
        return "tga";
    if (EndsWith(name, ".fce")) {
        bool v4 = bytes.size() > kMeshVersionMarkAt && bytes[kMeshVersionMarkAt] == ':';
        return v4 ? "fce4" : "fce3";
    }
    if (name.find("fedata.") != std::string::npos)
        return !bytes.empty() && bytes[0] >= 32 && bytes[0] < 128 ? "fedata3" : "fedata4";
    if (EndsWith(name, ".txt")) {
        const std::string text(bytes.begin(), bytes.end());
        return text.find("(80)") != std::string::npos ? "carp4" : "carp3";
    }
    return "";
}

// The entries of a picture archive: 32-bit little-endian entry count at 8, then 8-byte records
// (4-byte name, 32-bit offset) from 16; each entry runs to the next one's offset or the end.
std::vector<Bytes> PictureEntries(const Bytes& fsh) {
    auto u32 = [&](std::size_t at) {
        return static_cast<std::uint32_t>(fsh.at(at)) |
               static_cast<std::uint32_t>(fsh.at(at + 1)) << 8 |
               static_cast<std::uint32_t>(fsh.at(at + 2)) << 16 |
               static_cast<std::uint32_t>(fsh.at(at + 3)) << 24;
    };
    const std::uint32_t count = u32(8);
    std::vector<Bytes> entries;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::size_t begin = u32(16 + 8 * i + 4);
        std::size_t end = i + 1 < count ? u32(16 + 8 * (i + 1) + 4) : fsh.size();
        if (begin > end || end > fsh.size())
            throw std::runtime_error("sample picture archive has an entry outside the file");
        entries.emplace_back(fsh.begin() + static_cast<std::ptrdiff_t>(begin),
                             fsh.begin() + static_cast<std::ptrdiff_t>(end));
    }
    return entries;
}

// Bytes a pixel takes in a picture of this format code; 0 for a code without pixels.
std::size_t PictureBytesPerPixel(std::uint8_t formatCode) {
    switch (formatCode) {
        case 0x7D:
            return 4;
        case 0x78:
        case 0x7E:
            return 2;
        case 0x7B:
            return 1;
        default:
            return 0;
    }
}

// The top-left corner of `picture`, at most kSeedTextureSide pixels square; all else as it was.
carconv::samples::Picture Cropped(carconv::samples::Picture picture) {
    const std::size_t pixelBytes = PictureBytesPerPixel(picture.formatCode);
    const std::uint16_t width = std::min(picture.width, kSeedTextureSide);
    const std::uint16_t height = std::min(picture.height, kSeedTextureSide);
    Bytes pixels;
    for (std::size_t y = 0; y < height; ++y) {
        const auto row =
            picture.pixels.begin() + static_cast<std::ptrdiff_t>(y * picture.width * pixelBytes);
        pixels.insert(pixels.end(), row, row + static_cast<std::ptrdiff_t>(width * pixelBytes));
    }
    picture.width = width;
    picture.height = height;
    picture.pixels = std::move(pixels);
    return picture;
}

// A picture archive of the sample generator with every picture cropped.
Bytes CroppedPictureArchive(const Bytes& fsh) {
    constexpr std::size_t kImageHeader = 16, kPaletteHeader = 16, kPalette = 1024;
    const std::vector<Bytes> entries = PictureEntries(fsh);
    std::vector<carconv::samples::Picture> pictures;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Bytes& e = entries[i];
        auto u16 = [&](std::size_t at) {
            return static_cast<std::uint16_t>(e.at(at) | e.at(at + 1) << 8);
        };
        carconv::samples::Picture p;
        const auto name = fsh.begin() + static_cast<std::ptrdiff_t>(16 + 8 * i);
        p.name.assign(name, name + 4);
        p.formatCode = e.at(0);
        p.width = u16(4);
        p.height = u16(6);
        for (std::size_t k = 0; k < p.words.size(); ++k)
            p.words[k] = static_cast<std::int16_t>(u16(8 + 2 * k));
        const std::size_t pixels =
            std::size_t{p.width} * p.height * PictureBytesPerPixel(p.formatCode);
        const std::size_t palette = p.formatCode == 0x7B ? kPaletteHeader + kPalette : 0;
        if (e.size() < kImageHeader + pixels + palette)
            throw std::runtime_error("sample picture is shorter than its header says");
        const auto data = e.begin() + static_cast<std::ptrdiff_t>(kImageHeader);
        p.pixels.assign(data, data + static_cast<std::ptrdiff_t>(pixels));
        if (palette > 0) {
            const auto entriesAt = data + static_cast<std::ptrdiff_t>(pixels + kPaletteHeader);
            p.palette.assign(entriesAt, entriesAt + static_cast<std::ptrdiff_t>(kPalette));
        }
        pictures.push_back(Cropped(std::move(p)));
    }
    return carconv::samples::FshBytes(pictures);
}

// `members` without those whose bytes an earlier member already has: the version-4 package holds
// four copies of each of the car's meshes, performance texts and textures, which give the archive
// target nothing new to mutate but make every input of its corpus larger and slower.
std::vector<Member> WithoutRepeats(const std::vector<Member>& members) {
    std::set<Bytes> seen;
    std::vector<Member> kept;
    for (const Member& member : members) {
        if (seen.insert(member.bytes).second)
            kept.push_back(member);
    }
    return kept;
}

class Corpus {
  public:
    explicit Corpus(fs::path root) : root_(std::move(root)) {}

    void Add(const std::string& target, const std::string& name, const Bytes& bytes) {
        // Identical bytes make one seed.
        if (!seen_.insert(target + '\0' + std::string(bytes.begin(), bytes.end())).second)
            return;
        WriteBytes(root_ / target / name, bytes);
        ++count_;
    }

    // Every member of a package, and the entries of its picture archives.
    void AddMembers(const std::string& package, const std::vector<Member>& members) {
        for (const Member& member : members) {
            std::string target = TargetFor(member.name, member.bytes);
            if (target.empty())
                continue;
            Add(target, package + "-" + member.name, member.bytes);
            if (target == "fsh_file") {
                int i = 0;
                for (const Bytes& entry : PictureEntries(member.bytes))
                    Add("fsh_image", package + "-" + member.name + "-" + std::to_string(i++),
                        entry);
            }
        }
    }

    int Count() const { return count_; }

  private:
    fs::path root_;
    std::set<std::string> seen_;
    int count_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: carconv-fuzz-seeds OUTDIR\n";
        return 2;
    }
    try {
        const fs::path out(argv[1]);
        const fs::path work = out / ".work";
        fs::remove_all(work);
        Corpus corpus(out);
        carconv::ScopedWarningSink quiet{carconv::DropWarnings{}};

        std::vector<carconv::samples::SampleCar> cars = carconv::samples::SampleCars(1);
        for (auto& car : cars) {
            car.skin = Cropped(car.skin);
            car.mesh = Cropped(car.mesh);
            for (auto& picture : car.pictures)
                picture = Cropped(picture);
        }
        // The stock car's textures, pictures and car mesh, likewise small; its mesh stays
        // version 4.
        carconv::samples::MeshModel stockMesh = cars.front().mesh;
        stockMesh.parts.front().name = ":HB";
        std::vector<Member> stock = carconv::samples::StockCarMembers(1);
        for (Member& member : stock) {
            if (EndsWith(Lower(member.name), ".tga"))
                member.bytes = carconv::samples::TgaBytes(cars.front().skin);
            if (Lower(member.name) == "car.fce")
                member.bytes = carconv::samples::Fce4Bytes(stockMesh);
            if (EndsWith(Lower(member.name), ".fsh"))
                member.bytes = CroppedPictureArchive(member.bytes);
        }
        const fs::path templates = work / "templates";
        for (const Member& member : stock) {
            if (std::find(carconv::samples::kTemplateNames.begin(),
                          carconv::samples::kTemplateNames.end(),
                          member.name) != carconv::samples::kTemplateNames.end()) {
                WriteBytes(templates / member.name, member.bytes);
            }
        }
        const Bytes stockPackage = carconv::samples::VivBytes(stock);
        corpus.Add("viv_archive", "stock.viv", stockPackage);
        corpus.AddMembers("stock", stock);

        for (const auto& car : cars) {
            const std::vector<Member> members = car.Members();
            const Bytes package = carconv::samples::VivBytes(members);
            corpus.Add("viv_archive", car.name + ".viv", package);
            corpus.Add("convert", car.name + ".viv", package);
            corpus.AddMembers(car.name, members);

            // The converter's version-4 package of this car.
            const fs::path input = work / (car.name + ".viv");
            const fs::path output = work / (car.name + "-v4.viv");
            WriteBytes(input, package);
            carconv::ConvertPackage(input.string(), output.string(), templates.string() + "/");
            const Bytes converted = ReadBytes(output);
            const std::vector<Member> convertedMembers = carconv::samples::ReadViv(converted);
            corpus.Add("viv_archive", car.name + "-v4.viv",
                       carconv::samples::VivBytes(WithoutRepeats(convertedMembers)));
            corpus.AddMembers(car.name + "-v4", convertedMembers);

            // A package inside a package, for the nesting.
            const Bytes nested = carconv::samples::VivBytes({{"inner.viv", package}});
            corpus.Add("viv_archive", car.name + "-nested.viv", nested);
        }
        fs::remove_all(work);
        std::cout << "wrote " << corpus.Count() << " seeds into " << out.string() << "\n";
        return 0;
    } catch (const std::exception& e) {
        std::cerr << "carconv-fuzz-seeds: " << e.what() << "\n";
        return 1;
    }
}
