#include "sample_cars.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>

namespace carconv::samples {

const std::vector<std::string> kLanguageFiles = {"fedata.eng", "fedata.bri", "fedata.ger",
                                                 "fedata.fre", "fedata.ita", "fedata.spa",
                                                 "fedata.swe"};

const std::vector<std::string> kTemplateNames = {"dash.fsh",    "dash.fce",   "dash00.tga",
                                                 "careng.ctb",  "careng.ltb", "careng.bnk",
                                                 "ocareng.bnk", "scareng.bnk"};

namespace {

// ---- performance values ----

struct ValueRange {
    int count;
    double lo, hi;
    int decimals;
};

// Plausible ranges, by parameter number. Multi-value parameters are comma separated.
const ValueRange kRanges[kCarp3Count] = {
    {1, 1, 99, 0},     {1, 0, 3, 0},       {1, 950, 1750, 2}, {1, 7, 8, 0},
    {1, 3, 8, 0},      {8, 1000, 6000, 0}, {8, 500, 3000, 0}, {8, 0, 180, 2},
    {8, 0, 0, 3},      {8, 0.85, 1.0, 3},  {21, 0, 0, 1},     {1, 3.0, 4.3, 3},
    {1, 700, 1000, 0}, {1, 6500, 8500, 0}, {1, 70, 95, 2},    {1, 70, 95, 2},
    {1, 0, 1, 2},      {1, 0, 1, 0},       {1, 9, 14, 2},     {1, 0.55, 0.7, 3},
    {8, 0, 1, 3},      {8, 0, 1, 3},       {8, 0, 1, 3},      {8, 0, 1, 3},
    {1, 2.3, 2.9, 3},  {1, 0.45, 0.55, 3}, {1, 0, 1, 0},      {1, 0.1, 0.5, 3},
    {1, 0.1, 2.0, 3},  {1, 0.1, 2.0, 3},   {1, 1.0, 1.6, 3},  {1, 0.001, 0.01, 4},
    {1, 0.5, 1.0, 3},  {1, 0.1, 0.5, 3},   {1, 4.5, 6.0, 2},  {3, 15, 315, 0},
    {3, 15, 315, 0},   {1, 0, 1, 3},       {1, 0, 2, 3},      {1, 0, 2, 3},
    {1, 0, 2, 3},      {1, 0, 2, 3},       {1, 0, 2, 3},      {1, 0, 2, 3},
    {1, 0, 2, 3},      {1, 0, 2, 3},       {1, 0, 2, 3},      {1, 0, 2, 0},
    {1, 20, 40, 2},    {1, 0.1, 0.9, 3},   {1, 0.1, 0.9, 3},  {1, 0.1, 0.9, 3},
    {1, 0.5, 1.0, 3},  {1, 0.5, 1.0, 3},   {1, 0.5, 1.0, 3},  {1, 0, 3, 0},
    {3, -1.5, 3.5, 2}, {1, 0.5, 1.5, 2},   {1, 0.5, 1.5, 2},  {1, 0.5, 1.5, 2},
    {1, 0.8, 1.2, 2},  {1, 0.8, 1.2, 2},   {1, 0.8, 1.2, 2},  {1, 0.8, 1.2, 2},
    {1, 0.8, 1.2, 2},  {1, 0.8, 1.2, 2},   {1, 0.8, 1.2, 2},  {6, 0, 60, 2},
    {6, 0, 60, 2},     {6, 0, 60, 2},      {6, 0, 60, 2},     {6, 0, 60, 2},
    {6, 0, 60, 2},     {6, 0, 60, 2},      {6, 0, 60, 2},     {1, 6, 7, 0},
    {8, 0, 180, 2},    {8, 0, 0, 3},       {8, 0.85, 1.0, 3}, {1, 3.0, 4.3, 3},
};

std::string Number(double v, int decimals) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, v);
    return buffer;
}

std::string Join(const std::vector<std::string>& parts) {
    std::string s;
    for (const std::string& p : parts)
        s += (s.empty() ? "" : ",") + p;
    return s;
}

// Reverse, neutral, then descending forward ratios.
std::string GearRatios(Random& random) {
    std::vector<std::string> r = {Number(-random.Real(3.0, 3.6), 3), Number(0, 3)};
    double ratio = random.Real(3.2, 3.9);
    for (int i = 0; i < 6; ++i) {
        r.push_back(Number(ratio, 3));
        ratio *= random.Real(0.68, 0.78);
    }
    return Join(r);
}

// 21 torque values from 0 rpm in 500 rpm steps: rising to a peak, then falling off.
std::string TorqueCurve(Random& random) {
    const double peak = random.Real(280, 520);
    const int peakAt = random.Between(9, 13);
    std::vector<std::string> r;
    for (int i = 0; i < 21; ++i) {
        double d = static_cast<double>(i - peakAt) / (i < peakAt ? peakAt : 21 - peakAt);
        r.push_back(Number(peak * (1.0 - 0.55 * d * d), 1));
    }
    return Join(r);
}

std::vector<std::string> CarpValues(Random& random) {
    std::vector<std::string> values(kCarp3Count);
    for (std::size_t n = 0; n < kCarp3Count; ++n) {
        if (n == 8 || n == 77) {
            values[n] = GearRatios(random);
        } else if (n == 10) {
            values[n] = TorqueCurve(random);
        } else {
            std::vector<std::string> parts;
            for (int i = 0; i < kRanges[n].count; ++i) {
                double v = random.Real(kRanges[n].lo, kRanges[n].hi);
                if (kRanges[n].decimals == 0)
                    v = std::round(v);
                parts.push_back(Number(v, kRanges[n].decimals));
            }
            values[n] = Join(parts);
        }
    }
    return values;
}

// ---- meshes ----

Vec3 Normalised(float x, float y, float z) {
    float length = std::sqrt(x * x + y * y + z * z);
    return length > 0 ? Vec3{x / length, y / length, z / length} : Vec3{0, 1, 0};
}

struct PartBuilder {
    MeshModel& mesh;
    Random& random;

    MeshPart& Begin(const std::string& name, Vec3 position) {
        MeshPart part;
        part.name = name;
        part.position = position;
        part.firstVertex = static_cast<std::int32_t>(mesh.vertices.size());
        part.firstTriangle = static_cast<std::int32_t>(mesh.triangles.size());
        mesh.parts.push_back(part);
        return mesh.parts.back();
    }

    void Vertex(Vec3 v, Vec3 n) {
        mesh.vertices.push_back(v);
        mesh.normals.push_back(n);
        for (int i = 0; i < 32; ++i)
            mesh.reserve1.push_back(static_cast<std::uint8_t>(random.Next()));
        for (int i = 0; i < 12; ++i) {
            mesh.reserve2.push_back(static_cast<std::uint8_t>(random.Next()));
            mesh.reserve3.push_back(static_cast<std::uint8_t>(random.Next()));
        }
        ++mesh.parts.back().vertexCount;
    }

    void Triangle(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t page,
                  std::uint32_t flags) {
        MeshTriangle t;
        t.texturePage = page;
        t.corners = {a, b, c};
        t.flags = flags;
        const Vec3* v[3] = {&mesh.vertices[mesh.parts.back().firstVertex + a],
                            &mesh.vertices[mesh.parts.back().firstVertex + b],
                            &mesh.vertices[mesh.parts.back().firstVertex + c]};
        // Texture coordinates: the side view of the car mapped onto the skin.
        for (int k = 0; k < 3; ++k) {
            t.u[k] = 0.5f + v[k]->z / 5.0f;
            t.v[k] = 0.5f - v[k]->y / 3.0f;
        }
        mesh.triangles.push_back(t);
        ++mesh.parts.back().triangleCount;
    }

    // An axis-aligned box around `centre`; 8 vertices, 12 triangles.
    void Box(Vec3 centre, Vec3 half, std::uint32_t flags) {
        for (int i = 0; i < 8; ++i) {
            float sx = (i & 1) ? 1.0f : -1.0f, sy = (i & 2) ? 1.0f : -1.0f,
                  sz = (i & 4) ? 1.0f : -1.0f;
            Vertex({centre.x + sx * half.x, centre.y + sy * half.y, centre.z + sz * half.z},
                   Normalised(sx, sy, sz));
        }
        const std::uint32_t base = static_cast<std::uint32_t>(mesh.parts.back().vertexCount) - 8;
        const std::uint32_t faces[6][4] = {{0, 2, 6, 4}, {1, 5, 7, 3}, {0, 4, 5, 1},
                                           {2, 3, 7, 6}, {0, 1, 3, 2}, {4, 6, 7, 5}};
        for (const auto& f : faces) {
            Triangle(base + f[0], base + f[1], base + f[2], 0, flags);
            Triangle(base + f[0], base + f[2], base + f[3], 0, flags);
        }
    }

    // A wheel turning about the x axis: two rims of `segments` vertices and two hub centres;
    // 2 * segments + 2 vertices, 4 * segments triangles.
    void Wheel(Vec3 centre, float radius, float width, int segments) {
        const std::uint32_t s = static_cast<std::uint32_t>(segments);
        for (int side = 0; side < 2; ++side) {
            float x = centre.x + (side == 0 ? -width : width) / 2;
            for (int i = 0; i < segments; ++i) {
                float a = 6.2831853f * static_cast<float>(i) / static_cast<float>(segments);
                Vertex({x, centre.y + radius * std::cos(a), centre.z + radius * std::sin(a)},
                       Normalised(0, std::cos(a), std::sin(a)));
            }
        }
        Vertex({centre.x - width / 2, centre.y, centre.z}, {-1, 0, 0});
        Vertex({centre.x + width / 2, centre.y, centre.z}, {1, 0, 0});
        for (std::uint32_t i = 0; i < s; ++i) {
            std::uint32_t j = (i + 1) % s;
            Triangle(i, j, s + i, 1, 0x2);
            Triangle(j, s + j, s + i, 1, 0x2);
            Triangle(2 * s, j, i, 1, 0x2);
            Triangle(2 * s + 1, s + i, s + j, 1, 0x2);
        }
    }
};

struct CarShape {
    float halfLength, halfWidth, height, wheelRadius;
};

// A car of twelve standard parts (high, medium, low and tiny body, and the wheels of the high
// and medium detail levels) and `extras` further named parts.
MeshModel CarMesh(Random& random, const CarShape& shape, const std::vector<std::string>& extras) {
    MeshModel mesh;
    mesh.firstWord = random.Between(0, 3);
    mesh.auxiliaryCount = random.Between(0, 4);
    mesh.extent = {shape.halfWidth, shape.height, shape.halfLength};
    PartBuilder b{mesh, random};
    const float r = shape.wheelRadius;
    const float wx = shape.halfWidth - 0.12f, wz = shape.halfLength * 0.68f;
    const Vec3 wheels[4] = {{-wx, r, wz}, {wx, r, wz}, {-wx, r, -wz}, {wx, r, -wz}};
    const char* wheelNames[4] = {"LeftFront", "RightFront", "LeftRear", "RightRear"};
    const Vec3 hull{0, shape.height * 0.35f + 0.1f, 0};
    const Vec3 hullHalf{shape.halfWidth, shape.height * 0.22f, shape.halfLength};
    const Vec3 cabin{0, shape.height * 0.78f, -0.2f};
    const Vec3 cabinHalf{shape.halfWidth * 0.8f, shape.height * 0.2f, shape.halfLength * 0.45f};

    b.Begin("HighBody", {0, 0, 0});
    b.Box(hull, hullHalf, 0);
    b.Box(cabin, cabinHalf, 0x4);
    for (int i = 0; i < 4; ++i) {
        b.Begin(std::string("High") + wheelNames[i] + "Wheel", wheels[i]);
        b.Wheel({0, 0, 0}, r, 0.22f, 12);
    }
    b.Begin("MediumBody", {0, 0, 0});
    b.Box(hull, hullHalf, 0);
    b.Box(cabin, cabinHalf, 0x4);
    for (int i = 0; i < 4; ++i) {
        b.Begin(std::string("Medium") + wheelNames[i] + "Wheel", wheels[i]);
        b.Wheel({0, 0, 0}, r, 0.22f, 8);
    }
    b.Begin("LowBody", {0, 0, 0});
    b.Box({0, shape.height / 2, 0}, {shape.halfWidth, shape.height / 2, shape.halfLength}, 0);
    b.Begin("TinyBody", {0, 0, 0});
    b.Box({0, shape.height / 2, 0}, {shape.halfWidth, shape.height / 2, shape.halfLength}, 0);

    for (const std::string& name : extras) {
        if (name.find("Exhaust") != std::string::npos) {
            b.Begin(name, {0.5f, 0.25f, -shape.halfLength});
            b.Wheel({0, 0, 0}, 0.05f, 0.1f, 6);
        } else if (name.find("Spoiler") != std::string::npos) {
            b.Begin(name, {0, shape.height * 0.7f, -shape.halfLength + 0.15f});
            b.Box({0, 0, 0}, {shape.halfWidth * 0.85f, 0.03f, 0.12f}, 0);
        } else {
            b.Begin(name, {shape.halfWidth, shape.height * 0.65f, 0.9f});
            b.Box({0, 0, 0}, {0.06f, 0.05f, 0.08f}, 0);
        }
    }

    const float y = shape.height * 0.45f;
    mesh.markers = {{"LightFrontLeft", {-shape.halfWidth + 0.2f, y, shape.halfLength}},
                    {"LightFrontRight", {shape.halfWidth - 0.2f, y, shape.halfLength}},
                    {"LightRearLeft", {-shape.halfWidth + 0.2f, y, -shape.halfLength}},
                    {"LightRearRight", {shape.halfWidth - 0.2f, y, -shape.halfLength}}};
    // Paint colours: hue, saturation, brightness, a fourth component.
    const int colourCount = random.Between(3, 6);
    for (int i = 0; i < colourCount; ++i)
        mesh.colours.push_back({random.Between(0, 255), random.Between(0, 255),
                                random.Between(0, 255), random.Between(0, 255)});
    return mesh;
}

// ---- skins ----

enum class SkinStyle { Painted, Banded, Flat };

// Every row differs from every other (the rows' order is what the conversion changes).
Texture Skin(Random& random, SkinStyle style, std::uint16_t width, std::uint16_t height) {
    Texture t;
    t.width = width;
    t.height = height;
    const int blue = random.Between(0, 255), green = random.Between(0, 255),
              red = random.Between(0, 255);
    t.pixels.reserve(std::size_t{width} * height * 4);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int b = blue, g = green, r = red;
            switch (style) {
                case SkinStyle::Painted:
                    g = (green + y) & 0xFF;  // shading down the body
                    if (x >= width / 2 - 12 && x < width / 2 + 12)
                        b = g = r = 240;  // racing stripe
                    if (x == width / 4 || x == 3 * width / 4)
                        b = g = r = 20;  // door lines
                    r = (r + x / 8) & 0xFF;
                    break;
                case SkinStyle::Banded:
                    if ((y / 32) % 2 == 1)
                        b = 255 - blue, g = 255 - green, r = 255 - red;
                    if (x == y % width)
                        b = g = r = y & 0xFF;  // one marker pixel per row
                    break;
                case SkinStyle::Flat:
                    b = g = r = (96 + y / 2) & 0xFF;
                    break;
            }
            t.pixels.push_back(static_cast<std::uint8_t>(b));
            t.pixels.push_back(static_cast<std::uint8_t>(g));
            t.pixels.push_back(static_cast<std::uint8_t>(r));
            t.pixels.push_back(255);
        }
    }
    return t;
}

// ---- front-end data ----

struct Words {
    std::string power, torque, weight, topSpeed, price, gearbox, manual;
};

// 8-bit text as the game stores it (Latin-1).
const std::map<std::string, Words> kWords = {
    {"eng", {"Power", "Torque", "Weight", "Top speed", "Price", "Transmission", "manual"}},
    {"bri", {"Power", "Torque", "Weight", "Top speed", "Price", "Gearbox", "manual"}},
    {"ger",
     {"Leistung", "Drehmoment", "Gewicht",
      "H\xF6"
      "chstgeschwindigkeit",
      "Preis", "Getriebe", "Schaltgetriebe"}},
    {"fre",
     {"Puissance", "Couple", "Poids", "Vitesse maximale", "Prix", "Bo\xEEte de vitesses",
      "manuelle"}},
    {"ita", {"Potenza", "Coppia", "Peso", "Velocit\xE0 massima", "Prezzo", "Cambio", "manuale"}},
    {"spa",
     {"Potencia", "Par", "Peso", "Velocidad m\xE1xima", "Precio", "Caja de cambios", "manual"}},
    {"swe",
     {"Effekt", "Vridmoment", "Vikt", "Toppfart", "Pris",
      "V\xE4xell\xE5"
      "da",
      "manuell"}},
};

struct CarIdentity {
    std::string make, model, country;
    int year, power, torque, mass, topSpeed, price;
};

FrontEnd3 FrontEnd(Random& random, const CarIdentity& car, const std::string& language,
                   int number10, std::int16_t number24) {
    const Words& w = kWords.at(language);
    FrontEnd3 f;
    f.lead = {static_cast<std::uint8_t>(car.make[0]), static_cast<std::uint8_t>(car.model[0]), '0',
              static_cast<std::uint8_t>('0' + car.year % 10)};
    f.word4 = static_cast<std::uint16_t>(car.year);
    f.flag6 = static_cast<std::int16_t>(random.Between(0, 1));
    f.word8 = static_cast<std::uint16_t>(random.Between(0, 9));
    f.number10 = static_cast<std::int16_t>(number10);
    f.word12 = static_cast<std::uint32_t>(car.price);
    f.flag16 = static_cast<std::int16_t>(random.Between(0, 1));
    f.word18 = 0;
    f.flag20 = 1;
    f.word22 = static_cast<std::uint16_t>(random.Between(0, 3));
    f.number24 = number24;
    for (auto& rating : f.ratings)
        rating = static_cast<std::int8_t>(random.Between(3, 10));
    auto& s = f.strings;
    s[0] = car.make;
    s[1] = car.model;
    s[2] = car.make + " " + car.model;
    s[3] = car.country;
    s[4] = std::to_string(car.year);
    s[5] = "V8 DOHC 32V";
    s[6] = Number(car.power / 100.0, 1) + " L";
    s[7] = w.power + ": " + std::to_string(car.power) + " hp";
    s[8] = w.torque + ": " + std::to_string(car.torque) + " Nm";
    s[9] = w.gearbox + ": 6 " + w.manual;
    s[10] = w.weight + ": " + std::to_string(car.mass) + " kg";
    s[11] = "0-100 km/h: " + Number(random.Real(3.8, 6.5), 1) + " s";
    s[12] = w.topSpeed + ": " + std::to_string(car.topSpeed) + " km/h";
    s[13] = "245/35 ZR19";
    s[14] = "305/30 ZR19";
    s[15] = "Brembo";
    s[16] = w.price + ": " + std::to_string(car.price);
    const char* ratings[4] = {"Acceleration", "Top Speed", "Handling", "Braking"};
    for (int i = 0; i < 4; ++i)
        s[17 + i] = ratings[i];
    const char* paints[5] = {"Rosso Corsa", "Midnight Blue", "Silver Birch", "Racing Green",
                             "Pearl White"};
    for (int i = 0; i < 5; ++i)
        s[21 + i] = paints[i];
    for (int i = 26; i < 40; ++i)
        s[i] = car.model + " (" + language + ") history line " + std::to_string(i - 25) + ".";
    return f;
}

// ---- picture archives ----

Picture PhotoPicture(Random& random, const std::string& name, std::uint16_t width,
                     std::uint16_t height) {
    Picture p;
    p.name = name;
    p.formatCode = 0x7D;
    p.width = width;
    p.height = height;
    p.words = {static_cast<std::int16_t>(width / 2), static_cast<std::int16_t>(height / 2), 0, 0};
    const int tint = random.Between(0, 255);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            p.pixels.push_back(static_cast<std::uint8_t>(x * 255 / width));
            p.pixels.push_back(static_cast<std::uint8_t>(y * 255 / height));
            p.pixels.push_back(static_cast<std::uint8_t>(tint));
            p.pixels.push_back(255);
        }
    return p;
}

Picture PalettePicture(Random& random, const std::string& name, std::uint16_t size) {
    Picture p;
    p.name = name;
    p.formatCode = 0x7B;
    p.width = size;
    p.height = size;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            p.pixels.push_back(static_cast<std::uint8_t>((x / 4 + y / 4) % 16));
    for (int i = 0; i < 256; ++i) {
        p.palette.push_back(static_cast<std::uint8_t>(random.Next()));
        p.palette.push_back(static_cast<std::uint8_t>(random.Next()));
        p.palette.push_back(static_cast<std::uint8_t>(random.Next()));
        p.palette.push_back(255);
    }
    return p;
}

Picture NeedlePicture(const std::string& name) {
    Picture p;
    p.name = name;
    p.formatCode = 0x78;
    p.width = 8;
    p.height = 48;
    p.words = {4, 44, 0, 0};
    for (int i = 0; i < 8 * 48; ++i)
        p.pixels.push_back(0x1F), p.pixels.push_back(0xF8);  // red, 5-6-5
    return p;
}

const std::vector<std::string> kMakes = {"Vantor", "Kessler", "Aurelia", "Nordvik", "Castellan"};
const std::vector<std::string> kModels = {"Strale GT", "Meridian RS", "Tempest 8", "Corvo S",
                                          "Halcyon R"};
const std::vector<std::string> kCountries = {"Italy", "Germany", "Sweden", "England", "France"};

CarIdentity Identity(Random& random, int index) {
    const int pick = (random.Between(0, 4) + index) % 5;
    CarIdentity car;
    car.make = kMakes[pick];
    car.model = kModels[(pick + 2) % 5];
    car.country = kCountries[pick];
    car.year = random.Between(1996, 2001);
    car.power = random.Between(300, 560);
    car.torque = random.Between(350, 620);
    car.mass = random.Between(1150, 1700);
    car.topSpeed = random.Between(260, 330);
    car.price = random.Between(60, 250) * 1000;
    return car;
}

Bytes SoundBank(Random& random, const std::string& tag, double frequency) {
    ByteSink b;
    b.Text("BNKl").U16le(4).U16le(1).U32le(4000);
    const double phase = random.Real(0, 1);
    for (int i = 0; i < 4000; ++i)
        b.U8(static_cast<std::uint8_t>(128 + 90 * std::sin(frequency * (i + phase) / 4000.0)));
    b.Text(tag);
    return b.Take();
}

Bytes Table(Random& random, int count) {
    ByteSink b;
    for (int i = 0; i < count; ++i)
        b.U16le(static_cast<std::uint16_t>(i * 500 + random.Between(0, 99)));
    return b.Take();
}

}  // namespace

std::vector<Member> SampleCar::Members() const {
    const std::string text = CarpText(carp, carpLineEnd);
    std::vector<Member> m;
    m.push_back({"carp.txt", Bytes(text.begin(), text.end())});
    m.push_back({"car.fce", Fce3Bytes(mesh)});
    m.push_back({"car00.tga", TgaBytes(skin)});
    for (const auto& [name, file] : frontEnd)
        m.push_back({name, Fedata3Bytes(file)});
    if (!pictures.empty())
        m.push_back({"fedata.fsh", FshBytes(pictures)});
    if (carpLineEnd == "\n")  // the car that differs: members stored back to front
        std::reverse(m.begin(), m.end());
    return m;
}

std::vector<SampleCar> SampleCars(std::uint64_t seed) {
    std::vector<SampleCar> cars;
    Random random(seed);

    {
        SampleCar car;
        car.name = "full";
        car.description = "every part of a car, uncompressed skin, front-end pictures";
        car.carp = CarpValues(random);
        car.carpLineEnd = "\r\n";
        car.mesh = CarMesh(random, {2.25f, 0.95f, 1.25f, 0.34f},
                           {"Spoiler", "MirrorLeft", "MirrorRight", "Exhaust_Tip"});
        car.skin = Skin(random, SkinStyle::Painted, 256, 256);
        car.skin.imageId = "carconv sample skin";
        const CarIdentity id = Identity(random, 0);
        for (const std::string& file : kLanguageFiles)
            car.frontEnd.push_back(
                {file, FrontEnd(random, id, file.substr(7), random.Between(1, 40), 12)});
        car.pictures = {PhotoPicture(random, "fe01", 64, 32), PalettePicture(random, "lg00", 32)};
        cars.push_back(std::move(car));
    }
    {
        SampleCar car;
        car.name = "rle-lf";
        car.description = "run-length-encoded skin with a footer, LF line ends, members reversed";
        car.carp = CarpValues(random);
        car.carpLineEnd = "\n";
        car.mesh = CarMesh(random, {2.05f, 0.88f, 1.4f, 0.36f}, {"RoofRack", "BullBar_Exhaust"});
        car.skin = Skin(random, SkinStyle::Banded, 256, 256);
        car.skin.runLength = true;
        car.skin.footer = true;
        const CarIdentity id = Identity(random, 1);
        for (const std::string& file : kLanguageFiles)
            car.frontEnd.push_back(
                {file, FrontEnd(random, id, file.substr(7), 32767, static_cast<std::int16_t>(-2))});
        cars.push_back(std::move(car));
    }
    {
        SampleCar car;
        car.name = "minimal";
        car.description = "empty mesh, every front-end string empty";
        car.carp = CarpValues(random);
        car.carpLineEnd = "\r\n";
        car.skin = Skin(random, SkinStyle::Flat, 256, 256);
        for (const std::string& file : kLanguageFiles) {
            FrontEnd3 f;
            f.lead = {'M', 'N', '0', '1'};
            f.shareOneEmptyString = true;
            car.frontEnd.push_back({file, f});
        }
        cars.push_back(std::move(car));
    }
    return cars;
}

std::vector<Member> StockCarMembers(std::uint64_t seed) {
    Random random(seed ^ 0x5eed5eed5eedULL);
    std::vector<std::string> carp = CarpValues(random);
    carp.push_back("0.150000");
    const std::string text = CarpText(carp, "\r\n");

    MeshModel car = CarMesh(random, {2.3f, 0.97f, 1.2f, 0.35f}, {"spoiler"});
    const char* fixedNames[12] = {":HB",   ":HLFW", ":HRFW", ":HLRW", ":HRRW", ":MB",
                                  ":MLFW", ":MRFW", ":MLRW", ":MRRW", ":LB",   ":TB"};
    for (int i = 0; i < 12; ++i)
        car.parts[i].name = fixedNames[i];

    MeshModel dash;
    {
        PartBuilder b{dash, random};
        b.Begin(":Dashboard", {0, 0.9f, 0.4f});
        b.Box({0, 0, 0}, {0.7f, 0.1f, 0.2f}, 0);
        b.Begin(":SteeringWheel", {-0.35f, 0.95f, 0.1f});
        b.Wheel({0, 0, 0}, 0.18f, 0.03f, 10);
        dash.extent = {0.7f, 1.1f, 0.6f};
        dash.colours = {{0, 0, 40, 255}};
    }
    Texture dashSkin = Skin(random, SkinStyle::Painted, 128, 64);
    dashSkin.imageId = "dash";
    const Texture carSkin = Skin(random, SkinStyle::Painted, 256, 256);

    return {
        {"carp.txt", Bytes(text.begin(), text.end())},
        {"car.fce", Fce4Bytes(car)},
        {"car00.tga", TgaBytes(carSkin)},
        {"dash.fsh", FshBytes({PhotoPicture(random, "dash", 128, 64), NeedlePicture("ndl0"),
                               PalettePicture(random, "gear", 16)})},
        {"dash.fce", Fce4Bytes(dash)},
        {"dash00.tga", TgaBytes(dashSkin)},
        {"careng.ctb", Table(random, 64)},
        {"careng.ltb", Table(random, 32)},
        {"careng.bnk", SoundBank(random, "careng", 220)},
        {"ocareng.bnk", SoundBank(random, "ocareng", 330)},
        {"scareng.bnk", SoundBank(random, "scareng", 440)},
    };
}

std::vector<std::string> WriteSamples(const std::string& outDir, std::uint64_t seed) {
    const std::filesystem::path out(outDir);
    std::filesystem::create_directories(out);
    std::vector<std::string> written;
    for (const SampleCar& car : SampleCars(seed)) {
        const std::filesystem::path path = out / (car.name + ".viv");
        WriteBytes(path, VivBytes(car.Members()));
        written.push_back(path.string());
    }
    const std::filesystem::path stock = out / kStockCarPath;
    std::filesystem::create_directories(stock.parent_path());
    WriteBytes(stock, VivBytes(StockCarMembers(seed)));
    return written;
}

}  // namespace carconv::samples
