// tests/platform/signals_windows_test.cpp: a console's events, delivered as
// Windows delivers them (the system's console routine run on a thread of
// its own in the process), end the program as a close request does: a
// WM_CLOSE in the queue, or, while a box is up, the box taken down and
// status 0. Each case runs in a process of its own: the answers, once
// installed, stay for the process's life.
#include "platform/message_box.h"
#include "platform/messages.h"
#include "platform/signals.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

// After platform/'s headers: windows.h then names the same numbers as
// macros, of the same values.
#include <windows.h>

namespace {

// Runs the console's routine with event in this process, as the console
// does; waits for it only when asked (after a close it never returns).
void deliver(DWORD event, bool wait)
{
    const auto routine = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernelbase.dll"), "CtrlRoutine")));
    const HANDLE thread = CreateThread(nullptr, 0, routine, reinterpret_cast<void*>(uintptr_t(event)), 0, nullptr);
    if (wait)
        WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
}

// The console's event as the box comes up: a thread looks for the box's
// window by its caption, then delivers it. One box a process.
DWORD box_event;
std::string box_caption;

void deliver_to_box(DWORD event, const std::string& caption)
{
    box_event = event;
    box_caption = caption;
    const auto look = [](void*) -> DWORD {
        while (!FindWindowA(nullptr, box_caption.c_str()))
            Sleep(20);  // paces the looks only
        deliver(box_event, false);
        return 0;
    };
    CloseHandle(CreateThread(nullptr, 0, look, nullptr, 0, nullptr));
}

// Two events with no box up, then what the queue holds over three passes
// of the main loop's peeking, on standard error.
void two_events_then_the_queue(DWORD event)
{
    platform_catch_signals();
    SDL_InitSubSystem(SDL_INIT_EVENTS);
    deliver(event, true);
    deliver(event, true);
    PlatformMessage m;
    int closes = 0;
    int others = 0;
    for (int pass = 0; pass < 3; ++pass)
        while (platform_peek_message(&m))
            (m.message == WM_CLOSE ? closes : others)++;
    std::fprintf(stderr, "%d closes, %d others", closes, others);
    std::exit(0);
}

// The event while a box is up (before: ahead of the box); a box that
// returns ends the process with status 3.
void event_and_box(DWORD event, bool before)
{
    const std::string caption = "console event " + std::to_string(event);
    platform_catch_signals();
    if (before)
        deliver(event, true);
    else
        deliver_to_box(event, caption);
    platform_message_box(nullptr, "Wait for the console.", caption.c_str(), MB_YESNO);
    std::fprintf(stderr, "the box returned");
    std::exit(3);
}

const DWORD events[] = {CTRL_C_EVENT, CTRL_BREAK_EVENT, CTRL_CLOSE_EVENT, CTRL_LOGOFF_EVENT, CTRL_SHUTDOWN_EVENT};

}  // namespace

TEST(ConsoleEventsDeathTest, WithNoBoxUpEachIsOneCloseRequestInTheQueue)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The events that end the process once the handler returns stay in it
    // for good; these come back at once.
    for (DWORD event : {CTRL_C_EVENT, CTRL_BREAK_EVENT})
        EXPECT_EXIT(two_events_then_the_queue(event), testing::ExitedWithCode(0), "^1 closes, 0 others$")
            << "event " << event;
}

TEST(ConsoleEventsDeathTest, EachTakesABoxDownAndEndsTheProgramWithStatusZero)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (DWORD event : events) {
        EXPECT_EXIT(event_and_box(event, false), testing::ExitedWithCode(0), "^$") << "event " << event;
        // One that came before a box leaves no box at all. (Only those
        // whose handler comes back can be known to have come.)
        if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
            EXPECT_EXIT(event_and_box(event, true), testing::ExitedWithCode(0), "^$")
                << "event " << event << " before the box";
        }
    }
}
