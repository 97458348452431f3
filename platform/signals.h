// platform/signals.h: the program's answers to the requests to end it that
// come from outside its window: on Linux the terminal it was started from
// going away, the terminal's quit key, a reader that went away; on Windows a
// console's Ctrl+C, Ctrl+Break or closing, a logoff, a shutdown. UI thread.
#pragma once

// Installs the answers; call once, first thing. The terminal going away (a
// hang-up), or on Windows any of the console's events, ends the program as
// a termination request does: as a close request, status 0, the desktop's
// display mode back, no box left. A write to a reader that went away fails
// instead of ending the program. The quit key puts the desktop's display
// mode back, then ends the program as the system would have (a core dump,
// where allowed).
void platform_catch_signals();
// The platform's own waits (the message queue, a box) call this on the UI
// thread: after a quit request it does what the quit asks and never
// returns; a close request that came meanwhile goes to the message queue;
// otherwise it returns at once.
void platform_answer_signals();
