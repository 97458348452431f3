// platform/signals_posix.cpp: hang-up, quit and broken-pipe signals. The
// handlers run on whichever thread the signal finds; the rest on the UI
// thread.
#include "platform/signals.h"

#include "platform/window.h"

#include <signal.h>
#include <unistd.h>

// The display mode goes back only through X calls, which lock and allocate
// and so are not safe in a handler. The quit handler therefore only notes
// the quit; the UI thread puts the mode back at its next look at the
// message queue (a frame or a 100 ms wait away) and only then lets the
// quit's default action, the core dump, go on. The price: the core shows
// the UI thread at that look, not where the signal found it (the other
// threads are where they were). A UI thread that never looks again, hung,
// which is when one reaches for the quit key, still gets its core after
// quit_grace_seconds, from the alarm, with the mode left as it is; so does
// a second quit, at once.
constexpr unsigned quit_grace_seconds = 3;
static volatile sig_atomic_t quit_noted;  // written by the quit handler

// Async-signal-safe: the quit's own default action, now.
static void end_by_quit()
{
    signal(SIGQUIT, SIG_DFL);
    raise(SIGQUIT);
}

static void on_quit_grace_over(int)
{
    end_by_quit();
}

static void catch_signal(int number, void (*handler)(int), int flags)
{
    struct sigaction action = {};
    action.sa_handler = handler;
    action.sa_flags = flags;
    sigemptyset(&action.sa_mask);
    sigaction(number, &action, nullptr);
}

static void on_quit(int)
{
    if (quit_noted)
        end_by_quit();  // delivered at once: SA_NODEFER
    quit_noted = 1;
    // The alarm is caught only from now on: nothing else of ours sets one.
    catch_signal(SIGALRM, on_quit_grace_over, SA_RESTART);
    alarm(quit_grace_seconds);
}

// Whatever a termination request does at this moment (SDL's close request,
// or, while a box is up, taking the box down first) a hang-up does too.
static void on_hang_up(int)
{
    raise(SIGTERM);
}

// A signal the parent had ignored stays ignored: nohup keeps its word.
static void catch_unless_ignored(int number, void (*handler)(int), int flags)
{
    struct sigaction old;
    if (sigaction(number, nullptr, &old) == 0 && old.sa_handler == SIG_IGN)
        return;
    catch_signal(number, handler, flags);
}

void platform_catch_signals()
{
    catch_unless_ignored(SIGHUP, on_hang_up, SA_RESTART);
    catch_unless_ignored(SIGQUIT, on_quit, SA_RESTART | SA_NODEFER);
    // A write to a closed pipe or socket (a reader of standard error gone)
    // fails with EPIPE instead.
    signal(SIGPIPE, SIG_IGN);
}

void platform_answer_signals()
{
    if (!quit_noted)
        return;
    platform_restore_display_mode();
    end_by_quit();
}
