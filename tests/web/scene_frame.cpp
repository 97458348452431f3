// tests/web/scene_frame.cpp: one frame of fixed inputs drawn in the page as
// the disk draws it, its pixels printed for browser_test.py to set against
// render-frame's frame of the same inputs on the desktop.
#include "app/gl_window.h"
#include "platform/gl_surface.h"
#include "visuals/scene.h"

#include <cstdio>

static uint8_t frame[640 * 480 * 3];

int main()
{
    if (!open_gl_window("frame", 640, 480, 32, 0) || !init_scene())
        return 1;
    platform_set_swap_hook([] { scene_read_frame(640, 480, frame); });
    SceneInputs in;
    in.clock_ms = 12500;
    in.level = 12000 | 9000u << 16;  // left, right
    in.tint[0] = 200;
    in.tint[1] = 120;
    in.tint[2] = 255;
    in.background = 1;
    gl_window_view(&in.view_x, &in.view_y, &in.view_width, &in.view_height);
    draw_scene(in);
    // One row a line, in hex: bottom row first, as GL reads.
    for (int row = 0; row < 480; ++row) {
        std::printf("frame %d ", row);
        for (int i = 0; i < 640 * 3; ++i)
            std::printf("%02x", frame[size_t(row) * 640 * 3 + i]);
        std::printf("\n");
    }
    return 0;
}
