#include "carp/carp_test_text.h"

namespace carconv::test {

const std::array<CarpSection, 81> kVersion4Sections = {{
    {0, "Serial Number"},
    {1, "Car Classification"},
    {2, "mass [kg]"},
    {3, "number of gears (reverse + neutral + forward gears)"},
    {75, "number of gears (automatic, r, n, forward)"},
    {4, "gear shift delay (ticks)"},
    {5, "shift blip in rpm (size 8)"},
    {6, "brake blip in rpm (size 8)"},
    {7, "velocity to rpm ratio (size 8)"},
    {76, "velocity to rpm ratio automatic(size 8)"},
    {8, "gear ratios (size 8)"},
    {77, "gear ratios automatic (size 8)"},
    {9, "gear efficiency (size 8)"},
    {78, "gear efficiency automatic (size 8)"},
    {10, "torque curve (size 21) in 500 rpm increments"},
    {11, "final gear"},
    {79, "final gear automatic"},
    {12, "engine minimum rpm"},
    {13, "engine redline in rpm"},
    {14, "maximum velocity of car [m/s]"},
    {15, "top speed cap [m/s]"},
    {16, "front drive ratio"},
    {17, "Uses Antilock Brake System"},
    {18, "maximum braking deceleration"},
    {19, "front bias brake ratio"},
    {20, "gas increasing curve"},
    {21, "gas decreasing curve"},
    {22, "brake increasing curve"},
    {23, "brake decreasing curve"},
    {24, "wheel base"},
    {25, "front grip bias"},
    {26, "power steering (boolean)"},
    {27, "minimum steering acceleration"},
    {28, "turn in ramp"},
    {29, "turn out ramp"},
    {30, "lateral acceleration grip multiplier"},
    {80, "understeer gradient"},
    {31, "aerodynamic downforce multiplier"},
    {32, "gas off factor"},
    {33, "g transfer factor"},
    {34, "turning circle radius"},
    {35, "tire specs front"},
    {36, "tire specs rear"},
    {37, "tire wear"},
    {38, "Slide Multiplier"},
    {39, "Spin Velocity Cap"},
    {40, "Slide Velocity Cap"},
    {41, "Slide Assistance Factor"},
    {42, "Push Factor"},
    {43, "Low Turn Factor (the lower the figure, the better the turn)"},
    {44, "High Turn Factor (the lower the figure, the better the turn)"},
    {45, "pitch roll factor"},
    {46, "road bumpiness factor"},
    {47, "spoiler function type"},
    {48, "spoiler activation speed [m/s]"},
    {49, "gradual turn cutoff"},
    {50, "medium turn cutoff"},
    {51, "sharp turn cutoff"},
    {52, "medium turn speed modifier"},
    {53, "sharp turn speed modifier"},
    {54, "extreme turn speed modifier"},
    {55, "subdivide level"},
    {56, "camera arm"},
    {57, "Body Damage"},
    {58, "Engine Damage"},
    {59, "Suspension Damage"},
    {60, "Engine Tuning"},
    {61, "Brake Balance"},
    {62, "Steering Speed"},
    {63, "Gear Rat Factor"},
    {64, "Suspension Stiffness"},
    {65, "Aero Factor"},
    {66, "Tire Factor"},
    {67, "AI ACC0 acceleration table section"},
    {68, "AI ACC1 acceleration table section"},
    {69, "AI ACC2 acceleration table section"},
    {70, "AI ACC3 acceleration table section"},
    {71, "AI ACC4 acceleration table section"},
    {72, "AI ACC5 acceleration table section"},
    {73, "AI ACC6 acceleration table section"},
    {74, "AI ACC7 acceleration table section"},
}};

void AddSection(Builder& b, const std::string& label, std::size_t number, const std::string& value,
                const std::string& lineEnd) {
    b.str(label)                                  // label in front of the marker
        .str("(" + std::to_string(number) + ")")  // marker
        .str(lineEnd)                             // end of the marker line
        .str(value)                               // value bytes
        .str(lineEnd);                            // end of the value line
}

Bytes CanonicalText(bool version4, const CarpValues& values) {
    Builder b;
    for (const CarpSection& s : kVersion4Sections) {
        if (s.number == 80 && !version4)
            continue;
        AddSection(b, s.label, s.number, values[s.number]);
    }
    return b.bytes();
}

CarpValues SampleValues(bool withLineFeed) {
    CarpValues v;
    for (std::size_t n = 0; n < v.size(); ++n)
        v[n] = std::to_string(n) + ".250000";
    v[0] = "4711";
    v[4] = "";                                 // empty
    v[5] = " 1500, 1600,\t1700 ,1800\t";       // blanks, commas, tabs kept as they stand
    v[8] = "1e-3,+2.,-0.000,0x1F";             // any decimal form
    v[13] = std::string("\xe9t\xe9 \xff", 6);  // bytes above 127
    v[14] = std::string("a\0b", 3);            // a NUL inside
    v[79] = withLineFeed ? "\n3.1\n" : "3.1";  // lone LFs inside a CR LF text
    v[80] = "0.5";
    return v;
}

}  // namespace carconv::test
