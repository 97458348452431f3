// tests/visuals/offscreen.h: a hidden 640 x 480 GL surface opened on first
// use, frames drawn with their inputs set through the scene's seams and read
// back before the swap, and pictures written as BMP files.
#pragma once
#include "platform/gl_surface.h"
#include "content/bmpwriter/bmpwriter.h"
#include "tests/platform/test_system.h"
#include "visuals/scene.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <cstring>
#include <string>
#include <vector>

constexpr int view_width = 640, view_height = 480;
using Pixels = std::vector<uint8_t>;   // RGB, bottom row first

inline int use_offscreen_gl()
{
    static int open = platform_open_offscreen_gl(view_width, view_height);
    return open;
}

inline Pixels read_back()
{
    Pixels p(size_t(view_width) * view_height * 3);
    scene_read_frame(view_width, view_height, p.data());
    return p;
}

struct Frame {
    uint32_t ms = 0, level = 0;   // the clock; the level reading, left in the low half
    int32_t tint[3] = {255, 255, 255}, background = 0;
    GLuint textures[4] = {};
};

inline Pixels draw_frame(const Frame& f)
{
    static Pixels seen;
    SceneInputs inputs = {f.ms, f.level, {f.tint[0], f.tint[1], f.tint[2]}, f.background};
    std::memcpy(textures, f.textures, sizeof textures);
    platform_set_swap_hook([] { seen = read_back(); });
    draw_scene(inputs);
    platform_set_swap_hook(nullptr);
    return seen;
}

// w x h pixels from f(x, y, channel), bottom row first.
template <class F> Pixels make_pixels(int w, int h, F f)
{
    Pixels p;
    for (int i = 0; i < w * h * 3; ++i)
        p.push_back(uint8_t(f(i / 3 % w, i / 3 / w, i % 3)));
    return p;
}

inline Pixels noise(int w, int h, uint32_t seed)
{
    return make_pixels(w, h, [&](int, int, int) { return (seed = seed * 1664525u + 1013904223u) >> 24; });
}

// A 24-bit BMP file of rgb in the temporary folder; its path.
inline std::string write_picture(int w, int h, const Pixels& rgb, bool top_down = false)
{
    BmpLayout layout;
    layout.top_down = top_down;
    std::string path = testing::TempDir() + "visuals_" + std::to_string(getpid()) + ".bmp";
    EXPECT_EQ(test_write_file(path.c_str(), bmp_encode(layout, w, h, rgb.data(), nullptr, 0)), 1);
    return path;
}
