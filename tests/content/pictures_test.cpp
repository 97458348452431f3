// tests/content/pictures_test.cpp: the four shipped pictures, read back with
// an independent decoder and held to the art they were drawn from.
#include "content/pictures/pictures.h"
#include "content/pictures/art.h"

#include <gtest/gtest.h>

#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

// Decoded picture, RGB, top row first (stb_image's order).
struct Decoded {
    std::vector<uint8_t> bytes;  // the file
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    const uint8_t* at(int x, int y) const { return &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3]; }
};

// The files pictures_write_all writes, read back and decoded once.
const Decoded& picture(const std::string& file)
{
    static const std::map<std::string, Decoded> all = [] {
        std::map<std::string, Decoded> files;
        std::string dir = testing::TempDir() + "pictures_test_" + std::to_string(getpid());
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
        EXPECT_FALSE(ec) << "cannot make " << dir << ": " << ec.message();
        EXPECT_EQ(pictures_write_all(dir.c_str()), 1) << "the pictures are not written to " << dir;
        for (const char* name : {"velvane1.bmp", "velvane2.bmp", "rotomap.bmp", "menu.bmp"}) {
            Decoded& d = files[name];
            std::ifstream in(dir + "/" + name, std::ios::binary);
            d.bytes.assign(std::istreambuf_iterator<char>(in), {});
            int channels = 0;
            uint8_t* px = stbi_load_from_memory(d.bytes.data(), int(d.bytes.size()), &d.width, &d.height, &channels, 3);
            if (px)
                d.rgb.assign(px, px + size_t(d.width) * size_t(d.height) * 3);
            stbi_image_free(px);
        }
        std::filesystem::remove_all(dir, ec);
        return files;
    }();
    return all.at(file);
}

uint32_t u32_at(const std::vector<uint8_t>& b, size_t at)
{
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

}  // namespace

TEST(Pictures, EachLayoutDecodesToTheArtAndKeepsItsBytes)
{
    // Each picture takes another path through a BMP reader; widths a
    // multiple of 4 keep the texture upload's row alignment. The hashes
    // (FNV-1a) hold on any compiler and C library, as the art is integer
    // maths only; a deliberate change of the art updates them.
    struct Case {
        const char* file;
        ArtPicture (*make)();
        int width, height;
        uint32_t header_size, bits, colours_used;  // colours used: info header only
        uint64_t hash;
    };
    for (const Case& c : {Case{"velvane1.bmp", make_velvane1, 512, 512, 40, 24, 0, 0x347cb97584d0ad28ull},
                          Case{"velvane2.bmp", make_velvane2, 512, 512, 12, 24, 0, 0x4d348b430b5e3a40ull},
                          Case{"rotomap.bmp", make_rotomap, 256, 256, 40, 8, 0, 0x78cfb09979dcf959ull},
                          Case{"menu.bmp", make_menu, 640, 480, 40, 4, 14, 0x0c54bae0a5960dbeull}}) {
        SCOPED_TRACE(c.file);
        const Decoded& d = picture(c.file);
        const std::vector<uint8_t>& b = d.bytes;
        ASSERT_GT(b.size(), 54u);
        uint64_t h = 0xcbf29ce484222325ull;
        for (uint8_t v : b)
            h = (h ^ v) * 0x100000001b3ull;
        EXPECT_EQ(h, c.hash) << std::hex << "0x" << h;
        ASSERT_EQ(u32_at(b, 14), c.header_size);
        bool core = c.header_size == 12;
        EXPECT_EQ(core ? b[24] : b[28], c.bits);
        EXPECT_TRUE(core || u32_at(b, 46) == c.colours_used);
        ASSERT_FALSE(d.rgb.empty()) << stbi_failure_reason();
        EXPECT_EQ(std::pair(d.width, d.height), std::pair(c.width, c.height));
        // Pixel for pixel what the maker drew, palette entries looked up.
        ArtPicture art = c.make();
        std::vector<uint8_t> want;
        for (size_t i = 0; i < art.pixels.size(); i += size_t(art.bytes_per_pixel)) {
            const uint8_t* rgb = art.bytes_per_pixel == 1 ? &art.palette[art.pixels[i] * 3u] : &art.pixels[i];
            want.insert(want.end(), rgb, rgb + 3);
        }
        EXPECT_TRUE(d.rgb == want);
    }
}
