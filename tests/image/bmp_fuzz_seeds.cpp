// Writes the fuzz target's seed corpus: one small valid file of every
// layout the reader takes. Usage: bmp_fuzz_seeds DIR
#include "tools/bmpwriter/bmpwriter.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: bmp_fuzz_seeds DIR\n");
        return 2;
    }
    struct Seed {
        int bits;
        bool core, file_header, top_down;
        uint32_t compression, colours_used;
        uint32_t masks[3];
    };
    const Seed seeds[] = {
        {1, false, true, false, 0, 0, {}},      {1, true, false, false, 0, 0, {}},
        {4, false, false, true, 0, 0, {}},      {4, true, true, false, 0, 0, {}},
        {4, false, true, false, 2, 16, {}},     {4, false, false, false, 2, 0, {}},
        {8, false, true, false, 0, 0, {}},      {8, false, false, false, 0, 12, {}},
        {8, true, false, false, 0, 0, {}},      {8, false, true, true, 0, 65536, {}},
        {8, false, true, false, 1, 0, {}},      {8, false, false, false, 1, 20, {}},
        {16, false, true, false, 0, 0, {}},     {16, false, false, true, 0, 0, {}},
        {16, false, true, false, 3, 0, {0xF800, 0x07E0, 0x001F}},
        {16, false, false, false, 3, 0, {0x0F00, 0x00F0, 0x000F}},
        {24, false, true, false, 0, 0, {}},     {24, false, false, true, 0, 0, {}},
        {24, true, true, false, 0, 0, {}},      {24, true, false, false, 0, 0, {}},
        {32, false, true, false, 0, 0, {}},     {32, false, false, true, 0, 0, {}},
        {32, false, true, false, 3, 0, {0xFF0000, 0xFF00, 0xFF}},
        {32, false, false, false, 3, 0, {0x3FF00000, 0xFFC00, 0x3FF}},
    };
    const int width = 9, height = 5;
    int n = 0;
    for (const Seed& s : seeds) {
        int entries = s.bits > 8 ? 0 : 1 << s.bits;
        if (s.colours_used && s.colours_used < 256)
            entries = int(s.colours_used);
        if (s.colours_used == 65536)
            entries = 0;
        std::vector<uint8_t> palette(size_t(entries) * 3);
        for (size_t i = 0; i < palette.size(); i++)
            palette[i] = uint8_t(i * 37 + 11);
        std::vector<uint8_t> pixels(size_t(width) * height * (s.bits <= 8 ? 1 : 3));
        for (size_t i = 0; i < pixels.size(); i++)
            // Runs of equal values next to varied ones, so RLE seeds hold
            // both encoded and literal runs.
            pixels[i] = uint8_t(i % 11 < 4 ? 3 : (i * 7) % (s.bits <= 8 ? (1u << s.bits) : 256u));
        BmpLayout layout;
        layout.bits_per_pixel = s.bits;
        layout.core_header = s.core;
        layout.file_header = s.file_header;
        layout.top_down = s.top_down;
        layout.compression = s.compression;
        layout.colours_used = s.colours_used;
        for (int i = 0; i < 3; i++)
            layout.masks[i] = s.masks[i];
        std::vector<uint8_t> bytes = bmp_encode(layout, width, height, pixels.data(), palette.data(), entries);
        std::string path = std::string(argv[1]) + "/seed_" + std::to_string(n++) + ".bmp";
        if (bytes.empty() || !bmp_write_file(path.c_str(), bytes)) {
            std::fprintf(stderr, "bmp_fuzz_seeds: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
