// tests/tools/content/pictures_test.cpp: the four shipped pictures, read back with
// an independent decoder and checked for what the frame needs of them.
#include "tools/content/pictures/pictures.h"
#include "tools/content/pictures/art.h"

#include <gtest/gtest.h>

#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

// Decoded picture, RGB, top row first (stb_image's order).
struct Decoded {
    std::vector<uint8_t> bytes;  // the file
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    const uint8_t* at(int x, int y) const { return &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3]; }
};

// The files pictures_write_all writes, read back and decoded once.
const Decoded& picture(const std::string& file)
{
    static const std::map<std::string, Decoded> all = [] {
        std::map<std::string, Decoded> files;
        std::string dir = testing::TempDir() + "pictures_test_" + std::to_string(getpid());
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
        EXPECT_FALSE(ec) << "cannot make " << dir << ": " << ec.message();
        EXPECT_EQ(pictures_write_all(dir.c_str()), 1) << "the pictures are not written to " << dir;
        for (const char* name : {"velvane1.bmp", "velvane2.bmp", "rotomap.bmp", "menu.bmp"}) {
            Decoded& d = files[name];
            std::ifstream in(dir + "/" + name, std::ios::binary);
            d.bytes.assign(std::istreambuf_iterator<char>(in), {});
            int channels = 0;
            uint8_t* px = stbi_load_from_memory(d.bytes.data(), int(d.bytes.size()), &d.width, &d.height, &channels, 3);
            if (px)
                d.rgb.assign(px, px + size_t(d.width) * size_t(d.height) * 3);
            stbi_image_free(px);
        }
        std::filesystem::remove_all(dir, ec);
        return files;
    }();
    return all.at(file);
}

uint32_t u32_at(const std::vector<uint8_t>& b, size_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

bool lit(const uint8_t* px) { return px[0] >= 150 || px[1] >= 150 || px[2] >= 150; }

// Runs of lit pixels on row y between columns x0 and x1.
int lit_runs(const Decoded& d, int y, int x0, int x1)
{
    int runs = 0;
    for (int x = x0; x < x1; x++)
        runs += lit(d.at(x, y)) && (x == x0 || !lit(d.at(x - 1, y)));
    return runs;
}

}  // namespace

TEST(Pictures, EachLayoutDecodesToTheArtAndKeepsItsBytes)
{
    // Each picture takes another path through a BMP reader; widths a
    // multiple of 4 keep the texture upload's row alignment. The hashes
    // (FNV-1a) hold on any compiler and C library, as the art is integer
    // maths only; a deliberate change of the art updates them.
    struct Case {
        const char* file;
        ArtPicture (*make)();
        int width, height;
        uint32_t header_size, bits, colours_used;  // colours used: info header only
        uint64_t hash;
    };
    for (const Case& c : {Case{"velvane1.bmp", make_velvane1, 512, 512, 40, 24, 0, 0x347cb97584d0ad28ull},
                          Case{"velvane2.bmp", make_velvane2, 512, 512, 12, 24, 0, 0x4d348b430b5e3a40ull},
                          Case{"rotomap.bmp", make_rotomap, 256, 256, 40, 8, 0, 0x78cfb09979dcf959ull},
                          Case{"menu.bmp", make_menu, 640, 480, 40, 4, 14, 0x0c54bae0a5960dbeull}}) {
        SCOPED_TRACE(c.file);
        const Decoded& d = picture(c.file);
        const std::vector<uint8_t>& b = d.bytes;
        ASSERT_GT(b.size(), 54u);
        uint64_t h = 0xcbf29ce484222325ull;
        for (uint8_t v : b)
            h = (h ^ v) * 0x100000001b3ull;
        EXPECT_EQ(h, c.hash) << std::hex << "0x" << h;
        ASSERT_EQ(u32_at(b, 14), c.header_size);
        bool core = c.header_size == 12;
        EXPECT_EQ(core ? b[24] : b[28], c.bits);
        EXPECT_TRUE(core || u32_at(b, 46) == c.colours_used);
        ASSERT_FALSE(d.rgb.empty()) << stbi_failure_reason();
        EXPECT_EQ(std::pair(d.width, d.height), std::pair(c.width, c.height));
        EXPECT_EQ(d.width % 4, 0);
        // Pixel for pixel what the maker drew, palette entries looked up.
        ArtPicture art = c.make();
        std::vector<uint8_t> want;
        for (size_t i = 0; i < art.pixels.size(); i += size_t(art.bytes_per_pixel)) {
            const uint8_t* rgb = art.bytes_per_pixel == 1 ? &art.palette[art.pixels[i] * 3u] : &art.pixels[i];
            want.insert(want.end(), rgb, rgb + 3);
        }
        EXPECT_TRUE(d.rgb == want);
    }
}

TEST(Pictures, OverlayIsBlackAroundUprightText)
{
    const Decoded& d = picture("menu.bmp");
    ASSERT_EQ(d.width, 640);
    // Black adds nothing: most of the view, corners and centre included,
    // must show through.
    size_t black = 0;
    for (size_t i = 0; i < d.rgb.size(); i += 3)
        black += !d.rgb[i] && !d.rgb[i + 1] && !d.rgb[i + 2];
    EXPECT_GT(black, d.rgb.size() / 3 * 85 / 100);
    for (auto [x, y] : {std::pair{0, 0}, {639, 0}, {0, 479}, {639, 479}, {320, 240}})
        EXPECT_EQ(d.at(x, y)[0] | d.at(x, y)[1] | d.at(x, y)[2], 0) << x << "," << y;

    // The title is the first text from the top.
    int top = 0;
    while (top < d.height && lit_runs(d, top, 0, d.width) == 0)
        top++;
    ASSERT_LT(top, 60);
    int bottom = top;
    while (bottom < d.height && lit_runs(d, bottom, 0, d.width) > 0)
        bottom++;
    EXPECT_GE(bottom - top, 24);  // big letters
    int left = 0;
    while (left < d.width && !lit(d.at(left, top)))
        left++;
    // Its first letter is a "V": two strokes at the top, one point at the
    // bottom. Drawn upside down it would be the other way round.
    EXPECT_EQ(lit_runs(d, top, left, left + 20), 2);
    EXPECT_EQ(lit_runs(d, bottom - 1, left, left + 20), 1);
}

TEST(Pictures, TunnelTextureSurvivesStacking)
{
    const Decoded& d = picture("rotomap.bmp");
    ASSERT_EQ(d.width, 256);
    size_t grey = 0, bright = 0, pixels = size_t(d.width) * size_t(d.height);
    for (size_t i = 0; i < d.rgb.size(); i += 3) {
        grey += d.rgb[i] == d.rgb[i + 1] && d.rgb[i] == d.rgb[i + 2];
        bright += d.rgb[i] >= 128;
    }
    EXPECT_EQ(grey, pixels);  // the tint alone colours the tunnel
    EXPECT_GT(bright, pixels / 50);  // and there is structure to see

    // The tunnel without twist, on a coarse grid of the view: square i
    // lies at depth 0.8 + i behind a 0.6-wide frustum at distance 1, so a
    // view point at (u, v) sees texel (u, v) * 0.6 * depth of each square.
    // The far squares pile up in the middle; most of the view must not
    // wash out to white.
    int saturated = 0, points = 160 * 120;
    for (int gy = 0; gy < 120; gy++)
        for (int gx = 0; gx < 160; gx++) {
            double u = (gx + 0.5) / 80 - 1, v = (gy + 0.5) / 60 - 1;
            int sum = 0;
            for (int i = 1; i < 128; i++) {
                double s = (u * 0.6 * (0.8 + i) + 1) / 2, t = (v * 0.6 * (0.8 + i) + 1) / 2;
                if (s >= 0 && t >= 0 && s < 1 && t < 1)
                    sum += d.at(int(s * d.width), d.height - 1 - int(t * d.height))[0] * 128 / 255;
            }
            saturated += sum >= 255;
        }
    EXPECT_LT(saturated, points * 3 / 100) << saturated << " of " << points;
}

TEST(Pictures, BackgroundsAreColouredAndLeaveRoomForText)
{
    for (const char* file : {"velvane1.bmp", "velvane2.bmp"}) {
        const Decoded& d = picture(file);
        double luma = 0, chroma = 0, pixels = double(d.rgb.size() / 3);
        for (size_t i = 0; i < d.rgb.size(); i += 3) {
            int r = d.rgb[i], g = d.rgb[i + 1], b = d.rgb[i + 2];
            luma += (2 * r + 5 * g + b) / 8.0 / pixels;
            chroma += (std::max({r, g, b}) - std::min({r, g, b})) / pixels;
        }
        // Dark enough that the added overlay stays readable, bright and
        // coloured enough to be a picture.
        EXPECT_GT(luma, 15) << file;
        EXPECT_LT(luma, 90) << file;
        EXPECT_GT(chroma, 20) << file;
    }
}
