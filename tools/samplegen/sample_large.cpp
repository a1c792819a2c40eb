#include "sample_large.h"

#include <cmath>
#include <string>

namespace carconv::samples {

namespace {

constexpr int kParts = 12;
// Bytes a version-3 mesh spends on one vertex (vertex, normal, three reserve records) and on one
// triangle record.
constexpr std::size_t kBytesPerVertex = 12 + 12 + 32 + 12 + 12;
constexpr std::size_t kBytesPerTriangle = 56;

const char* const kPartNames[kParts] = {"HighBody",        "HighLeftFront",    "HighRightFront",
                                        "HighLeftRear",    "HighRightRear",    "MediumBody",
                                        "MediumLeftFront", "MediumRightFront", "MediumLeftRear",
                                        "MediumRightRear", "LowBody",          "TinyBody"};

// A tube of `rings` x `segments` vertices around the z axis, closed around its circumference:
// 2 (rings - 1) segments triangles.
void AddTube(MeshModel& mesh, Random& random, const char* name, int rings, int segments,
             float offset) {
    MeshPart part;
    part.name = name;
    part.position = {offset, 0.4f, 0};
    part.firstVertex = static_cast<std::int32_t>(mesh.vertices.size());
    part.firstTriangle = static_cast<std::int32_t>(mesh.triangles.size());
    for (int r = 0; r < rings; ++r) {
        const float z = -2.2f + 4.4f * static_cast<float>(r) / static_cast<float>(rings - 1);
        for (int s = 0; s < segments; ++s) {
            const float a = 6.2831853f * static_cast<float>(s) / static_cast<float>(segments);
            mesh.vertices.push_back({0.9f * std::cos(a), 0.6f + 0.5f * std::sin(a), z});
            mesh.normals.push_back({std::cos(a), std::sin(a), 0});
            for (int i = 0; i < 32; ++i)
                mesh.reserve1.push_back(static_cast<std::uint8_t>(random.Next()));
            for (int i = 0; i < 12; ++i) {
                mesh.reserve2.push_back(static_cast<std::uint8_t>(random.Next()));
                mesh.reserve3.push_back(static_cast<std::uint8_t>(random.Next()));
            }
        }
    }
    const auto index = [segments](int r, int s) {
        return static_cast<std::uint32_t>(r * segments + (s % segments));
    };
    for (int r = 0; r + 1 < rings; ++r) {
        for (int s = 0; s < segments; ++s) {
            for (int half = 0; half < 2; ++half) {
                MeshTriangle t;
                t.corners = half == 0 ? std::array<std::uint32_t, 3>{index(r, s), index(r, s + 1),
                                                                     index(r + 1, s)}
                                      : std::array<std::uint32_t, 3>{
                                            index(r, s + 1), index(r + 1, s + 1), index(r + 1, s)};
                t.flags = static_cast<std::uint32_t>(random.Between(0, 7));
                for (int k = 0; k < 3; ++k) {
                    t.u[k] = static_cast<float>(s) / static_cast<float>(segments);
                    t.v[k] = static_cast<float>(r) / static_cast<float>(rings);
                }
                mesh.triangles.push_back(t);
            }
        }
    }
    part.vertexCount = rings * segments;
    part.triangleCount = 2 * (rings - 1) * segments;
    mesh.parts.push_back(part);
}

}  // namespace

SampleCar LargeSampleCar(std::uint64_t seed, std::size_t minimumBytes) {
    SampleCar car = SampleCars(seed).front();
    car.name = "large";
    car.description = "the full car with a finely tessellated mesh";
    const std::size_t others = VivBytes(car.Members()).size() - Fce3Bytes(car.mesh).size();

    // Each part: `rings` x 100 vertices and about twice as many triangles.
    constexpr int kSegments = 100;
    const std::size_t perRing = kSegments * (kBytesPerVertex + 2 * kBytesPerTriangle);
    const std::size_t wanted = minimumBytes > others ? minimumBytes - others : 0;
    const int rings = static_cast<int>(wanted / (kParts * perRing)) + 2;

    Random random(seed ^ 0x1a26e5eedULL);
    MeshModel mesh;
    mesh.auxiliaryCount = car.mesh.auxiliaryCount;
    mesh.extent = car.mesh.extent;
    mesh.markers = car.mesh.markers;
    mesh.colours = car.mesh.colours;
    for (int p = 0; p < kParts; ++p)
        AddTube(mesh, random, kPartNames[p], rings, kSegments, 0.01f * static_cast<float>(p));
    car.mesh = std::move(mesh);
    return car;
}

}  // namespace carconv::samples
