// platform/gl_surface_web.cpp: the buffer swap in the browser, where a frame
// is shown only once the program hands the page back. UI thread.
#include "platform/gl_surface.h"

#include <emscripten.h>
#include <cstdio>

PlatformDC device_context = nullptr;

static PlatformSwapHook swap_hook;  // tests only

// The loop's one yield to the browser a frame: the page shows the frame,
// runs its events and the sound's callbacks, and comes back at its next
// animation frame, in step with the display. A key press comes back at
// once, once the page has queued it for SDL, so that a track starts
// without waiting out the frame. A hidden tab has no frames, and the
// program draws nothing then (platform_window_shown).
EM_ASYNC_JS(void, wait_for_animation_frame, (), {
    await new Promise(function(resolve) {
        var frame = requestAnimationFrame(back);
        function back() {
            cancelAnimationFrame(frame);
            window.removeEventListener('keydown', key);
            resolve();
        }
        // A task of its own: the event's other listeners, SDL's among them,
        // run first.
        function key() { setTimeout(back, 0); }
        window.addEventListener('keydown', key);
    });
});

int platform_swap_buffers(PlatformDC dc)
{
    if (!dc)
        return 0;
    if (swap_hook)
        swap_hook();
    wait_for_animation_frame();
    return 1;
}

void platform_set_swap_hook(PlatformSwapHook hook)
{
    swap_hook = hook;
}

// The tools' hidden surfaces have no place in a page.
int platform_open_offscreen_gl(int, int)
{
    std::fprintf(stderr, "no hidden GL surface in the browser\n");
    return 0;
}

int platform_open_shown_gl(int width, int height)
{
    return platform_open_offscreen_gl(width, height);
}

void platform_close_offscreen_gl() {}
