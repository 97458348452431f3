// tests/image/bmp_reader_test.cpp: every layout's colours, row order and row
// ends against the writer's own input, and the clean refusal of broken,
// cut and oversized files. Boxes go to the platform's hook.
#include "image/bmp_reader.h"
#include "platform/message_box.h"
#include "content/bmpwriter/bmpwriter.h"
#include "content/xorshift.h"
#include "tests/platform/test_system.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;
using Texts = std::vector<std::string>;
static Texts boxes;  // "caption|text|type" of every box shown
static int record_box(void*, const char* text, const char* caption, uint32_t type)
{
    boxes.push_back(std::string(caption) + "|" + text + "|" + std::to_string(type));
    return IDOK;
}

static std::string temp_path(const std::string& name)
{
    return testing::TempDir() + "bmp_reader_test_" + std::to_string(getpid()) + "_" + name;
}

// Reads bytes through a file: the pixels, or {0} when nothing came back.
static Bytes load_bytes(const Bytes& bytes)
{
    platform_set_message_box_hook(record_box);
    std::string path = temp_path("fixture.bmp");
    EXPECT_EQ(test_write_file(path.c_str(), bytes), 1);
    ImageRecord* r = load_bmp_image(path.c_str());
    std::remove(path.c_str());
    if (!r)
        return {0};
    Bytes pixels(r->pixels, r->pixels + size_t(r->width) * size_t(std::abs(r->height)) * 3);
    std::free(r->pixels);
    std::free(r);
    return pixels;
}

// One of every layout the reader takes. Fields: bits, core header, file
// header, compression, top down, colours used, masks.
static const BmpLayout layouts[] = {
    {1, false, true}, {1, true, false}, {1, false, false},
    {4, false, false, 0, true}, {4, true, true}, {4, false, true, 2, false, 16}, {4, false, false, 2},
    {8, false, true}, {8, false, false, 0, false, 16}, {8, false, true, 0, true, 65536},
    {8, false, false, 0, false, 65537}, {8, true, false}, {8, false, true, 1}, {8, false, false, 1, false, 20},
    {16, false, true}, {16, false, false, 0, true}, {16, true, false},
    {16, false, true, 3, false, 0, {0xF800, 0x07E0, 0x001F}}, {16, false, false, 3, true, 0, {0x0F00, 0x00F0, 0x000F}},
    {24, false, true}, {24, false, false, 0, true}, {24, true, true}, {24, true, false},
    {32, false, true}, {32, false, false, 0, true}, {32, true, false},
    {32, false, false, 3, false, 0, {0xFF0000, 0xFF00, 0xFF}},
    {32, false, true, 3, false, 0, {0xFF, 0xFF00, 0xFF000000}},
    {32, false, false, 3, true, 0, {0x3FF00000, 0xFFC00, 0x3FF}},
};

TEST(BmpDecode, EveryLayoutAndRowEnd)
{
    // The file ends where an unreadable page begins, and the output has
    // guard bytes on both sides: reading or writing past a row's end shows.
    const size_t guard = 16;
    size_t page = 0;
    uint8_t* pages = test_pages_before_a_hole(3, &page);
    ASSERT_NE(pages, nullptr);
    const char* seeds = std::getenv("BMP_FUZZ_SEEDS");  // where the fuzz target's corpus goes
    uint32_t seed = 1, files = 0;
    for (const BmpLayout& l : layouts) {
        for (int width = 1; width <= 10; width++) {
            // A table with every entry the values can name, or as many as
            // colours used (modulo 65536) says.
            const int height = 2, bits = l.bits_per_pixel;
            const int entries = bits > 8 ? 0 : l.colours_used ? int(l.colours_used % 65536) : 1 << bits;
            SCOPED_TRACE(testing::Message() << bits << " bits, core " << l.core_header << ", file header "
                                            << l.file_header << ", compression " << l.compression << ", top down "
                                            << l.top_down << ", used " << l.colours_used << ", width " << width);
            Bytes palette(size_t(entries) * 3), in(size_t(width) * height * (bits <= 8 ? 1 : 3)), want;
            for (uint8_t& v : palette)
                v = uint8_t(xorshift32(seed));
            for (size_t i = 0; i < in.size(); i++)  // stretches of equal values make encoded runs
                in[i] = uint8_t((i % 5 < 3 ? 7 : xorshift32(seed)) % (bits <= 8 ? 1u << bits : 256u));
            // The file's row order; values past the table give black; channels
            // of 4 to 7 bits widen to 8 by repeating their top bits.
            for (int i = 0; i < height; i++) {
                size_t row = size_t(l.top_down ? height - 1 - i : i) * size_t(width);
                for (size_t at = row; at < row + size_t(width); at++)
                    for (int k = 0; k < 3; k++) {
                        if (bits <= 8) {
                            want.push_back(in[at] < entries ? palette[in[at] * 3u + unsigned(k)] : 0);
                            continue;
                        }
                        int kept = l.compression == 3 ? std::min(8, std::popcount(l.masks[k])) : bits == 16 ? 5 : 8;
                        uint32_t c = in[at * 3 + size_t(k)] >> (8 - kept);
                        want.push_back(uint8_t(c << (8 - kept) | c >> (2 * kept - 8)));
                    }
            }
            Bytes file = bmp_encode(l, width, height, in.data(), palette.data(), entries);
            Bytes out(want.size() + 2 * guard, 0xA5);
            ASSERT_FALSE(file.empty()) << "the writer refused the layout";
            ASSERT_LE(file.size(), 3 * page);
            if (seeds)
                test_write_file((std::string(seeds) + "/" + std::to_string(files++) + ".bmp").c_str(), file);
            uint8_t* at = pages + 3 * page - file.size();
            std::memcpy(at, file.data(), file.size());
            int32_t w = 0, h = 0;
            ASSERT_EQ(bmp_decode(at, file.size(), out.data() + guard, &w, &h), nullptr);
            EXPECT_EQ(w, width);
            EXPECT_EQ(h, l.top_down ? -height : height);
            EXPECT_EQ(Bytes(out.begin() + long(guard), out.end() - long(guard)), want);
            out.erase(out.begin() + long(guard), out.end() - long(guard));
            EXPECT_EQ(out, Bytes(2 * guard, 0xA5));
        }
    }
    test_free_pages(pages, 3);
}

// A byte changed, the file cut, or a picture too large: nothing comes back
// and exactly one box says why.
TEST(BmpReader, BrokenFilesAreRefusedWithOneBox)
{
    const uint8_t rgb[27] = {1, 2, 3, 4, 5, 6, 7, 8, 9}, indices[9] = {0, 1, 1, 0, 1}, bw[6] = {0, 0, 0, 255, 255, 255};
    const Bytes good = bmp_encode({}, 2, 2, rgb, nullptr, 0);
    const Bytes core = bmp_encode({24, true, false}, 3, 3, rgb, nullptr, 0);
    auto patched = [](Bytes f, size_t at, Bytes bytes) {
        std::copy(bytes.begin(), bytes.end(), f.begin() + long(at));
        return f;
    };
    // RLE8 without a file header: its data may end at once, so only the
    // declared size can refuse it.
    const Bytes tiny = bmp_encode({8, false, false, 1, false, 1}, 1, 1, indices, bw, 1);
    auto sized = [&](uint32_t w, uint32_t h) {
        return patched(tiny, 4, {uint8_t(w), uint8_t(w >> 8), 0, 0, uint8_t(h), uint8_t(h >> 8), 0, 0});
    };
    const std::string unknown = "Unknown DIB file format.", conversion = "Image file conversion error.";
    std::vector<std::pair<Bytes, std::string>> cases = {
        {patched(good, 14, {108}), unknown}, {patched(good, 14, {124}), unknown}, {patched(good, 14, {0}), unknown},
        {{108, 0, 0, 0}, unknown}, {{'B'}, conversion}, {{'B', 'M', 0, 0, 0}, conversion},
        {patched(good, 18, {0}), conversion}, {patched(good, 22, {0}), conversion},  // width, height 0
        {patched(good, 18, {0xFE, 0xFF, 0xFF, 0xFF}), conversion}, {patched(good, 22, {0, 0, 0, 0x80}), conversion},
        {patched(good, 28, {2}), conversion}, {patched(good, 30, {4}), conversion},  // 2 bits, compression 4
        {patched(good, 30, {1}), conversion}, {patched(good, 30, {3}), conversion},  // RLE8, fields at 24 bits
        {patched(good, 10, {0xFF, 0xFF}), conversion}, {patched(good, 10, {70}), conversion},  // data offset
        {patched(good, 10, {57}), conversion}, {patched(good, 22, {3}), conversion},  // too little data
        {patched(good, 46, {0xFF, 0xFF}), conversion},  // colour table past the end
        {sized(30000, 30000), conversion}, {sized(16385, 1), conversion}, {sized(1, 16385), conversion},
        {sized(9000, 9000), conversion}, {sized(4096, 4097), conversion},  // past 16 Mi pixels
        {patched(core, 4, {0xFF, 0xFF}), conversion},  // 65535 wide
    };
    const BmpLayout fields = {32, false, false, 3, false, 0, {0xFF, 0xFF00, 0xFF0000}};
    for (const Bytes& whole : {bmp_encode({8, false, true, 0, false, 2}, 3, 3, indices, bw, 2), core,
                               bmp_encode(fields, 3, 3, rgb, nullptr, 0)})
        for (size_t length = 1; length < whole.size(); length++)
            cases.push_back({Bytes(whole.begin(), whole.begin() + long(length)), conversion});
    for (size_t i = 0; i < cases.size(); i++) {
        boxes.clear();
        EXPECT_EQ(load_bytes(cases[i].first), Bytes{0}) << "case " << i;
        EXPECT_EQ(boxes, Texts{"Error|" + cases[i].second + "|0"}) << "case " << i;
    }
    // The headers alone refuse, before there is anything to allocate; up to
    // the limits the size is taken.
    int32_t w, h;
    EXPECT_EQ(bmp_decode(sized(30000, 30000).data(), tiny.size(), nullptr, &w, &h), conversion) << "30000 x 30000";
    EXPECT_EQ(bmp_decode(sized(4096, 4096).data(), tiny.size(), nullptr, &w, &h), nullptr) << "4096 x 4096";
    EXPECT_EQ(bmp_decode(sized(16384, 1024).data(), tiny.size(), nullptr, &w, &h), nullptr) << "16384 x 1024";
}

TEST(BmpReader, RunLengthData)
{
    // 4 x 2 grey RLE8 (colour i is i, i, i): each case's data follows the
    // header and the 256-entry table. Expected: bottom row, then top.
    Bytes palette(256 * 3);
    for (size_t i = 0; i < palette.size(); i++)
        palette[i] = uint8_t(i / 3);
    Bytes head = bmp_encode({8, false, false, 1}, 4, 2, Bytes(8).data(), palette.data(), 256);
    head.resize(40 + 1024);
    const std::pair<Bytes, Bytes> cases[] = {
        {{4, 5, 0, 0, 0, 3, 1, 2, 3, 0, 1, 9, 0, 1}, {5, 5, 5, 5, 1, 2, 3, 9}},  // runs and a literal
        {{0, 2, 1, 1, 2, 7, 0, 1}, {0, 0, 0, 0, 0, 7, 7, 0}},                    // a delta leaves black
        {{1, 4, 0, 1}, {4, 0, 0, 0, 0, 0, 0, 0}},                                // so does an early end
        {{4, 1, 0, 0, 4, 2, 0, 0}, {1, 1, 1, 1, 2, 2, 2, 2}},                    // complete, no end code
        {{5, 1, 0, 1}, {}}, {{2, 1, 0, 3, 1, 2, 3, 0, 0, 1}, {}},  // run, literal past the row
        {{0, 2, 5, 0, 0, 1}, {}}, {{0, 2, 0, 3, 0, 1}, {}},        // delta past the right, the top
        {{0, 0, 0, 0, 1, 1, 0, 1}, {}}, {{0, 0, 0, 0, 0, 0, 0, 1}, {}},  // run, line end above the picture
        {{0, 4, 1, 2}, {}}, {{0, 2, 1}, {}}, {{4, 1, 0, 0}, {}},   // literal, delta cut; rows to go
    };
    auto grey = [](Bytes indices) {
        Bytes out;
        for (uint8_t i : indices)
            out.insert(out.end(), 3, i);
        return out.empty() ? Bytes{0} : out;
    };
    for (size_t i = 0; i < std::size(cases); i++) {
        Bytes file = head;
        file.insert(file.end(), cases[i].first.begin(), cases[i].first.end());
        EXPECT_EQ(load_bytes(file), grey(cases[i].second)) << "case " << i;
    }
    // RLE4: runs alternate high and low nibble; an odd literal still ends
    // on a 16-bit boundary. Run-length data is never stored top row first.
    head = bmp_encode({4, false, false, 2}, 7, 1, palette.data(), palette.data(), 16);
    head.resize(40 + 64);
    head.insert(head.end(), {3, 0x12, 0, 3, 0x34, 0x50, 1, 0x60, 0, 0, 0, 1});
    EXPECT_EQ(load_bytes(head), grey({1, 2, 1, 3, 4, 5, 6})) << "RLE4";
    head[8] = head[9] = head[10] = head[11] = 0xFF;  // a height of -1
    EXPECT_EQ(load_bytes(head), Bytes{0}) << "RLE4 top row first";
}

TEST(BmpReader, OpenFailuresNameTheFile)
{
    platform_set_message_box_hook(record_box);
    std::string empty = temp_path("empty");
    ASSERT_EQ(test_write_file(empty.c_str(), {}), 1);
    const std::string long_name = temp_path(std::string(400, 'x'));
    for (const std::string& name : {temp_path("missing"), empty, testing::TempDir(), long_name}) {
        boxes.clear();
        const std::string text = ("Failed to open DIB file " + name + ".\n").substr(0, 255);  // a long name is cut
        EXPECT_EQ(load_bmp_image(name.c_str()), nullptr) << "case " << name;
        EXPECT_EQ(boxes, Texts{"Error|" + text + "|0"}) << "case " << name;
    }
    std::remove(empty.c_str());
}
