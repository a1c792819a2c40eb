#pragma once

// Front-end data files laid out inline, field by field, for the fedata tests.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "support/test_util.h"

namespace carconv::test {

// The version-3 header fields the conversion interprets. The fields it does not interpret are
// written with non-zero marker bytes, so that a conversion carrying them over shows.
struct Fedata3Fields {
    std::array<std::uint8_t, 4> leading = {0x31, 0x32, 0x33, 0x34};
    std::int16_t flag6 = 0;
    std::int16_t value10 = 0;
    std::int16_t flag16 = 0;
    std::int16_t flag20 = 0;
    std::int16_t value24 = 0;
    std::array<std::int8_t, 4> byteValues = {0, 0, 0, 0};
};

// The 207-byte version-3 header with the given string offsets.
inline Bytes Fedata3Header(const Fedata3Fields& f, const std::array<std::int32_t, 40>& offsets) {
    Builder b;
    for (std::uint8_t v : f.leading)
        b.u8(v);                                     // 0: leading bytes
    b.u16le(0xA504);                                 // 4: not interpreted
    b.u16le(static_cast<std::uint16_t>(f.flag6));    // 6: flag
    b.u16le(0xA508);                                 // 8: not interpreted
    b.u16le(static_cast<std::uint16_t>(f.value10));  // 10: value
    b.u32le(0xA512A512);                             // 12: not interpreted
    b.u16le(static_cast<std::uint16_t>(f.flag16));   // 16: flag
    b.u16le(0xA518);                                 // 18: not interpreted
    b.u16le(static_cast<std::uint16_t>(f.flag20));   // 20: flag
    b.u16le(0xA522);                                 // 22: not interpreted
    b.u16le(static_cast<std::uint16_t>(f.value24));  // 24: value
    b.fill(14, 0xA6);                                // 26: not interpreted
    for (std::int8_t v : f.byteValues)
        b.u8(static_cast<std::uint8_t>(v));  // 40: byte values
    b.fill(3, 0xA7);                         // 44: not interpreted
    for (std::int32_t o : offsets)
        b.i32le(o);  // 47: string offsets
    return b.bytes();
}

// A version-3 file whose 40 strings follow the header one after another.
inline Bytes Fedata3Packed(const Fedata3Fields& f, const std::array<std::string, 40>& strings) {
    std::array<std::int32_t, 40> offsets{};
    std::int32_t at = 207;
    for (int i = 0; i < 40; ++i) {
        offsets[i] = at;
        at += static_cast<std::int32_t>(strings[i].size()) + 1;
    }
    Builder b;
    b.raw(Fedata3Header(f, offsets));
    for (const std::string& s : strings)
        b.cstr(s);
    return b.bytes();
}

// A 1124-byte version-4 header with a distinct marker in every field and the given offsets.
inline Bytes Fedata4Header(const std::array<std::int32_t, 41>& offsets) {
    Builder b;
    b.u8(4).fill(273, 0x01);                // 0: leading block
    b.u8(0x51).u8(0x52).u8(0x53).u8(0x54);  // 274: version-3 leading bytes
    b.fill(520, 0x02);                      // 278: not interpreted
    b.i32le(-798);                          // 798: value
    b.fill(88, 0x03);                       // 802: not interpreted
    b.u16le(0x8013);                        // 890: flag word
    b.fill(6, 0x04);                        // 892: not interpreted
    b.i32le(-898);                          // 898: value
    b.u8(0x05).u8(0x06).u8(10);             // 902: block, offset 904 = 10
    for (int i = 0; i < 21; ++i)
        b.u8(static_cast<std::uint8_t>(0xE0 + i));   // 905: byte fields
    b.i32le(926).i32le(930).i32le(934).i32le(-938);  // 926..938: four values
    b.fill(16, 0x07).u8(41).u8(0x08);                // 942: block, offset 958 = 41
    for (std::int32_t o : offsets)
        b.i32le(o);  // 960: string offsets
    return b.bytes();
}

// A version-4 file in the form its writer produces: strings packed after the header.
inline Bytes Fedata4Packed(const std::array<std::string, 41>& strings) {
    std::array<std::int32_t, 41> offsets{};
    std::int32_t at = 1124;
    for (int i = 0; i < 41; ++i) {
        offsets[i] = at;
        at += static_cast<std::int32_t>(strings[i].size()) + 1;
    }
    Builder b;
    b.raw(Fedata4Header(offsets));
    for (const std::string& s : strings)
        b.cstr(s);
    return b.bytes();
}

// Strings "<prefix>0" .. "<prefix>N-1", each distinct.
template <std::size_t N>
std::array<std::string, N> NumberedStrings(const std::string& prefix) {
    std::array<std::string, N> strings;
    for (std::size_t i = 0; i < N; ++i)
        strings[i] = prefix + std::to_string(i);
    return strings;
}

}  // namespace carconv::test
