// tests/tools/pictures_test.cpp: the four shipped pictures, read back with
// an independent decoder and checked for what the frame needs of them.
#include "tools/pictures/pictures.h"
#include "tools/pictures/art.h"

#include <gtest/gtest.h>

#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

static std::vector<uint8_t> read_bytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

static uint32_t u32_at(const std::vector<uint8_t>& b, size_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

static uint16_t u16_at(const std::vector<uint8_t>& b, size_t at)
{
    return uint16_t(b[at] | b[at + 1] << 8);
}

TEST(PictureMaths, IntegerSineAndRootMatchTheExactValues)
{
    // The art's integer stand-ins for libm, over whole turns and both signs.
    double worst = 0;
    for (int angle = -70000; angle <= 140000; angle += 7) {
        double exact = std::sin(angle * 2 * M_PI / 65536);
        worst = std::max({worst, std::fabs(art_sin(angle) / 65536.0 - exact),
                          std::fabs(art_cos(angle) / 65536.0 - std::cos(angle * 2 * M_PI / 65536))});
    }
    EXPECT_LT(worst, 0.0005);
    EXPECT_EQ(art_sin(0), 0);
    EXPECT_EQ(art_sin(0x4000), 65536);
    EXPECT_EQ(art_sin(0xC000), -65536);

    struct Case {
        uint64_t v;
        uint32_t root;
    };
    for (Case c : {Case{0, 0}, Case{1, 1}, Case{3, 1}, Case{4, 2}, Case{99, 9}, Case{100, 10},
                   Case{(uint64_t(1) << 32) - 1, 65535}, Case{uint64_t(1) << 62, 1u << 31},
                   Case{~uint64_t(0), 0xFFFFFFFFu}})
        EXPECT_EQ(art_isqrt(c.v), c.root) << c.v;
}

static fs::path written_dir;

// The pictures are written once per run into a directory of their own,
// removed when the run ends.
static const fs::path& picture_dir()
{
    if (written_dir.empty()) {
        written_dir = fs::temp_directory_path() / ("pictures_test_" + std::to_string(::getpid()));
        fs::create_directories(written_dir);
        EXPECT_EQ(pictures_write_all(written_dir.string().c_str()), 1);
    }
    return written_dir;
}

struct RemovePictures : ::testing::Environment {
    void TearDown() override
    {
        std::error_code ec;
        if (!written_dir.empty())
            fs::remove_all(written_dir, ec);
    }
};
static ::testing::Environment* const remove_pictures = ::testing::AddGlobalTestEnvironment(new RemovePictures);

// Decoded picture, RGB, top row first (stb_image's order).
struct Decoded {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    const uint8_t* at(int x, int y) const { return &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3]; }
};

static Decoded decode(const char* file)
{
    std::vector<uint8_t> bytes = read_bytes(picture_dir() / file);
    Decoded d;
    int channels = 0;
    uint8_t* px = stbi_load_from_memory(bytes.data(), int(bytes.size()), &d.width, &d.height, &channels, 3);
    if (px) {
        d.rgb.assign(px, px + size_t(d.width) * size_t(d.height) * 3);
        stbi_image_free(px);
    }
    return d;
}

TEST(Pictures, FilesDecodeInTheirOwnLayouts)
{
    // Each picture takes a different path through a BMP reader; widths a
    // multiple of 4 keep the texture upload's row alignment.
    struct Case {
        const char* file;
        int width, height;
        uint32_t header_size;
        int bits;
        uint32_t colours_used;  // info header only
    };
    for (Case c : {Case{"velvane1.bmp", 512, 512, 40, 24, 0}, Case{"velvane2.bmp", 512, 512, 12, 24, 0},
                   Case{"rotomap.bmp", 256, 256, 40, 8, 0}, Case{"menu.bmp", 640, 480, 40, 4, 14}}) {
        SCOPED_TRACE(c.file);
        std::vector<uint8_t> b = read_bytes(picture_dir() / c.file);
        ASSERT_GT(b.size(), 54u);
        ASSERT_EQ(u32_at(b, 14), c.header_size);
        bool core = c.header_size == 12;
        EXPECT_EQ(core ? u16_at(b, 24) : u16_at(b, 28), c.bits);
        EXPECT_TRUE(core || u32_at(b, 46) == c.colours_used);
        Decoded d = decode(c.file);
        ASSERT_FALSE(d.rgb.empty()) << stbi_failure_reason();
        EXPECT_EQ(std::pair(d.width, d.height), std::pair(c.width, c.height));
        EXPECT_EQ(d.width % 4, 0);
    }
}

static bool lit(const uint8_t* px)
{
    return px[0] >= 150 || px[1] >= 150 || px[2] >= 150;
}

// Runs of lit pixels on row y between columns x0 and x1.
static int lit_runs(const Decoded& d, int y, int x0, int x1)
{
    int runs = 0;
    bool in = false;
    for (int x = x0; x < x1; x++) {
        bool l = lit(d.at(x, y));
        runs += l && !in;
        in = l;
    }
    return runs;
}

TEST(Pictures, OverlayIsBlackAroundUprightText)
{
    Decoded d = decode("menu.bmp");
    ASSERT_EQ(d.width, 640);
    size_t black = 0;
    for (size_t i = 0; i < d.rgb.size(); i += 3)
        black += !d.rgb[i] && !d.rgb[i + 1] && !d.rgb[i + 2];
    // Black adds nothing: most of the view must show through.
    EXPECT_GT(black, d.rgb.size() / 3 * 85 / 100);
    for (auto [x, y] : {std::pair{0, 0}, {639, 0}, {0, 479}, {639, 479}, {320, 240}})
        EXPECT_EQ(lit(d.at(x, y)) || d.at(x, y)[0] || d.at(x, y)[1] || d.at(x, y)[2], false) << x << "," << y;

    // The title is the first text from the top: the file's last rows.
    int top = 0;
    while (top < d.height && lit_runs(d, top, 0, d.width) == 0)
        top++;
    ASSERT_LT(top, 60);
    int bottom = top;
    while (bottom < d.height && lit_runs(d, bottom, 0, d.width) > 0)
        bottom++;
    EXPECT_GE(bottom - top, 24);   // big letters
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
    Decoded d = decode("rotomap.bmp");
    ASSERT_EQ(d.width, 256);
    size_t grey = 0, dark = 0, bright = 0, pixels = size_t(d.width) * size_t(d.height);
    for (size_t i = 0; i < d.rgb.size(); i += 3) {
        grey += d.rgb[i] == d.rgb[i + 1] && d.rgb[i] == d.rgb[i + 2];
        // With a mid tint, 128 copies of this texel still stay below white.
        dark += d.rgb[i] * 128 * 128 / 255 < 255;
        bright += d.rgb[i] >= 128;
    }
    EXPECT_EQ(grey, pixels);   // the tint alone colours the tunnel
    EXPECT_GT(dark, pixels * 70 / 100);
    EXPECT_GT(bright, pixels / 50);   // and there is structure to see

    // The tunnel without twist, on a coarse grid of the view: square i
    // lies at depth 0.8 + i behind a 0.6-wide frustum at distance 1, so a
    // view point at (u, v) sees texel (u, v) * 0.6 * depth of each square.
    // The far squares pile up in the middle; most of the view must not
    // wash out to white.
    int saturated = 0, points = 0;
    for (int gy = 0; gy < 120; gy++)
        for (int gx = 0; gx < 160; gx++) {
            double u = (gx + 0.5) / 80 - 1, v = (gy + 0.5) / 60 - 1;
            int sum = 0;
            for (int i = 1; i < 128; i++) {
                double depth = 0.8 + i;
                double s = (u * 0.6 * depth + 1) / 2, t = (v * 0.6 * depth + 1) / 2;
                if (s < 0 || t < 0 || s >= 1 || t >= 1)
                    continue;
                sum += d.at(int(s * d.width), d.height - 1 - int(t * d.height))[0] * 128 / 255;
            }
            saturated += sum >= 255;
            points++;
        }
    EXPECT_LT(saturated, points * 3 / 100) << saturated << " of " << points;
}

TEST(Pictures, BackgroundsAreColouredAndLeaveRoomForText)
{
    for (const char* file : {"velvane1.bmp", "velvane2.bmp"}) {
        SCOPED_TRACE(file);
        Decoded d = decode(file);
        ASSERT_FALSE(d.rgb.empty());
        double luma = 0, chroma = 0;
        size_t pixels = d.rgb.size() / 3;
        for (size_t i = 0; i < d.rgb.size(); i += 3) {
            int r = d.rgb[i], g = d.rgb[i + 1], b = d.rgb[i + 2];
            luma += (2 * r + 5 * g + b) / 8.0;
            chroma += std::max({r, g, b}) - std::min({r, g, b});
        }
        luma /= double(pixels);
        chroma /= double(pixels);
        // Dark enough that the added overlay stays readable, bright and
        // coloured enough to be a picture.
        EXPECT_GT(luma, 15);
        EXPECT_LT(luma, 90);
        EXPECT_GT(chroma, 20);
    }
}

static uint64_t fnv1a64(const std::vector<uint8_t>& bytes)
{
    uint64_t h = 0xcbf29ce484222325ull;
    for (uint8_t b : bytes) {
        h ^= b;
        h *= 0x100000001b3ull;
    }
    return h;
}

TEST(Pictures, SameBytesOnEveryMachine)
{
    // Integer maths only, so these hold on any compiler and C library. A
    // deliberate change of the art updates them.
    struct Case {
        const char* file;
        uint64_t hash;
    };
    for (Case c : {Case{"velvane1.bmp", 0x347cb97584d0ad28ull}, Case{"velvane2.bmp", 0x4d348b430b5e3a40ull},
                   Case{"rotomap.bmp", 0x78cfb09979dcf959ull}, Case{"menu.bmp", 0x0c54bae0a5960dbeull}}) {
        uint64_t h = fnv1a64(read_bytes(picture_dir() / c.file));
        EXPECT_EQ(h, c.hash) << c.file << std::hex << " 0x" << h;
    }
}
