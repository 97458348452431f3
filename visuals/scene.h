// visuals/scene.h: the per-frame picture. UI thread, GL context current.
// The texture set-up (visuals/textures.h) comes with it.
#pragma once
#include "visuals/textures.h"

#include <GL/gl.h>
#include <atomic>
#include <cstdint>

// Seconds, set from the clock at the start of every frame. Written by
// draw_scene (UI) and on_track_end (audio, 0.0); a stale read only skews
// the rest of one frame, so relaxed is enough.
extern std::atomic<float> scene_time;

// One frame: background and overlay, the tinted tunnel, the dodecahedron,
// then the buffer swap of device_context.
void draw_scene();
// One textured GL_QUADS square from (low, low) to (high, high) at depth,
// t = 0 along y = low; the caller's colour and texture apply.
void draw_quad(float low, float high, float depth);

// Tools and tests drive the frame's inputs here. The clock gives
// milliseconds (default platform_ticks, counted from program start); the
// level gives the engine's 32-bit reading, left in the low 16 bits (default
// channel_get_level(current_channel)). Null restores the default.
using SceneClock = uint32_t (*)();
using SceneLevel = uint32_t (*)();
void scene_set_clock(SceneClock ms);
void scene_set_level(SceneLevel level);
// Tools: copies the finished frame, width x height RGB bytes packed, bottom
// row first, from the back buffer. Call it from the swap hook (after a swap
// the front buffer may read black under X).
void scene_read_frame(int width, int height, uint8_t* rgb);
