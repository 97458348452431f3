// platform/signals_windows.cpp: a console's Ctrl+C, Ctrl+Break and closing,
// a logoff and a shutdown, all close requests. The handler runs on a thread
// the system starts for each event; the rest on the UI thread.
#include "platform/signals.h"
#include "platform/signals_windows.h"

#include <SDL.h>
#include <windows.h>

#include <atomic>

static std::atomic<int> close_asked;  // set by the handler, for good
static std::atomic<DWORD> box_thread;  // the UI thread while it shows a box, else 0
static bool quit_pushed;               // UI thread: the close request is in SDL's queue

// Installed once and never removed: removing it while an event's thread
// runs the handlers waits for that thread, which may never return.
static BOOL WINAPI on_console_event(DWORD type)
{
    const bool ends_process = type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT;
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && !ends_process)
        return FALSE;
    close_asked.store(1);
    // A box's dialog loop ends at its thread's quit message.
    if (const DWORD thread = box_thread.load())
        PostThreadMessageW(thread, WM_QUIT, 0, 0);
    // After a close, logoff or shutdown the system ends the process as soon
    // as this returns (or a few seconds on): the UI thread ends it first,
    // and this thread with it.
    if (ends_process)
        Sleep(INFINITE);
    return TRUE;
}

void platform_catch_signals()
{
    SetConsoleCtrlHandler(on_console_event, TRUE);
}

// Windows has no quit key: the only request to answer here is a close,
// handed to SDL's queue once as the quit event SDL makes of SIGINT and
// SIGTERM elsewhere, which the message pump turns into WM_CLOSE. Until
// SDL's events are up it waits.
void platform_answer_signals()
{
    if (!close_asked.load() || quit_pushed || !SDL_WasInit(SDL_INIT_EVENTS))
        return;
    SDL_Event e = {};
    e.type = SDL_QUIT;
    quit_pushed = SDL_PushEvent(&e) == 1;
}

void platform_console_box_up(int up)
{
    box_thread.store(up ? GetCurrentThreadId() : 0);
}

int platform_console_close_asked()
{
    return close_asked.load();
}
