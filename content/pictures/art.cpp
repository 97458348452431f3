// content/pictures/art.cpp: fixed-point maths for the picture makers: hash,
// sine, square root, value noise, colour ramps, a small generator. Any thread.
#include "content/pictures/art.h"
#include "content/sine.h"
#include "content/xorshift.h"

uint32_t art_hash(uint32_t x, uint32_t y, uint32_t seed)
{
    uint32_t h = x * 0x8da6b343u ^ y * 0xd8163841u ^ seed * 0xcb1ab31fu;
    h ^= h >> 16;
    h *= 0x7feb352du;
    h ^= h >> 15;
    h *= 0x846ca68bu;
    h ^= h >> 16;
    return h;
}

int art_sin(int angle)
{
    return 2 * sine_q15(uint32_t(angle) << 16);  // q15 to q16
}

int art_cos(int angle)
{
    return art_sin(angle + 0x4000);
}

uint32_t art_isqrt(uint64_t v)
{
    uint64_t result = 0;
    uint64_t bit = uint64_t(1) << 62;
    while (bit > v)
        bit >>= 2;
    while (bit) {
        if (v >= result + bit) {
            v -= result + bit;
            result = (result >> 1) + bit;
        } else {
            result >>= 1;
        }
        bit >>= 2;
    }
    return uint32_t(result);
}

int art_smoothstep(int edge0, int edge1, int x)
{
    if (x <= edge0)
        return 0;
    if (x >= edge1)
        return q16_one;
    int64_t t = (int64_t(x - edge0) << 16) / (edge1 - edge0);
    return int((t * t * (3 * int64_t(q16_one) - 2 * t)) >> 32);
}

static int lerp_q16(int a, int b, int t)
{
    return a + int((int64_t(b - a) * t) >> 16);
}

int art_value_noise(int x, int y, uint32_t seed)
{
    // Arithmetic shifts floor negative coordinates, as the lattice needs.
    uint32_t xi = uint32_t(x >> 16);
    uint32_t yi = uint32_t(y >> 16);
    int fx = art_smoothstep(0, q16_one, x & 0xFFFF);
    int fy = art_smoothstep(0, q16_one, y & 0xFFFF);
    int v00 = int(art_hash(xi, yi, seed) >> 16);
    int v10 = int(art_hash(xi + 1, yi, seed) >> 16);
    int v01 = int(art_hash(xi, yi + 1, seed) >> 16);
    int v11 = int(art_hash(xi + 1, yi + 1, seed) >> 16);
    return lerp_q16(lerp_q16(v00, v10, fx), lerp_q16(v01, v11, fx), fy);
}

int art_fbm(int x, int y, int octaves, uint32_t seed)
{
    int64_t sum = 0;
    int64_t total = 0;
    int amplitude = 256;
    for (int i = 0; i < octaves; i++) {
        // Each octave is shifted by an odd offset so that the lattices of
        // the octaves never line up into visible seams.
        sum += int64_t(art_value_noise(x + i * 0x2a5f3, y - i * 0x1c7b9, seed + uint32_t(i))) * amplitude;
        total += amplitude;
        amplitude /= 2;
        x *= 2;
        y *= 2;
    }
    return int(sum / total);
}

void art_ramp(const RampStop* stops, int count, int t, uint8_t* rgb)
{
    int i = 0;
    while (i + 1 < count && t > stops[i + 1].at)
        i++;
    const RampStop& a = stops[i];
    const RampStop& b = stops[i + 1 < count ? i + 1 : i];
    int f = 0;
    if (b.at > a.at) {
        int clamped = t < a.at ? a.at : (t > b.at ? b.at : t);
        f = int((int64_t(clamped - a.at) << 16) / (b.at - a.at));
    }
    rgb[0] = uint8_t(lerp_q16(a.r, b.r, f));
    rgb[1] = uint8_t(lerp_q16(a.g, b.g, f));
    rgb[2] = uint8_t(lerp_q16(a.b, b.b, f));
}

uint32_t art_next(ArtRandom& random)
{
    return xorshift32(random.state);
}

int art_below(ArtRandom& random, int bound)
{
    return int((uint64_t(art_next(random)) * uint32_t(bound)) >> 32);
}
