#include "sample_describe.h"

#include <algorithm>
#include <sstream>
#include <stdexcept>

namespace carconv::samples {

namespace {

const std::string kIndent(15, ' ');

const Bytes& Find(const std::vector<Member>& members, const std::string& name,
                  const char* package) {
    for (const Member& m : members)
        if (m.name == name)
            return m.bytes;
    throw std::runtime_error(std::string(package) + " package has no member " + name);
}

bool Has(const std::vector<Member>& members, const std::string& name) {
    for (const Member& m : members)
        if (m.name == name)
            return true;
    return false;
}

const char* YesNo(bool b) {
    return b ? "yes" : "NO";
}

std::string Text(const Bytes& b) {
    return std::string(b.begin(), b.end());
}

bool CopiesEqual(const std::vector<Member>& v4, const std::vector<std::string>& names) {
    const Bytes& first = Find(v4, names[0], "version-4");
    for (std::size_t i = 1; i < names.size(); ++i)
        if (Find(v4, names[i], "version-4") != first)
            return false;
    return true;
}

// Appends `items` separated by ", " after `first`, breaking lines before they pass 100 columns
// and indenting the following lines as deep as `first`.
void Wrapped(std::ostringstream& out, const std::vector<std::string>& items,
             const std::string& first) {
    const std::string indent(first.size(), ' ');
    std::size_t column = indent.size();
    out << first;
    for (std::size_t i = 0; i < items.size(); ++i) {
        std::string item = items[i] + (i + 1 < items.size() ? "," : "");
        if (column > indent.size() && column + 1 + item.size() > 100) {
            out << '\n' << indent;
            column = indent.size();
        } else if (column > indent.size()) {
            out << ' ';
            ++column;
        }
        out << item;
        column += item.size();
    }
    out << '\n';
}

void DescribePerformance(std::ostringstream& out, const std::vector<Member>& v3,
                         const std::vector<Member>& v4) {
    const std::string in = Text(Find(v3, "carp.txt", "version-3"));
    const std::string result = Text(Find(v4, "carp.txt", "version-4"));
    const auto before = ReadCarpValues(in, kCarp3Count);
    const auto after = ReadCarpValues(result, kCarp4Count);
    std::size_t carried = 0;
    for (std::size_t n = 0; n < kCarp3Count; ++n)
        carried += before[n] == after[n] ? 1 : 0;
    const bool lf = in.find('\r') == std::string::npos;
    out << "  performance  " << carried
        << " of 80 parameters carried; understeer gradient(80) = " << after[80] << " added\n"
        << kIndent << (lf ? "LF line ends written as CR LF; " : "")
        << "carp1-3.txt identical copies: "
        << YesNo(CopiesEqual(v4, {"carp.txt", "carp1.txt", "carp2.txt", "carp3.txt"})) << '\n';
}

void DescribeMesh(std::ostringstream& out, const std::vector<Member>& v3,
                  const std::vector<Member>& v4) {
    const Bytes& in = Find(v3, "car.fce", "version-3");
    const Bytes& result = Find(v4, "car.fce", "version-4");
    const std::uint32_t vertices = GetU32le(in, 0x8, "version-3 mesh");
    const std::uint32_t triangles = GetU32le(in, 0x4, "version-3 mesh");
    const std::uint32_t parts = GetU32le(in, 0xF8, "version-3 mesh");
    const std::uint32_t markers = GetU32le(in, 0x34, "version-3 mesh");
    const std::uint32_t colours = GetU32le(in, 0x7FC, "version-3 mesh");
    const std::uint64_t expected = 8248 + 140ULL * vertices + 68ULL * triangles;
    out << "  mesh         " << vertices << " vertices, " << triangles << " triangles, " << parts
        << " parts, " << markers << " markers, " << colours << " colours\n"
        << kIndent << in.size() << " -> " << result.size() << " bytes (8248+140V+68T: "
        << YesNo(result.size() == expected && GetU32le(result, 0xC, "mesh") == vertices &&
                 GetU32le(result, 0x8, "mesh") == triangles)
        << "); car1-3.fce identical copies: "
        << YesNo(CopiesEqual(v4, {"car.fce", "car1.fce", "car2.fce", "car3.fce"})) << '\n';
    std::vector<std::string> names;
    const std::uint32_t shown = parts < 12 ? 12 : (parts > 64 ? 64 : parts);
    for (std::uint32_t i = 0; i < shown; ++i) {
        std::string before = GetCText(in, 0xE04 + 64 * i, 64);
        std::string after = GetCText(result, 0xE28 + 64 * i, 64);
        names.push_back((before.empty() ? "(none)" : before) + " -> " + after);
    }
    Wrapped(out, names, kIndent + "parts: ");
}

void DescribeSkin(std::ostringstream& out, const std::vector<Member>& v3,
                  const std::vector<Member>& v4) {
    const Bytes& in = Find(v3, "car00.tga", "version-3");
    const Bytes& result = Find(v4, "car00.tga", "version-4");
    const Bytes before = DecodeTgaPixels(in);
    const Bytes after = DecodeTgaPixels(result);
    const std::size_t width = GetU16le(in, 12, "skin"), height = GetU16le(in, 14, "skin");
    const std::size_t row = before.size() / (height == 0 ? 1 : height);
    bool flipped = before.size() == after.size();
    for (std::size_t r = 0; flipped && r < height; ++r)
        flipped = std::equal(after.begin() + r * row, after.begin() + (r + 1) * row,
                             before.begin() + (height - 1 - r) * row);
    const bool runLength = in[2] >= 9;
    const std::string footer = "TRUEVISION-XFILE.";
    const bool hasFooter =
        in.size() >= 26 && std::equal(footer.begin(), footer.end(), in.end() - 18);
    out << "  skin         " << width << "x" << height << " " << int{in[16]} << "-bit"
        << (runLength ? ", run-length encoded" : ", uncompressed")
        << (hasFooter ? " with footer" : "") << " -> image type " << int{result[2]} << ", "
        << result.size() << " bytes\n"
        << kIndent << "rows flipped: " << YesNo(flipped)
        << "; car100/200/300.tga identical copies: "
        << YesNo(CopiesEqual(v4, {"car00.tga", "car100.tga", "car200.tga", "car300.tga"})) << '\n';
}

void DescribeFrontEnd(std::ostringstream& out, const std::vector<Member>& v3,
                      const std::vector<Member>& v4) {
    static const char* kFiles[] = {"fedata.eng", "fedata.bri", "fedata.ger", "fedata.fre",
                                   "fedata.ita", "fedata.spa", "fedata.swe"};
    std::size_t moved = 0, nonEmpty = 0;
    bool ok = true;
    std::string title;
    for (const char* file : kFiles) {
        const auto before = ReadFrontEndStrings(Find(v3, file, "version-3"), 47, 40);
        const auto after = ReadFrontEndStrings(Find(v4, file, "version-4"), 960, 41);
        ok = ok && after[17].empty();
        for (std::size_t k = 0; k < 40; ++k) {
            ok = ok && after[k < 17 ? k : k + 1] == before[k];
            nonEmpty += before[k].empty() ? 0 : 1;
            moved += (k >= 17 && !before[k].empty()) ? 1 : 0;
        }
        if (title.empty())
            title = after[2];
    }
    out << "  front end    7 languages, " << nonEmpty << " non-empty strings";
    if (!title.empty())
        out << " (\"" << title << "\")";
    out << "\n"
        << kIndent << "strings 17-39 moved to 18-40 (" << moved
        << " non-empty), new empty string 17: " << YesNo(ok) << '\n';
    if (Has(v3, "fedata.fsh"))
        out << "  pictures     fedata.fsh carried unchanged: "
            << YesNo(Has(v4, "fedata.fsh") &&
                     Find(v4, "fedata.fsh", "version-4") == Find(v3, "fedata.fsh", "version-3"))
            << '\n';
}

}  // namespace

Bytes DecodeTgaPixels(const Bytes& tga) {
    if (tga.size() < 18)
        throw std::runtime_error("texture shorter than its header");
    const std::size_t idLength = tga[0], type = tga[2];
    const std::size_t width = GetU16le(tga, 12, "texture"), height = GetU16le(tga, 14, "texture");
    const std::size_t pixelSize = tga[16] / 8;
    const std::size_t size = width * height * pixelSize;
    std::size_t pos = 18 + idLength;
    if (pos > tga.size())
        throw std::runtime_error("texture image ID lies past the end");
    if (type < 9) {
        if (size > tga.size() - pos)
            throw std::runtime_error("texture image data lies past the end");
        return Bytes(tga.begin() + pos, tga.begin() + pos + size);
    }
    Bytes pixels;
    while (pixels.size() < size) {
        if (pos >= tga.size())
            throw std::runtime_error("run-length data ends before the image is complete");
        const std::uint8_t packet = tga[pos++];
        const std::size_t count = (packet & 0x7F) + 1;
        const std::size_t bytes = (packet & 0x80) ? pixelSize : count * pixelSize;
        if (bytes > tga.size() - pos || count * pixelSize > size - pixels.size())
            throw std::runtime_error("run-length packet overruns");
        if (packet & 0x80) {
            for (std::size_t i = 0; i < count; ++i)
                pixels.insert(pixels.end(), tga.begin() + pos, tga.begin() + pos + pixelSize);
        } else {
            pixels.insert(pixels.end(), tga.begin() + pos, tga.begin() + pos + bytes);
        }
        pos += bytes;
    }
    return pixels;
}

std::vector<std::string> ReadCarpValues(const std::string& text, std::size_t count) {
    const bool crlf = text.find('\r') != std::string::npos;
    const std::size_t skip = crlf ? 2 : 1;
    const char end = crlf ? '\r' : '\n';
    std::vector<std::string> values(count);
    for (std::size_t n = 0; n < count; ++n) {
        std::string marker = "(";
        marker += std::to_string(n);
        marker += ')';
        std::size_t p = text.find(marker);
        if (p == std::string::npos)
            continue;
        std::size_t s = p + std::to_string(n).size() + 2 + skip;
        if (s > text.size())
            continue;
        std::size_t e = text.find(end, s);
        values[n] = text.substr(s, e == std::string::npos ? std::string::npos : e - s);
    }
    return values;
}

std::vector<std::string> ReadFrontEndStrings(const Bytes& file, std::size_t tableOffset,
                                             std::size_t count) {
    std::vector<std::string> strings;
    for (std::size_t i = 0; i < count; ++i)
        strings.push_back(
            GetCText(file, GetU32le(file, tableOffset + 4 * i, "front-end offset table"), 256));
    return strings;
}

std::string DescribeConversion(const std::vector<Member>& version3,
                               const std::vector<Member>& version4) {
    std::ostringstream out;
    DescribePerformance(out, version3, version4);
    DescribeMesh(out, version3, version4);
    DescribeSkin(out, version3, version4);
    DescribeFrontEnd(out, version3, version4);
    std::vector<std::string> templates;
    for (const char* name : {"dash.fsh", "dash.fce", "dash00.tga", "careng.ctb", "careng.ltb",
                             "careng.bnk", "ocareng.bnk", "scareng.bnk"})
        templates.push_back(std::string(name) + " (" +
                            std::to_string(Find(version4, name, "version-4").size()) + ")");
    Wrapped(out, templates, "  templates    ");
    out << "  members      " << version3.size() << " -> " << version4.size() << '\n';
    return out.str();
}

}  // namespace carconv::samples
