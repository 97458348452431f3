// tests/tools/content/bmpwriter_test.cpp: the exact bytes of the layouts the reader's
// fixtures and the shipped pictures rely on, where a reader sharing the
// writer's misreading would not notice.
#include "tools/content/bmpwriter/bmpwriter.h"

#include <gtest/gtest.h>
#include <vector>

using Bytes = std::vector<uint8_t>;

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
    EXPECT_EQ(f, (Bytes{'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 62, 0, 0, 0,                // file size, data offset
                        40, 0, 0, 0, 3, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 1, 0, 4, 0,  // width, height -2
                        0, 0, 0, 0, 8, 0, 0, 0, 0x13, 0x0B, 0, 0, 0x13, 0x0B, 0, 0,  // data size, 72 dpi
                        0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 30, 20, 10, 0,            // colours used, palette
                        0x45, 0x60, 0, 0, 0x12, 0x30, 0, 0}));
}

TEST(BmpWriter, RunLengthAndBitFields)
{
    // Encoded runs, absolute stretches padded to 16 bits, short runs,
    // end of line and end of bitmap; the data size in the header.
    const uint8_t row[] = {7, 7, 7, 7, 1, 2, 3, 9};
    Bytes f = bmp_encode({8, false, false, 1}, 8, 1, row, nullptr, 0);
    EXPECT_EQ(f, (Bytes{40, 0, 0, 0, 8, 0, 0, 0, 1, 0, 0, 0, 1, 0, 8, 0, 1, 0, 0, 0, 12, 0, 0, 0,
                        0x13, 0x0B, 0, 0, 0x13, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                        4, 7, 0, 4, 1, 2, 3, 9, 0, 0, 0, 1}));
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
