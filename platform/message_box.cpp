// platform/message_box.cpp: message boxes over SDL2's message box, with the
// program's box types and answers. UI thread.
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

    const bool yes_no = (type & 0x0F) == MB_YESNO;
    SDL_MessageBoxButtonData yes_no_buttons[] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, IDYES, "Yes"},
        {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDNO, "No"},
    };
    SDL_MessageBoxButtonData ok_button[] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDOK, "OK"},
    };
    uint32_t flags = 0;
    switch (type & 0xF0) {
    case MB_ICONSTOP: flags = SDL_MESSAGEBOX_ERROR; break;
    case MB_ICONEXCLAMATION: flags = SDL_MESSAGEBOX_WARNING; break;
    case MB_ICONQUESTION:
    case MB_ICONINFORMATION: flags = SDL_MESSAGEBOX_INFORMATION; break;
    default: break;
    }
    SDL_MessageBoxData box = {};
    box.flags = flags;
    box.window = static_cast<SDL_Window*>(owner);
    box.title = caption ? caption : "";
    box.message = text ? text : "";
    box.numbuttons = yes_no ? 2 : 1;
    box.buttons = yes_no ? yes_no_buttons : ok_button;

    // A box closed with its window's close button answers -1: that is a
    // refusal too. A box that cannot be shown at all (no display, no font)
    // must not lose its message, so it goes to standard error instead.
    const int refused = yes_no ? IDNO : IDOK;
    int answer = -1;
    if (platform_show_message_box(&box, &answer) != 0) {
        std::fprintf(stderr, "message box not shown: %s\n%s: %s\n", SDL_GetError(), box.title, box.message);
        return refused;
    }
    return answer == -1 ? refused : answer;
}
