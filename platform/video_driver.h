// platform/video_driver.h: which of SDL's video drivers the program and the
// tools start. Inside platform/ only; UI thread, before SDL's video starts.
#pragma once

// Leaves SDL's own choice, except where it would only print noise: see the
// system's file. The user's SDL_VIDEODRIVER always wins.
void platform_choose_video_driver();
