// End to end: the generated sample packages, converted by the carconv executable as a user runs
// it, checked member by member against what the generator wrote.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>

#include "sample_cars.h"
#include "sample_describe.h"
#include "sample_formats.h"
#include "support/packages.h"
#include "support/test_util.h"

namespace carconv {
namespace {

using test::Bytes;
using test::GetCString;
using test::GetI32le;
using test::GetU16le;
using test::GetU32le;
using test::ReadFile;
using test::RunCarconv;
using test::ScratchDir;

constexpr std::uint64_t kSeed = 20240607;

using test::Q;

// A user with nothing installed: HOME, settings and data folders inside `dir`.
std::string FreshUser(const ScratchDir& dir) {
    return "HOME=" + Q(dir.Path()) + " XDG_CONFIG_HOME=" + Q(dir.File("config")) +
           " XDG_DATA_HOME=" + Q(dir.File("data")) +
           " CARCONV_TEMPLATES= WINEPREFIX=" + Q(dir.File("nowine"));
}

std::map<std::string, Bytes> ByName(const std::vector<std::pair<std::string, Bytes>>& members) {
    std::map<std::string, Bytes> m;
    for (const auto& [name, bytes] : members)
        m[name] = bytes;
    return m;
}

Bytes Slice(const Bytes& b, std::size_t offset, std::size_t size) {
    if (offset > b.size() || size > b.size() - offset)
        return {};
    return Bytes(b.begin() + offset, b.begin() + offset + size);
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

void CheckPerformance(const samples::SampleCar& car, const std::map<std::string, Bytes>& out) {
    const Bytes& carp = out.at("carp.txt");
    const std::string text(carp.begin(), carp.end());
    // Parameter 80 sits between 30 and 31; every line ends in CR LF, whatever the input used.
    const std::string around80 = car.carp[30] + "\r\nundersteer gradient(80)\r\n1.000000\r\n" +
                                 "aerodynamic downforce multiplier(31)\r\n" + car.carp[31] + "\r\n";
    EXPECT_NE(text.find(around80), std::string::npos);
    EXPECT_EQ(text.rfind("Serial Number(0)\r\n" + car.carp[0] + "\r\n", 0), 0u);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << "lone LF at " << i;
        }
    }
    std::vector<std::string> values = samples::ReadCarpValues(text, 81);
    for (std::size_t n = 0; n < 80; ++n)
        EXPECT_EQ(values[n], car.carp[n]) << "parameter " << n;
    // The whole text, laid out by the generator's independent writer.
    std::vector<std::string> expected = car.carp;
    expected.push_back("1.000000");
    const std::string whole = samples::CarpText(expected, "\r\n");
    EXPECT_EQ(carp, Bytes(whole.begin(), whole.end()));
    for (const char* copy : {"carp1.txt", "carp2.txt", "carp3.txt"})
        EXPECT_EQ(out.at(copy), carp) << copy;
}

void CheckMesh(const samples::SampleCar& car, const std::map<std::string, Bytes>& out) {
    const Bytes& fce = out.at("car.fce");
    const std::size_t v = car.mesh.vertices.size(), t = car.mesh.triangles.size();
    ASSERT_EQ(fce.size(), 8248 + 140 * v + 68 * t);
    EXPECT_EQ(Slice(fce, 0, 4), (Bytes{0x14, 0x10, 0x10, 0x00}));
    EXPECT_EQ(GetU32le(fce, 0x08), t);
    EXPECT_EQ(GetU32le(fce, 0x0C), v);
    EXPECT_EQ(GetI32le(fce, 0x10), car.mesh.auxiliaryCount);
    EXPECT_EQ(GetU32le(fce, 0x11C), car.mesh.parts.size());
    EXPECT_EQ(GetU32le(fce, 0x820), car.mesh.colours.size());
    // Packed offsets: each array right after the one before.
    const std::size_t sizes[14] = {12 * v, 12 * v, 56 * t, 32 * v, 12 * v, 12 * v, 12 * v,
                                   12 * v, 12 * v, 12 * v, 4 * v,  4 * v,  4 * v,  12 * t};
    std::size_t offset = 0;
    for (std::size_t i = 0; i < 14; ++i) {
        EXPECT_EQ(GetU32le(fce, 0x14 + 4 * i), offset) << "array " << i;
        offset += sizes[i];
    }
    const char* fixed[12] = {":HB",   ":HLFW", ":HRFW", ":HLRW", ":HRRW", ":MB",
                             ":MLFW", ":MRFW", ":MLRW", ":MRRW", ":LB",   ":TB"};
    for (std::size_t i = 0; i < 64; ++i) {
        std::string name = i < 12                      ? fixed[i]
                           : i < car.mesh.parts.size() ? Lower(car.mesh.parts[i].name)
                                                       : "";
        EXPECT_EQ(GetCString(fce, 3624 + 64 * i, 64), name) << "part " << i;
    }
    for (std::size_t i = 0; i < car.mesh.colours.size(); ++i)
        for (std::size_t k = 0; k < 4; ++k) {
            const auto low = static_cast<std::uint8_t>(car.mesh.colours[i][k] & 0xFF);
            EXPECT_EQ(fce[0x824 + 4 * i + k], low);
            EXPECT_EQ(fce[0x8A4 + 4 * i + k], low);
        }
    // The arrays: the six of the source, the four copies, zeros.
    const Bytes vertices = samples::VertexArrayBytes(car.mesh.vertices);
    const Bytes normals = samples::VertexArrayBytes(car.mesh.normals);
    std::size_t at = 8248;
    for (const Bytes* expected : {&vertices, &normals}) {
        EXPECT_EQ(Slice(fce, at, expected->size()), *expected);
        at += expected->size();
    }
    EXPECT_EQ(Slice(fce, at, 56 * t), samples::TriangleArrayBytes(car.mesh.triangles));
    at += 56 * t;
    for (const Bytes* expected : {&car.mesh.reserve1, &car.mesh.reserve2, &car.mesh.reserve3,
                                  &vertices, &normals, &vertices, &normals}) {
        EXPECT_EQ(Slice(fce, at, expected->size()), *expected) << "array at " << at;
        at += expected->size();
    }
    EXPECT_EQ(Slice(fce, at, 12 * v + 12 * t), Bytes(12 * v + 12 * t, 0));

    // The whole file, laid out by the generator's independent version-4 writer from the model
    // with the converted names; the fixed names stand in their slots even when no part does.
    samples::MeshModel renamed = car.mesh;
    for (std::size_t i = 0; i < renamed.parts.size(); ++i)
        renamed.parts[i].name = i < 12 ? fixed[i] : Lower(renamed.parts[i].name);
    Bytes expected = samples::Fce4Bytes(renamed);
    for (std::size_t i = 0; i < 12; ++i)
        samples::PutName(expected, 3624 + 64 * i, fixed[i], 64);
    EXPECT_EQ(fce, expected);
    for (const char* copy : {"car1.fce", "car2.fce", "car3.fce"})
        EXPECT_EQ(out.at(copy), fce) << copy;
}

void CheckSkin(const samples::SampleCar& car, const std::map<std::string, Bytes>& out) {
    const Bytes& tga = out.at("car00.tga");
    const samples::Texture& skin = car.skin;
    const std::size_t row = std::size_t{skin.width} * 4;
    const std::size_t start = 18 + skin.imageId.size();
    ASSERT_EQ(tga.size(), start + row * skin.height);  // no footer, uncompressed
    EXPECT_EQ(tga[0], skin.imageId.size());
    EXPECT_EQ(tga[1], 0);
    EXPECT_EQ(tga[2], 2);  // run-length data is written uncompressed
    EXPECT_EQ(GetU16le(tga, 12), skin.width);
    EXPECT_EQ(GetU16le(tga, 14), skin.height);
    EXPECT_EQ(tga[16], 32);
    EXPECT_EQ(tga[17], skin.descriptor);
    EXPECT_EQ(Slice(tga, 18, skin.imageId.size()), Bytes(skin.imageId.begin(), skin.imageId.end()));
    for (std::size_t r = 0; r < skin.height; ++r) {
        const std::size_t from = (skin.height - 1 - r) * row;
        ASSERT_EQ(Slice(tga, start + r * row, row),
                  Bytes(skin.pixels.begin() + from, skin.pixels.begin() + from + row))
            << "row " << r;
    }
    for (const char* copy : {"car100.tga", "car200.tga", "car300.tga"})
        EXPECT_EQ(out.at(copy), tga) << copy;
}

void CheckFrontEnd(const samples::SampleCar& car, const std::map<std::string, Bytes>& out) {
    for (const auto& [file, in] : car.frontEnd) {
        SCOPED_TRACE(file);
        const Bytes& fe = out.at(file);
        std::vector<std::string> expected(in.strings.begin(), in.strings.begin() + 17);
        expected.push_back("");
        expected.insert(expected.end(), in.strings.begin() + 17, in.strings.end());
        std::size_t size = 1124;
        for (const std::string& s : expected)
            size += s.size() + 1;
        ASSERT_EQ(fe.size(), size);
        EXPECT_EQ(fe[0], 4);
        EXPECT_EQ(Slice(fe, 274, 4), Bytes(in.lead.begin(), in.lead.end()));
        EXPECT_EQ(GetI32le(fe, 798), in.number24);
        const int flags =
            (in.flag6 == 1 ? 1 : 0) + (in.flag20 == 1 ? 2 : 0) + (in.flag16 == 1 ? 16 : 0);
        EXPECT_EQ(GetU16le(fe, 890), flags);
        EXPECT_EQ(GetI32le(fe, 898), in.number10 + 1);
        EXPECT_EQ(fe[904], 10);
        int sum = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            sum += in.ratings[k];
            for (std::size_t j = 0; j < 4; ++j)
                EXPECT_EQ(static_cast<std::int8_t>(fe[905 + 4 * k + j]), in.ratings[k]);
        }
        for (std::size_t j = 0; j < 4; ++j)
            EXPECT_EQ(static_cast<std::int8_t>(fe[921 + j]), sum / 4);
        EXPECT_EQ(fe[925], 0);
        for (std::size_t f = 0; f < 4; ++f)
            EXPECT_EQ(GetI32le(fe, 926 + 4 * f), 100);
        EXPECT_EQ(fe[958], 41);
        std::uint32_t position = 1124;
        for (std::size_t i = 0; i < 41; ++i) {
            EXPECT_EQ(GetU32le(fe, 960 + 4 * i), position) << "slot " << i;
            EXPECT_EQ(GetCString(fe, position, 257), expected[i]) << "string " << i;
            position += static_cast<std::uint32_t>(expected[i].size() + 1);
        }
    }
}

TEST(SampleConversion, EverySampleConvertsMemberByMember) {
    CARCONV_SKIP_ON_WINDOWS("runs the tool through a POSIX shell");
    ScratchDir dir;
    const std::string env = FreshUser(dir);
    samples::WriteSamples(dir.File("samples"), kSeed);
    const auto stock = samples::StockCarMembers(kSeed);

    auto r = RunCarconv("install-templates --search " + Q(dir.File("samples/game")) +
                            " --templates " + Q(dir.File("templates")),
                        "", env);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::map<std::string, Bytes> templates;
    for (const samples::Member& m : stock)
        templates[m.name] = m.bytes;
    for (const std::string& name : samples::kTemplateNames)
        EXPECT_EQ(ReadFile(dir.File("templates/" + name)), templates.at(name)) << name;
    // The stock car's working copy is gone from the game folder.
    EXPECT_EQ(test::ListNames(dir.File("samples/game/data/cars/fm50")),
              std::vector<std::string>{"car.viv"});

    const auto cars = samples::SampleCars(kSeed);
    ASSERT_EQ(cars.size(), 3u);
    for (const samples::SampleCar& car : cars) {
        SCOPED_TRACE(car.name);
        const std::string input = dir.File("samples/" + car.name + ".viv");
        const std::string output = dir.File(car.name + ".v4.viv");
        r = RunCarconv(
            "convert " + Q(input) + " " + Q(output) + " --templates " + Q(dir.File("templates")),
            "", env);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err, "");

        const auto members = test::ReadArchive(output);
        std::vector<std::string> names;
        for (const auto& m : members)
            names.push_back(m.first);
        std::vector<std::string> expectedNames = {
            "carp.txt",   "carp1.txt",   "carp2.txt",  "carp3.txt",  "car.fce",    "car1.fce",
            "car2.fce",   "car3.fce",    "car00.tga",  "car100.tga", "car200.tga", "car300.tga",
            "dash.fsh",   "dash.fce",    "dash00.tga", "fedata.eng", "fedata.bri", "fedata.ger",
            "fedata.fre", "fedata.ita",  "fedata.spa", "fedata.swe", "careng.ctb", "careng.ltb",
            "careng.bnk", "ocareng.bnk", "scareng.bnk"};
        if (!car.pictures.empty())
            expectedNames.insert(expectedNames.begin() + 15, "fedata.fsh");
        ASSERT_EQ(names, expectedNames);

        const auto out = ByName(members);
        CheckPerformance(car, out);
        CheckMesh(car, out);
        CheckSkin(car, out);
        CheckFrontEnd(car, out);
        for (const std::string& name : samples::kTemplateNames) {
            EXPECT_EQ(out.at(name), templates.at(name)) << name;
        }
        if (!car.pictures.empty()) {
            EXPECT_EQ(out.at("fedata.fsh"), samples::FshBytes(car.pictures));
        }

        // The listing agrees with the archive, member by member.
        r = RunCarconv("list --json " + Q(output), "", env);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        auto json = nlohmann::json::parse(r.out);
        ASSERT_EQ(json.size(), members.size());
        for (std::size_t i = 0; i < members.size(); ++i) {
            EXPECT_EQ(json[i]["name"], members[i].first);
            EXPECT_EQ(json[i]["size"], members[i].second.size());
        }

        // The demo's summary finds nothing amiss.
        const std::string summary = samples::DescribeConversion(samples::ReadViv(ReadFile(input)),
                                                                samples::ReadViv(ReadFile(output)));
        EXPECT_NE(summary.find("80 of 80 parameters carried"), std::string::npos) << summary;
        EXPECT_EQ(summary.find("NO"), std::string::npos) << summary;
    }
    EXPECT_EQ(test::ListNames(dir.Path()),
              (std::vector<std::string>{"config", "full.v4.viv", "minimal.v4.viv", "rle-lf.v4.viv",
                                        "samples", "templates"}));
}

TEST(SampleGenerator, SamplesAreDeterministicAndDifferWhereTheyShould) {
    ScratchDir a, b, c;
    samples::WriteSamples(a.Path(), 5);
    samples::WriteSamples(b.Path(), 5);
    samples::WriteSamples(c.Path(), 6);
    for (const char* file : {"full.viv", "rle-lf.viv", "minimal.viv", samples::kStockCarPath}) {
        EXPECT_EQ(ReadFile(a.File(file)), ReadFile(b.File(file))) << file;
        EXPECT_NE(ReadFile(a.File(file)), ReadFile(c.File(file))) << file;
    }

    const auto cars = samples::SampleCars(5);
    for (const samples::SampleCar& car : cars) {
        SCOPED_TRACE(car.name);
        auto members = ByName(test::ReadArchive(a.File(car.name + ".viv")));
        EXPECT_EQ(members.size(), car.pictures.empty() ? 10u : 11u);
        const Bytes& fce = members.at("car.fce");
        const std::size_t v = car.mesh.vertices.size(), t = car.mesh.triangles.size();
        EXPECT_EQ(fce.size(), 7940 + 80 * v + 56 * t);
        EXPECT_EQ(GetU32le(fce, 0x04), t);
        EXPECT_EQ(GetU32le(fce, 0x08), v);
        EXPECT_EQ(GetU32le(fce, 0x24), 68 * v + 56 * t);  // reserve3 offset, packed
        // The skin decodes to the model's pixels, whatever its encoding.
        const Bytes& tga = members.at("car00.tga");
        EXPECT_EQ(samples::DecodeTgaPixels(tga), car.skin.pixels);
        EXPECT_EQ(GetU16le(tga, 12), 256);
        EXPECT_EQ(GetU16le(tga, 14), 256);
        const std::string carp(members.at("carp.txt").begin(), members.at("carp.txt").end());
        EXPECT_EQ(samples::ReadCarpValues(carp, 80), car.carp);
        for (const auto& [file, model] : car.frontEnd) {
            const Bytes& fe = members.at(file);
            EXPECT_GT(fe[0], 31) << file;
            auto strings = samples::ReadFrontEndStrings(fe, 47, 40);
            EXPECT_EQ(strings,
                      std::vector<std::string>(model.strings.begin(), model.strings.end()));
        }
    }
    // The ways the three cars differ.
    const auto full = ByName(test::ReadArchive(a.File("full.viv")));
    EXPECT_EQ(full.at("car00.tga")[2], 2);
    EXPECT_GE(cars[0].mesh.parts.size(), 16u);
    const auto rle = ByName(test::ReadArchive(a.File("rle-lf.viv")));
    const Bytes& skin = rle.at("car00.tga");
    EXPECT_EQ(skin[2], 10);
    EXPECT_LT(skin.size(), 18 + 256 * 256 * 4u);
    EXPECT_EQ(GetCString(skin, skin.size() - 18, 18), "TRUEVISION-XFILE.");
    const Bytes& lfText = rle.at("carp.txt");
    EXPECT_EQ(std::count(lfText.begin(), lfText.end(), '\r'), 0);
    EXPECT_EQ(std::count(lfText.begin(), lfText.end(), '\n'), 160);
    const auto minimal = ByName(test::ReadArchive(a.File("minimal.viv")));
    EXPECT_EQ(minimal.at("car.fce").size(), 7940u);
    EXPECT_EQ(minimal.at("fedata.eng").size(), 208u);  // one shared empty string

    // The stock car: the eight templates and more; its meshes are version-4 (':' at 3624).
    const auto stock = ByName(test::ReadArchive(a.File(samples::kStockCarPath)));
    for (const std::string& name : samples::kTemplateNames)
        EXPECT_EQ(stock.count(name), 1u) << name;
    EXPECT_GT(stock.size(), 8u);
    EXPECT_EQ(stock.at("dash.fce")[3624], ':');
    EXPECT_EQ(stock.at("car.fce")[3624], ':');
}

TEST(SampleGenerator, SummaryReportsAConversionThatWentWrong) {
    const auto car = samples::SampleCars(3)[0];
    std::vector<samples::Member> v3 = car.Members();
    // A "conversion" that carried the skin unflipped and dropped the last language file's strings.
    std::vector<samples::Member> v4;
    std::vector<std::string> values = car.carp;
    values.push_back("1.000000");
    const std::string text = samples::CarpText(values, "\r\n");
    for (const char* name : {"carp.txt", "carp1.txt", "carp2.txt", "carp3.txt"})
        v4.push_back({name, Bytes(text.begin(), text.end())});
    for (const char* name : {"car.fce", "car1.fce", "car2.fce", "car3.fce"})
        v4.push_back({name, samples::Fce4Bytes(car.mesh)});
    for (const char* name : {"car00.tga", "car100.tga", "car200.tga", "car300.tga"})
        v4.push_back({name, samples::TgaBytes(car.skin)});
    for (const auto& [name, file] : car.frontEnd) {
        Bytes fe(1124 + 41, 0);
        for (std::size_t i = 0; i < 41; ++i)
            samples::PutU32le(fe, 960 + 4 * i, static_cast<std::uint32_t>(1124 + i));
        v4.push_back({name, fe});
    }
    for (const std::string& name : samples::kTemplateNames)
        v4.push_back({name, Bytes{1, 2, 3}});
    const std::string summary = samples::DescribeConversion(v3, v4);
    EXPECT_NE(summary.find("rows flipped: NO"), std::string::npos) << summary;
    EXPECT_NE(summary.find("new empty string 17: NO"), std::string::npos) << summary;
    EXPECT_NE(summary.find("80 of 80 parameters carried"), std::string::npos) << summary;
    EXPECT_NE(summary.find("fedata.fsh carried unchanged: NO"), std::string::npos) << summary;

    v4.erase(v4.begin());  // no carp.txt
    EXPECT_THROW(samples::DescribeConversion(v3, v4), std::runtime_error);
}

}  // namespace
}  // namespace carconv
