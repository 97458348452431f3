// tests/visuals/offscreen.h: a hidden 640 x 480 GL surface opened on first
// use, and what it holds read back.
#pragma once
#include "platform/gl_surface.h"

#include <GL/gl.h>
#include <gtest/gtest.h>
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
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, view_width, view_height, GL_RGB, GL_UNSIGNED_BYTE, p.data());
    return p;
}
