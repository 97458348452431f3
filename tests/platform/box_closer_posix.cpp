// tests/platform/box_closer_posix.cpp: boxes on the test's X display. A second
// X connection plays the window manager and closes a box the way its close
// button does, with WM_DELETE_WINDOW. Test thread.
#include "tests/platform/box_closer.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

// Last: Xlib defines None, Bool and Status as macros.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

const char* boxes_unseen()
{
    return std::getenv("DISPLAY") ? nullptr : "needs an X display (make test starts one)";
}

// Asks the top-level window titled title to close as soon as it appears. 1
// when it did.
static int close_window_titled(const std::string& title)
{
    Display* display = XOpenDisplay(nullptr);
    int closed = 0;
    for (int tries = 0; display && !closed && tries < 3000; ++tries) {
        Window root, parent, *children = nullptr;
        unsigned int count = 0;
        XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count);
        for (unsigned int i = 0; i < count && !closed; ++i) {
            XTextProperty name = {};  // UTF-8, which XFetchName does not return
            if (XGetWMName(display, children[i], &name) && name.value &&
                title == std::string(reinterpret_cast<char*>(name.value), name.nitems)) {
                XEvent e = {};
                Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
                e.xclient = {ClientMessage, 0, True, display, children[i], protocols, 32, {}};
                e.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
                closed = XSendEvent(display, children[i], False, NoEventMask, &e) && XFlush(display);
            }
            XFree(name.value);
        }
        XFree(children);
        usleep(20000);
    }
    if (display)
        XCloseDisplay(display);
    return closed;
}

// A process of its own, not a thread: SDL forks to show the box, and a fork
// while another thread holds Xlib's lock deadlocks the child.
intptr_t start_closing_box(const std::string& title)
{
    const pid_t window_manager = fork();
    if (window_manager == 0)
        _exit(close_window_titled(title) ? 0 : 1);
    return window_manager;
}

int finish_closing_box(intptr_t closer)
{
    int status = 0;
    waitpid(pid_t(closer), &status, 0);
    return status == 0;
}
