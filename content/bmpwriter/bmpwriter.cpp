// content/bmpwriter/bmpwriter.cpp: encodes pictures as BMP files in every
// layout the reader takes (depths, header kinds, RLE, bit fields). Any thread.
#include "content/bmpwriter/bmpwriter.h"

#include <cstddef>

static void put_u16(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

static void put_u32(std::vector<uint8_t>& out, uint32_t v)
{
    put_u16(out, v & 0xFFFF);
    put_u16(out, v >> 16);
}

static void set_u32(std::vector<uint8_t>& out, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        out[at + size_t(i)] = uint8_t(v >> (8 * i));
}

// Places an 8-bit channel value into the bits of mask, scaling it to the
// mask's width (contiguous masks only, which is all the writer needs).
static uint32_t place_in_mask(uint8_t value, uint32_t mask)
{
    if (!mask)
        return 0;
    int shift = 0;
    while (!(mask & (1u << shift)))
        shift++;
    int bits = 0;
    while (shift + bits < 32 && (mask & (1u << (shift + bits))))
        bits++;
    uint32_t v = bits >= 8 ? uint32_t(value) << (bits - 8) : uint32_t(value) >> (8 - bits);
    return (v << shift) & mask;
}

// One uncompressed row, filled up to a multiple of 4 bytes.
static void encode_plain_row(std::vector<uint8_t>& out, const BmpLayout& layout, int width,
                             const uint8_t* row)
{
    size_t start = out.size();
    int bits = layout.bits_per_pixel;
    if (bits <= 8) {
        int per_byte = 8 / bits;
        uint8_t value_mask = uint8_t((1u << bits) - 1);
        for (int x = 0; x < width; x += per_byte) {
            uint8_t byte = 0;
            for (int i = 0; i < per_byte; i++) {
                uint8_t v = x + i < width ? uint8_t(row[x + i] & value_mask) : 0;
                // The leftmost pixel goes into the most significant bits.
                byte = uint8_t(byte | (v << (8 - bits * (i + 1))));
            }
            out.push_back(byte);
        }
    } else {
        for (int x = 0; x < width; x++) {
            uint8_t r = row[3 * x], g = row[3 * x + 1], b = row[3 * x + 2];
            if (bits == 24) {
                out.push_back(b);
                out.push_back(g);
                out.push_back(r);
            } else if (layout.compression == 3) {
                uint32_t v = place_in_mask(r, layout.masks[0]) | place_in_mask(g, layout.masks[1]) |
                             place_in_mask(b, layout.masks[2]);
                if (bits == 16)
                    put_u16(out, v);
                else
                    put_u32(out, v);
            } else if (bits == 16) {
                put_u16(out, uint32_t((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3)));
            } else {
                out.push_back(b);
                out.push_back(g);
                out.push_back(r);
                out.push_back(0);
            }
        }
    }
    while ((out.size() - start) % 4)
        out.push_back(0);
}

// Length of the run of equal pixels starting at x, at most limit.
static int run_length(const uint8_t* row, int width, int x, int limit)
{
    int n = 1;
    while (x + n < width && n < limit && row[x + n] == row[x])
        n++;
    return n;
}

// One row of RLE8 (bits 8) or RLE4 (bits 4) data, ended by an end-of-line
// code. Runs of 3 or more equal pixels are encoded runs; other stretches
// go out in absolute mode when 3 or longer, as short runs otherwise.
static void encode_rle_row(std::vector<uint8_t>& out, int bits, int width, const uint8_t* row)
{
    uint8_t value_mask = bits == 4 ? 0x0F : 0xFF;
    int x = 0;
    while (x < width) {
        int run = run_length(row, width, x, 255);
        if (run >= 3) {
            uint8_t v = uint8_t(row[x] & value_mask);
            out.push_back(uint8_t(run));
            out.push_back(bits == 4 ? uint8_t(v << 4 | v) : v);
            x += run;
            continue;
        }
        // Gather a literal stretch up to the next run of 3.
        int end = x;
        while (end < width && end - x < 255 && run_length(row, width, end, 3) < 3)
            end++;
        int count = end - x;
        if (count < 3) {
            for (int i = 0; i < count; i++) {
                uint8_t v = uint8_t(row[x + i] & value_mask);
                out.push_back(1);
                out.push_back(bits == 4 ? uint8_t(v << 4) : v);
            }
        } else {
            out.push_back(0);
            out.push_back(uint8_t(count));
            size_t start = out.size();
            if (bits == 8) {
                for (int i = 0; i < count; i++)
                    out.push_back(row[x + i]);
            } else {
                for (int i = 0; i < count; i += 2) {
                    uint8_t hi = uint8_t(row[x + i] & 0x0F);
                    uint8_t lo = i + 1 < count ? uint8_t(row[x + i + 1] & 0x0F) : 0;
                    out.push_back(uint8_t(hi << 4 | lo));
                }
            }
            // Absolute runs end on a 16-bit boundary.
            if ((out.size() - start) % 2)
                out.push_back(0);
        }
        x = end;
    }
    out.push_back(0);
    out.push_back(0);
}

std::vector<uint8_t> bmp_encode(const BmpLayout& layout, int width, int height,
                                const uint8_t* pixels, const uint8_t* palette, int palette_entries)
{
    std::vector<uint8_t> out;
    int bits = layout.bits_per_pixel;
    uint32_t compression = layout.compression;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return out;
    if (width < 0 || height < 0 || palette_entries < 0 || (palette_entries && !palette))
        return out;
    if ((width && height) && !pixels)
        return out;
    bool rle = compression == 1 || compression == 2;
    if (compression > 3 || (compression == 1 && bits != 8) || (compression == 2 && bits != 4) ||
        (compression == 3 && bits != 16 && bits != 32))
        return out;
    // Run-length and bit-field data need the info header; run-length data
    // cannot be stored top row first.
    if (layout.core_header && (compression || layout.top_down))
        return out;
    if (layout.core_header && (width > 0xFFFF || height > 0xFFFF))
        return out;
    if (rle && layout.top_down)
        return out;

    if (layout.file_header) {
        out.push_back('B');
        out.push_back('M');
        put_u32(out, 0);  // file size, set below
        put_u32(out, 0);  // both reserved fields
        put_u32(out, 0);  // pixel-data offset, set below
    }
    size_t header_at = out.size();
    if (layout.core_header) {
        put_u32(out, 12);
        put_u16(out, uint32_t(width));
        put_u16(out, uint32_t(height));
        put_u16(out, 1);
        put_u16(out, uint32_t(bits));
    } else {
        put_u32(out, 40);
        put_u32(out, uint32_t(width));
        put_u32(out, layout.top_down ? uint32_t(-int64_t(height)) : uint32_t(height));
        put_u16(out, 1);
        put_u16(out, uint32_t(bits));
        put_u32(out, compression);
        put_u32(out, 0);     // image size, set below
        put_u32(out, 2835);  // 72 dots per inch, both ways
        put_u32(out, 2835);
        put_u32(out, layout.colours_used);
        put_u32(out, 0);
        if (compression == 3)
            for (uint32_t m : layout.masks)
                put_u32(out, m);
    }
    for (int i = 0; i < palette_entries; i++) {
        out.push_back(palette[3 * i + 2]);
        out.push_back(palette[3 * i + 1]);
        out.push_back(palette[3 * i]);
        if (!layout.core_header)
            out.push_back(0);
    }

    size_t data_at = out.size();
    size_t in_pixel = bits <= 8 ? 1 : 3;
    for (int i = 0; i < height; i++) {
        // Input rows are bottom first; a top-down file stores the top first.
        int y = layout.top_down ? height - 1 - i : i;
        const uint8_t* row = pixels + size_t(y) * size_t(width) * in_pixel;
        if (rle)
            encode_rle_row(out, bits, width, row);
        else
            encode_plain_row(out, layout, width, row);
    }
    if (rle) {
        out.push_back(0);
        out.push_back(1);  // end of bitmap
    }

    if (!layout.core_header)
        set_u32(out, header_at + 20, uint32_t(out.size() - data_at));
    if (layout.file_header) {
        set_u32(out, 2, uint32_t(out.size()));
        set_u32(out, 10, uint32_t(data_at));
    }
    return out;
}
