// The check command on real packages: the generated samples and their conversions are sound, and
// each kind of damage, applied to their bytes here, is found in the member where it was done.

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sample_cars.h"
#include "support/packages.h"
#include "support/test_util.h"

namespace carconv {
namespace {

using test::Bytes;
using test::GetI32le;
using test::Q;
using test::RunCarconv;
using test::ScratchDir;

using Members = std::vector<std::pair<std::string, Bytes>>;

Bytes& MemberBytes(Members& members, const std::string& name) {
    for (auto& m : members) {
        if (m.first == name)
            return m.second;
    }
    throw std::runtime_error("test: no member " + name);
}

void PutU32le(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b.at(at + i) = static_cast<std::uint8_t>(v >> (8 * i));
}

// Where a mesh layout keeps what the damages below touch.
struct MeshLayout {
    std::size_t headerSize;
    std::size_t vertexOffsetAt, triangleOffsetAt;
    std::size_t partVertexCountAt, partFirstTriangleAt;
};
constexpr MeshLayout kFce3{7940, 0x0010, 0x0018, 0x04FC, 0x05FC};
constexpr MeshLayout kFce4{8248, 0x0014, 0x001C, 0x0520, 0x0620};

// Part 0's first triangle gets a first corner one past the part's last vertex.
void IndexOutsidePart(Bytes& mesh, const MeshLayout& l) {
    const std::int32_t partVertices = GetI32le(mesh, l.partVertexCountAt);
    const std::size_t triangle =
        l.headerSize + GetI32le(mesh, l.triangleOffsetAt) +
        56 * static_cast<std::size_t>(GetI32le(mesh, l.partFirstTriangleAt));
    PutU32le(mesh, triangle + 4, static_cast<std::uint32_t>(partVertices));  // after the page
}

// Vertex 0's y becomes a quiet NaN.
void NanVertex(Bytes& mesh, const MeshLayout& l) {
    PutU32le(mesh, l.headerSize + GetI32le(mesh, l.vertexOffsetAt) + 4, 0x7FC00000u);
}

struct Damage {
    const char* what;
    bool version4;  // damage the conversion, else the version-3 package
    std::function<void(Members&)> apply;
    const char* member;
    const char* level;
    const char* problem;  // a part of the problem's text
};

TEST(PackageCheck, RealPackagesAreCleanAndEachDamageIsFound) {
    CARCONV_SKIP_ON_WINDOWS("runs the tool through a POSIX shell");
    ScratchDir dir;
    const std::string env = test::InstalledUser(dir);
    const std::vector<std::string> samples = samples::WriteSamples(dir.File("samples"), 20240607);
    std::vector<std::string> clean = samples;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        clean.push_back(dir.File("v4-" + std::to_string(i) + ".viv"));
        auto r = RunCarconv("convert " + Q(samples[i]) + " " + Q(clean.back()), "", env);
        ASSERT_EQ(r.exitCode, 0) << r.err;
    }

    const auto before = test::ListNames(dir.Path());
    const auto leftovers = test::LeftoverWorkingDirectories();
    for (const std::string& package : clean) {
        auto r = RunCarconv("check " + Q(package));
        EXPECT_EQ(r.exitCode, 0) << package << "\n" << r.out << r.err;
        EXPECT_NE(r.out.find(": no problems found\n"), std::string::npos) << r.out;
        r = RunCarconv("check --json " + Q(package));
        EXPECT_EQ(nlohmann::json::parse(r.out)["findings"].size(), 0u) << r.out;
        EXPECT_EQ(nlohmann::json::parse(r.out)["version"],
                  package == samples[0] || package == samples[1] || package == samples[2] ? 3 : 4);
    }
    EXPECT_EQ(test::ListNames(dir.Path()), before);
    EXPECT_EQ(test::LeftoverWorkingDirectories(), leftovers);

    // samples[0] is the car with every part; clean[3] its conversion.
    const std::vector<Damage> damages = {
        {"a missing member", true,
         [](Members& m) { std::erase_if(m, [](auto& e) { return e.first == "car2.fce"; }); },
         "car2.fce", "error", "is missing"},
        {"a missing version-3 member", false,
         [](Members& m) { std::erase_if(m, [](auto& e) { return e.first == "fedata.spa"; }); },
         "fedata.spa", "error", "is missing"},
        {"an index outside its part", true,
         [](Members& m) { IndexOutsidePart(MemberBytes(m, "car.fce"), kFce4); }, "car.fce", "error",
         "outside the part's"},
        {"a version-3 index outside its part", false,
         [](Members& m) { IndexOutsidePart(MemberBytes(m, "car.fce"), kFce3); }, "car.fce", "error",
         "outside the part's"},
        {"a NaN vertex", true, [](Members& m) { NanVertex(MemberBytes(m, "car.fce"), kFce4); },
         "car.fce", "error", "vertex 0 holds a NaN"},
        {"front-end files with differing counts", true,
         [](Members& m) { MemberBytes(m, "fedata.ger").at(958) = 40; },  // the string count
         "fedata.ger", "error", "holds 40 strings where the other front-end files hold 41"},
        {"a front-end file cut inside its header", true,
         [](Members& m) { MemberBytes(m, "fedata.ita").resize(1000); }, "fedata.ita", "error",
         "shorter than its 1124-byte header"},
        {"a truncated mesh", true, [](Members& m) { MemberBytes(m, "car.fce").resize(9000); },
         "car.fce", "error", "does not parse as FCE4"},
        {"a copy that differs", true, [](Members& m) { MemberBytes(m, "car300.tga").back() ^= 1; },
         "car300.tga", "warning", "is not a copy of car00.tga"},
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.what);
        Members members = test::ReadArchive(d.version4 ? clean[3] : samples[0]);
        d.apply(members);
        const std::string damaged = dir.File("damaged.viv");
        test::WriteArchive(damaged, members);
        auto r = RunCarconv("check --json " + Q(damaged));
        EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
        const auto report = nlohmann::json::parse(r.out);
        EXPECT_EQ(report["version"], d.version4 ? 4 : 3);
        bool found = false;
        for (const auto& f : report["findings"]) {
            found = found || (f["member"] == d.member && f["level"] == d.level &&
                              f["problem"].get<std::string>().find(d.problem) != std::string::npos);
        }
        EXPECT_TRUE(found) << report.dump(2);
        r = RunCarconv("check " + Q(damaged));
        EXPECT_NE(r.out.find(damaged + ": " + d.member + ": " + d.level + ": "), std::string::npos)
            << r.out;
    }
    EXPECT_EQ(RunCarconv("check").exitCode, 2);
}

}  // namespace
}  // namespace carconv
