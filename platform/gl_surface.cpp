// platform/gl_surface.cpp: buffer swap and the hidden GL surface of tools and
// tests, over SDL2. UI thread.
#include "platform/gl_surface.h"

#include "platform/gl_attributes.h"
#include "platform/video_driver.h"

#include <SDL.h>
#include <cstdio>

PlatformDC device_context = nullptr;

static PlatformSwapHook swap_hook;       // tools and tests only
static SDL_Window* hidden_window;        // the tools' surface, or null
static SDL_GLContext hidden_context;

int platform_swap_buffers(PlatformDC dc)
{
    if (!dc)
        return 0;
    if (swap_hook)
        swap_hook();
    SDL_GL_SwapWindow(static_cast<SDL_Window*>(dc));
    return 1;
}

void platform_set_swap_hook(PlatformSwapHook hook)
{
    swap_hook = hook;
}

static int open_surface(int width, int height, Uint32 shown_or_hidden)
{
    if (hidden_window || width <= 0 || height <= 0)
        return 0;
    platform_choose_video_driver();
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "no video: %s\n", SDL_GetError());
        return 0;
    }
    platform_gl_set_attributes();
    hidden_window = SDL_CreateWindow("offscreen", 0, 0, width, height, SDL_WINDOW_OPENGL | shown_or_hidden);
    if (hidden_window)
        hidden_context = SDL_GL_CreateContext(hidden_window);
    if (!hidden_context) {
        std::fprintf(stderr, "no GL context: %s\n", SDL_GetError());
        platform_close_offscreen_gl();
        return 0;
    }
    SDL_GL_MakeCurrent(hidden_window, hidden_context);
    // Frames are read back, not shown: never wait for a display refresh.
    SDL_GL_SetSwapInterval(0);
    device_context = hidden_window;
    return 1;
}

int platform_open_offscreen_gl(int width, int height)
{
    return open_surface(width, height, SDL_WINDOW_HIDDEN);
}

int platform_open_shown_gl(int width, int height)
{
    return open_surface(width, height, SDL_WINDOW_SHOWN);
}

void platform_close_offscreen_gl()
{
    if (hidden_context) {
        SDL_GL_MakeCurrent(hidden_window, nullptr);
        SDL_GL_DeleteContext(hidden_context);
    }
    if (hidden_window)
        SDL_DestroyWindow(hidden_window);
    if (device_context == hidden_window)
        device_context = nullptr;
    hidden_context = nullptr;
    hidden_window = nullptr;
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}
