// platform/message_box_windows.cpp: the system's own box (MessageBoxW), in a
// dialog loop of its own on the UI thread. A console's Ctrl+C, Ctrl+Break or
// closing, a logoff or a shutdown takes it down (signals_windows.cpp ends
// the loop). UI thread.
#include "platform/message_box.h"
#include "platform/message_box_system.h"

#include "platform/signals_windows.h"

#include <SDL.h>
#include <SDL_syswm.h>

#include <cstdlib>
#include <string>

// After platform/'s headers: windows.h then names the same numbers (MB_*,
// ID*) as macros, of the same values.
#include <windows.h>

// UTF-8 as UTF-16; what is not UTF-8 shows as U+FFFD rather than nothing.
static std::wstring wide_text(const char* text)
{
    const int count = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    std::wstring wide(count > 0 ? size_t(count) : 1, L'\0');
    if (count > 0)
        MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), count);
    wide.pop_back();  // the terminator, which the string keeps anyway
    return wide;
}

static HWND window_of(void* owner)
{
    if (!owner)
        return nullptr;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(static_cast<SDL_Window*>(owner), &info) || info.subsystem != SDL_SYSWM_WINDOWS)
        return nullptr;
    return info.info.win.window;
}

// As a close request would: status 0, and the exit handlers put the
// desktop's display mode back and stop the sound.
static void end_if_asked()
{
    if (platform_console_close_asked()) {
        platform_console_box_up(0);
        std::exit(0);
    }
}

int platform_show_message_box(void* owner, const char* text, const char* caption, uint32_t type, int* answer)
{
    const std::wstring wide_caption = wide_text(caption);
    const std::wstring wide_message = wide_text(text);
    const HWND owner_window = window_of(owner);
    // The box's thread is known before the request is looked at again: a
    // request that comes in between either sees it and ends the box's loop
    // as soon as it starts, or is seen here and leaves no box shown.
    platform_console_box_up(1);
    end_if_asked();
    // The program's box types carry Windows' own numbers.
    const int result = MessageBoxW(owner_window, wide_message.c_str(), wide_caption.c_str(), UINT(type));
    const DWORD error = GetLastError();
    end_if_asked();
    platform_console_box_up(0);
    if (result == 0) {
        SDL_SetError("MessageBoxW failed with error %lu", error);
        return -1;
    }
    // Its close button, and Escape, answer Cancel, which no box of ours has.
    *answer = result == IDOK || result == IDYES || result == IDNO ? result : -1;
    return 0;
}
