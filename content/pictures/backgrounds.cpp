// content/pictures/backgrounds.cpp: the two backgrounds that swell and shrink
// behind everything: a cool nebula for the first eleven tracks and a warm
// sunburst for the finale. Any thread.
#include "content/pictures/art.h"

constexpr int background_size = 512;

static int clamp_q16(int v)
{
    return v < 0 ? 0 : (v > q16_one ? q16_one : v);
}

static void add_clamped(uint8_t* px, int r, int g, int b)
{
    int v[3] = {px[0] + r, px[1] + g, px[2] + b};
    for (int i = 0; i < 3; i++)
        px[i] = uint8_t(v[i] > 255 ? 255 : v[i]);
}

// Distance from the centre in pixels, q16.
static int centre_distance(int x, int y)
{
    int64_t dx = 2 * x + 1 - background_size;   // half pixels, so the centre falls between pixels
    int64_t dy = 2 * y + 1 - background_size;
    return int(art_isqrt(uint64_t(dx * dx + dy * dy) << 32) / 2);
}

// Scattered stars: a bright core and a soft halo, brightest few with a
// cross-shaped glint. Kept sparse: the overlay's text goes on top.
static void scatter_stars(ArtPicture& p, uint32_t seed, int count, const uint8_t* tint)
{
    ArtRandom random{seed};
    for (int i = 0; i < count; i++) {
        int x = art_below(random, p.width);
        int y = art_below(random, p.height);
        int brightness = 40 + art_below(random, 120);
        bool glint = art_below(random, 40) == 0;
        if (glint)
            brightness = 230;
        int reach = glint ? 6 : 1;
        for (int dy = -reach; dy <= reach; dy++)
            for (int dx = -reach; dx <= reach; dx++) {
                int px = x + dx, py = y + dy;
                if (px < 0 || py < 0 || px >= p.width || py >= p.height)
                    continue;
                int ad = (dx < 0 ? -dx : dx), bd = (dy < 0 ? -dy : dy);
                int level;
                if (ad == 0 && bd == 0)
                    level = brightness;
                else if (ad + bd == 1)
                    level = brightness / 3;
                else if (ad == 1 && bd == 1)
                    level = brightness / 8;
                else if (glint && (ad == 0 || bd == 0))
                    level = brightness / (3 + 2 * (ad + bd));
                else
                    continue;
                uint8_t* out = &p.pixels[(size_t(py) * size_t(p.width) + size_t(px)) * 3];
                add_clamped(out, level * tint[0] / 255, level * tint[1] / 255, level * tint[2] / 255);
            }
    }
}

ArtPicture make_velvane1()
{
    ArtPicture p;
    p.width = p.height = background_size;
    p.pixels.resize(size_t(background_size) * background_size * 3);

    // Violet-to-rose clouds and teal clouds, blended by a slow third noise.
    static const RampStop violet[] = {
        {0, 3, 4, 18},       {22000, 14, 16, 58},  {36000, 48, 26, 104},
        {48000, 96, 36, 116},  {58000, 150, 74, 130}, {65536, 200, 150, 156}};
    static const RampStop teal[] = {
        {0, 2, 8, 20},       {22000, 6, 34, 60},   {36000, 14, 84, 108},
        {48000, 30, 118, 122}, {58000, 86, 164, 150}, {65536, 160, 204, 192}};

    for (int y = 0; y < background_size; y++)
        for (int x = 0; x < background_size; x++) {
            // Five noise cells across the picture; the clouds are bent by
            // two other noises for their wispy, folded look.
            int px = x * 640, py = y * 640;
            int wx = art_fbm(px, py, 4, 101) - 32768;
            int wy = art_fbm(px + 0x53333, py + 0x14ccc, 4, 102) - 32768;
            int n = art_fbm(px + 5 * wx, py + 5 * wy, 6, 103);
            int mix = art_smoothstep(22000, 44000, art_fbm(px / 2 + 0x9000, py / 2, 3, 104));

            // Stretch the narrow spread of the summed noise over the ramp,
            // and fade the rim so the picture's edges never show as a border.
            int t = clamp_q16(int((int64_t(n) - 17000) * 65536 / 34000));
            int r = centre_distance(x, y) / (background_size / 2);   // q16, 1 at the rim's midpoint
            int fade = q16_one - art_smoothstep(26000, 70000, r) / 2;
            t = int((int64_t(t) * fade) >> 16);

            uint8_t a[3], b[3];
            art_ramp(violet, 6, t, a);
            art_ramp(teal, 6, t, b);
            uint8_t* out = &p.pixels[(size_t(y) * background_size + size_t(x)) * 3];
            for (int i = 0; i < 3; i++)
                out[i] = uint8_t(a[i] + ((int(b[i]) - int(a[i])) * mix >> 16));
        }
    static const uint8_t star_tint[3] = {220, 230, 255};
    scatter_stars(p, 0x5eed1u, 700, star_tint);
    return p;
}

ArtPicture make_velvane2()
{
    ArtPicture p;
    p.width = p.height = background_size;
    p.pixels.resize(size_t(background_size) * background_size * 3);

    static const RampStop ember[] = {
        {0, 6, 0, 8},        {14000, 36, 3, 22},   {28000, 92, 12, 28},
        {42000, 160, 52, 20}, {54000, 210, 128, 48}, {65536, 240, 200, 150}};

    for (int y = 0; y < background_size; y++)
        for (int x = 0; x < background_size; x++) {
            int dx = 2 * x + 1 - background_size;   // half pixels
            int dy = 2 * y + 1 - background_size;
            int dist = centre_distance(x, y);       // q16 pixels
            int r = dist / (background_size / 2);   // q16, 1 at the edge's midpoint

            // Eleven rays that curl as they leave the centre: the direction,
            // turned by an angle growing with the radius, raised to the
            // eleventh power as a complex number, gives cos(11 * angle).
            int64_t len = dist ? dist : 1;
            int64_t ux = (int64_t(dx) << 31) / len;   // q16 unit direction
            int64_t uy = (int64_t(dy) << 31) / len;
            int turn = int((int64_t(r) * 9000) >> 16);
            int64_t c = art_cos(turn), s = art_sin(turn);
            int64_t zx = (ux * c - uy * s) >> 16, zy = (ux * s + uy * c) >> 16;
            int64_t px_ = zx, py_ = zy;
            for (int k = 1; k < 11; k++) {
                int64_t nx = (px_ * zx - py_ * zy) >> 16;
                py_ = (px_ * zy + py_ * zx) >> 16;
                px_ = nx;
            }
            int ray = int((px_ + q16_one) / 2);            // 0..1
            ray = int((int64_t(ray) * ray) >> 16);         // narrower bright rays

            // A slow ripple of rings and drifting smoke break the rays up.
            int ring = (art_sin(int((int64_t(r) * 5 * 65536) >> 16)) + q16_one) / 2;
            int smoke = art_fbm(x * 700 + 0x40000, y * 700, 4, 201);
            int glow = q16_one - art_smoothstep(0, 82000, r);
            glow = int((int64_t(glow) * glow) >> 16);
            // A small bright core hides where the rays pinch together.
            int core = q16_one - art_smoothstep(0, 9000, r);

            int64_t t = int64_t(glow) * 24000;
            t += int64_t(ray) * (12000 + glow / 3);
            t += int64_t(ring) * 5000;
            t += int64_t(core) * 40000;
            t += int64_t(smoke - 20000) * 30000;
            t >>= 16;
            uint8_t* out = &p.pixels[(size_t(y) * background_size + size_t(x)) * 3];
            art_ramp(ember, 6, clamp_q16(int(t)), out);
        }
    static const uint8_t star_tint[3] = {255, 210, 150};
    scatter_stars(p, 0x5eed2u, 260, star_tint);
    return p;
}
