// platform/window_web.cpp: the program's window in a page: the canvas, its
// WebGL 2 context through SDL, and fullscreen through the Fullscreen API.
// The page (web/index.html) sizes the canvas to the largest 4:3 box that
// fits, in the page or on the whole screen; its pixels follow that box.
// UI thread only.
#include "platform/window.h"

#include "platform/gl_attributes.h"

#include <SDL.h>
#include <emscripten.h>

static SDL_Window* window;  // the canvas, once made
static bool window_shown;

// 1 once the stage (the canvas's box) covers the screen. The request must
// come within the user's gesture: the answer to the start-up question,
// just given.
EM_ASYNC_JS(int, enter_fullscreen, (), {
    var stage = document.getElementById('stage');
    if (!stage || !document.fullscreenEnabled || !stage.requestFullscreen)
        return 0;
    try {
        await stage.requestFullscreen({navigationUI: 'hide'});
        return document.fullscreenElement === stage ? 1 : 0;
    } catch (e) {
        return 0;
    }
});

EM_JS(void, leave_fullscreen, (), {
    if (document.fullscreenElement && document.exitFullscreen)
        document.exitFullscreen().catch(function() {});
});

// While the disk runs, the browser's own actions for the keys it takes
// (help on F1, find on F3, reload on F5...) stay away.
EM_JS(void, keep_keys_from_the_browser, (), {
    window.addEventListener('keydown', function(e) {
        if (Module['diskEnded'] || e.ctrlKey || e.metaKey)
            return;
        if (/^(F[0-9]+|Escape|Numpad.*|Digit[0-9]|Minus|Equal|Tab|Space)$/.test(e.code))
            e.preventDefault();
    }, true);
});

EM_JS(void, show_canvas, (int shown), {
    Module['canvas'].style.visibility = shown ? 'visible' : 'hidden';
    if (shown)
        Module['canvas'].focus();
});

EM_JS(int, page_visible, (), { return document.hidden ? 0 : 1; });

// The canvas's pixels, set to its box on the screen at the display's own
// density, so that the picture is drawn sharp at any size.
EM_JS(void, canvas_pixels, (int* width, int* height), {
    var canvas = Module['canvas'];
    var ratio = window.devicePixelRatio || 1;
    var w = Math.max(1, Math.round(canvas.clientWidth * ratio));
    var h = Math.max(1, Math.round(canvas.clientHeight * ratio));
    if (canvas.width !== w || canvas.height !== h) {
        canvas.width = w;
        canvas.height = h;
    }
    HEAP32[width >> 2] = w;
    HEAP32[height >> 2] = h;
});

static bool video_ready()
{
    if (SDL_WasInit(SDL_INIT_VIDEO))
        return true;
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    return SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
}

// The page's screen is whatever the browser's is: the mode asked for is
// the stage covering it, the picture letterboxed at 4:3 inside.
int platform_change_display_mode(int, int, int)
{
    if (!video_ready())
        return DISP_CHANGE_FAILED;
    return enter_fullscreen() ? DISP_CHANGE_SUCCESSFUL : DISP_CHANGE_BADMODE;
}

void platform_restore_display_mode()
{
    leave_fullscreen();
}

void platform_show_cursor(int show)
{
    if (SDL_WasInit(SDL_INIT_VIDEO))
        SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
}

PlatformWindow platform_create_window(const char* title, int x, int y, int width, int height, int,
                                      const PlatformPixelFormat* format)
{
    if (window || !video_ready())
        return nullptr;
    platform_gl_set_attributes();
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, format->depth_bits);
    window = SDL_CreateWindow(title, x, y, width, height, SDL_WINDOW_OPENGL);
    if (window)
        keep_keys_from_the_browser();
    return window;
}

PlatformDC platform_get_dc(PlatformWindow window)
{
    return window;
}

int platform_choose_pixel_format(PlatformDC dc, const PlatformPixelFormat* format)
{
    return dc && gl_format_request_valid(format);
}

int platform_set_pixel_format(PlatformDC dc, int index, const PlatformPixelFormat*)
{
    return dc && index == 1;
}

PlatformGLContext platform_create_context(PlatformDC dc)
{
    if (!dc)
        return nullptr;
    return SDL_GL_CreateContext(static_cast<SDL_Window*>(dc));
}

void platform_show_window(PlatformWindow w)
{
    if (!w)
        return;
    window_shown = true;
    show_canvas(1);
}

void platform_set_foreground_window(PlatformWindow) {}

void platform_set_focus(PlatformWindow w)
{
    if (w)
        show_canvas(window_shown ? 1 : 0);
}

// Every swap waits for the page's next animation frame, which comes in
// step with the display: that is the browser's vsync.
int platform_ask_vsync()
{
    return 1;
}

int platform_window_shown(PlatformWindow w)
{
    return w && window_shown && page_visible();
}

void platform_drawable_size(PlatformWindow w, int* width, int* height)
{
    *width = 0;
    *height = 0;
    if (w)
        canvas_pixels(width, height);
}
