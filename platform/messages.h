// platform/messages.h: the window message queue, in Windows' numbers
// (message codes, virtual-key codes): the program's exit statuses are key
// codes, so the numbers are kept. SDL events become messages here. UI
// thread only.
#pragma once
#include <cstdint>

// Message numbers.
constexpr uint32_t WM_CLOSE = 0x0010;       // the window manager asks the window to close
constexpr uint32_t WM_QUIT = 0x0012;        // posted quit; wParam is its code
constexpr uint32_t WM_KEYDOWN = 0x0100;     // wParam: virtual-key code; every auto-repeat too
constexpr uint32_t WM_KEYUP = 0x0101;
constexpr uint32_t WM_CHAR = 0x0102;        // from translate: wParam is the character
constexpr uint32_t WM_SYSKEYDOWN = 0x0104;  // a key pressed with Alt held, and F10
constexpr uint32_t WM_SYSKEYUP = 0x0105;
constexpr uint32_t WM_SYSCHAR = 0x0106;

// Virtual-key codes the program and its tools name.
constexpr uint32_t VK_ESCAPE = 27;
constexpr uint32_t VK_NUMPAD0 = 96;  // keypad 0 to 9 are 96 to 105 with Num Lock on
constexpr uint32_t VK_ADD = 107;       // keypad plus
constexpr uint32_t VK_SUBTRACT = 109;  // keypad minus
constexpr uint32_t VK_F1 = 112;        // F1 to F12 are 112 to 123
constexpr uint32_t VK_F2 = 113;
constexpr uint32_t VK_F3 = 114;
constexpr uint32_t VK_F4 = 115;
constexpr uint32_t VK_F5 = 116;
constexpr uint32_t VK_F6 = 117;

// An opaque window handle (null: none).
using PlatformWindow = void*;

// One message record: window, message number, wParam, lParam, time (ms of
// the platform tick counter) and the cursor's screen position.
struct PlatformMessage {
    PlatformWindow window;
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
    uint32_t time;
    int32_t x, y;
};

// A window procedure: window, message, wParam, lParam; its answer.
using PlatformWindowProc = intptr_t (*)(PlatformWindow window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// Registers the procedure of the program's one window class. 1, or 0 when
// a class is already registered.
int platform_register_window_class(PlatformWindowProc proc);

// Takes the next message off the queue if there is one, never waiting: 1
// with the message in *msg, 0 when the queue is empty. Messages posted by
// this program come first, then input in arrival order; the quit message
// comes only once nothing else is waiting, as it does on Windows.
//
// Keys: each press, auto-repeats included, is WM_KEYDOWN (WM_SYSKEYDOWN
// with Alt held) with its virtual-key code; lParam holds a repeat count of
// 1, and bit 30 is set for an auto-repeat. With Num Lock off the keypad
// digits give the navigation codes (Insert, End, Down, Page Down, Left,
// Clear, Right, Home, Up, Page Up), keypad plus and minus keep theirs.
// The main keyboard's top row stands in for the keypad, by the keys'
// places and whatever Num Lock says: 0-9 give keypad 0-9's codes, the key
// right of 0 keypad minus's, the one right of that keypad plus's. A close
// request from the window manager, or an interrupt, termination or hang-up
// signal (on Windows, a console's events), is WM_CLOSE; after a quit signal
// this does not return (platform/signals.h).
int platform_peek_message(PlatformMessage* msg);
// Waits until a message may be waiting, at most timeout_ms milliseconds;
// for a loop with nothing to draw.
void platform_wait_message(uint32_t timeout_ms);
// Posts the character message of a key press (WM_CHAR, or WM_SYSCHAR with
// Alt) for keys that give one. 1 when a message was posted.
int platform_translate_message(const PlatformMessage* msg);
// Hands the message to the window procedure; its answer (0 when none is
// registered).
intptr_t platform_dispatch_message(const PlatformMessage* msg);
// Calls the window procedure directly, nested in the caller, and returns
// its answer: the message is not queued.
intptr_t platform_send_message(PlatformWindow window, uint32_t message, uintptr_t wParam, intptr_t lParam);
// Posts the quit message with code as its wParam.
void platform_post_quit_message(int code);
// What the system does with a message the procedure leaves alone: Alt+F4
// (WM_SYSKEYDOWN) sends WM_CLOSE; everything else answers 0.
intptr_t platform_def_window_proc(PlatformWindow window, uint32_t message, uintptr_t wParam, intptr_t lParam);
