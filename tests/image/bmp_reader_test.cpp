// Tests for image/bmp_reader: colours and row order of every layout, the
// colour-entry rule, and clean refusal of broken files. Fixtures come from
// tools/bmpwriter; message boxes go to a hook, never to the screen.
#include "image/bmp_reader.h"
#include "platform/message_box.h"
#include "tools/bmpwriter/bmpwriter.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

struct Box {
    std::string text, caption;
    uint32_t type;
};
static std::vector<Box> boxes;

static int record_box(void*, const char* text, const char* caption, uint32_t type)
{
    boxes.push_back(Box{text, caption, type});
    return IDOK;
}

class BmpReader : public testing::Test {
protected:
    void SetUp() override
    {
        boxes.clear();
        error_popups = 1;
        platform_set_message_box_hook(record_box);
    }
    void TearDown() override
    {
        platform_set_message_box_hook(nullptr);
        error_popups = 1;
    }
};

static std::string temp_path(const char* name)
{
    return testing::TempDir() + "bmp_reader_test_" + std::to_string(getpid()) + "_" + name + ".bmp";
}

// Writes bytes to a temporary file, reads it back, removes it.
static ImageRecord* load_bytes(const std::vector<uint8_t>& bytes)
{
    std::string path = temp_path("fixture");
    EXPECT_EQ(bmp_write_file(path.c_str(), bytes), 1);
    ImageRecord* r = load_bmp_image(path.c_str());
    std::remove(path.c_str());
    return r;
}

static void free_record(ImageRecord* r)
{
    if (r) {
        std::free(r->pixels);
        std::free(r);
    }
}

static std::vector<uint8_t> record_pixels(const ImageRecord* r)
{
    size_t rows = size_t(r->height < 0 ? -int64_t(r->height) : r->height);
    return std::vector<uint8_t>(r->pixels, r->pixels + size_t(r->width) * rows * 3);
}

// A channel quantised to bits and widened again by repeating its top bits.
static uint8_t widened(uint8_t c, int bits)
{
    uint32_t q = c >> (8 - bits);
    uint32_t wide = 0;
    for (int filled = 0; filled < 16; filled += bits)
        wide = wide << bits | q;
    int total = bits * ((16 + bits - 1) / bits);
    return uint8_t(wide >> (total - 8));
}

static uint32_t pseudo_random(uint32_t* state)
{
    *state = *state * 1664525u + 1013904223u;
    return *state >> 8;
}

TEST_F(BmpReader, ColoursAndRowOrderForEveryLayout)
{
    struct Case {
        const char* name;
        int bits;
        bool core, file_header, top_down;
        uint32_t compression;
        uint32_t masks[3];
        int red_bits, green_bits, blue_bits;  // 8 for exact channels
    };
    const Case cases[] = {
        {"1 info", 1, false, true, false, 0, {}, 8, 8, 8},
        {"1 info bare", 1, false, false, false, 0, {}, 8, 8, 8},
        {"1 core", 1, true, true, false, 0, {}, 8, 8, 8},
        {"1 core bare", 1, true, false, false, 0, {}, 8, 8, 8},
        {"4 info", 4, false, true, false, 0, {}, 8, 8, 8},
        {"4 info bare top-down", 4, false, false, true, 0, {}, 8, 8, 8},
        {"4 core bare", 4, true, false, false, 0, {}, 8, 8, 8},
        {"4 RLE", 4, false, true, false, 2, {}, 8, 8, 8},
        {"4 RLE bare", 4, false, false, false, 2, {}, 8, 8, 8},
        {"8 info", 8, false, true, false, 0, {}, 8, 8, 8},
        {"8 info bare", 8, false, false, false, 0, {}, 8, 8, 8},
        {"8 info top-down", 8, false, true, true, 0, {}, 8, 8, 8},
        {"8 core", 8, true, true, false, 0, {}, 8, 8, 8},
        {"8 core bare", 8, true, false, false, 0, {}, 8, 8, 8},
        {"8 RLE", 8, false, true, false, 1, {}, 8, 8, 8},
        {"8 RLE bare", 8, false, false, false, 1, {}, 8, 8, 8},
        {"16 info", 16, false, true, false, 0, {}, 5, 5, 5},
        {"16 info bare top-down", 16, false, false, true, 0, {}, 5, 5, 5},
        {"16 core bare", 16, true, false, false, 0, {}, 5, 5, 5},
        {"16 fields 565", 16, false, true, false, 3, {0xF800, 0x07E0, 0x001F}, 5, 6, 5},
        {"16 fields 565 bare", 16, false, false, false, 3, {0xF800, 0x07E0, 0x001F}, 5, 6, 5},
        {"16 fields 444 top-down", 16, false, true, true, 3, {0x0F00, 0x00F0, 0x000F}, 4, 4, 4},
        {"24 info", 24, false, true, false, 0, {}, 8, 8, 8},
        {"24 info bare", 24, false, false, false, 0, {}, 8, 8, 8},
        {"24 info top-down", 24, false, true, true, 0, {}, 8, 8, 8},
        {"24 core", 24, true, true, false, 0, {}, 8, 8, 8},
        {"24 core bare", 24, true, false, false, 0, {}, 8, 8, 8},
        {"32 info", 32, false, true, false, 0, {}, 8, 8, 8},
        {"32 info bare top-down", 32, false, false, true, 0, {}, 8, 8, 8},
        {"32 core bare", 32, true, false, false, 0, {}, 8, 8, 8},
        {"32 fields 888", 32, false, false, false, 3, {0xFF0000, 0xFF00, 0xFF}, 8, 8, 8},
        {"32 fields swapped", 32, false, true, false, 3, {0xFF, 0xFF00, 0xFF000000}, 8, 8, 8},
        {"32 fields 10-bit", 32, false, false, true, 3, {0x3FF00000, 0xFFC00, 0x3FF}, 8, 8, 8},
    };
    // 11 wide: whole four-pixel steps and a tail.
    const int width = 11, height = 3;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        uint32_t seed = uint32_t(c.bits * 977 + c.compression);
        int palette_entries = c.bits <= 8 ? 1 << c.bits : 0;
        std::vector<uint8_t> palette(size_t(palette_entries) * 3);
        for (uint8_t& v : palette)
            v = uint8_t(pseudo_random(&seed));
        std::vector<uint8_t> in(size_t(width) * height * (c.bits <= 8 ? 1 : 3));
        for (size_t i = 0; i < in.size(); i++)
            in[i] = c.bits <= 8 ? uint8_t(pseudo_random(&seed) % uint32_t(palette_entries))
                                : uint8_t(pseudo_random(&seed));
        if (c.compression == 1 || c.compression == 2) {
            // Long equal stretches so that encoded runs appear too.
            for (int x = 0; x < 5; x++)
                in[size_t(x)] = in[0];
        }
        BmpLayout layout;
        layout.bits_per_pixel = c.bits;
        layout.core_header = c.core;
        layout.file_header = c.file_header;
        layout.top_down = c.top_down;
        layout.compression = c.compression;
        for (int i = 0; i < 3; i++)
            layout.masks[i] = c.masks[i];
        std::vector<uint8_t> file = bmp_encode(layout, width, height, in.data(), palette.data(), palette_entries);
        ASSERT_FALSE(file.empty());

        // The file's row order: input rows are bottom first.
        std::vector<uint8_t> want;
        for (int i = 0; i < height; i++) {
            int y = c.top_down ? height - 1 - i : i;
            for (int x = 0; x < width; x++) {
                size_t at = size_t(y) * width + size_t(x);
                if (c.bits <= 8) {
                    want.insert(want.end(), &palette[in[at] * 3u], &palette[in[at] * 3u] + 3);
                } else {
                    want.push_back(widened(in[at * 3], c.red_bits));
                    want.push_back(widened(in[at * 3 + 1], c.green_bits));
                    want.push_back(widened(in[at * 3 + 2], c.blue_bits));
                }
            }
        }
        ImageRecord* r = load_bytes(file);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->width, width);
        EXPECT_EQ(r->height, c.top_down ? -height : height);
        EXPECT_EQ(record_pixels(r), want);
        free_record(r);
    }
    EXPECT_TRUE(boxes.empty());
}

TEST_F(BmpReader, TwoByTwoExample)
{
    // Stored bottom row blue, green; top row red, white; rows filled to 8.
    const std::vector<uint8_t> data = {255, 0, 0, 0, 255, 0, 0, 0, 0, 0, 255, 255, 255, 255, 0, 0};
    const std::vector<uint8_t> want = {0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255};
    for (bool file_header : {true, false}) {
        SCOPED_TRACE(file_header);
        std::vector<uint8_t> file;
        if (file_header)
            file = {'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0};
        const uint8_t info[40] = {40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24};
        file.insert(file.end(), info, info + 40);
        // Without a file header a 24-bit picture's pixels start at byte 40.
        file.insert(file.end(), data.begin(), data.end());
        ImageRecord* r = load_bytes(file);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->width, 2);
        EXPECT_EQ(r->height, 2);
        EXPECT_EQ(record_pixels(r), want);
        free_record(r);
    }
}

TEST_F(BmpReader, RowFillForWidthsOneToFive)
{
    for (int bits : {1, 4, 8, 16, 24, 32}) {
        for (int width = 1; width <= 5; width++) {
            SCOPED_TRACE(std::to_string(bits) + " bits, width " + std::to_string(width));
            const int height = 3;
            uint32_t seed = uint32_t(width * 31 + bits);
            const uint8_t palette[] = {10, 20, 30, 200, 150, 100, 1, 2, 3, 4, 5, 6};
            std::vector<uint8_t> in(size_t(width) * height * (bits <= 8 ? 1 : 3));
            std::vector<uint8_t> want;
            for (size_t i = 0; i < in.size(); i++) {
                in[i] = bits == 1 ? uint8_t(pseudo_random(&seed) % 2) : bits <= 8 ? uint8_t(pseudo_random(&seed) % 4)
                                                                                  : uint8_t(pseudo_random(&seed));
                if (bits <= 8)
                    want.insert(want.end(), palette + in[i] * 3, palette + in[i] * 3 + 3);
                else
                    want.push_back(bits == 16 ? widened(in[i], 5) : in[i]);
            }
            BmpLayout layout;
            layout.bits_per_pixel = bits;
            const int entries = bits > 8 ? 0 : bits == 1 ? 2 : 4;
            layout.colours_used = uint32_t(entries);
            ImageRecord* r = load_bytes(bmp_encode(layout, width, height, in.data(), palette, entries));
            ASSERT_NE(r, nullptr);
            EXPECT_EQ(record_pixels(r), want);
            free_record(r);
        }
    }
}

TEST(BmpReaderColourEntries, CountRule)
{
    struct Case {
        const char* name;
        uint32_t header_size;
        uint16_t bits;
        uint32_t colours_used;
        size_t length;
        uint16_t want;
    };
    const Case cases[] = {
        {"core 1", 12, 1, 0, 12, 2},
        {"core 4", 12, 4, 0, 12, 16},
        {"core 8", 12, 8, 0, 12, 256},
        {"core 24", 12, 24, 0, 12, 0},
        {"core ignores offset 32", 12, 8, 5, 40, 256},
        {"info 8 used 0", 40, 8, 0, 40, 256},
        {"info 8 used 16", 40, 8, 16, 40, 16},
        {"info 8 used 65536", 40, 8, 65536, 40, 0},
        {"info 8 used 65537", 40, 8, 65537, 40, 1},
        {"info 24 used 0", 40, 24, 0, 40, 0},
        {"info 32 used 0", 40, 32, 0, 40, 0},
        {"info 24 used 3", 40, 24, 3, 40, 3},
        {"info 1 used 0", 40, 1, 0, 40, 2},
        {"108 counted as info", 108, 4, 0, 108, 16},
        {"124 counted as info", 124, 8, 7, 124, 7},
        {"info too short for colours used", 40, 8, 16, 35, 0},
        {"core too short", 12, 8, 0, 11, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        uint8_t header[128] = {};
        for (int i = 0; i < 4; i++) {
            header[i] = uint8_t(c.header_size >> (8 * i));
            header[32 + i] = uint8_t(c.colours_used >> (8 * i));
        }
        // Bit count at 10 for a core header, at 14 for the others.
        size_t bits_at = c.header_size == 12 ? 10 : 14;
        header[bits_at] = uint8_t(c.bits);
        EXPECT_EQ(colour_entry_count(header, c.length), c.want);
    }
    EXPECT_EQ(colour_entry_count(nullptr, 40), 0);
}

TEST_F(BmpReader, ColourTableSizeAndPixelDataLocation)
{
    // Without a file header the pixels follow the counted table directly,
    // so a wrong count reads the wrong bytes; with one, the offset rules.
    struct Case {
        const char* name;
        bool core, file_header;
        uint32_t colours_used;
        int table_entries;       // entries actually written
        int index;               // every pixel's value
        bool black;              // the value lies beyond the counted table
    };
    const Case cases[] = {
        {"info used 0: 256 entries", false, false, 0, 256, 200, false},
        {"info used 16: 16 entries", false, false, 16, 16, 9, false},
        // Values just past the table, where the pixel bytes (not zero) sit.
        {"info used 16, value beyond", false, false, 16, 16, 16, true},
        {"info used 65536: no table", false, false, 65536, 0, 1, true},
        {"info used 65536 with file header", false, true, 65536, 0, 1, true},
        {"info used 300: 300 entries", false, false, 300, 300, 255, false},
        {"core: 256 three-byte entries", true, false, 0, 256, 77, false},
        {"core with file header", true, true, 0, 256, 77, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> palette(size_t(c.table_entries) * 3);
        for (size_t i = 0; i < palette.size(); i++)
            palette[i] = uint8_t(i * 7 + 1);
        const int width = 3, height = 2;
        std::vector<uint8_t> in(size_t(width) * height, uint8_t(c.index));
        BmpLayout layout;
        layout.bits_per_pixel = 8;
        layout.core_header = c.core;
        layout.file_header = c.file_header;
        layout.colours_used = c.colours_used;
        std::vector<uint8_t> file = bmp_encode(layout, width, height, in.data(), palette.data(), c.table_entries);
        ImageRecord* r = load_bytes(file);
        ASSERT_NE(r, nullptr);
        std::vector<uint8_t> want;
        for (int i = 0; i < width * height; i++)
            for (int k = 0; k < 3; k++)
                want.push_back(c.black ? 0 : palette[size_t(c.index) * 3 + size_t(k)]);
        EXPECT_EQ(record_pixels(r), want);
        free_record(r);
    }
    EXPECT_TRUE(boxes.empty());
}

// One byte changed in a valid file, or the file cut: the read fails with
// exactly one box of the given text.
TEST_F(BmpReader, BrokenHeadersAreRefusedWithOneBox)
{
    const uint8_t pixels[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    BmpLayout info;  // 24 bits, file header
    std::vector<uint8_t> good = bmp_encode(info, 2, 2, pixels, nullptr, 0);
    auto patched = [&](size_t at, std::vector<uint8_t> bytes) {
        std::vector<uint8_t> f = good;
        for (size_t i = 0; i < bytes.size(); i++)
            f[at + i] = bytes[i];
        return f;
    };
    struct Case {
        const char* name;
        std::vector<uint8_t> file;
        const char* text;
    };
    const char* unknown = "Unknown DIB file format.";
    const char* conversion = "Image file conversion error.";
    std::vector<uint8_t> huge_core = {12, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 24, 0, 0, 0, 0, 0};
    const Case cases[] = {
        {"header size 108", patched(14, {108, 0, 0, 0}), unknown},
        {"header size 124", patched(14, {124, 0, 0, 0}), unknown},
        {"header size 0", patched(14, {0, 0, 0, 0}), unknown},
        {"bare header size 108, nothing else", {108, 0, 0, 0}, unknown},
        {"width 0", patched(18, {0, 0, 0, 0}), conversion},
        {"height 0", patched(22, {0, 0, 0, 0}), conversion},
        {"negative width", patched(18, {0xFE, 0xFF, 0xFF, 0xFF}), conversion},
        {"bit count 2", patched(28, {2, 0}), conversion},
        {"bit count 0", patched(28, {0, 0}), conversion},
        {"compression 4", patched(30, {4, 0, 0, 0}), conversion},
        {"RLE8 at 24 bits", patched(30, {1, 0, 0, 0}), conversion},
        {"bit fields at 24 bits", patched(30, {3, 0, 0, 0}), conversion},
        {"offset past the end", patched(10, {0xFF, 0xFF, 0, 0}), conversion},
        {"offset at the end", patched(10, {uint8_t(good.size()), 0, 0, 0}), conversion},
        {"offset leaves too few bytes", patched(10, {57, 0, 0, 0}), conversion},
        {"rows beyond the data", patched(22, {3, 0, 0, 0}), conversion},
        {"height -2^31", patched(22, {0, 0, 0, 0x80}), conversion},
        {"byte count beyond 32 bits", patched(18, {0, 0, 0, 0x40}), conversion},
        {"65535 x 65535 core, no data", huge_core, conversion},
        {"colour table beyond the file", patched(14 + 32, {0xFF, 0xFF, 0, 0}), conversion},
        {"a lone B", {'B'}, conversion},
        {"BM and a little", {'B', 'M', 0, 0, 0}, conversion},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        boxes.clear();
        ImageRecord* r = load_bytes(c.file);
        EXPECT_EQ(r, nullptr);
        free_record(r);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, c.text);
        EXPECT_EQ(boxes[0].caption, "Error");
        EXPECT_EQ(boxes[0].type, MB_OK);
    }
}

TEST_F(BmpReader, EveryCutOfAFileIsRefused)
{
    const uint8_t palette[] = {0, 0, 0, 255, 255, 255};
    const uint8_t indices[] = {0, 1, 1, 0, 1, 0, 0, 1, 1};
    const uint8_t rgb[27] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    BmpLayout eight;
    eight.bits_per_pixel = 8;
    eight.colours_used = 2;
    BmpLayout core;
    core.core_header = true;
    core.file_header = false;
    BmpLayout fields;
    fields.bits_per_pixel = 32;
    fields.compression = 3;
    fields.file_header = false;
    fields.masks[0] = 0xFF;
    fields.masks[1] = 0xFF00;
    fields.masks[2] = 0xFF0000;
    const std::vector<uint8_t> files[] = {
        bmp_encode(eight, 3, 3, indices, palette, 2),
        bmp_encode(core, 3, 3, rgb, nullptr, 0),
        bmp_encode(fields, 3, 3, rgb, nullptr, 0),
    };
    for (const std::vector<uint8_t>& whole : files) {
        for (size_t length = 1; length < whole.size(); length++) {
            SCOPED_TRACE(length);
            boxes.clear();
            ImageRecord* r = load_bytes(std::vector<uint8_t>(whole.begin(), whole.begin() + long(length)));
            EXPECT_EQ(r, nullptr);
            free_record(r);
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].text, "Image file conversion error.");
        }
        ImageRecord* r = load_bytes(whole);
        EXPECT_NE(r, nullptr);
        free_record(r);
    }
}

TEST_F(BmpReader, RunLengthData)
{
    // 4 x 2 RLE8 picture, colour i is (i, 2i, 3i); the bytes after the
    // 40-byte header and the 256-entry table are the case's data.
    std::vector<uint8_t> palette(256 * 3);
    for (int i = 0; i < 256; i++)
        for (int k = 0; k < 3; k++)
            palette[size_t(i) * 3 + size_t(k)] = uint8_t(i * (k + 1));
    BmpLayout layout;
    layout.bits_per_pixel = 8;
    layout.compression = 1;
    layout.file_header = false;
    const uint8_t zeros[8] = {};
    std::vector<uint8_t> head = bmp_encode(layout, 4, 2, zeros, palette.data(), 256);
    head.resize(40 + 1024);
    auto colour = [](int i) { return std::vector<uint8_t>{uint8_t(i), uint8_t(2 * i), uint8_t(3 * i)}; };
    auto row_of = [&](std::vector<int> indices) {
        std::vector<uint8_t> out;
        for (int i : indices) {
            std::vector<uint8_t> c = colour(i);
            out.insert(out.end(), c.begin(), c.end());
        }
        return out;
    };
    struct Case {
        const char* name;
        std::vector<uint8_t> data;
        bool ok;
        std::vector<int> want;  // bottom row, then top row
    };
    const Case cases[] = {
        {"runs and literal", {4, 5, 0, 0, 0, 3, 1, 2, 3, 0, 1, 9, 0, 1}, true, {5, 5, 5, 5, 1, 2, 3, 9}},
        {"delta leaves black", {0, 2, 1, 1, 2, 7, 0, 1}, true, {0, 0, 0, 0, 0, 7, 7, 0}},
        {"early end leaves black", {1, 4, 0, 1}, true, {4, 0, 0, 0, 0, 0, 0, 0}},
        {"no end code once complete", {4, 1, 0, 0, 4, 2, 0, 0}, true, {1, 1, 1, 1, 2, 2, 2, 2}},
        {"run past the row", {5, 1, 0, 1}, false, {}},
        {"literal past the row", {2, 1, 0, 3, 1, 2, 3, 0, 0, 1}, false, {}},
        {"delta past the right edge", {0, 2, 5, 0, 0, 1}, false, {}},
        {"delta past the top", {0, 2, 0, 3, 0, 1}, false, {}},
        {"run above the picture", {0, 0, 0, 0, 1, 1, 0, 1}, false, {}},
        {"line ends past the picture", {0, 0, 0, 0, 0, 0, 0, 1}, false, {}},
        {"literal past the file", {0, 4, 1, 2}, false, {}},
        {"delta cut by the file", {0, 2, 1}, false, {}},
        {"data ends with rows to go", {4, 1, 0, 0}, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        boxes.clear();
        std::vector<uint8_t> file = head;
        file.insert(file.end(), c.data.begin(), c.data.end());
        ImageRecord* r = load_bytes(file);
        if (c.ok) {
            ASSERT_NE(r, nullptr);
            EXPECT_EQ(record_pixels(r), row_of(c.want));
            EXPECT_TRUE(boxes.empty());
        } else {
            EXPECT_EQ(r, nullptr);
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].text, "Image file conversion error.");
        }
        free_record(r);
    }

    // RLE4 runs alternate high and low nibble; a literal run of odd
    // length still ends on a 16-bit boundary.
    layout.bits_per_pixel = 4;
    layout.compression = 2;
    head = bmp_encode(layout, 7, 1, zeros, palette.data(), 16);
    head.resize(40 + 64);
    const std::vector<uint8_t> rle4 = {3, 0x12, 0, 3, 0x34, 0x50, 1, 0x60, 0, 0, 0, 1};
    std::vector<uint8_t> file = head;
    file.insert(file.end(), rle4.begin(), rle4.end());
    ImageRecord* r = load_bytes(file);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(record_pixels(r), row_of({1, 2, 1, 3, 4, 5, 6}));
    free_record(r);

    // Run-length data cannot be stored top row first.
    std::vector<uint8_t> top_down = head;
    top_down[8] = 0xFF;
    top_down[9] = top_down[10] = top_down[11] = 0xFF;
    top_down.insert(top_down.end(), rle4.begin(), rle4.end());
    EXPECT_EQ(load_bytes(top_down), nullptr);
}

TEST_F(BmpReader, OpenFailuresNameTheFile)
{
    std::string missing = temp_path("missing");
    std::remove(missing.c_str());
    std::string empty = temp_path("empty");
    ASSERT_EQ(bmp_write_file(empty.c_str(), {}), 1);
    std::string long_name = testing::TempDir() + std::string(400, 'x') + ".bmp";
    const std::string names[] = {missing, empty, testing::TempDir(), long_name};
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        boxes.clear();
        EXPECT_EQ(load_bmp_image(name.c_str()), nullptr);
        ASSERT_EQ(boxes.size(), 1u);
        std::string want = "Failed to open DIB file " + name + ".\n";
        if (want.size() > 255)
            want.resize(255);  // cut to the 256-byte buffer
        EXPECT_EQ(boxes[0].text, want);
        EXPECT_EQ(boxes[0].caption, "Error");
        EXPECT_EQ(boxes[0].type, MB_OK);
    }
    std::remove(empty.c_str());
}

TEST_F(BmpReader, SwitchOffShowsNothing)
{
    error_popups = 0;
    std::string missing = temp_path("missing");
    std::remove(missing.c_str());
    EXPECT_EQ(load_bmp_image(missing.c_str()), nullptr);
    EXPECT_EQ(load_bytes({108, 0, 0, 0}), nullptr);
    EXPECT_EQ(load_bytes({'B', 'M', 1}), nullptr);
    const uint8_t pixel[3] = {1, 2, 3};
    std::vector<uint8_t> zero_width = bmp_encode(BmpLayout{}, 0, 1, pixel, nullptr, 0);
    EXPECT_EQ(load_bytes(zero_width), nullptr);
    EXPECT_TRUE(boxes.empty());

    // And on again, the next failure shows.
    error_popups = 1;
    EXPECT_EQ(load_bmp_image(missing.c_str()), nullptr);
    EXPECT_EQ(boxes.size(), 1u);
}

TEST_F(BmpReader, WideNames)
{
    const uint8_t pixel[3] = {9, 8, 7};
    std::string path = testing::TempDir() + "bmp_reader_test_" + std::to_string(getpid()) + "_\xC3\xA9\xF0\x9F\x8E\xB5.bmp";
    ASSERT_EQ(bmp_write_file(path.c_str(), bmp_encode(BmpLayout{}, 1, 1, pixel, nullptr, 0)), 1);
    std::u16string wide;
    for (char c : testing::TempDir() + "bmp_reader_test_" + std::to_string(getpid()) + "_")
        wide.push_back(char16_t(uint8_t(c)));
    wide += u"\u00E9\U0001F3B5.bmp";
    ImageRecord* r = read_bmp_file(reinterpret_cast<const char*>(wide.c_str()), 1);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(record_pixels(r), std::vector<uint8_t>(pixel, pixel + 3));
    free_record(r);
    std::remove(path.c_str());

    r = read_bmp_file(reinterpret_cast<const char*>(wide.c_str()), 1);
    EXPECT_EQ(r, nullptr);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Failed to open DIB file " + path + ".\n");
}
