// image/bmp_reader.cpp: decodes BMP files, read whole into memory, into
// packed RGB records; owns error_popups. UI thread.
#include "image/bmp_reader.h"

#include "platform/file_read.h"
#include "platform/message_box.h"

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define BMP_READER_SSSE3 1
#endif

unsigned char error_popups = 1;  // read before every box; nothing in the program writes it

static const char out_of_memory_text[] = "Out of memory.";
static const char unknown_format_text[] = "Unknown DIB file format.";
static const char conversion_error_text[] = "Image file conversion error.";

constexpr size_t file_header_bytes = 14;
constexpr uint32_t core_header_bytes = 12;
constexpr uint32_t info_header_bytes = 40;
// A 64-byte run-length file may declare 9000 x 9000 pixels, which would cost
// a gigabyte and seconds before anything shows. Nothing larger than a GL
// texture can take is of use, and no picture of the disk comes near 16 Mi
// pixels: 64 MiB once GL holds them at 32 bits, 4096 x 4096.
constexpr int64_t max_side = 16384;             // pixels
constexpr uint64_t max_pixels = 16u << 20;      // 4 bytes each: 64 MiB
// The largest picture's pixels at 32 bits, with room for its headers and a
// full colour table: a longer file is refused before it is read.
constexpr size_t max_file_bytes = size_t(max_pixels) * 4 + (1u << 20);

// What the converter needs, gathered from either header kind. Every
// pointer here lies inside the file's bytes and every length has been
// checked against them.
struct BmpDescription {
    uint32_t width;         // > 0
    uint32_t rows;          // |height|, > 0
    int32_t height;         // as stored
    uint32_t bits;          // 1, 4, 8, 16, 24 or 32
    uint32_t compression;   // 0 none, 1 RLE8, 2 RLE4, 3 bit fields
    uint32_t masks[3];      // red, green, blue, for 16 and 32 bits
    const uint8_t* table;   // colour entries, blue, green, red (, reserved)
    uint32_t entries;       // entries in table
    uint32_t entry_bytes;   // 3 for a core header, 4 for an info header
    const uint8_t* data;    // first byte of pixel data
    size_t data_bytes;      // from data to the end of the file
};

static uint16_t u16_at(const uint8_t* p)
{
    return uint16_t(p[0] | p[1] << 8);
}

static uint32_t u32_at(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void show_error_box(const char* text)
{
    if (error_popups)
        platform_message_box(platform_focus_window(), text, "Error", MB_OK);
}

static uint16_t entries_for_bit_count(uint32_t bits)
{
    return bits == 1 ? 2 : bits == 4 ? 16 : bits == 8 ? 256 : 0;
}

uint16_t colour_entry_count(const uint8_t* bitmap_header, size_t length)
{
    if (!bitmap_header || length < 4)
        return 0;
    if (u32_at(bitmap_header) == core_header_bytes) {
        if (length < 12)
            return 0;
        return entries_for_bit_count(u16_at(bitmap_header + 10));
    }
    // Any other size is counted as an info header, before its kind is tested.
    if (length < 36)
        return 0;
    uint32_t used = u32_at(bitmap_header + 32);
    if (used)
        return uint16_t(used);  // modulo 65536
    return entries_for_bit_count(u16_at(bitmap_header + 14));
}

// Fills d from the file's bytes. Null, or the text of the failure.
static const char* describe_bmp(const uint8_t* file, size_t size, BmpDescription* d)
{
    size_t header_at = 0;
    bool has_file_header = size >= 2 && file[0] == 'B' && file[1] == 'M';
    uint32_t data_offset = 0;
    if (has_file_header) {
        if (size < file_header_bytes)
            return conversion_error_text;
        data_offset = u32_at(file + 10);
        header_at = file_header_bytes;
    }
    const uint8_t* header = file + header_at;
    size_t header_room = size - header_at;
    uint32_t entries = colour_entry_count(header, header_room);
    if (header_room < 4)
        return conversion_error_text;
    uint32_t header_bytes = u32_at(header);
    if (header_bytes != core_header_bytes && header_bytes != info_header_bytes)
        return unknown_format_text;
    if (header_room < header_bytes)
        return conversion_error_text;

    int64_t width, height;
    size_t table_at = header_at + header_bytes;
    d->masks[0] = d->masks[1] = d->masks[2] = 0;
    if (header_bytes == core_header_bytes) {
        width = u16_at(header + 4);
        height = u16_at(header + 6);
        d->bits = u16_at(header + 10);
        d->compression = 0;
        d->entry_bytes = 3;
    } else {
        width = int32_t(u32_at(header + 4));
        height = int32_t(u32_at(header + 8));
        d->bits = u16_at(header + 14);
        d->compression = u32_at(header + 16);
        d->entry_bytes = 4;
        if (d->compression == 3) {
            // The three masks sit between the header and the colour table.
            if (header_room < size_t(info_header_bytes) + 12)
                return conversion_error_text;
            for (int i = 0; i < 3; i++)
                d->masks[i] = u32_at(header + info_header_bytes + 4 * i);
            table_at += 12;
        }
    }
    uint32_t bits = d->bits;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return conversion_error_text;
    switch (d->compression) {
    case 0: break;
    case 1: if (bits != 8) return conversion_error_text; break;
    case 2: if (bits != 4) return conversion_error_text; break;
    case 3: if (bits != 16 && bits != 32) return conversion_error_text; break;
    default: return conversion_error_text;
    }
    if (d->compression == 0 && bits == 16) {
        // 5-5-5, red highest, top bit unused.
        d->masks[0] = 0x7C00;
        d->masks[1] = 0x03E0;
        d->masks[2] = 0x001F;
    }
    if (width <= 0 || height == 0)
        return conversion_error_text;
    // Run-length data is always stored bottom row first.
    if (height < 0 && (d->compression == 1 || d->compression == 2))
        return conversion_error_text;
    int64_t rows = height < 0 ? -height : height;
    if (width > max_side || rows > max_side || uint64_t(width * rows) > max_pixels)
        return conversion_error_text;
    d->width = uint32_t(width);
    d->rows = uint32_t(rows);
    d->height = int32_t(height);

    // The whole colour table must lie inside the file.
    uint64_t table_bytes = uint64_t(entries) * d->entry_bytes;
    if (table_at > size || table_bytes > size - table_at)
        return conversion_error_text;
    d->table = file + table_at;
    d->entries = entries;

    size_t data_at = has_file_header ? size_t(data_offset) : table_at + size_t(table_bytes);
    if (data_at >= size)
        return conversion_error_text;
    d->data = file + data_at;
    d->data_bytes = size - data_at;
    if (d->compression == 0 || d->compression == 3) {
        uint64_t stride = (uint64_t(d->width) * bits + 31) / 32 * 4;
        if (stride * rows > d->data_bytes)
            return conversion_error_text;
    }
    return nullptr;
}

// Colour table as 4-byte R, G, B, 0 entries for every possible index;
// indices past the file's table give black.
static void build_palette(const BmpDescription& d, uint8_t (*palette)[4])
{
    std::memset(palette, 0, 256 * 4);
    uint32_t n = d.entries < 256 ? d.entries : 256;
    for (uint32_t i = 0; i < n; i++) {
        const uint8_t* e = d.table + size_t(i) * d.entry_bytes;
        palette[i][0] = e[2];
        palette[i][1] = e[1];
        palette[i][2] = e[0];
    }
}

static void convert_paletted(const BmpDescription& d, uint8_t* out)
{
    uint8_t palette[256][4];
    build_palette(d, palette);
    const uint32_t width = d.width;
    const size_t stride = (size_t(width) * d.bits + 31) / 32 * 4;
    const uint8_t* src = d.data;
    for (uint32_t y = 0; y < d.rows; y++, src += stride) {
        if (d.bits == 8) {
            // Four-byte stores run one byte into the next pixel, which its
            // own store then overwrites; the row's last pixel stores three.
            for (uint32_t x = 0; x + 1 < width; x++, out += 3)
                std::memcpy(out, palette[src[x]], 4);
            std::memcpy(out, palette[src[width - 1]], 3);
            out += 3;
        } else {
            const uint32_t bits = d.bits;
            const uint32_t per_byte = 8 / bits;
            const uint32_t value_mask = (1u << bits) - 1;
            for (uint32_t x = 0; x < width; x++, out += 3) {
                uint32_t shift = 8 - bits * (x % per_byte + 1);  // leftmost pixel in the top bits
                uint32_t index = (src[x / per_byte] >> shift) & value_mask;
                std::memcpy(out, palette[index], 3);
            }
        }
    }
}

// B, G, R (,x) pixels to R, G, B for pixels [x, width) of one row: byte-
// swap a little-endian word and shift the unused byte out, storing four
// bytes where the next pixel's store overwrites the fourth. The last pixel
// is done bytewise, as a four-byte load there could pass the end of the file.
static void convert_bgr_tail(const uint8_t* s, uint8_t* out, uint32_t x, uint32_t width, size_t in_pixel)
{
    s += x * in_pixel;
    out += size_t(x) * 3;
    if constexpr (std::endian::native == std::endian::little) {
        for (; x + 1 < width; x++, s += in_pixel, out += 3) {
            uint32_t v;
            std::memcpy(&v, s, 4);
            v = __builtin_bswap32(v) >> 8;
            std::memcpy(out, &v, 4);
        }
    }
    for (; x < width; x++, s += in_pixel, out += 3) {
        out[0] = s[2];
        out[1] = s[1];
        out[2] = s[0];
    }
}

#ifdef BMP_READER_SSSE3
// Four pixels per shuffle: a 16-byte load holds them (and bytes past them
// that the next step reads again), a 16-byte store writes their 12 bytes
// and 4 that the next store overwrites. Both stay inside the row while
// six pixels remain; the rest goes the scalar way.
__attribute__((target("ssse3"))) static void convert_bgr_ssse3(const BmpDescription& d, uint8_t* out,
                                                                size_t stride)
{
    const uint32_t width = d.width;
    const size_t in_pixel = d.bits / 8;
    const __m128i order = in_pixel == 3 ? _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, -1, -1, -1, -1)
                                        : _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
    const uint8_t* src = d.data;
    for (uint32_t y = 0; y < d.rows; y++, src += stride, out += size_t(width) * 3) {
        uint32_t x = 0;
        const uint8_t* s = src;
        uint8_t* o = out;
        for (; x + 6 <= width; x += 4, s += 4 * in_pixel, o += 12) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm_shuffle_epi8(v, order));
        }
        convert_bgr_tail(src, out, x, width, in_pixel);
    }
}
#endif

static void convert_bgr(const BmpDescription& d, uint8_t* out)
{
    const size_t stride = (size_t(d.width) * d.bits + 31) / 32 * 4;
#ifdef BMP_READER_SSSE3
    if (__builtin_cpu_supports("ssse3")) {
        convert_bgr_ssse3(d, out, stride);
        return;
    }
#endif
    const uint8_t* src = d.data;
    for (uint32_t y = 0; y < d.rows; y++, src += stride, out += size_t(d.width) * 3)
        convert_bgr_tail(src, out, 0, d.width, d.bits / 8);
}

// One channel of a bit-field pixel: where it sits, and its values widened
// to 8 bits by repeating their top bits (so 5-bit 31 gives 255).
struct Channel {
    uint32_t mask;
    uint32_t shift;         // to bring the mask's lowest bit to bit 0
    uint32_t drop;          // low bits dropped from channels wider than 8
    uint8_t widened[256];
};

static void prepare_channel(uint32_t mask, Channel* c)
{
    c->mask = mask;
    c->shift = mask ? uint32_t(std::countr_zero(mask)) : 0;
    uint32_t width = mask ? 32 - uint32_t(std::countl_zero(mask)) - c->shift : 0;
    c->drop = width > 8 ? width - 8 : 0;
    uint32_t kept = width > 8 ? 8 : width;
    for (uint32_t v = 0; v < 256; v++) {
        if (!kept || v >> kept) {
            c->widened[v] = 0;
            continue;
        }
        uint32_t wide = 0;
        for (int filled = 0; filled < 8; filled += int(kept))
            wide = (wide << kept) | v;
        // Several repeats can overshoot 8 bits; keep the top eight.
        int total = int(kept) * ((8 + int(kept) - 1) / int(kept));
        c->widened[v] = uint8_t(wide >> (total - 8));
    }
}

static void convert_bit_fields(const BmpDescription& d, uint8_t* out)
{
    Channel channels[3];
    for (int i = 0; i < 3; i++)
        prepare_channel(d.masks[i], &channels[i]);
    const uint32_t width = d.width;
    const size_t stride = (size_t(width) * d.bits + 31) / 32 * 4;
    const uint8_t* src = d.data;
    for (uint32_t y = 0; y < d.rows; y++, src += stride) {
        for (uint32_t x = 0; x < width; x++, out += 3) {
            uint32_t v = d.bits == 16 ? u16_at(src + 2 * size_t(x)) : u32_at(src + 4 * size_t(x));
            for (int i = 0; i < 3; i++) {
                const Channel& c = channels[i];
                out[i] = c.widened[((v & c.mask) >> c.shift) >> c.drop];
            }
        }
    }
}

// RLE8 and RLE4 (bottom row first): pixels the data skips stay black. 1,
// or 0 when the data runs past the picture or ends before it is finished.
static int convert_run_length(const BmpDescription& d, uint8_t* out)
{
    std::memset(out, 0, size_t(d.width) * d.rows * 3);
    uint8_t palette[256][4];
    build_palette(d, palette);
    const bool four = d.compression == 2;
    const uint32_t width = d.width, rows = d.rows;
    const uint8_t* p = d.data;
    const uint8_t* end = d.data + d.data_bytes;
    uint32_t x = 0, y = 0;
    while (end - p >= 2) {
        uint32_t count = p[0], value = p[1];
        p += 2;
        if (count) {
            if (y >= rows || count > width - x)
                return 0;
            uint8_t* o = out + (size_t(y) * width + x) * 3;
            for (uint32_t i = 0; i < count; i++, o += 3) {
                uint32_t index = four ? (i & 1 ? value & 0x0F : value >> 4) : value;
                std::memcpy(o, palette[index], 3);
            }
            x += count;
            continue;
        }
        switch (value) {
        case 0:  // end of line
            x = 0;
            y++;
            if (y > rows)
                return 0;
            break;
        case 1:  // end of bitmap
            return 1;
        case 2: {  // move right and up
            if (end - p < 2)
                return 0;
            uint32_t dx = p[0], dy = p[1];
            p += 2;
            if (dx > width - x || dy > rows - y)
                return 0;
            x += dx;
            y += dy;
            break;
        }
        default: {  // value literal pixels, padded to a 16-bit boundary
            uint32_t count_bytes = four ? (value + 1) / 2 : value;
            uint32_t padded = (count_bytes + 1) & ~1u;
            if (size_t(end - p) < padded || y >= rows || value > width - x)
                return 0;
            uint8_t* o = out + (size_t(y) * width + x) * 3;
            for (uint32_t i = 0; i < value; i++, o += 3) {
                uint32_t index = four ? (i & 1 ? p[i / 2] & 0x0F : p[i / 2] >> 4) : p[i];
                std::memcpy(o, palette[index], 3);
            }
            x += value;
            p += padded;
            break;
        }
        }
    }
    // Out of data without an end-of-bitmap code: fine once every row is done.
    return y >= rows;
}

// UTF-16 code units (read bytewise) to UTF-8 in out, cut to fit.
static void wide_name_to_utf8(const char* name, char* out, size_t out_bytes)
{
    const uint8_t* p = reinterpret_cast<const uint8_t*>(name);
    size_t n = 0;
    for (;;) {
        uint32_t c = u16_at(p);
        p += 2;
        if (!c)
            break;
        if (c >= 0xD800 && c < 0xDC00) {
            uint32_t low = u16_at(p);
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                p += 2;
            } else {
                c = 0xFFFD;
            }
        } else if (c >= 0xDC00 && c < 0xE000) {
            c = 0xFFFD;
        }
        uint8_t bytes[4];
        size_t len;
        if (c < 0x80) {
            bytes[0] = uint8_t(c);
            len = 1;
        } else if (c < 0x800) {
            bytes[0] = uint8_t(0xC0 | c >> 6);
            bytes[1] = uint8_t(0x80 | (c & 0x3F));
            len = 2;
        } else if (c < 0x10000) {
            bytes[0] = uint8_t(0xE0 | c >> 12);
            bytes[1] = uint8_t(0x80 | (c >> 6 & 0x3F));
            bytes[2] = uint8_t(0x80 | (c & 0x3F));
            len = 3;
        } else {
            bytes[0] = uint8_t(0xF0 | c >> 18);
            bytes[1] = uint8_t(0x80 | (c >> 12 & 0x3F));
            bytes[2] = uint8_t(0x80 | (c >> 6 & 0x3F));
            bytes[3] = uint8_t(0x80 | (c & 0x3F));
            len = 4;
        }
        if (n + len >= out_bytes)
            break;
        std::memcpy(out + n, bytes, len);
        n += len;
    }
    out[n] = 0;
}

// Decodes the described picture into out, width * rows * 3 bytes. 1, or 0
// when the run-length data does not fit the picture.
static int convert_pixels(const BmpDescription& d, uint8_t* out)
{
    if (d.compression == 1 || d.compression == 2)
        return convert_run_length(d, out);
    if (d.bits <= 8)
        convert_paletted(d, out);
    else if (d.bits == 24 || (d.bits == 32 && (d.compression == 0 || (d.masks[0] == 0xFF0000 &&
                                                                       d.masks[1] == 0xFF00 && d.masks[2] == 0xFF))))
        convert_bgr(d, out);
    else
        convert_bit_fields(d, out);
    return 1;
}

const char* bmp_decode(const uint8_t* file, size_t size, uint8_t* out, int32_t* width, int32_t* height)
{
    BmpDescription d = {};
    const char* failure = describe_bmp(file, size, &d);
    if (failure)
        return failure;
    *width = int32_t(d.width);
    *height = d.height;
    return !out || convert_pixels(d, out) ? nullptr : conversion_error_text;
}

ImageRecord* read_bmp_file(const char* name, int wide)
{
    char wide_name[1024];
    const char* path = name;
    if (wide && name) {
        wide_name_to_utf8(name, wide_name, sizeof wide_name);
        path = wide_name;
    }

    // Read, not mapped: a mapped file cut short by a writer meanwhile
    // faults on its lost pages; bytes of our own stay as they were read.
    PlatformFileBytes file = {};
    BmpDescription d = {};
    ImageRecord* record = nullptr;
    uint8_t* pixels = nullptr;
    const char* failure = nullptr;
    size_t pixel_bytes = 0;

    if (!path || !platform_read_file(path, max_file_bytes, &file)) {
        char text[256];  // a long name is cut, never overrun
        if (std::snprintf(text, sizeof text, "Failed to open DIB file %s.\n", path ? path : "") < 0)
            text[0] = 0;
        show_error_box(text);
        return nullptr;
    }
    failure = describe_bmp(file.data, file.size, &d);
    if (failure)
        goto done;

    pixel_bytes = size_t(d.width) * d.rows * 3;
    pixels = static_cast<uint8_t*>(std::malloc(pixel_bytes));
    if (!pixels) {
        failure = out_of_memory_text;
        goto done;
    }
    if (!convert_pixels(d, pixels)) {
        failure = conversion_error_text;
        goto done;
    }

    record = static_cast<ImageRecord*>(std::malloc(sizeof(ImageRecord)));
    if (!record) {
        failure = out_of_memory_text;
        goto done;
    }
    record->width = int32_t(d.width);
    record->height = d.height;
    record->pixels = pixels;

done:
    platform_free_file(&file);
    if (!record) {
        std::free(pixels);
        show_error_box(failure);
    }
    return record;
}

ImageRecord* load_bmp_image(const char* name)
{
    return read_bmp_file(name, 0);
}
