// tests/web/scene_frame.cpp: one frame of fixed inputs drawn in the page as
// the disk draws it, its pixels printed for browser_test.py to set against
// render-frame's frame of the same inputs on the desktop.
#include "app/gl_window.h"
#include "platform/gl_surface.h"
#include "visuals/scene.h"

#include <cstdio>
#include <vector>

static std::vector<uint8_t> frame(640 * 480 * 3);

static void read_frame()
{
    scene_read_frame(640, 480, frame.data());
}

int main()
{
    if (!open_gl_window("frame", 640, 480, 32, 0) || !init_scene())
        return 1;
    platform_set_swap_hook(read_frame);
    SceneInputs in;
    in.clock_ms = 12500;
    in.level_left = 12000;
    in.level_right = 9000;
    in.tint[0] = 200;
    in.tint[1] = 120;
    in.tint[2] = 255;
    in.background = 1;
    gl_window_view(&in.view_x, &in.view_y, &in.view_width, &in.view_height);
    draw_scene(in);
    // One row a line, in hex: bottom row first, as GL reads.
    static const char digits[] = "0123456789abcdef";
    std::vector<char> line(640 * 3 * 2 + 1);
    for (int row = 0; row < 480; ++row) {
        for (int i = 0; i < 640 * 3; ++i) {
            const uint8_t b = frame[size_t(row) * 640 * 3 + i];
            line[2 * i] = digits[b >> 4];
            line[2 * i + 1] = digits[b & 15];
        }
        line.back() = 0;
        std::printf("frame %d %s\n", row, line.data());
    }
    return 0;
}
