// content/bmpwriter/bmpwriter.h: writes BMP files in every layout the reader
// takes, for the shipped pictures and for test fixtures. Any thread.
#pragma once
#include <cstdint>
#include <vector>

struct BmpLayout {
    int bits_per_pixel = 24;    // 1, 4, 8, 16, 24 or 32
    bool core_header = false;   // 12-byte core header instead of the 40-byte info header
    bool file_header = true;    // the 14-byte "BM" file header in front
    uint32_t compression = 0;   // 0 none, 1 RLE8, 2 RLE4, 3 bit fields (16 and 32 bits)
    bool top_down = false;      // negative height: top row stored first
    uint32_t colours_used = 0;  // written as is into the info header's colours-used field
    uint32_t masks[3] = {};     // red, green, blue masks for bit fields
};

// Encodes a picture. pixels holds width * height entries, bottom row first:
// palette indices (one byte each) for 1, 4 and 8 bits, RGB triplets
// otherwise. palette holds palette_entries RGB triplets for the colour
// table. Returns the file's bytes, or an empty vector for a layout it
// cannot write.
std::vector<uint8_t> bmp_encode(const BmpLayout& layout, int width, int height,
                                const uint8_t* pixels, const uint8_t* palette, int palette_entries);
