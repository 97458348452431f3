// tests/platform/message_box_test.cpp: real boxes on the test's X display.
// A second X connection plays the window manager and closes the box the way
// its close button would, with WM_DELETE_WINDOW.
#include "platform/message_box.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <regex>
#include <string>
#include <thread>

// After gtest: Xlib defines None, Bool and Status as macros.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

// Looks for a top-level window titled title until stop is set, and asks it
// to close once found. 1 when it did.
static int close_window_titled(const std::string& title, const std::atomic<bool>& stop)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return 0;
    int closed = 0;
    while (!closed && !stop.load()) {
        Window root = DefaultRootWindow(display), parent, *children = nullptr;
        unsigned int count = 0;
        XQueryTree(display, root, &root, &parent, &children, &count);
        for (unsigned int i = 0; i < count && !closed; ++i) {
            // The title is UTF-8, which XFetchName does not return.
            XTextProperty name = {};
            if (XGetWMName(display, children[i], &name) && name.value &&
                title == std::string(reinterpret_cast<char*>(name.value), name.nitems)) {
                XEvent e = {};
                e.xclient.type = ClientMessage;
                e.xclient.window = children[i];
                e.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
                e.xclient.format = 32;
                e.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
                e.xclient.data.l[1] = CurrentTime;
                XSendEvent(display, children[i], False, NoEventMask, &e);
                XFlush(display);
                closed = 1;
            }
            if (name.value)
                XFree(name.value);
        }
        if (children)
            XFree(children);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    XCloseDisplay(display);
    return closed;
}

TEST(MessageBox, ClosedBoxAnswersAsRefusedAndSaysNothing)
{
    if (!std::getenv("DISPLAY"))
        GTEST_SKIP() << "needs an X display (make test starts one)";
    struct Case {
        uint32_t type;
        int want;
    };
    for (Case c : {Case{MB_YESNO | MB_ICONQUESTION, IDNO}, Case{MB_OK | MB_ICONSTOP, IDOK}}) {
        std::string caption = "closed box " + std::to_string(getpid()) + " " + std::to_string(c.type);
        std::atomic<bool> answered{false};
        std::atomic<int> closed{0};
        std::thread window_manager([&] { closed = close_window_titled(caption, answered); });
        testing::internal::CaptureStderr();
        int answer = platform_message_box(nullptr, "Close me.", caption.c_str(), c.type);
        std::string err = testing::internal::GetCapturedStderr();
        answered = true;
        window_manager.join();
        EXPECT_EQ(closed.load(), 1) << "the box never appeared: " << err;
        EXPECT_EQ(answer, c.want);
        EXPECT_EQ(err, "");
    }
}

TEST(MessageBox, BoxThatCannotBeShownGoesToStandardError)
{
    const char* display = std::getenv("DISPLAY");
    std::string saved = display ? display : "";
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    testing::internal::CaptureStderr();
    EXPECT_EQ(platform_message_box(nullptr, "Program Will Now Close.", "ERROR", MB_OK | MB_ICONSTOP), IDOK);
    EXPECT_EQ(platform_message_box(nullptr, "Again?", "Q", MB_YESNO), IDNO);
    std::string err = testing::internal::GetCapturedStderr();
    if (display)
        setenv("DISPLAY", saved.c_str(), 1);
    // Per box: one line with SDL's reason, then caption and text.
    const std::regex want("message box not shown: [^\n]+\nERROR: Program Will Now Close\\.\n"
                          "message box not shown: [^\n]+\nQ: Again\\?\n");
    EXPECT_TRUE(std::regex_match(err, want)) << err;
}
