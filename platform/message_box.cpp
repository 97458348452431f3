// platform/message_box.cpp: message boxes with the program's box types and
// answers, over each system's own box (message_box_posix.cpp,
// message_box_windows.cpp). UI thread.
#include "platform/message_box.h"

#include "platform/message_box_system.h"

#include <SDL.h>
#include <cstdio>

static PlatformMessageBoxHook message_box_hook;  // tests only, UI thread

void platform_set_message_box_hook(PlatformMessageBoxHook hook)
{
    message_box_hook = hook;
}

void* platform_focus_window()
{
    if (!SDL_WasInit(SDL_INIT_VIDEO))
        return nullptr;
    return SDL_GetKeyboardFocus();
}

int platform_message_box(void* owner, const char* text, const char* caption, uint32_t type)
{
    if (message_box_hook)
        return message_box_hook(owner, text, caption, type);
    if (!caption)
        caption = "";
    if (!text)
        text = "";

    // A box closed with its window's close button answers -1: that is a
    // refusal too. A box that cannot be shown at all (no display, no font)
    // must not lose its message, so it goes to standard error instead.
    const int refused = (type & 0x0F) == MB_YESNO ? IDNO : IDOK;
    int answer = -1;
    if (platform_show_message_box(owner, text, caption, type, &answer) != 0) {
        std::fprintf(stderr, "message box not shown: %s\n%s: %s\n", SDL_GetError(), caption, text);
        return refused;
    }
    return answer == -1 ? refused : answer;
}
