// The bounds-checked reader and its writer: lenient reads that see zeros past the end,
// checked reads that refuse, sub-views, the cursor, and a writer that never writes past
// its buffer.

#include "platform/ByteReader.h"
#include "platform/ByteWriter.h"

#include <gtest/gtest.h>

#include <string>

namespace torvane::platform {
namespace {

TEST(ByteReader, LenientReadsSeeZerosCheckedReadsRefuse) {
    const std::string bytes("\x01\x02\x03\x04"
                            "AB\0CD",
                            9);
    const TByteReader r(bytes);
    EXPECT_EQ(r.U16LE(0), 0x0201);
    EXPECT_EQ(r.U16BE(0), 0x0102);
    EXPECT_EQ(r.U32LE(0), 0x04030201u);
    EXPECT_EQ(r.I32LE(TByteField{0, 4}), 0x04030201);
    EXPECT_EQ(r.Text(TByteField{4, 5}), "AB") << "a text ends at its zero byte";
    EXPECT_EQ(r.Text(7, 10), "CD") << "or at the end of the view";
    EXPECT_EQ(r.Text(4, 1), "A") << "or at the end of its field";

    // Past the end: zeros, never a read beyond the bytes.
    EXPECT_EQ(r.U8(9), 0);
    EXPECT_EQ(r.U32LE(7), 0x4443u) << "C D, then two zeros";
    EXPECT_EQ(r.U32LE(static_cast<std::size_t>(-2)), 0u) << "an offset near the top wraps nowhere";
    EXPECT_EQ(r.Text(100, 5), "");
    EXPECT_EQ(r.Bytes(7, 10), "CD");
    EXPECT_TRUE(r.Has(5, 4));
    EXPECT_FALSE(r.Has(6, 4));
    EXPECT_FALSE(r.Has(10, 0));
    EXPECT_FALSE(r.Has(1, static_cast<std::size_t>(-1)));

    EXPECT_EQ(r.GetU32LE(5), 0x44430042u);
    EXPECT_THROW((void)r.GetU32LE(6), TByteRangeError);
    EXPECT_THROW((void)r.GetBytes(0, 10), TByteRangeError);
    EXPECT_THROW((void)r.GetSub(static_cast<std::size_t>(-1), 2), TByteRangeError);
    EXPECT_EQ(r.GetBytes(TByteField{4, 2}), "AB");

    // A sub-view is read from its own offset 0 and ends where it ends.
    const TByteReader sub = r.Sub(TByteField{2, 4});
    EXPECT_EQ(sub.Length(), 4u);
    EXPECT_EQ(sub.U16LE(0), 0x0403);
    EXPECT_EQ(sub.U8(4), 0) << "the byte after the sub-view is not visible in it";
    EXPECT_EQ(r.Sub(7, 100).Length(), 2u) << "a lenient sub-view is what there is";
    EXPECT_THROW((void)sub.GetU8(4), TByteRangeError);
    EXPECT_TRUE(r.StartsWith(std::string("\x01\x02", 2)));
    EXPECT_FALSE(r.Sub(7, 2).StartsWith("CDE"));

    const TByteReader empty(nullptr, 5);
    EXPECT_EQ(empty.Length(), 0u) << "no data, no length";
    EXPECT_EQ(empty.U32LE(0), 0u);
}

TEST(ByteReader, CursorAndWriterStayInsideTheirBytes) {
    const std::string form("\x03"
                           "abc"
                           "\x05\x00\x00\x00"
                           "12345"
                           "\x07",
                           14);
    TByteCursor c{TByteReader(form)};
    EXPECT_EQ(c.Peek(), 3);
    EXPECT_EQ(c.Bytes(c.U8()), "abc");
    EXPECT_EQ(c.Take(c.U32LE()).All(), "12345");
    EXPECT_EQ(c.Remaining(), 1u);
    EXPECT_THROW((void)c.U32LE(), TByteRangeError);
    EXPECT_EQ(c.Position(), 13u) << "a refused read leaves the position";
    EXPECT_EQ(c.U8(), 7);
    EXPECT_TRUE(c.AtEnd());
    EXPECT_THROW(c.Skip(1), TByteRangeError);
    EXPECT_THROW((void)c.Peek(), TByteRangeError);

    std::string buffer(8, '\0');
    TByteWriter w(buffer);
    w.U16LE(0, 0x0201);
    w.U16BE(TByteField{2, 2}, 0x0304);
    w.Text(TByteField{4, 4}, "wxyz");
    EXPECT_EQ(buffer, std::string("\x01\x02\x03\x04wxy\0", 8)) << "a text keeps its zero";
    w.U32LE(4, 0x0A0B0C0Du);
    EXPECT_EQ(TByteReader(buffer).U32LE(4), 0x0A0B0C0Du);
    EXPECT_THROW(w.U32LE(5, 1), TByteRangeError);
    EXPECT_THROW(w.Bytes(7, "ab"), TByteRangeError);
    EXPECT_THROW(w.Text(TByteField{6, 4}, ""), TByteRangeError) << "the field must fit too";
    EXPECT_EQ(buffer.size(), 8u);
    EXPECT_EQ(TByteReader(buffer).U8(7), 0x0A) << "nothing was written by the refused calls";

    // A sub-writer writes from its own offset 0 and stays inside its part.
    TByteWriter part = w.Sub(TByteField{2, 4});
    part.Text(TByteField{0, 4}, "pqrstu");
    EXPECT_EQ(buffer.substr(2, 4), "pqr\x0C") << "cut to leave room for a zero; not written";
    EXPECT_THROW(part.U8(4, 1), TByteRangeError);
    EXPECT_EQ(TByteReader(buffer).U8(6), 0x0B) << "the byte after the part is untouched";
    EXPECT_THROW((void)w.Sub(TByteField{6, 3}), TByteRangeError);
}

} // namespace
} // namespace torvane::platform
