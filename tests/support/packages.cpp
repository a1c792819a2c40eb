#include "support/packages.h"

#include <filesystem>
#include <stdexcept>

namespace carconv::test {

const std::vector<std::string> kLanguages = {"fedata.eng", "fedata.bri", "fedata.ger", "fedata.fre",
                                             "fedata.ita", "fedata.spa", "fedata.swe"};

std::string Carp3Text() {
    std::string text;
    for (int n = 0; n < 80; ++n) {
        text += "label(" + std::to_string(n) + ")\r\nv" + std::to_string(n) + "\r\n";
    }
    return text;
}

Bytes EmptyFce3(const std::string& part12) {
    Builder b;
    b.zeros(0x0E04);                          // counts, offsets, tables: all zero
    b.zeros(12 * 64);                         // part names 0 to 11
    b.str(part12).zeros(64 - part12.size());  // part name 12
    b.zeros(7940 - b.size());                 // remaining names and the tail of the header
    return b.bytes();
}

Bytes Tga32(int width, int height) {
    Builder b;
    b.u8(0);     // ID length
    b.u8(0);     // colour map type
    b.u8(2);     // image type: uncompressed true-colour
    b.zeros(5);  // colour map fields
    b.u16le(0);  // X origin
    b.u16le(0);  // Y origin
    b.u16le(static_cast<std::uint16_t>(width));
    b.u16le(static_cast<std::uint16_t>(height));
    b.u8(32);  // depth
    b.u8(8);   // descriptor: 8 alpha bits, bottom-left origin
    for (int i = 0; i < width * height * 4; ++i)
        b.u8(static_cast<std::uint8_t>(i));
    return b.bytes();
}

Bytes Fedata3(const std::string& tag) {
    Builder b;
    b.str("ABCD");              // 0: leading bytes, first above 31
    b.zeros(36);                // 4..39: flags and numbers
    b.u8(1).u8(2).u8(3).u8(4);  // 40: byte values
    b.zeros(3);                 // 44
    std::vector<std::string> strings;
    std::uint32_t offset = 207;
    for (int i = 0; i < 40; ++i) {
        strings.push_back(tag + std::to_string(i));
        b.u32le(offset);
        offset += static_cast<std::uint32_t>(strings.back().size() + 1);
    }
    for (const std::string& s : strings)
        b.cstr(s);
    return b.bytes();
}

Bytes Fsh() {
    Builder b;
    b.str("SHPI");             // 0: tag, not read
    b.u32le(16 + 8 + 16 + 8);  // 4: size, not read
    b.u32le(1);                // 8: entry count
    b.str("GIMX");             // 12: not read
    b.str("dash").u32le(24);   // entry 0: name, offset
    b.u8(0x7D).zeros(3);       // image: format code 0x7D (32-bit)
    b.u16le(2).u16le(1);       // width 2, height 1
    b.zeros(8);                // extra words
    b.str("RGBArgba");         // 2 pixels
    return b.bytes();
}

Bytes EmptyFce4() {
    Builder b;
    b.u8(0x14).u8(0x10).u8(0x10).u8(0x00);  // leading word
    b.zeros(3624 - 4);
    b.str(":HB");
    b.zeros(8248 - b.size());
    return b.bytes();
}

Bytes ArchiveBytes(const std::vector<std::pair<std::string, Bytes>>& members) {
    std::uint32_t header = 16;
    for (const auto& m : members)
        header += static_cast<std::uint32_t>(9 + m.first.size());
    std::uint32_t total = header;
    for (const auto& m : members)
        total += static_cast<std::uint32_t>(m.second.size());
    Builder b;
    b.str("BIGF").u32be(total).u32be(static_cast<std::uint32_t>(members.size())).u32be(header);
    std::uint32_t offset = header;
    for (const auto& m : members) {
        b.u32be(offset).u32be(static_cast<std::uint32_t>(m.second.size())).cstr(m.first);
        offset += static_cast<std::uint32_t>(m.second.size());
    }
    for (const auto& m : members)
        b.raw(m.second);
    return b.bytes();
}

void WriteArchive(const std::string& path,
                  const std::vector<std::pair<std::string, Bytes>>& members) {
    WriteFile(path, ArchiveBytes(members));
}

std::vector<std::pair<std::string, Bytes>> Version3Members(bool withPictures) {
    std::vector<std::pair<std::string, Bytes>> m;
    // Deliberately not in the output's order.
    for (const std::string& language : kLanguages)
        m.push_back({language, Fedata3(language.substr(7))});
    m.push_back({"car00.tga", Tga32(2, 3)});
    m.push_back({"car.fce", EmptyFce3()});
    const std::string carp = Carp3Text();
    m.push_back({"carp.txt", Bytes(carp.begin(), carp.end())});
    if (withPictures)
        m.push_back({"fedata.fsh", Fsh()});
    return m;
}

std::vector<std::pair<std::string, Bytes>> TemplateMembers() {
    std::vector<std::pair<std::string, Bytes>> m = {
        {"dash.fsh", Fsh()}, {"dash.fce", EmptyFce4()}, {"dash00.tga", Tga32(4, 2)}};
    for (const char* name :
         {"careng.ctb", "careng.ltb", "careng.bnk", "ocareng.bnk", "scareng.bnk"}) {
        std::string text = std::string(name) + " data";
        m.push_back({name, Bytes(text.begin(), text.end())});
    }
    return m;
}

void WriteTemplates(const std::string& dir) {
    for (const auto& [name, bytes] : TemplateMembers())
        WriteFile(dir + "/" + name, bytes);
}

std::vector<std::pair<std::string, Bytes>> ReadArchive(const std::string& path) {
    Bytes b = ReadFile(path);
    std::uint32_t count = GetU32be(b, 8);
    std::vector<std::pair<std::string, Bytes>> members;
    std::size_t pos = 16;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t offset = GetU32be(b, pos);
        std::uint32_t size = GetU32be(b, pos + 4);
        std::string name = GetCString(b, pos + 8, 256);
        pos += 9 + name.size();
        if (offset + size > b.size())
            throw std::runtime_error("test: member outside archive");
        members.push_back({name, Bytes(b.begin() + offset, b.begin() + offset + size)});
    }
    return members;
}

std::string InstalledUser(const ScratchDir& dir) {
    std::filesystem::create_directories(dir.File("config/Quillmark"));
    WriteFile(dir.File("config/Quillmark/carconv.ini"), std::string("[Settings]\nInstalled=1\n"));
    std::filesystem::create_directories(dir.File("data/carconv"));
    WriteTemplates(dir.File("data/carconv"));
    return "HOME=" + Q(dir.Path()) + " XDG_CONFIG_HOME=" + Q(dir.File("config")) +
           " XDG_DATA_HOME=" + Q(dir.File("data")) +
           " CARCONV_TEMPLATES= WINEPREFIX=" + Q(dir.File("nowine"));
}

}  // namespace carconv::test
