#include "files/safe_name.h"

#include <gtest/gtest.h>

#include <string>

#include "files/errors.h"

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

TEST(SafeName, PathsInMessagesCannotSteerTheTerminal) {
    // ESC, CR, DEL and the one-character CSI (U+009B) are escaped; ü and U+00A0 are not.
    EXPECT_EQ(PrintableName("Wagen-Gr\xc3\xbcn\x1b[2J\r\x7f\xc2\x9b"
                            "31m\xc2\xa0"),
              "Wagen-Gr\xc3\xbcn\\x1b[2J\\x0d\\x7f\\xc2\\x9b"
              "31m\xc2\xa0");
    EXPECT_STREQ(IoError("cars/\x1b]0;title\x07.viv", "cannot open for reading").what(),
                 "cars/\\x1b]0;title\\x07.viv: cannot open for reading");
    EXPECT_STREQ(FormatError("a\nb.viv", 16, "bad").what(), "a\\x0ab.viv: bad at offset 0x10");
    EXPECT_EQ(IoError("a\nb", "x").Path(), "a\nb");  // the path itself stays as it is
}

}  // namespace
}  // namespace carconv
