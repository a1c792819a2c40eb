#include "check/package_check.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <utility>

#include <fmt/format.h>

#include "carp/carp3_file.h"
#include "carp/carp4_file.h"
#include "carp/parameter_labels.h"
#include "fedata/fedata3_file.h"
#include "fedata/fedata4_file.h"
#include "files/errors.h"
#include "files/name_index.h"
#include "files/safe_name.h"
#include "files/unpack_budget.h"
#include "files/viv_archive.h"
#include "files/warnings.h"
#include "image/fsh_file.h"
#include "image/tga_file.h"
#include "mesh/fce3_file.h"
#include "mesh/fce4_file.h"
#include "platform/read_only_file.h"

namespace carconv {

namespace {

using Json = nlohmann::ordered_json;

// The members of a conversion's output, in its order, and which of them are copies of which.
constexpr std::array<const char*, 27> kVersion4Members = {
    "carp.txt",   "carp1.txt",   "carp2.txt",  "carp3.txt",  "car.fce",    "car1.fce",
    "car2.fce",   "car3.fce",    "car00.tga",  "car100.tga", "car200.tga", "car300.tga",
    "dash.fsh",   "dash.fce",    "dash00.tga", "fedata.eng", "fedata.bri", "fedata.ger",
    "fedata.fre", "fedata.ita",  "fedata.spa", "fedata.swe", "careng.ctb", "careng.ltb",
    "careng.bnk", "ocareng.bnk", "scareng.bnk"};
constexpr std::array<const char*, 7> kLanguageFiles = {"fedata.eng", "fedata.bri", "fedata.ger",
                                                       "fedata.fre", "fedata.ita", "fedata.spa",
                                                       "fedata.swe"};
constexpr std::array<const char*, 8> kTemplateMembers = {"dash.fsh",    "dash.fce",   "dash00.tga",
                                                         "careng.ctb",  "careng.ltb", "careng.bnk",
                                                         "ocareng.bnk", "scareng.bnk"};
constexpr std::array<const char*, 3> kMeshCopies = {"car1.fce", "car2.fce", "car3.fce"};
constexpr std::array<const char*, 3> kCarpCopies = {"carp1.txt", "carp2.txt", "carp3.txt"};
constexpr std::array<const char*, 3> kSkinCopies = {"car100.tga", "car200.tga", "car300.tga"};
// What a version-3 package holds besides the members the conversion reads, and carries over.
constexpr const char* kFrontEndPictures = "fedata.fsh";

// The names the game looks for in part slots 0-11 of a car mesh.
constexpr std::array<const char*, 12> kFixedPartNames = {":HB",   ":HLFW", ":HRFW", ":HLRW",
                                                         ":HRRW", ":MB",   ":MLFW", ":MRFW",
                                                         ":MLRW", ":MRRW", ":LB",   ":TB"};

constexpr std::uint16_t kSkinSide = 256;
constexpr std::uint8_t kSkinDepth = 32;

// A triangle record: texture page, three vertex indices relative to the part's first vertex, six
// 16-bit smoothing values, flags, three U and three V.
constexpr std::size_t kTriangleSize = 56;
constexpr std::size_t kTriangleIndicesAt = 4;
constexpr std::size_t kTriangleUvAt = 32;
constexpr std::size_t kTriangleUvValues = 6;
static_assert(kTriangleUvAt + 4 * kTriangleUvValues == kTriangleSize);
constexpr std::size_t kVectorSize = 12;  // three float32

struct Member {
    std::string name;
    Bytes bytes;
};

float FloatAt(ByteSpan bytes, std::size_t at) {
    return std::bit_cast<float>(LoadU32le(bytes, at));
}

// The text after "<file>: " of a reader's error about `file`.
std::string WithoutFileName(const std::string& what, const std::string& file) {
    const std::string prefix = PrintableName(file) + ": ";
    return what.compare(0, prefix.size(), prefix) == 0 ? what.substr(prefix.size()) : what;
}

// True when `value` is one or more numbers separated by commas or blanks.
bool IsNumberList(const std::string& value) {
    std::size_t numbers = 0;
    std::size_t pos = 0;
    while (pos < value.size()) {
        const std::size_t start = value.find_first_not_of(", \t\n", pos);
        if (start == std::string::npos)
            break;
        std::size_t end = value.find_first_of(", \t\n", start);
        if (end == std::string::npos)
            end = value.size();
        const std::string token = value.substr(start, end - start);
        char* stop = nullptr;
        const double number = std::strtod(token.c_str(), &stop);
        if (stop != token.c_str() + token.size() || !std::isfinite(number))
            return false;
        ++numbers;
        pos = end;
    }
    return numbers > 0;
}

class Checker {
  public:
    Checker(PackageReport& report, std::vector<Member> members,
            std::shared_ptr<UnpackBudget> budget)
        : report_(report), members_(std::move(members)), budget_(std::move(budget)) {
        for (std::size_t i = 0; i < members_.size(); ++i) {
            const std::string lower = AsciiLowerCase(members_[i].name);
            auto [it, fresh] = byName_.emplace(lower, i);
            if (!fresh) {
                Warning(members_[i].name, "differs only in letter case from \"" +
                                              PrintableName(members_[it->second].name) +
                                              "\", which it hides");
                it->second = i;
            }
        }
    }

    void Error(const std::string& member, std::string problem) {
        report_.findings.push_back({member, CheckLevel::kError, std::move(problem)});
    }
    void Warning(const std::string& member, std::string problem) {
        report_.findings.push_back({member, CheckLevel::kWarning, std::move(problem)});
    }

    // The member named `name` in any letter case.
    const Member* Find(const std::string& name) const {
        auto it = byName_.find(name);
        return it == byName_.end() ? nullptr : &members_[it->second];
    }
    const Member* Require(const std::string& name) {
        const Member* m = Find(name);
        if (m == nullptr)
            Error(name, "is missing");
        return m;
    }

    // The member read by its format's reader, or nothing after an error naming the reader's
    // complaint. What the reader warns about becomes a warning of the member.
    template <typename File, typename... Args>
    std::unique_ptr<File> Parse(const Member& m, const char* type, Args&&... args) {
        auto file = std::make_unique<File>(m.name, std::forward<Args>(args)...);
        std::vector<std::string> warnings;
        try {
            ScopedWarningSink sink([&warnings](const std::string& w) { warnings.push_back(w); });
            file->Parse(m.bytes);
            // A texture decoded from run-length packets holds more than its member: charged as
            // an unpack charges it.
            if (file->length > static_cast<std::int64_t>(m.bytes.size()))
                budget_->ChargeGrowth(static_cast<std::uint64_t>(file->length) - m.bytes.size());
        } catch (const UnpackLimitError&) {
            throw;
        } catch (const FormatError& e) {
            Error(m.name, std::string("does not parse as ") + type + ": " +
                              WithoutFileName(e.what(), m.name));
            file.reset();
        }
        for (const std::string& w : warnings)
            Warning(m.name, WithoutFileName(w, m.name));
        return file;
    }

    const std::vector<Member>& Members() const { return members_; }
    const std::shared_ptr<UnpackBudget>& Budget() const { return budget_; }

  private:
    PackageReport& report_;
    std::vector<Member> members_;
    std::shared_ptr<UnpackBudget> budget_;
    std::map<std::string, std::size_t> byName_;  // lower-case name -> index in members_
};

// ---- meshes ----

// The first of `count` three-float records of `bytes` that holds a NaN or infinite value, and
// how many do.
std::pair<std::optional<std::size_t>, std::size_t> NonFiniteVectors(const Bytes& bytes,
                                                                    std::size_t count) {
    std::optional<std::size_t> first;
    std::size_t bad = 0;
    for (std::size_t i = 0; i < count; ++i) {
        for (std::size_t k = 0; k < 3; ++k) {
            if (!std::isfinite(FloatAt(bytes, i * kVectorSize + 4 * k))) {
                if (!first)
                    first = i;
                ++bad;
                break;
            }
        }
    }
    return {first, bad};
}

std::string AndMore(std::size_t total) {
    return total > 1 ? fmt::format(" ({} in all)", total) : std::string();
}

struct Range {
    std::int64_t first;
    std::int64_t count;
    int part;
};

// Ranges that share an element, as (earlier part, later part); `ranges` are sorted on the way.
std::vector<std::pair<int, int>> Overlaps(std::vector<Range> ranges) {
    std::sort(ranges.begin(), ranges.end(),
              [](const Range& a, const Range& b) { return a.first < b.first; });
    std::vector<std::pair<int, int>> found;
    for (std::size_t i = 1; i < ranges.size(); ++i) {
        if (ranges[i].first < ranges[i - 1].first + ranges[i - 1].count)
            found.emplace_back(ranges[i - 1].part, ranges[i].part);
    }
    return found;
}

template <typename Mesh>
void CheckMesh(Checker& c, const std::string& member, const Mesh& mesh, bool carNames) {
    const std::int64_t vertexCount = mesh.VertexCount();
    const std::int64_t triangleCount = mesh.TriangleCount();
    const std::int32_t partCount = mesh.PartCount();
    if (partCount < 0 || partCount > Mesh::kPartSlots)
        c.Error(member,
                fmt::format("partCount {} is outside 0 to {}", partCount, Mesh::kPartSlots));
    const int parts = mesh.UsedPartSlots();

    const Bytes& triangles = mesh.ArrayBytes(Mesh::kTriangles);
    std::vector<Range> vertexRanges, triangleRanges;
    for (int p = 0; p < parts; ++p) {
        const std::string part = fmt::format("part {} ({})", p, PrintableName(mesh.PartName(p)));
        const std::int64_t fv = mesh.PartFirstVertex(p), vc = mesh.PartVertexCount(p);
        const std::int64_t ft = mesh.PartFirstTriangle(p), tc = mesh.PartTriangleCount(p);
        const bool verticesFit = fv >= 0 && vc >= 0 && fv + vc <= vertexCount;
        const bool trianglesFit = ft >= 0 && tc >= 0 && ft + tc <= triangleCount;
        if (!verticesFit) {
            c.Error(member, fmt::format("{}: vertices {} to {} lie outside the mesh's {} vertices",
                                        part, fv, fv + vc - 1, vertexCount));
        } else if (vc > 0) {
            vertexRanges.push_back({fv, vc, p});
        }
        if (!trianglesFit) {
            c.Error(member,
                    fmt::format("{}: triangles {} to {} lie outside the mesh's {} triangles", part,
                                ft, ft + tc - 1, triangleCount));
        } else if (tc > 0) {
            triangleRanges.push_back({ft, tc, p});
        }
        const auto position = mesh.PartPosition(p);
        for (std::size_t k = 0; k < 3; ++k) {
            if (!std::isfinite(FloatAt(position, 4 * k))) {
                c.Error(member, part + ": its position holds a NaN or infinite value");
                break;
            }
        }
        if (!verticesFit || !trianglesFit)
            continue;
        std::optional<std::pair<std::int64_t, std::int32_t>> firstBad;
        std::size_t bad = 0;
        for (std::int64_t t = ft; t < ft + tc; ++t) {
            for (std::size_t k = 0; k < 3; ++k) {
                const std::int32_t index =
                    LoadI32le(triangles, static_cast<std::size_t>(t) * kTriangleSize +
                                             kTriangleIndicesAt + 4 * k);
                if (index < 0 || index >= vc) {
                    if (!firstBad)
                        firstBad = {t, index};
                    ++bad;
                }
            }
        }
        if (firstBad) {
            c.Error(member, fmt::format("{}: triangle {} has vertex index {}, outside the "
                                        "part's {} vertices{}",
                                        part, firstBad->first, firstBad->second, vc, AndMore(bad)));
        }
        if (carNames && p < static_cast<int>(kFixedPartNames.size()) &&
            mesh.PartName(p) != kFixedPartNames[static_cast<std::size_t>(p)]) {
            c.Error(member, fmt::format("{}: the game expects part {} to be named \"{}\"", part, p,
                                        kFixedPartNames[static_cast<std::size_t>(p)]));
        }
    }
    for (auto [a, b] : Overlaps(vertexRanges))
        c.Error(member, fmt::format("parts {} and {} share vertices", a, b));
    for (auto [a, b] : Overlaps(triangleRanges))
        c.Error(member, fmt::format("parts {} and {} share triangles", a, b));

    const auto V = static_cast<std::size_t>(vertexCount);
    const std::pair<typename Mesh::ArrayId, const char*> vectors[] = {{Mesh::kVertices, "vertex"},
                                                                      {Mesh::kNormals, "normal"}};
    auto checkVectors = [&](typename Mesh::ArrayId array, const char* what) {
        auto [first, bad] = NonFiniteVectors(mesh.ArrayBytes(array), V);
        if (first) {
            c.Error(member, fmt::format("{} {} holds a NaN or infinite value{}", what, *first,
                                        AndMore(bad)));
        }
    };
    for (auto [array, what] : vectors)
        checkVectors(array, what);
    // The version-4 layout keeps two more copies of the positions and normals.
    if constexpr (requires { Mesh::kVertices3; }) {
        checkVectors(Mesh::kVertices2, "vertex (second copy)");
        checkVectors(Mesh::kNormals2, "normal (second copy)");
        checkVectors(Mesh::kVertices3, "vertex (third copy)");
        checkVectors(Mesh::kNormals3, "normal (third copy)");
    }
    std::optional<std::size_t> firstBadUv;
    std::size_t badUv = 0;
    for (std::size_t t = 0; t < static_cast<std::size_t>(triangleCount); ++t) {
        for (std::size_t k = 0; k < kTriangleUvValues; ++k) {
            if (!std::isfinite(FloatAt(triangles, t * kTriangleSize + kTriangleUvAt + 4 * k))) {
                if (!firstBadUv)
                    firstBadUv = t;
                ++badUv;
                break;
            }
        }
    }
    if (firstBadUv) {
        c.Error(member, fmt::format("triangle {} has a NaN or infinite U or V{}", *firstBadUv,
                                    AndMore(badUv)));
    }
}

// ---- the members ----

void CheckCopies(Checker& c, const Member& original, const std::array<const char*, 3>& copies) {
    for (const char* name : copies) {
        const Member* copy = c.Find(name);
        if (copy != nullptr && copy->bytes != original.bytes)
            c.Warning(copy->name, "is not a copy of " + PrintableName(original.name));
    }
}

// Every string offset of a front-end file lies inside it. False when the file is too short to
// hold its header, whose fields then mean nothing.
template <typename File>
bool CheckStringOffsets(Checker& c, const Member& m, const File& file) {
    if (m.bytes.size() < File::kHeaderSize) {
        c.Error(m.name, fmt::format("is {} bytes, shorter than its {}-byte header", m.bytes.size(),
                                    File::kHeaderSize));
        return false;
    }
    const auto& offsets = file.GetStringOffsets();
    for (std::size_t i = 0; i < offsets.size(); ++i) {
        if (offsets[i] < 0 || static_cast<std::uint64_t>(offsets[i]) >= m.bytes.size()) {
            c.Error(m.name, fmt::format("string {} lies at offset {}, outside the file's {} bytes",
                                        i, offsets[i], m.bytes.size()));
        }
    }
    return true;
}

void CheckVersion4FrontEnd(Checker& c) {
    std::vector<std::pair<const Member*, int>> counts;
    for (const char* name : kLanguageFiles) {
        const Member* m = c.Require(name);
        if (m == nullptr)
            continue;
        auto file = c.Parse<Fedata4File>(*m, "FEDATA4");
        if (!file || !CheckStringOffsets(c, *m, *file))
            continue;
        const auto& block = file->GetHeader().block942;
        counts.emplace_back(
            m, block[Fedata4File::kStringCountMarkOffset - Fedata4File::kBlock942Offset]);
    }
    // The count most files hold is taken for the right one.
    std::map<int, int> tally;
    for (auto [m, count] : counts)
        ++tally[count];
    auto common = std::max_element(tally.begin(), tally.end(),
                                   [](auto a, auto b) { return a.second < b.second; });
    for (auto [m, count] : counts) {
        if (count != common->first) {
            c.Error(m->name, fmt::format("holds {} strings where the other front-end files hold {}",
                                         count, common->first));
        }
    }
}

void CheckVersion4Performance(Checker& c, const Member& m) {
    auto carp = c.Parse<Carp4File>(m, "CARP4");
    if (!carp)
        return;
    for (std::size_t n = 0; n < kCarp4ParameterCount; ++n) {
        const std::string parameter =
            fmt::format("parameter {} ({})", n, std::string(ParameterLabels[n]));
        if (carp->parameterMissing[n]) {
            c.Error(m.name, n == kUndersteerGradient
                                ? "holds no marker \"(80)\": " + parameter + " is missing"
                                : parameter + " is missing");
        } else if (!IsNumberList(carp->parameters[n])) {
            c.Error(m.name, fmt::format("{} is not a list of numbers: \"{}\"", parameter,
                                        PrintableName(carp->parameters[n])));
        }
    }
}

void CheckVersion4Skin(Checker& c, const Member& m) {
    auto skin = c.Parse<TgaFile>(m, "TGA");
    if (!skin)
        return;
    const TgaHeader& h = skin->Header();
    if (h.pixelDepth != kSkinDepth)
        c.Warning(m.name, fmt::format("is a {}-bit image, not a 32-bit one", h.pixelDepth));
    if (h.width != kSkinSide || h.height != kSkinSide) {
        c.Warning(m.name, fmt::format("is {} x {} pixels, not {} x {}", h.width, h.height,
                                      kSkinSide, kSkinSide));
    }
}

// A member and the copies that should hold the same bytes: the original checked in full, each
// copy that differs parsed as well.
template <typename Check>
void CheckWithCopies(Checker& c, const char* original, const std::array<const char*, 3>& copies,
                     const Check& check) {
    const Member* m = c.Require(original);
    if (m != nullptr)
        check(*m);
    for (const char* name : copies) {
        const Member* copy = c.Require(name);
        if (copy != nullptr && m != nullptr && copy->bytes != m->bytes)
            check(*copy);
    }
    if (m != nullptr)
        CheckCopies(c, *m, copies);
}

void CheckVersion4(Checker& c) {
    CheckWithCopies(c, "carp.txt", kCarpCopies,
                    [&c](const Member& m) { CheckVersion4Performance(c, m); });
    CheckWithCopies(c, "car.fce", kMeshCopies, [&c](const Member& m) {
        if (auto mesh = c.Parse<Fce4File>(m, "FCE4"))
            CheckMesh(c, m.name, *mesh, true);
    });
    CheckWithCopies(c, "car00.tga", kSkinCopies,
                    [&c](const Member& m) { CheckVersion4Skin(c, m); });
    CheckVersion4FrontEnd(c);
    if (const Member* m = c.Find(kFrontEndPictures))
        c.Parse<FshFile>(*m, "FSH", c.Budget());
    for (const char* name : kTemplateMembers) {
        const Member* m = c.Require(name);
        if (m == nullptr)
            continue;
        const std::string lower = AsciiLowerCase(name);
        if (lower == "dash.fsh")
            c.Parse<FshFile>(*m, "FSH", c.Budget());
        else if (lower == "dash.fce")
            c.Parse<Fce4File>(*m, "FCE4");
        else if (lower == "dash00.tga")
            c.Parse<TgaFile>(*m, "TGA");
    }
}

void CheckVersion3(Checker& c) {
    if (const Member* m = c.Require("carp.txt")) {
        if (auto carp = c.Parse<Carp3File>(*m, "CARP3")) {
            for (std::size_t n = 0; n < kCarp3ParameterCount; ++n) {
                if (carp->parameterMissing[n]) {
                    c.Error(m->name, fmt::format("parameter {} ({}) is missing", n,
                                                 std::string(ParameterLabels[n])));
                }
            }
        }
    }
    if (const Member* m = c.Require("car.fce")) {
        if (auto mesh = c.Parse<Fce3File>(*m, "FCE3"))
            CheckMesh(c, m->name, *mesh, false);
    }
    if (const Member* m = c.Require("car00.tga"))
        c.Parse<TgaFile>(*m, "TGA");
    for (const char* name : kLanguageFiles) {
        if (const Member* m = c.Require(name)) {
            if (auto file = c.Parse<Fedata3File>(*m, "FEDATA3"))
                CheckStringOffsets(c, *m, *file);
        }
    }
    if (const Member* m = c.Find(kFrontEndPictures))
        c.Parse<FshFile>(*m, "FSH", c.Budget());

    std::vector<std::string> read = {"carp.txt", "car.fce", "car00.tga", kFrontEndPictures};
    read.insert(read.end(), kLanguageFiles.begin(), kLanguageFiles.end());
    for (const Member& m : c.Members()) {
        const std::string lower = AsciiLowerCase(m.name);
        if (c.Find(lower) != &m || std::find(read.begin(), read.end(), lower) != read.end())
            continue;
        const bool replaced = std::find(kTemplateMembers.begin(), kTemplateMembers.end(), lower) !=
                              kTemplateMembers.end();
        c.Warning(m.name, replaced ? "is not carried: the conversion puts the installed "
                                     "template in its place"
                                   : "is not carried into the version-4 package");
    }
}

int PackageVersion(Checker& c) {
    if (const Member* mesh = c.Find("car.fce"))
        return Fce4File::HasVersionMark(mesh->bytes) ? 4 : 3;
    if (const Member* carp = c.Find("carp.txt")) {
        const std::string_view text(reinterpret_cast<const char*>(carp->bytes.data()),
                                    carp->bytes.size());
        return text.find(ParameterMarker(kUndersteerGradient)) != std::string_view::npos ? 4 : 3;
    }
    for (const char* name : kVersion4Members) {
        if (c.Find(name) != nullptr && std::string_view(name) != "car00.tga" &&
            std::string_view(name).substr(0, 7) != "fedata.")
            return 4;
    }
    return 3;
}

const char* LevelName(CheckLevel level) {
    return level == CheckLevel::kError ? "error" : "warning";
}

}  // namespace

PackageReport CheckPackage(const std::string& path) {
    PackageReport report;
    report.package = path;
    const ReadOnlyFile file(path);
    std::vector<Member> members;
    auto budget = std::make_shared<UnpackBudget>(path, static_cast<std::uint64_t>(file.Size()));
    try {
        const VivDirectory dir = VivArchive::ReadDirectory(file, path);
        if (dir.magic != VivArchive::kMagic)
            report.findings.push_back(
                {kArchiveMember, CheckLevel::kWarning, "begins with other bytes than \"BIGF\""});
        for (const VivEntry& e : dir.entries) {
            budget->Charge(static_cast<std::uint64_t>(e.size));
            members.push_back({e.name, file.ReadAt(e.offset, static_cast<std::size_t>(e.size))});
        }
        report.memberCount = static_cast<int>(members.size());
        Checker checker(report, std::move(members), budget);
        report.version = PackageVersion(checker);
        if (report.version == 4)
            CheckVersion4(checker);
        else
            CheckVersion3(checker);
    } catch (const FormatError& e) {
        report.findings.push_back(
            {kArchiveMember, CheckLevel::kError, WithoutFileName(e.what(), path)});
    }
    return report;
}

nlohmann::ordered_json ReportJson(const PackageReport& report) {
    Json j;
    j["package"] = report.package;
    j["version"] = report.version;
    j["findings"] = Json::array();
    for (const CheckFinding& f : report.findings)
        j["findings"].push_back(
            {{"member", f.member}, {"level", LevelName(f.level)}, {"problem", f.problem}});
    return j;
}

int PrintReport(const PackageReport& report, bool json, std::ostream& out) {
    if (json) {
        out << ReportJson(report).dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
    } else {
        const std::string package = PrintableName(report.package);
        std::size_t errors = 0;
        for (const CheckFinding& f : report.findings) {
            errors += f.level == CheckLevel::kError ? 1 : 0;
            out << fmt::format("{}: {}: {}: {}\n", package, PrintableName(f.member),
                               LevelName(f.level), f.problem);
        }
        const std::size_t warnings = report.findings.size() - errors;
        std::string layout = report.version == 0 ? "not a readable package"
                                                 : fmt::format("version-{} package of {} members",
                                                               report.version, report.memberCount);
        out << fmt::format("{}: {}: {}\n", package, layout,
                           report.findings.empty() ? std::string("no problems found")
                                                   : fmt::format("{} error{}, {} warning{}", errors,
                                                                 errors == 1 ? "" : "s", warnings,
                                                                 warnings == 1 ? "" : "s"));
    }
    return report.findings.empty() ? 0 : 1;
}

}  // namespace carconv
