// platform/message_box_system.h: a box shown the system's way, so that a
// request from outside to end the program still ends it while the box is
// up. Inside platform/ only (its test plays it); UI thread.
#pragma once
#include <cstdint>

// Shows text under caption with the buttons and icon that type (MB_*) asks
// for, over owner (a platform window, or null): 0 with the answer in
// *answer (IDOK, IDYES or IDNO, or -1 when the box was closed), or -1 when
// it could not be shown, with SDL_GetError() saying why. A request to end
// the program that comes while the box is up takes the box down and ends
// the program as a close request does, with status 0: this then does not
// return.
int platform_show_message_box(void* owner, const char* text, const char* caption, uint32_t type, int* answer);
