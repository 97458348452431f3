// content/pictures/art.h: what the picture makers share: the in-memory
// picture, fixed-point maths and the four makers. Any thread.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// One picture in memory, rows top row first (the order we draw in); the
// writer flips them, since BMP stores the bottom row first. Paletted
// pictures hold one index per pixel and their palette; RGB pictures three
// bytes per pixel and no palette.
struct ArtPicture {
    int width = 0;
    int height = 0;
    int bytes_per_pixel = 3;        // 1 for palette indices, 3 for RGB
    std::vector<uint8_t> pixels;
    std::vector<uint8_t> palette;   // RGB triplets
};

// Everything below is integer maths so that every machine makes the same
// bytes: floating-point transcendental functions differ between C libraries.
// Fractions are 16.16 fixed point ("q16": 65536 is 1.0).
constexpr int q16_one = 65536;

uint32_t art_hash(uint32_t x, uint32_t y, uint32_t seed);     // well-mixed 32 bits
int art_sin(int angle);                  // angle in 1/65536 turns; q16 result, -1..1
int art_cos(int angle);
uint32_t art_isqrt(uint64_t v);          // floor of the square root
int art_smoothstep(int edge0, int edge1, int x);   // q16, 0..1
int art_value_noise(int x, int y, uint32_t seed);  // q16 lattice coordinates; 0..65535
int art_fbm(int x, int y, int octaves, uint32_t seed);   // 0..65535, summed octaves

// A colour ramp: stops at increasing positions (q16, 0..1), linear between.
struct RampStop {
    int at;
    uint8_t r, g, b;
};
void art_ramp(const RampStop* stops, int count, int t, uint8_t* rgb);

// Small xorshift generator for scattered details (stars, sparks).
struct ArtRandom {
    uint32_t state;
};
uint32_t art_next(ArtRandom& random);
int art_below(ArtRandom& random, int bound);   // 0 .. bound - 1

ArtPicture make_velvane1();   // background of the first eleven tracks
ArtPicture make_velvane2();   // background of the finale
ArtPicture make_rotomap();    // the tunnel's texture, greyscale, mostly black
ArtPicture make_menu();       // the overlay: title, track keys and effect keys

// The bitmap font: draws text into a paletted picture, each font pixel a
// scale x scale block, top-left corner at (x, y). Returns the width drawn.
int font_draw(ArtPicture& picture, int x, int y, int scale, const char* text, uint8_t index);
int font_text_width(int scale, const char* text);
constexpr int font_cap_height = 7;     // font pixels from the top of a capital to the baseline
constexpr int font_cell_height = 9;    // with the descenders
