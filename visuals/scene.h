// visuals/scene.h: the per-frame picture. UI thread, GL context current.
// The texture set-up (visuals/textures.h) comes with it.
#pragma once
#include "visuals/textures.h"

#include <GL/gl.h>
#include <atomic>
#include <cstdint>

// What one frame shows. The program fills it on each pass from the
// platform's clock, the engine's level of the current track and the
// player's tint and background; the tools that draw frames offline fill it
// from their own clock.
struct SceneInputs {
    uint32_t clock_ms = 0;     // the millisecond tick count of the frame
    // The output level as channel_get_level reports it: left in the low 16
    // bits, right in the high 16, each 0 to 32768. draw_scene splits it.
    uint32_t level = 0;
    int32_t tint[3] = {255, 255, 255};  // the tunnel's colour; the low byte of each counts
    int32_t background = 0;    // 0: the first background picture, 1: the second
    // Where the frame goes in the drawable, in pixels from its bottom left;
    // a width of 0 leaves GL's viewport as the context has it.
    int32_t view_x = 0;
    int32_t view_y = 0;
    int32_t view_width = 0;
    int32_t view_height = 0;
};

// Seconds, set from the frame's clock at the start of every frame. Written
// by draw_scene (UI) and on_track_end (audio, 0.0); a stale read only skews
// the rest of one frame, so relaxed is enough.
extern std::atomic<float> scene_time;

// One frame of inputs: background and overlay, the tinted tunnel, the
// dodecahedron, then the buffer swap of device_context.
void draw_scene(const SceneInputs& inputs);
// One textured GL_QUADS square from (low, low) to (high, high) at depth,
// t = 0 along y = low; the caller's colour and texture apply.
void draw_quad(float low, float high, float depth);

// Tools: copies the finished frame, width x height RGB bytes packed, bottom
// row first, from the back buffer. Call it from the swap hook (after a swap
// the front buffer may read black under X).
void scene_read_frame(int width, int height, uint8_t* rgb);
