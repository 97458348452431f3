// platform/message_box_system.h: SDL's box shown the system's way, so that a
// request from outside to end the program still ends it while the box is
// up. Inside platform/ only (its test plays it); UI thread.
#pragma once
#include <SDL.h>

// As SDL_ShowMessageBox: 0 with the answer in *answer (-1 when the box was
// closed), or -1 when it could not be shown. A request to end the program
// that comes while the box is up takes the box down and ends the program as
// a close request does, with status 0: this then does not return.
int platform_show_message_box(const SDL_MessageBoxData* box, int* answer);
