// tests/platform/message_box_test.cpp: real boxes on the test's X display.
// A second X connection plays the window manager and closes a box the way
// its close button does, with WM_DELETE_WINDOW.
#include "platform/message_box.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdlib>
#include <regex>
#include <string>

// After gtest: Xlib defines None, Bool and Status as macros.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

// Asks the top-level window titled title to close as soon as it appears,
// looking for a minute at most (a loaded machine is slow to show it). 1
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

TEST(MessageBox, ClosedBoxAnswersAsRefusedAndSaysNothing)
{
    if (!std::getenv("DISPLAY"))
        GTEST_SKIP() << "needs an X display (make test starts one)";
    for (auto [type, refused] : {std::pair{MB_YESNO | MB_ICONQUESTION, IDNO}, std::pair{MB_OK | MB_ICONSTOP, IDOK}}) {
        std::string caption = "closed box " + std::to_string(getpid()) + " " + std::to_string(type);
        // A process of its own, not a thread: SDL forks to show the box, and
        // a fork while another thread holds Xlib's lock deadlocks the child.
        pid_t window_manager = fork();
        if (window_manager == 0)
            _exit(close_window_titled(caption) ? 0 : 1);
        testing::internal::CaptureStderr();
        EXPECT_EQ(platform_message_box(nullptr, "Close me.", caption.c_str(), type), refused) << caption;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << caption;
        int status = 0;
        waitpid(window_manager, &status, 0);
        EXPECT_EQ(status, 0) << caption << ": the box never appeared";
    }
}

TEST(MessageBox, BoxThatCannotBeShownGoesToStandardError)
{
    std::string display = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    testing::internal::CaptureStderr();
    EXPECT_EQ(platform_message_box(nullptr, "Program Will Now Close.", "ERROR", MB_OK | MB_ICONSTOP), IDOK) << "OK box";
    EXPECT_EQ(platform_message_box(nullptr, "Again?", "Q", MB_YESNO), IDNO) << "yes/no box";
    std::string err = testing::internal::GetCapturedStderr();
    if (!display.empty())
        setenv("DISPLAY", display.c_str(), 1);
    // Per box, one line with SDL's reason, then caption and text.
    EXPECT_TRUE(std::regex_match(err, std::regex("message box not shown: [^\n]+\nERROR: Program Will Now Close\\.\n"
                                                 "message box not shown: [^\n]+\nQ: Again\\?\n")))
        << err;
}
