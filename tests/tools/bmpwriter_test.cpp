// tests/tools/bmpwriter_test.cpp: the exact bytes of the layouts the reader's
// fixtures and the shipped pictures rely on.
#include "tools/bmpwriter/bmpwriter.h"

#include <gtest/gtest.h>
#include <vector>

static uint32_t u32_at(const std::vector<uint8_t>& b, size_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

TEST(BmpWriter, HeaderKindsAndPackedRows)
{
    const uint8_t palette[] = {0, 0, 0, 10, 20, 30};
    const uint8_t indices[] = {1, 0, 1, 1, 0, 0, 0, 0, 1};  // 9 wide, 1 high
    BmpLayout core;
    core.bits_per_pixel = 1;
    core.core_header = true;
    core.file_header = false;
    std::vector<uint8_t> f = bmp_encode(core, 9, 1, indices, palette, 2);
    // 12-byte header, two 3-byte entries (blue, green, red), one 4-byte row.
    ASSERT_EQ(f.size(), 12u + 6 + 4);
    EXPECT_EQ(u32_at(f, 0), 12u);
    EXPECT_EQ(f[4] | f[5] << 8, 9);
    EXPECT_EQ(f[15], 30);
    EXPECT_EQ(f[16], 20);
    EXPECT_EQ(f[17], 10);
    EXPECT_EQ(f[18], 0xB0);  // 1011 0000: leftmost pixel in the top bit
    EXPECT_EQ(f[19], 0x80);

    BmpLayout info;
    info.bits_per_pixel = 4;
    info.top_down = true;
    info.colours_used = 65536;
    const uint8_t two_rows[] = {1, 2, 3, 4, 5, 6};  // 3 wide: bottom 1 2 3, top 4 5 6
    f = bmp_encode(info, 3, 2, two_rows, palette, 2);
    EXPECT_EQ(int32_t(u32_at(f, 22)), -2);
    EXPECT_EQ(u32_at(f, 14 + 32), 65536u);
    size_t data = u32_at(f, 10);
    EXPECT_EQ(data, 14u + 40 + 8);
    EXPECT_EQ(f[data], 0x45);  // top row first
    EXPECT_EQ(f[data + 1], 0x60);
    EXPECT_EQ(f[data + 4], 0x12);
}

TEST(BmpWriter, RunLengthAndBitFields)
{
    BmpLayout rle8;
    rle8.bits_per_pixel = 8;
    rle8.compression = 1;
    rle8.file_header = false;
    const uint8_t row[] = {7, 7, 7, 7, 1, 2, 3, 9};
    std::vector<uint8_t> f = bmp_encode(rle8, 8, 1, row, nullptr, 0);
    const std::vector<uint8_t> want = {4, 7, 0, 4, 1, 2, 3, 9, 0, 0, 0, 1};
    EXPECT_EQ(std::vector<uint8_t>(f.begin() + 40, f.end()), want);
    EXPECT_EQ(u32_at(f, 20), want.size());

    BmpLayout rle4 = rle8;
    rle4.bits_per_pixel = 4;
    rle4.compression = 2;
    const uint8_t row4[] = {5, 5, 5, 1, 2, 3};
    f = bmp_encode(rle4, 6, 1, row4, nullptr, 0);
    const std::vector<uint8_t> want4 = {3, 0x55, 0, 3, 0x12, 0x30, 0, 0, 0, 1};
    EXPECT_EQ(std::vector<uint8_t>(f.begin() + 40, f.end()), want4);

    BmpLayout fields;
    fields.bits_per_pixel = 16;
    fields.compression = 3;
    fields.file_header = false;
    fields.masks[0] = 0xF800;
    fields.masks[1] = 0x07E0;
    fields.masks[2] = 0x001F;
    const uint8_t rgb[] = {255, 0, 8};
    f = bmp_encode(fields, 1, 1, rgb, nullptr, 0);
    ASSERT_EQ(f.size(), 40u + 12 + 4);
    EXPECT_EQ(u32_at(f, 40), 0xF800u);
    EXPECT_EQ(f[52] | f[53] << 8, 0xF801);

    // Layouts the format cannot hold come back empty.
    BmpLayout bad = rle8;
    bad.top_down = true;
    EXPECT_TRUE(bmp_encode(bad, 8, 1, row, nullptr, 0).empty());
    bad = BmpLayout{};
    bad.bits_per_pixel = 12;
    EXPECT_TRUE(bmp_encode(bad, 1, 1, rgb, nullptr, 0).empty());
}
