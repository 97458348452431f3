// content/pictures/rotomap.cpp: the tunnel's texture. Its 128 tinted copies
// are added together, so it is black almost everywhere, with thin bright
// rings, a frame and spokes that make the twist visible. Any thread.
#include "content/pictures/art.h"

constexpr int rotomap_size = 256;

// Brightness of a line of the given half-width at a distance (both q16
// pixels): full inside, a one-pixel soft edge outside.
static int line_level(int distance, int half_width)
{
    int d = distance < 0 ? -distance : distance;
    return q16_one - art_smoothstep(half_width, half_width + q16_one, d);
}

ArtPicture make_rotomap()
{
    ArtPicture p;
    p.width = p.height = rotomap_size;
    p.bytes_per_pixel = 1;
    p.pixels.resize(size_t(rotomap_size) * rotomap_size);
    // A plain grey ramp: the tint alone gives the tunnel its colour.
    for (int i = 0; i < 256; i++)
        for (int c = 0; c < 3; c++)
            p.palette.push_back(uint8_t(i));

    // Spoke directions: eight, every eighth of a turn.
    int spoke_cos[8], spoke_sin[8];
    for (int k = 0; k < 8; k++) {
        spoke_cos[k] = art_cos(k * 8192 + 4096);
        spoke_sin[k] = art_sin(k * 8192 + 4096);
    }
    for (int y = 0; y < rotomap_size; y++)
        for (int x = 0; x < rotomap_size; x++) {
            int dx = (2 * x + 1 - rotomap_size) * (q16_one / 2);   // q16 pixels from the centre
            int dy = (2 * y + 1 - rotomap_size) * (q16_one / 2);
            int r = int(art_isqrt(uint64_t(int64_t(dx) * dx + int64_t(dy) * dy)));
            int edge = x < y ? x : y;
            edge = edge < rotomap_size - 1 - x ? edge : rotomap_size - 1 - x;
            edge = edge < rotomap_size - 1 - y ? edge : rotomap_size - 1 - y;
            int edge_q16 = edge * q16_one;

            int64_t level = 0;   // 0..255 << 16
            // The square's own frame, with a short glow inwards.
            level += int64_t(line_level(edge_q16, q16_one)) * 255;
            level += int64_t(q16_one - art_smoothstep(q16_one, 7 * q16_one, edge_q16)) * 40;
            // A second, finer square inside it.
            level += int64_t(line_level(edge_q16 - 22 * q16_one, q16_one / 2)) * 130;
            // Three rings.
            level += int64_t(line_level(r - 100 * q16_one, q16_one / 2)) * 210;
            level += int64_t(line_level(r - 74 * q16_one, q16_one)) * 150;
            level += int64_t(line_level(r - 50 * q16_one, q16_one / 2)) * 120;
            // Spokes between the inner and the outer ring, fading inwards.
            if (r > 50 * q16_one && r < 100 * q16_one) {
                int spokes = 0;
                for (int k = 0; k < 8; k++) {
                    int64_t along = (int64_t(dx) * spoke_cos[k] + int64_t(dy) * spoke_sin[k]) >> 16;
                    int64_t across = (int64_t(dx) * spoke_sin[k] - int64_t(dy) * spoke_cos[k]) >> 16;
                    if (along > 0) {
                        int l = line_level(int(across), q16_one / 4);
                        spokes = l > spokes ? l : spokes;
                    }
                }
                int fade = art_smoothstep(50 * q16_one, 100 * q16_one, r);
                level += (int64_t(spokes) * fade >> 16) * 96;
            }
            // Dots on a grid in the corners, outside the outer ring.
            if (r > 104 * q16_one && edge > 8) {
                int gx = (x + 8) % 16, gy = (y + 8) % 16;
                if ((gx == 0 || gx == 15) && (gy == 0 || gy == 15))
                    level += int64_t(90) << 16;
            }
            // Everything stays black towards the centre: the far copies
            // pile up there.
            level = level * (art_smoothstep(30 * q16_one, 48 * q16_one, r) >> 8) >> 8;
            int v = int(level >> 16);
            p.pixels[size_t(y) * rotomap_size + size_t(x)] = uint8_t(v > 255 ? 255 : v);
        }
    return p;
}
