// app/gl_window.h: the program's window and its GL context. UI thread.
#pragma once
#include <cstdint>

// 1 at program load. Cleared by start-up when the user answers No; stored
// by open_gl_window from its argument and cleared there when the user takes
// a window after a refused mode; read by close_gl_window. UI thread only.
extern int32_t fullscreen;

// Opens the window with title and a width x height client area (or covering
// the display switched to width x height at bits per pixel, when fullscreen's
// low byte is set) with a current GL context, shown and focused. 1, or 0
// after showing why.
int open_gl_window(const char* title, int width, int height, int bits, int fullscreen_wanted);
// Puts the display mode and cursor back if fullscreen, then releases the GL
// context. The window itself stays until the process ends.
void close_gl_window();

// 1 while the window is shown and not minimised: its frames can be seen.
int gl_window_shown();
// Where the picture goes in the window's drawable: the largest 4:3 area,
// centred between black bars, so that the picture keeps its shape when the
// window is resized. The whole 640 x 480 drawable as opened; all 0 with no
// window.
void gl_window_view(int* x, int* y, int* width, int* height);
