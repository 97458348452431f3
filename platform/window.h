// platform/window.h: the program's window, its GL context, the display mode
// and the cursor, step by step as the program opens them, with Windows'
// numbers for the results and the pixel format, which the program's code
// was written against. UI thread only.
#pragma once
#include "platform/gl_surface.h"
#include "platform/messages.h"

#include <cstdint>

// Display-mode change results.
constexpr int DISP_CHANGE_SUCCESSFUL = 0;
constexpr int DISP_CHANGE_FAILED = -1;
constexpr int DISP_CHANGE_BADMODE = -2;

// Pixel-format flags and the request the program makes.
constexpr uint32_t PFD_DOUBLEBUFFER = 0x01;
constexpr uint32_t PFD_DRAW_TO_WINDOW = 0x04;
constexpr uint32_t PFD_SUPPORT_OPENGL = 0x20;
constexpr uint8_t PFD_TYPE_RGBA = 0;

struct PlatformPixelFormat {
    uint32_t flags;       // PFD_*
    uint8_t pixel_type;   // PFD_TYPE_RGBA
    uint8_t colour_bits;  // 32: 8 bits a channel in 32-bit pixels
    uint8_t depth_bits;
    uint8_t stencil_bits;
};

using PlatformGLContext = void*;

// Every step below that needs the display fails when there is none to
// show windows on. SDL's invisible offscreen driver counts only when asked
// for by name (SDL_VIDEODRIVER=offscreen); otherwise the program would run
// unseen.

// Asks for a fullscreen display mode of width x height at bits per pixel
// (32: 4 bytes a pixel). DISP_CHANGE_SUCCESSFUL when the display has
// exactly that mode: the display switches to it when a fullscreen window is
// shown, and a handler registered now puts the desktop's mode back on any
// way out of the process. DISP_CHANGE_BADMODE when it has no such mode,
// DISP_CHANGE_FAILED when there is no display.
int platform_change_display_mode(int width, int height, int bits);
// Returns the display to the desktop's mode if this program changed it.
void platform_restore_display_mode();
// 1 shows the cursor over the program's windows, 0 hides it.
void platform_show_cursor(int show);

// Creates the window, hidden, made for GL with the pixel format format
// asks for: fullscreen covers the display in the mode asked for above (no
// frame), otherwise a framed, resizable window whose client area is width x
// height at x, y. Null on failure.
PlatformWindow platform_create_window(const char* title, int x, int y, int width, int height, int fullscreen,
                                      const PlatformPixelFormat* format);
// The window's drawable (its device context), or null.
PlatformDC platform_get_dc(PlatformWindow window);
// 1 when the drawable's framebuffer meets format (RGBA, double buffered,
// made for GL, at least as many colour and depth bits), 0 when no format
// of the display does.
int platform_choose_pixel_format(PlatformDC dc, const PlatformPixelFormat* format);
// Binds the chosen format to the drawable: 1, or 0 when the drawable was
// not made for GL.
int platform_set_pixel_format(PlatformDC dc, int index, const PlatformPixelFormat* format);
// A legacy (compatibility) GL context for dc, or null.
PlatformGLContext platform_create_context(PlatformDC dc);
// Makes context current on dc; with both null, detaches the current one.
// 1, or 0 on failure.
int platform_make_current(PlatformDC dc, PlatformGLContext context);
// Deletes a context that is not current. 1, or 0 on failure.
int platform_delete_context(PlatformGLContext context);
// Asks the current context to swap in step with the display: adaptive
// (late frames swap at once) where the driver offers it, plain otherwise.
// 1 when either was taken; 0 where there is no such thing (Xvfb).
int platform_ask_vsync();
// 1 while the window can be seen: shown and not minimised.
int platform_window_shown(PlatformWindow window);
// The size in pixels of the window's drawable; 0 x 0 for no window.
void platform_drawable_size(PlatformWindow window, int* width, int* height);
// Shows the window, raises it and gives it the keyboard focus.
void platform_show_window(PlatformWindow window);
void platform_set_foreground_window(PlatformWindow window);
void platform_set_focus(PlatformWindow window);
