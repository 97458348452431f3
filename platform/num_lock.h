// platform/num_lock.h: Num Lock's state at a key press, read from the
// system's own record of that press, which SDL hands over as a system
// event. Inside platform/ only; UI thread.
#pragma once
#include <SDL.h>

// 1 when Num Lock was on as the key of wm was pressed, 0 when it was off;
// -1 when wm is no key press, or one that does not tell.
int platform_num_lock_of_press(const SDL_SysWMmsg* wm);
