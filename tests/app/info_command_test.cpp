// The info command, and the type column of list, on files laid out byte by byte.

#include "app/info_command.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>

#include "files/errors.h"
#include "support/packages.h"
#include "support/test_util.h"

namespace carconv {
namespace {

using test::Builder;
using test::RunCarconv;
using test::ScratchDir;
using test::WriteFile;

using test::Q;

// Appends the four little-endian bytes of a float32.
Builder& F32(Builder& b, float v) {
    return b.u32le(std::bit_cast<std::uint32_t>(v));
}

// A version-3 mesh without arrays: two parts, one colour, one marker.
test::Bytes SmallFce3() {
    Builder b;
    b.zeros(4);                                  // 0x0000: not interpreted
    b.i32le(0).i32le(0).i32le(7);                // 0x0004: triangles 0, vertices 0, auxiliary 7
    b.zeros(6 * 4);                              // 0x0010: six array offsets
    F32(F32(F32(b, 1.5f), -0.25f), 2);           // 0x0028: extent, three floats
    b.i32le(1);                                  // 0x0034: marker count
    b.zeros(16 * 12);                            // 0x0038: marker positions
    b.i32le(2);                                  // 0x00F8: part count
    b.zeros(64 * 12);                            // 0x00FC: part positions
    b.i32le(0).i32le(5).zeros(62 * 4);           // 0x03FC: first vertex
    b.i32le(5).i32le(3).zeros(62 * 4);           // 0x04FC: vertex count
    b.i32le(0).i32le(4).zeros(62 * 4);           // 0x05FC: first triangle
    b.i32le(4).i32le(2).zeros(62 * 4);           // 0x06FC: triangle count
    b.i32le(1);                                  // 0x07FC: colour count
    b.i32le(10).i32le(20).i32le(300).i32le(40);  // 0x0800: colour 0
    b.zeros(15 * 16);                            //         colours 1-15
    b.zeros(260);                                // 0x0900: not interpreted
    b.str("Light").zeros(64 - 5);                // 0x0A04: marker name 0
    b.zeros(15 * 64);                            //         marker names 1-15
    b.str("Body").zeros(60);                     // 0x0E04: part name 0
    b.str("Wheel").zeros(59);                    //         part name 1
    b.zeros(62 * 64);                            //         part names 2-63
    b.zeros(256);                                // 0x1E04: not interpreted
    return b.bytes();
}

// A 1×1 32-bit TGA followed by `after`.
test::Bytes TinyTga(const test::Bytes& after) {
    Builder b;
    b.u8(0).u8(0).u8(2);  // ID length, colour map type, type 2
    b.zeros(5);           // colour map fields
    b.u16le(3).u16le(4);  // origin
    b.u16le(1).u16le(1);  // 1 × 1
    b.u8(32).u8(8);       // depth, descriptor
    b.str("BGRA");        // the pixel
    b.raw(after);
    return b.bytes();
}

TEST(InfoCommand, DescribesEachFormatFromItsBytes) {
    CARCONV_SKIP_ON_WINDOWS("runs the tool through a POSIX shell");
    ScratchDir dir;
    WriteFile(dir.File("CAR.FCE"), SmallFce3());
    auto mesh = DescribeFile(dir.File("CAR.FCE"));
    EXPECT_EQ(mesh["type"], "FCE3");
    EXPECT_EQ(mesh["size"], 7940);
    EXPECT_EQ(mesh["layoutVersion"], 3);
    EXPECT_EQ(mesh["auxiliaryCount"], 7);
    EXPECT_EQ(mesh["extent"], nlohmann::ordered_json::parse("[1.5, -0.25, 2]"));
    ASSERT_EQ(mesh["parts"].size(), 2u);
    EXPECT_EQ(mesh["parts"][1]["name"], "Wheel");
    EXPECT_EQ(mesh["parts"][1]["firstVertex"], 5);
    EXPECT_EQ(mesh["parts"][1]["vertexCount"], 3);
    EXPECT_EQ(mesh["parts"][1]["firstTriangle"], 4);
    EXPECT_EQ(mesh["parts"][1]["triangleCount"], 2);
    EXPECT_EQ(mesh["colours"], nlohmann::ordered_json::parse("[[10, 20, 300, 40]]"));
    ASSERT_EQ(mesh["markers"].size(), 1u);
    EXPECT_EQ(mesh["markers"][0]["name"], "Light");

    std::string text = test::Carp3Text();
    text.erase(text.find("label(5)"), std::string("label(5)\r\nv5\r\n").size());
    WriteFile(dir.File("xcarp.txt"), text);
    auto carp = DescribeFile(dir.File("xcarp.txt"));
    EXPECT_EQ(carp["type"], "CARP3");
    ASSERT_EQ(carp["parameters"].size(), 80u);
    EXPECT_EQ(carp["parameters"][0]["label"], "Serial Number");
    EXPECT_EQ(carp["parameters"][79]["value"], "v79");
    EXPECT_EQ(carp["parameters"][5]["missing"], true);
    EXPECT_EQ(carp["parameters"][6]["missing"], false);
    std::ostringstream human;
    PrintFileInfo(dir.File("xcarp.txt"), false, human);
    EXPECT_NE(human.str().find("\n  (0) Serial Number: v0\n"), std::string::npos) << human.str();
    EXPECT_NE(human.str().find(": (missing)\n  (6) "), std::string::npos);

    WriteFile(dir.File("fedata.ita"), test::Fedata3("ita"));
    auto fedata = DescribeFile(dir.File("fedata.ita"));
    EXPECT_EQ(fedata["type"], "FEDATA3");
    EXPECT_EQ(fedata["header"]["leadingBytes"], nlohmann::ordered_json::parse("[65, 66, 67, 68]"));
    EXPECT_EQ(fedata["header"]["byteValues"], nlohmann::ordered_json::parse("[1, 2, 3, 4]"));
    ASSERT_EQ(fedata["strings"].size(), 40u);
    EXPECT_EQ(fedata["strings"][0]["offset"], 207);
    EXPECT_EQ(fedata["strings"][39]["text"], "ita39");

    WriteFile(dir.File("fedata.fsh"), test::Fsh());
    auto fsh = DescribeFile(dir.File("fedata.fsh"));
    EXPECT_EQ(fsh["type"], "FSH");
    ASSERT_EQ(fsh["entries"].size(), 1u);
    EXPECT_EQ(fsh["entries"][0]["name"], "dash");
    EXPECT_EQ(fsh["entries"][0]["offset"], 24);
    EXPECT_EQ(fsh["entries"][0]["size"], 24);
    EXPECT_EQ(fsh["entries"][0]["formatCode"], 0x7D);
    EXPECT_EQ(fsh["entries"][0]["width"], 2);
    EXPECT_EQ(fsh["entries"][0]["height"], 1);

    // A TGA 2.0 footer: extension and developer offsets, then the signature and its NUL.
    WriteFile(dir.File("car.fsh.tga"),
              TinyTga(Builder().u32le(0).u32le(0).cstr("TRUEVISION-XFILE.").bytes()));
    auto tga = DescribeFile(dir.File("car.fsh.tga"));
    EXPECT_EQ(tga["type"], "TGA");
    EXPECT_EQ(tga["header"]["xOrigin"], 3);
    EXPECT_EQ(tga["header"]["pixelDepth"], 32);
    EXPECT_EQ(tga["trailingBytes"], 26);
    EXPECT_EQ(tga["footer"], true);
    WriteFile(dir.File("plain.tga"), TinyTga(Builder().zeros(26).bytes()));
    EXPECT_EQ(DescribeFile(dir.File("plain.tga"))["footer"], false);
    WriteFile(dir.File("plain.tga"), TinyTga({}));
    EXPECT_EQ(DescribeFile(dir.File("plain.tga"))["trailingBytes"], 0);

    WriteFile(dir.File("carp.txt.bak"), std::string("(80)"));
    auto plain = DescribeFile(dir.File("carp.txt.bak"));
    EXPECT_EQ(plain, nlohmann::ordered_json::parse("{\"file\": \"" + dir.File("carp.txt.bak") +
                                                   "\", \"type\": \"-\", \"size\": 4}"));

    // What the factory would keep plain with a warning is an error here.
    test::Bytes marked(4000, 0);
    marked[3624] = ':';
    WriteFile(dir.File("bad.fce"), marked);
    EXPECT_THROW(DescribeFile(dir.File("bad.fce")), FormatError);
}

// A packed version-3 mesh of three vertices in two parts: vertices 0-1 in part 0, placed at
// (1, 0, -2), vertex 2 in part 1, placed at (0, 0.25, 0).
test::Bytes PlacedFce3() {
    Builder b;
    b.zeros(4).i32le(0).i32le(3).i32le(0);  // 0x0000: word, triangles 0, vertices 3, auxiliary 0
    b.i32le(0).i32le(36).i32le(72);         // 0x0010: offsets of vertices, normals, triangles
    b.i32le(72).i32le(168).i32le(204);      //         of reserve1, reserve2, reserve3
    b.zeros(3 * 4);                         // 0x0028: extent
    b.i32le(0).zeros(16 * 12);              // 0x0034: marker count, marker positions
    b.i32le(2);                             // 0x00F8: part count
    F32(F32(F32(b, 1), 0), -2);             // 0x00FC: part positions
    F32(F32(F32(b, 0), 0.25f), 0).zeros(62 * 12);
    b.i32le(0).i32le(2).zeros(62 * 4);  // 0x03FC: first vertex
    b.i32le(2).i32le(1).zeros(62 * 4);  // 0x04FC: vertex count
    b.zeros(2 * 64 * 4);                // 0x05FC: first triangle, triangle count
    b.i32le(0).zeros(16 * 16 + 260);    // 0x07FC: colour count, colours, not interpreted
    b.zeros(16 * 64 + 64 * 64 + 256);   // 0x0A04: marker and part names, not interpreted
    F32(F32(F32(b, 0), 0), 0);          // 0x1F04: vertices
    F32(F32(F32(b, 0.5f), -1), 3);
    F32(F32(F32(b, -1), 1), 1);
    b.zeros(36 + 96 + 36 + 36);  // normals, reserve1, reserve2, reserve3
    return b.bytes();
}

TEST(InfoCommand, GivesEachPartsPositionAndBoundingBoxInCarCoordinates) {
    ScratchDir dir;
    WriteFile(dir.File("car.fce"), PlacedFce3());
    auto mesh = DescribeFile(dir.File("car.fce"));
    ASSERT_EQ(mesh["parts"].size(), 2u);
    EXPECT_EQ(mesh["parts"][0]["position"], nlohmann::ordered_json::parse("[1, 0, -2]"));
    EXPECT_EQ(mesh["parts"][0]["boundingBox"],
              nlohmann::ordered_json::parse(R"({"min": [1, -1, -2], "max": [1.5, 0, 1]})"));
    EXPECT_EQ(mesh["parts"][1]["boundingBox"],
              nlohmann::ordered_json::parse(R"({"min": [-1, 1.25, 1], "max": [-1, 1.25, 1]})"));
    std::ostringstream human;
    PrintFileInfo(dir.File("car.fce"), false, human);
    EXPECT_NE(human.str().find("vertex + position, car coordinates"), std::string::npos);
    EXPECT_NE(human.str().find("position 1 0 -2  box 1 -1 -2 to 1.5 0 1\n"), std::string::npos)
        << human.str();
}

// Types by member name, as list prints them.
std::map<std::string, std::string> ListedTypes(const std::string& archive) {
    auto r = RunCarconv("list --json " + Q(archive));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::map<std::string, std::string> types;
    for (const auto& m : nlohmann::json::parse(r.out))
        types[m["name"]] = m["type"];
    return types;
}

TEST(InfoCommand, ListAndInfoTypeEveryMemberOfAPackageAndItsConversion) {
    CARCONV_SKIP_ON_WINDOWS("runs the tool through a POSIX shell");
    ScratchDir dir;
    std::filesystem::create_directories(dir.File("config/Quillmark"));
    WriteFile(dir.File("config/Quillmark/carconv.ini"), std::string("[Settings]\nInstalled=1\n"));
    test::WriteTemplates(dir.Path());
    const std::string env = "HOME=" + Q(dir.Path()) + " XDG_CONFIG_HOME=" + Q(dir.File("config")) +
                            " XDG_DATA_HOME=" + Q(dir.File("data")) +
                            " CARCONV_TEMPLATES= WINEPREFIX=" + Q(dir.File("nowine"));
    test::WriteArchive(dir.File("in.viv"), test::Version3Members(true));
    auto before = test::LeftoverWorkingDirectories();
    auto r = RunCarconv("convert " + Q(dir.File("in.viv")) + " " + Q(dir.File("out.viv")) +
                            " --templates " + Q(dir.Path()),
                        "", env);
    ASSERT_EQ(r.exitCode, 0) << r.err;

    std::map<std::string, std::string> in = ListedTypes(dir.File("in.viv"));
    std::map<std::string, std::string> expectedIn = {
        {"carp.txt", "CARP3"}, {"car.fce", "FCE3"}, {"car00.tga", "TGA"}, {"fedata.fsh", "FSH"}};
    for (const std::string& language : test::kLanguages)
        expectedIn[language] = "FEDATA3";
    EXPECT_EQ(in, expectedIn);

    std::map<std::string, std::string> out = ListedTypes(dir.File("out.viv"));
    std::map<std::string, std::string> expectedOut = {
        {"dash.fsh", "FSH"},   {"dash.fce", "FCE4"}, {"dash00.tga", "TGA"},
        {"fedata.fsh", "FSH"}, {"careng.ctb", "-"},  {"careng.ltb", "-"},
        {"careng.bnk", "-"},   {"ocareng.bnk", "-"}, {"scareng.bnk", "-"}};
    for (const char* n : {"carp.txt", "carp1.txt", "carp2.txt", "carp3.txt"})
        expectedOut[n] = "CARP4";
    for (const char* n : {"car.fce", "car1.fce", "car2.fce", "car3.fce"})
        expectedOut[n] = "FCE4";
    for (const char* n : {"car00.tga", "car100.tga", "car200.tga", "car300.tga"})
        expectedOut[n] = "TGA";
    for (const std::string& language : test::kLanguages)
        expectedOut[language] = "FEDATA4";
    EXPECT_EQ(out, expectedOut);

    // The text form ends each line with the type.
    r = RunCarconv("list " + Q(dir.File("out.viv")));
    EXPECT_NE(r.out.find(" 2742 carp.txt CARP4\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" scareng.bnk -\n"), std::string::npos) << r.out;

    // info of each unpacked member agrees with list; info of a package lists its members.
    for (const auto& [archive, types] :
         {std::pair{std::string("in"), expectedIn}, std::pair{std::string("out"), expectedOut}}) {
        std::string unpacked = dir.File(archive + "-files");
        r = RunCarconv("unpack " + Q(dir.File(archive + ".viv")) + " " + Q(unpacked));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        for (const auto& [name, type] : types) {
            r = RunCarconv("info --json " + Q(unpacked + "/" + name));
            ASSERT_EQ(r.exitCode, 0) << name << ": " << r.err;
            EXPECT_EQ(nlohmann::json::parse(r.out)["type"], type) << name;
            r = RunCarconv("info " + Q(unpacked + "/" + name));
            EXPECT_NE(r.out.find("\ntype: " + type + "\n"), std::string::npos) << r.out;
        }
        r = RunCarconv("info --json " + Q(dir.File(archive + ".viv")));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        auto j = nlohmann::json::parse(r.out);
        EXPECT_EQ(j["type"], "VIV");
        EXPECT_EQ(j["members"].size(), types.size());
    }
    auto mesh =
        nlohmann::json::parse(RunCarconv("info --json " + Q(dir.File("out-files/car.fce"))).out);
    EXPECT_EQ(mesh["layoutVersion"], 4);
    EXPECT_EQ(mesh["size"], 8248);

    r = RunCarconv("info " + Q(dir.File("missing.fce")));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("carconv: error: "), std::string::npos);
    EXPECT_EQ(RunCarconv("info").exitCode, 2);
    EXPECT_EQ(test::LeftoverWorkingDirectories(), before);
}

}  // namespace
}  // namespace carconv
