// Tests for visuals/scene: frames drawn into the hidden surface with the
// clock and level set through the seams, on pictures made here, against
// models of the background, the tunnel's squares and the clock. The stages
// add up, so each is also drawn alone (the others' pictures black).
#include "offscreen.h"

#include <array>
#include <cmath>

static int ramp(int x, int y, int c) { return c == 0 ? 4 * x : c == 1 ? 4 * y : 64; }
static int slope(int x, int y, int) { return 255 - 3 * x - y; }
static int checks(int x, int y, int) { return (x ^ y) & 31; }

// Stage 0 background, 1 overlay, 2 tunnel, 3 the dodecahedron alone, 4 all.
static Frame frame(uint32_t ms, int stage = 4, uint32_t level = 0)
{
    static GLuint names[5];  // the four slots' pictures, then black
    if (!names[4]) {
        const Pixels p[5] = {make_pixels(64, 64, ramp), make_pixels(64, 64, slope), noise(64, 64, 1),
                             make_pixels(64, 64, checks), Pixels(64 * 64 * 3)};
        for (int i = 0; i < 5; ++i) {
            load_texture(1, write_picture(64, 64, p[i]).c_str());
            names[i] = textures[0];
        }
    }
    const int stage_of_slot[4] = {0, 0, 2, 1};  // the backgrounds, the tunnel, the overlay
    Frame f{.ms = ms, .level = level};
    for (int slot = 0; slot < 4; ++slot)
        f.textures[slot] = stage == 4 || stage == stage_of_slot[slot] ? names[slot] : names[4];
    return f;
}

// The dodecahedron's pixels at ms: those lit with every picture black.
static std::vector<bool> lines_at(uint32_t ms, uint32_t level = 0)
{
    Pixels p = draw_frame(frame(ms, 3, level));
    std::vector<bool> lit(p.size() / 3);
    for (size_t i = 0; i < lit.size(); ++i)
        lit[i] = p[3 * i] | p[3 * i + 1] | p[3 * i + 2];
    return lit;
}

TEST(Scene, DodecahedronRedFollowsTheLeftLevel)
{
    ASSERT_TRUE(use_offscreen_gl());
    // r = (cos(k) + 1) / 2, k = left / 500 truncated: 1, 0.770, 0.292; the right level unused.
    struct Case { uint32_t level; int red; };
    std::vector<bool> first = lines_at(4000);
    EXPECT_GT(std::count(first.begin(), first.end(), true), 1000);
    for (Case c : {Case{499, 255}, Case{500, 196}, Case{1000, 74}, Case{0xFFFFu << 16 | 500, 196}}) {
        Pixels p = draw_frame(frame(4000, 3, c.level));
        EXPECT_TRUE(lines_at(4000, c.level) == first) << "case level " << c.level << ": the dodecahedron moved";
        size_t wrong = 0;  // lit pixels of another colour
        for (size_t i = 0; i < first.size(); ++i)
            wrong += first[i] && (p[3 * i] != c.red || p[3 * i + 1] != 255 || p[3 * i + 2] != 255);
        EXPECT_EQ(wrong, 0u) << "case level " << c.level;
    }
}

TEST(Scene, BackgroundSwellsWithThePulse)
{
    ASSERT_TRUE(use_offscreen_gl());
    // pulse = (sin(t / 2) + 1) / 2: about 0 at 3 pi s (the view exactly
    // covered), 1 at pi s (the central half), a half at 2 pi s. The model
    // samples the picture bilinearly, repeating, t = 0 along y = low.
    for (uint32_t ms : {9425u, 3142u, 6283u}) {
        double pulse = float((std::sin(ms / 2000.0) + 1) * 0.5), span = 2 + 2 * pulse;
        Pixels p = draw_frame(frame(ms, 0));
        std::vector<bool> lines = lines_at(ms);
        int worst = 0;
        for (int i = 0; i < view_width * view_height; ++i) {
            double s = ((i % view_width + 0.5) / 320 + pulse) / span * 64 - 0.5;
            double t = ((i / view_width + 0.5) / 240 + pulse) / span * 64 - 0.5;
            int s0 = int(std::floor(s)), t0 = int(std::floor(t));
            for (int c = 0; c < 3 && !lines[i]; ++c) {
                double want = 0;
                for (int k = 0; k < 4; ++k) {
                    double weight = std::abs((s - s0 - 1 + k % 2) * (t - t0 - 1 + k / 2));
                    want += weight * ramp((s0 + k % 2) & 63, (t0 + k / 2) & 63, c);
                }
                worst = std::max(worst, std::abs(p[3 * i + c] - int(std::lround(want))));
            }
        }
        EXPECT_LE(worst, 3) << "case " << ms << " ms";
    }
}

// Whether a tunnel square covers the view point x, y (-1 to 1): square i,
// at depth 0.8 + i, is turned by (Rz(a) Ry(b))^(i + 1) under the frustum, so
// the eye's ray is turned back step by step and met with the square's plane
// between the near and far planes.
static bool tunnel_covers(double x, double y, double a, double b)
{
    const double ca = std::cos(a * M_PI / 180), sa = std::sin(a * M_PI / 180);
    const double cb = std::cos(b * M_PI / 180), sb = std::sin(b * M_PI / 180);
    std::array<double, 3> o = {0.6 * x, 0.6 * y, -1};
    for (int i = 0; i < 128; ++i) {
        double rx = ca * o[0] + sa * o[1], ry = ca * o[1] - sa * o[0];
        o = {cb * rx - sb * o[2], ry, sb * rx + cb * o[2]};
        double along = -(0.8 + i) / o[2];
        if (along >= 1 && along <= 300 && std::abs(along * o[0]) <= 1 && std::abs(along * o[1]) <= 1)
            return true;
    }
    return false;
}

TEST(Scene, TunnelTwistsWithTheClockAndTheLevels)
{
    ASSERT_TRUE(use_offscreen_gl());
    struct Case { uint32_t ms, left, right; };
    for (Case c : {Case{0, 0, 0}, Case{5000, 0, 0}, Case{5000, 400, 300}, Case{21000, 100, 9000}}) {
        const double t = c.ms / 1000.0, right = 0.005 * c.right;
        const double z_step = 0.2 * std::sin(right + t / 34) + 50 * std::sin(right + 0.05 * t);
        const double y_step = 6.4 * std::sin(0.005 * c.left + 0.05 * t);
        Pixels p = draw_frame(frame(c.ms, 2, c.right << 16 | c.left));
        std::vector<bool> lines = lines_at(c.ms);
        size_t wrong = 0, lit = 0;
        for (int i = 0; i < view_width * view_height; i += 7) {
            const double x = (i % view_width + 0.5) / 320 - 1, y = (i / view_width + 0.5) / 240 - 1;
            auto covers = [&](double dx, double dy) {
                return tunnel_covers(x + dx / 320, y + dy / 240, z_step, y_step);
            };
            const bool want = covers(0, 0);
            const bool sure = want == covers(-2, -2) && want == covers(2, 2) &&  // no square's edge near
                              want == covers(-2, 2) && want == covers(2, -2);
            lit += want;
            wrong += sure && !lines[i] && want != (p[3 * i] + p[3 * i + 1] + p[3 * i + 2] > 0);
        }
        EXPECT_EQ(wrong, 0u) << "case " << c.ms << " ms, levels " << c.left << ", " << c.right;
        EXPECT_GT(lit, 1000u) << "case " << c.ms << " ms, levels " << c.left << ", " << c.right;
    }
}

TEST(Scene, EachInputMovesOnlyItsStageWhateverCameBefore)
{
    ASSERT_TRUE(use_offscreen_gl());
    struct Case { const char* name; int background; int32_t tint[3]; uint32_t level; int moved; };  // -1: the base
    const Case cases[] = {{"the start", 0, {255, 255, 255}, 0, -1}, {"background 1", 1, {255, 255, 255}, 0, 0},
                          {"a red tint", 0, {255, 0, 0}, 0, 2}, {"a tint past a byte", 0, {0x1FF, 0x100, 0x180}, 0, 2},
                          {"levels", 0, {255, 255, 255}, 300 << 16 | 400, 2}};
    std::vector<bool> lines = lines_at(5000);
    Pixels base[4];
    for (const Case& c : cases) {
        Pixels stage[4];  // background, overlay, tunnel alone; the whole frame
        for (int s = 0; s < 4; ++s) {
            Frame f = frame(5000, s == 3 ? 4 : s, c.level);
            f.background = c.background;
            std::memcpy(f.tint, c.tint, sizeof f.tint);
            stage[s] = draw_frame(f);
        }
        size_t wrong = 0, green_blue = 0;
        for (size_t i = 0; i < stage[3].size(); ++i) {
            wrong += !lines[i / 3] && stage[3][i] != std::min(255, stage[0][i] + stage[1][i] + stage[2][i]);
            green_blue += !lines[i / 3] && i % 3 && stage[2][i];
        }
        EXPECT_EQ(wrong, 0u) << "case " << c.name << ": the stages do not add up";
        EXPECT_EQ(green_blue == 0, c.tint[1] == 0) << "case " << c.name << ": a red tint leaves only red";
        for (int s = 0; s < 3 && c.moved >= 0; ++s)
            EXPECT_EQ(stage[s] != base[s], s == c.moved) << "case " << c.name << ", stage " << s;
        if (c.moved < 0)
            std::copy(stage, stage + 4, base);
    }
    EXPECT_TRUE(draw_frame(frame(5000)) == base[3]) << "the same inputs gave another picture";
}
