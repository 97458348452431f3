// platform/num_lock_web.cpp: Num Lock from the browser's key event. SDL on
// the web never reports it, and the page gets no system record of a press:
// a keypad key that gives a digit has Num Lock on. Set into SDL's modifier
// state before SDL makes its key event of the press. UI thread.
#include "platform/num_lock.h"

#include <emscripten.h>

extern "C" EMSCRIPTEN_KEEPALIVE void platform_web_num_lock(int on)
{
    const int mod = SDL_GetModState();
    SDL_SetModState(SDL_Keymod(on ? (mod | KMOD_NUM) : (mod & ~KMOD_NUM)));
}

// A capturing listener on the window runs before SDL's own, which listens
// on the window as the event bubbles back.
EM_JS(void, watch_num_lock, (), {
    if (typeof window === 'undefined')  // the tests under node
        return;
    window.addEventListener('keydown', function(e) {
        if (e.location === 3 && /^Numpad([0-9]|Decimal)$/.test(e.code))
            _platform_web_num_lock(/^[0-9]$/.test(e.key) ? 1 : 0);
    }, true);
});

static const bool watching = (watch_num_lock(), true);

int platform_num_lock_of_press(const SDL_SysWMmsg*)
{
    return -1;
}
