// image/bmp_reader.h: BMP files into RGB records, and the switch that
// governs the error boxes of the library-level code. UI thread.
#pragma once
#include <cstddef>
#include <cstdint>

// One picture. The record and pixels are two separate malloc blocks owned
// by the caller, who frees pixels, then the record.
struct ImageRecord {
    int32_t width;    // pixels, always > 0
    int32_t height;   // as stored in the file: negative for a top-down file
    uint8_t* pixels;  // width * |height| * 3 bytes: R, G, B per pixel, rows
                      // packed with nothing between them, in the file's row
                      // order: bottom row first for a positive height, top
                      // row first for a negative one
};

// 1 at program load; nothing in the program changes it (tests do). While
// on, a failed read shows one "Error" box owned by the focus window.
extern unsigned char error_popups;

// The library-level code's "Error" box: text, owned by the focus window,
// while error_popups is on; nothing otherwise. The reader and the
// dodecahedron's error reporter both say it here.
void show_error_box(const char* text);

// Reads a BMP file (with or without its 14-byte file header) of 1, 4, 8,
// 16, 24 or 32 bits per pixel, with a 12-byte core or 40-byte info header,
// uncompressed, RLE8, RLE4 or bit fields, up to 16384 pixels a side and
// 16 Mi pixels in all (4096 x 4096; 64 MiB at 32 bits), from a regular file
// of at most 65 MiB: anything else fails as a missing file does. Null on
// failure, after at most one box. The same as read_bmp_file(name, 0).
ImageRecord* load_bmp_image(const char* name);

// As load_bmp_image; with wide non-zero, name points at a zero-terminated
// string of 16-bit UTF-16 code units (read bytewise, any alignment), which
// is converted to UTF-8 for opening; a name longer than 1023 UTF-8 bytes
// is cut and so will not be found.
ImageRecord* read_bmp_file(const char* name, int wide);

// read_bmp_file's checks and decoding on a file already in memory, for
// tests. Null when file[0, size) holds a picture the reader takes, with
// *width and *height set as in the record; otherwise the failure's text.
// With out non-null it also decodes the picture there, writing exactly
// width * |height| * 3 bytes. Never reads outside file[0, size).
const char* bmp_decode(const uint8_t* file, size_t size, uint8_t* out, int32_t* width, int32_t* height);

// The number of colour-table entries the bitmap header at bitmap_header
// declares: for a 12-byte core header 2, 16 or 256 by bit count (1, 4, 8),
// else 0; for any other header size the colours-used field modulo 65536,
// or the same bit-count rule when that field is 0. Reads only the first
// length bytes; 0 when the fields it needs lie beyond them.
uint16_t colour_entry_count(const uint8_t* bitmap_header, size_t length);
