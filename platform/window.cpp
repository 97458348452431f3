// platform/window.cpp: the program's window and GL context over SDL2, and
// the display mode. UI thread only.
#include "platform/window.h"

#include "platform/gl_attributes.h"
#include "platform/video_driver.h"

#include <SDL.h>
#include <cstdlib>

static SDL_DisplayMode fullscreen_mode;   // the mode asked for, once found
static bool fullscreen_mode_found;
static SDL_Window* fullscreen_window;     // a window showing in that mode
static bool exit_handler_registered;
static PlatformPixelFormat chosen_format;  // what the context must offer

// Starts SDL's video once. Refuses SDL's fallback to its invisible
// offscreen driver unless that driver was asked for by name.
static bool video_ready()
{
    if (SDL_WasInit(SDL_INIT_VIDEO))
        return true;
    // The close box is a close request like any other: the program, not
    // SDL, decides what it means.
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    platform_choose_video_driver();
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
        return false;
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* asked = SDL_getenv("SDL_VIDEODRIVER");
    bool unseen = driver && (SDL_strcmp(driver, "offscreen") == 0 || SDL_strcmp(driver, "dummy") == 0);
    if (unseen && !(asked && SDL_strcasecmp(asked, driver) == 0)) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        SDL_SetError("no display to show the window on");
        return false;
    }
    return true;
}

int platform_change_display_mode(int width, int height, int bits)
{
    if (!video_ready())
        return DISP_CHANGE_FAILED;
    // SDL would quietly take the closest larger mode: only an exact one
    // counts. X reports 32-bit modes as 24 bits of colour in 4 bytes.
    SDL_DisplayMode want = {};
    want.w = width;
    want.h = height;
    SDL_DisplayMode got;
    if (!SDL_GetClosestDisplayMode(0, &want, &got) || got.w != width || got.h != height ||
        int(SDL_BYTESPERPIXEL(got.format)) * 8 != bits)
        return DISP_CHANGE_BADMODE;
    fullscreen_mode = got;
    fullscreen_mode_found = true;
    // Unlike Windows, X keeps a changed mode after the process ends.
    if (!exit_handler_registered) {
        std::atexit(platform_restore_display_mode);
        exit_handler_registered = true;
    }
    return DISP_CHANGE_SUCCESSFUL;
}

void platform_restore_display_mode()
{
    if (!fullscreen_window)
        return;
    // Leaving fullscreen is what makes SDL put the desktop's mode back.
    SDL_SetWindowFullscreen(fullscreen_window, 0);
    SDL_ShowCursor(SDL_ENABLE);
    fullscreen_window = nullptr;
}

void platform_show_cursor(int show)
{
    if (SDL_WasInit(SDL_INIT_VIDEO))
        SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
}

PlatformWindow platform_create_window(const char* title, int x, int y, int width, int height, int fullscreen,
                                      const PlatformPixelFormat* format)
{
    if (!video_ready() || (fullscreen && !fullscreen_mode_found))
        return nullptr;
    platform_gl_set_attributes();
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, (format->flags & PFD_DOUBLEBUFFER) ? 1 : 0);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, format->depth_bits);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, format->stencil_bits);
    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
    flags |= fullscreen ? SDL_WINDOW_FULLSCREEN : SDL_WINDOW_RESIZABLE;
    if (fullscreen) {
        width = fullscreen_mode.w;
        height = fullscreen_mode.h;
    }
    SDL_Window* window = SDL_CreateWindow(title, x, y, width, height, flags);
    if (window && fullscreen) {
        if (SDL_SetWindowDisplayMode(window, &fullscreen_mode) != 0) {
            SDL_DestroyWindow(window);
            return nullptr;
        }
        fullscreen_window = window;
    }
    return window;
}

PlatformDC platform_get_dc(PlatformWindow window)
{
    // The window is its own drawable.
    return window;
}

int platform_choose_pixel_format(PlatformDC dc, const PlatformPixelFormat* format)
{
    // SDL picks the X visual when it creates a GL window and fails the
    // creation when none fits; here only the request itself can fail.
    if (!dc || !gl_format_request_valid(format))
        return 0;
    chosen_format = *format;
    return 1;
}

int platform_set_pixel_format(PlatformDC dc, int index, const PlatformPixelFormat*)
{
    if (!dc || index != 1)
        return 0;
    return (SDL_GetWindowFlags(static_cast<SDL_Window*>(dc)) & SDL_WINDOW_OPENGL) ? 1 : 0;
}

PlatformGLContext platform_create_context(PlatformDC dc)
{
    if (!dc)
        return nullptr;
    SDL_Window* window = static_cast<SDL_Window*>(dc);
    SDL_GLContext context = SDL_GL_CreateContext(window);
    if (!context)
        return nullptr;
    // A context that lacks what was asked for is no context for us. SDL
    // made it current to create it; the caller makes it current itself.
    int double_buffer = 0, depth = 0;
    SDL_GL_GetAttribute(SDL_GL_DOUBLEBUFFER, &double_buffer);
    SDL_GL_GetAttribute(SDL_GL_DEPTH_SIZE, &depth);
    SDL_GL_MakeCurrent(window, nullptr);
    if (bool(double_buffer) != bool(chosen_format.flags & PFD_DOUBLEBUFFER) || depth < chosen_format.depth_bits) {
        SDL_GL_DeleteContext(context);
        return nullptr;
    }
    return context;
}

void platform_show_window(PlatformWindow window)
{
    if (window)
        SDL_ShowWindow(static_cast<SDL_Window*>(window));
}

void platform_set_foreground_window(PlatformWindow window)
{
    if (window)
        SDL_RaiseWindow(static_cast<SDL_Window*>(window));
}

void platform_set_focus(PlatformWindow window)
{
    if (window)
        SDL_SetWindowInputFocus(static_cast<SDL_Window*>(window));
}

int platform_ask_vsync()
{
    return SDL_GL_SetSwapInterval(-1) == 0 || SDL_GL_SetSwapInterval(1) == 0;
}

int platform_window_shown(PlatformWindow window)
{
    if (!window)
        return 0;
    return !(SDL_GetWindowFlags(static_cast<SDL_Window*>(window)) & (SDL_WINDOW_HIDDEN | SDL_WINDOW_MINIMIZED));
}

void platform_drawable_size(PlatformWindow window, int* width, int* height)
{
    *width = 0;
    *height = 0;
    if (window)
        SDL_GL_GetDrawableSize(static_cast<SDL_Window*>(window), width, height);
}
