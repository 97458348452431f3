// platform/gl_surface.h: the surface the frame is drawn on (the program's
// window, or a hidden one for tools and tests) and its buffer swap. UI
// thread, with the GL context current.
#pragma once

// An opaque drawable: the program's window or the hidden surface.
using PlatformDC = void*;

// The drawable the frame swaps. Written by open_gl_window (app) and by
// platform_open_offscreen_gl; read by draw_scene. UI thread only.
extern PlatformDC device_context;

// Presents the back buffer of dc. 1, or 0 for a null dc.
int platform_swap_buffers(PlatformDC dc);

// Tools and tests: while set, hook runs right before every swap, with the
// finished frame still in the back buffer (after a swap the front buffer
// may read black under X). Null removes it.
using PlatformSwapHook = void (*)();
void platform_set_swap_hook(PlatformSwapHook hook);

// Tools and tests: a hidden width x height surface with a legacy
// (compatibility) GL context made current, double buffered, 8 bits a colour
// channel, a 16-bit depth buffer; stored into device_context. Works under
// any X server, or with no X server when SDL_VIDEODRIVER=offscreen. 1, or 0
// with the reason on standard error.
int platform_open_offscreen_gl(int width, int height);
// Benchmarks: the same surface, shown on the screen like the program's
// window, so that a swap costs what it costs there.
int platform_open_shown_gl(int width, int height);
// Releases the hidden (or shown) surface and its context. Safe when none is
// open.
void platform_close_offscreen_gl();
