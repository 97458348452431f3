// content/pictures/pictures.cpp: encodes the four pictures and writes them,
// each in another BMP layout so the shipped data takes several of the
// reader's paths. Any thread.
#include "content/pictures/pictures.h"

#include "content/bmpwriter/bmpwriter.h"
#include "content/pictures/art.h"
#include "platform/output_file.h"
#include "visuals/textures.h"

#include <algorithm>
#include <string>

static int write_picture(const char* dir, const char* file, const ArtPicture& picture,
                         const BmpLayout& layout, int palette_entries)
{
    // We draw top row first; BMP wants the bottom row first.
    size_t row_bytes = size_t(picture.width) * size_t(picture.bytes_per_pixel);
    std::vector<uint8_t> rows(picture.pixels.size());
    for (int y = 0; y < picture.height; y++)
        std::copy_n(&picture.pixels[size_t(picture.height - 1 - y) * row_bytes], row_bytes,
                    &rows[size_t(y) * row_bytes]);
    std::vector<uint8_t> bytes = bmp_encode(layout, picture.width, picture.height, rows.data(),
                                            palette_entries ? picture.palette.data() : nullptr,
                                            palette_entries);
    if (bytes.empty())
        return 0;
    return output_write_whole((std::string(dir) + "/" + file).c_str(), bytes.data(), bytes.size());
}

int pictures_write_all(const char* dir)
{
    // velvane1: plain 24 bits behind the 40-byte info header.
    BmpLayout info24;
    // velvane2: 24 bits behind the old 12-byte core header.
    BmpLayout core24;
    core24.core_header = true;
    // rotomap: 8-bit grey palette; colours used left 0, so the table's
    // length follows from the depth.
    BmpLayout grey8;
    grey8.bits_per_pixel = 8;
    // menu: 4 bits a pixel with a short colour table that the colours-used
    // field announces.
    constexpr int menu_colours = 14;
    BmpLayout paletted4;
    paletted4.bits_per_pixel = 4;
    paletted4.colours_used = menu_colours;

    // The names are the textures' slot order: backgrounds 1 and 2, the
    // tunnel, the overlay.
    return write_picture(dir, picture_files[0], make_velvane1(), info24, 0)
        && write_picture(dir, picture_files[1], make_velvane2(), core24, 0)
        && write_picture(dir, picture_files[2], make_rotomap(), grey8, 256)
        && write_picture(dir, picture_files[3], make_menu(), paletted4, menu_colours);
}
