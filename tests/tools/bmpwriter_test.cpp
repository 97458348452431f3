// tests/tools/bmpwriter_test.cpp: the exact bytes of the layouts the reader's
// fixtures and the shipped pictures rely on, where a reader sharing the
// writer's misreading would not notice.
#include "tools/bmpwriter/bmpwriter.h"

#include <gtest/gtest.h>
#include <vector>

using Bytes = std::vector<uint8_t>;

static uint32_t u32_at(const Bytes& b, size_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

TEST(BmpWriter, HeaderKindsAndPackedRows)
{
    // Core header: width and height in 16 bits, palette entries of blue,
    // green, red; the leftmost pixel in the top bit; rows padded to 4 bytes.
    const uint8_t palette[] = {0, 0, 0, 10, 20, 30};
    const uint8_t nine[] = {1, 0, 1, 1, 0, 0, 0, 0, 1};  // 9 wide, 1 high
    Bytes f = bmp_encode({1, true, false}, 9, 1, nine, palette, 2);
    EXPECT_EQ(f, (Bytes{12, 0, 0, 0, 9, 0, 1, 0, 1, 0, 1, 0, 0, 0, 0, 30, 20, 10, 0xB0, 0x80, 0, 0}));

    // Info header, top row first: a negative height, the data offset past
    // the four-byte palette entries, colours used written as given.
    const uint8_t six[] = {1, 2, 3, 4, 5, 6};  // 3 wide: bottom 1 2 3, top 4 5 6
    f = bmp_encode({4, false, true, 0, true, 65536}, 3, 2, six, palette, 2);
    ASSERT_EQ(f.size(), 14u + 40 + 8 + 8);
    EXPECT_EQ(u32_at(f, 2), f.size());
    EXPECT_EQ(u32_at(f, 10), 14u + 40 + 8);
    EXPECT_EQ(int32_t(u32_at(f, 22)), -2);
    EXPECT_EQ(u32_at(f, 14 + 32), 65536u);
    EXPECT_EQ(Bytes(f.begin() + 54, f.end()), (Bytes{0, 0, 0, 0, 30, 20, 10, 0, 0x45, 0x60, 0, 0, 0x12, 0x30, 0, 0}));
}

TEST(BmpWriter, RunLengthAndBitFields)
{
    // Encoded runs, absolute stretches padded to 16 bits, short runs,
    // end of line and end of bitmap; the data size in the header.
    const uint8_t row[] = {7, 7, 7, 7, 1, 2, 3, 9};
    Bytes f = bmp_encode({8, false, false, 1}, 8, 1, row, nullptr, 0);
    const Bytes want = {4, 7, 0, 4, 1, 2, 3, 9, 0, 0, 0, 1};
    EXPECT_EQ(Bytes(f.begin() + 40, f.end()), want);
    EXPECT_EQ(u32_at(f, 20), want.size());
    const uint8_t row4[] = {5, 5, 5, 1, 2, 3};
    f = bmp_encode({4, false, false, 2}, 6, 1, row4, nullptr, 0);
    EXPECT_EQ(Bytes(f.begin() + 40, f.end()), (Bytes{3, 0x55, 0, 3, 0x12, 0x30, 0, 0, 0, 1}));

    // 5-6-5 bit fields: the masks after the header, each channel's top bits.
    const uint8_t rgb[] = {255, 0, 8};
    f = bmp_encode({16, false, false, 3, false, 0, {0xF800, 0x07E0, 0x001F}}, 1, 1, rgb, nullptr, 0);
    EXPECT_EQ(Bytes(f.begin() + 40, f.end()), (Bytes{0, 0xF8, 0, 0, 0xE0, 7, 0, 0, 0x1F, 0, 0, 0, 0x01, 0xF8, 0, 0}));

    // Layouts the format cannot hold come back empty.
    EXPECT_TRUE(bmp_encode({8, false, false, 1, true}, 8, 1, row, nullptr, 0).empty());  // RLE top down
    EXPECT_TRUE(bmp_encode({12}, 1, 1, rgb, nullptr, 0).empty());
    EXPECT_TRUE(bmp_encode({24, true, false, 3}, 1, 1, rgb, nullptr, 0).empty());  // core with bit fields
}
