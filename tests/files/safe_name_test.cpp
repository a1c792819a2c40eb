#include "files/safe_name.h"

#include <gtest/gtest.h>

#include <string>

namespace carconv {
namespace {

TEST(SafeName, AcceptsOrdinaryMemberNames) {
    for (const char* name : {"car.fce", "carp.txt", "fedata.eng", "dash00.tga", "tga0", "!pal",
                             "a b.txt", "..x", ".hidden", "console.txt", "com0", "com10", "lpt",
                             "nullable", "auxiliary.bnk", "CONS", "Wagen-Gr\xc3\xbcn"}) {
        EXPECT_TRUE(IsSafeFileName(name)) << name;
    }
}

TEST(SafeName, RefusesPathsDevicesAndNamesWindowsCannotHold) {
    for (const char* name :
         {"",     ".",        "..",      "a/b",    "a\\b",    "c:x",  "a<b",        "a>b",
          "a\"b", "a|b",      "a?b",     "a*b",    "car.",    "car ", "a\x01z",     "a\x7fz",
          "CON",  "con",      "Con.txt", "prn",    "AUX.bnk", "nul",  "NUL.tar.gz", "nul .txt",
          "com1", "COM9.fce", "lpt1",    "Lpt9.x", "aux "}) {
        EXPECT_FALSE(IsSafeFileName(name)) << PrintableName(name);
    }
}

}  // namespace
}  // namespace carconv
