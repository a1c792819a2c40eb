#include "files/byte_reader.h"

#include <gtest/gtest.h>

#include "files/errors.h"

namespace carconv {
namespace {

TEST(ByteReader, ReadsBothByteOrdersAndStopsAtTheEnd) {
    const Bytes bytes = {0x01, 0x02, 0x03, 0x04, 0xff, 0xfe, 0x80};
    ByteReader r(bytes, "x.bin");
    EXPECT_EQ(r.U32le(), 0x04030201u);
    EXPECT_EQ(r.I16le(), -257);
    EXPECT_EQ(r.Remaining(), 1u);
    r.Seek(0);
    EXPECT_EQ(r.U32be(), 0x01020304u);
    EXPECT_EQ(r.I8(), -1);
    r.Seek(5);
    try {
        r.U32le();
        FAIL() << "read past the end";
    } catch (const FormatError& e) {
        EXPECT_STREQ(e.what(),
                     "x.bin: unexpected end of data while reading a 32-bit value [0x5, 0x9) at "
                     "offset 0x5");
    }
    EXPECT_EQ(r.Position(), 5u);  // a failed read does not move
    EXPECT_NO_THROW(r.Seek(7));   // the end itself is a valid position
    EXPECT_THROW(r.Seek(8), FormatError);
    EXPECT_THROW(r.Take(SIZE_MAX), FormatError);
}

TEST(ByteReader, RangeFitsCannotOverflow) {
    EXPECT_TRUE(RangeFits(0, 10, 10));
    EXPECT_TRUE(RangeFits(10, 0, 10));
    EXPECT_FALSE(RangeFits(11, 0, 10));
    EXPECT_FALSE(RangeFits(5, 6, 10));
    EXPECT_FALSE(RangeFits(1, UINT64_MAX, 10));
    EXPECT_FALSE(RangeFits(UINT64_MAX, 1, 10));
}

}  // namespace
}  // namespace carconv
