// app/gl_window.cpp: opening and closing the window and its GL context, one
// step at a time, each failure with its own message. UI thread.
#include "app/gl_window.h"

#include "platform/message_box.h"
#include "platform/window.h"
#include "player/track_list.h"

int32_t fullscreen = 1;

static PlatformWindow window_handle;       // never cleared: lives with the process
static PlatformGLContext render_context;   // null once released
static PlatformPixelFormat pixel_format;   // filled by the first call
static bool pixel_format_filled;

static void show_error(const char* text)
{
    platform_message_box(nullptr, text, "ERROR", MB_OK | MB_ICONEXCLAMATION);
}

// A failure once the window may exist: release, then say why.
static int fail(const char* text)
{
    close_gl_window();
    show_error(text);
    return 0;
}

int open_gl_window(const char* title, int width, int height, int bits, int fullscreen_wanted)
{
    fullscreen = (fullscreen_wanted & 0xff) ? 1 : 0;
    // SDL picks the visual when it creates the window, so the request is
    // filled before the window, not after it; the first call's depth holds.
    if (!pixel_format_filled) {
        pixel_format.flags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
        pixel_format.pixel_type = PFD_TYPE_RGBA;
        pixel_format.colour_bits = uint8_t(bits);
        pixel_format.depth_bits = 16;
        pixel_format.stencil_bits = 0;
        pixel_format_filled = true;
    }
    if (!platform_register_window_class(window_proc)) {
        show_error("Failed To Register The Window Class.");
        return 0;
    }
    if (fullscreen) {
        if (platform_change_display_mode(width, height, bits) != DISP_CHANGE_SUCCESSFUL) {
            if (platform_message_box(nullptr,
                                     "The Requested Fullscreen Mode Is Not Supported By\n"
                                     "Your Video Card. Use Windowed Mode Instead?",
                                     "Lumo GL", MB_YESNO | MB_ICONEXCLAMATION) == IDYES) {
                fullscreen = 0;
            } else {
                platform_message_box(nullptr, "Program Will Now Close.", "ERROR", MB_OK | MB_ICONSTOP);
                return 0;
            }
        } else {
            platform_show_cursor(0);
        }
    }
    // The window's size is its client area's: no frame to add.
    window_handle = platform_create_window(title, 0, 0, width, height, fullscreen, &pixel_format);
    if (!window_handle)
        return fail("Window Creation Error.");
    device_context = platform_get_dc(window_handle);
    if (!device_context)
        return fail("Can't Create A GL Device Context.");
    int format = platform_choose_pixel_format(device_context, &pixel_format);
    if (!format)
        return fail("Can't Find A Suitable PixelFormat.");
    if (!platform_set_pixel_format(device_context, format, &pixel_format))
        return fail("Can't Set The PixelFormat.");
    render_context = platform_create_context(device_context);
    if (!render_context)
        return fail("Can't Create A GL Rendering Context.");
    if (!platform_make_current(device_context, render_context))
        return fail("Can't Activate The GL Rendering Context.");
    // On a real display the loop then runs at its rate instead of spinning
    // and tearing; Xvfb has no such thing, and nothing changes there.
    platform_ask_vsync();
    platform_show_window(window_handle);
    platform_set_foreground_window(window_handle);
    platform_set_focus(window_handle);
    return 1;
}

void close_gl_window()
{
    if (fullscreen) {
        platform_restore_display_mode();
        platform_show_cursor(1);
    }
    if (render_context) {
        if (!platform_make_current(nullptr, nullptr))
            platform_message_box(nullptr, "Release Of DC And RC Failed.", "SHUTDOWN ERROR", MB_OK | MB_ICONINFORMATION);
        if (!platform_delete_context(render_context))
            platform_message_box(nullptr, "Release Rendering Context Failed.", "SHUTDOWN ERROR",
                                 MB_OK | MB_ICONINFORMATION);
        render_context = nullptr;
    }
}

int gl_window_shown()
{
    return platform_window_shown(window_handle);
}

void gl_window_view(int* x, int* y, int* width, int* height)
{
    int w = 0, h = 0;
    platform_drawable_size(window_handle, &w, &h);
    *width = w;
    *height = h;
    if (int64_t(w) * 3 > int64_t(h) * 4)
        *width = int(int64_t(h) * 4 / 3);  // wider than 4:3: bars left and right
    else
        *height = int(int64_t(w) * 3 / 4);  // taller: bars above and below
    *x = (w - *width) / 2;
    *y = (h - *height) / 2;
}
