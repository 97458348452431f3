// platform/video_driver_posix.cpp: SDL's video driver on X11 and Wayland
// desktops. UI thread.
#include "platform/video_driver.h"

#include <SDL.h>
#include <cstdlib>

// SDL tries Wayland before X11. With no Wayland session to be had (neither
// WAYLAND_DISPLAY nor XDG_RUNTIME_DIR, as under Xvfb or a bare X server),
// the try can only fail, and libwayland says so on standard error before
// SDL goes on to X11: a successful run would print an error. X11 straight
// away then. A hint, so the SDL_VIDEODRIVER variable still overrides it.
void platform_choose_video_driver()
{
    if (std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("XDG_RUNTIME_DIR"))
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
}
