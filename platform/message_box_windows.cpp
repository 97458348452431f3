// platform/message_box_windows.cpp: SDL's box, which Windows draws in this
// process, in a dialog loop of its own on the UI thread. A console's Ctrl+C,
// Ctrl+Break or closing, a logoff or a shutdown takes it down
// (signals_windows.cpp ends the loop). UI thread.
#include "platform/message_box_system.h"

#include "platform/signals_windows.h"

#include <cstdlib>

int platform_show_message_box(const SDL_MessageBoxData* box, int* answer)
{
    // As a close request would: status 0, and the exit handlers put the
    // desktop's display mode back and stop the sound. One asked for before
    // the box leaves none shown.
    if (platform_console_close_asked())
        std::exit(0);
    platform_console_box_up(1);
    const int result = SDL_ShowMessageBox(box, answer);
    platform_console_box_up(0);
    if (platform_console_close_asked())
        std::exit(0);
    return result;
}
