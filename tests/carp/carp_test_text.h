#pragma once

// Performance texts laid out by the tests themselves, section by section, independently of the
// code under test.

#include <array>
#include <cstddef>
#include <string>

#include "support/test_util.h"

namespace carconv::test {

struct CarpSection {
    std::size_t number;
    const char* label;
};

// Every section of the version-4 text in its written order, with the labels the game expects.
// The version-3 text is the same without the section for 80.
extern const std::array<CarpSection, 81> kVersion4Sections;

using CarpValues = std::array<std::string, 81>;

// Appends one section: the marker line and the value line, each ended by `lineEnd`.
void AddSection(Builder& b, const std::string& label, std::size_t number, const std::string& value,
                const std::string& lineEnd = "\r\n");

// The text as a layout writes it: version 4 with all 81 sections, version 3 without 80.
Bytes CanonicalText(bool version4, const CarpValues& values);

// Distinct values of every kind the texts carry: numbers, lists with blanks, commas and tabs,
// an empty value, bytes above 127, a NUL and (when `withLineFeed`) a lone LF.
CarpValues SampleValues(bool withLineFeed = true);

}  // namespace carconv::test
