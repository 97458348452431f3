// platform/messages.cpp: the message queue over SDL's event queue. UI thread.
#include "platform/messages.h"

#include "platform/audio_device.h"
#include "platform/num_lock.h"
#include "platform/signals.h"

#include <SDL.h>

namespace {

constexpr int posted_capacity = 64;

// Virtual-key codes by SDL scancode, for keys whose code does not depend on
// Num Lock. 0: no code, the key gives no message.
struct FixedKey {
    SDL_Scancode scancode;
    uint8_t vk;
};

constexpr FixedKey fixed_keys[] = {
    {SDL_SCANCODE_BACKSPACE, 8},    {SDL_SCANCODE_TAB, 9},           {SDL_SCANCODE_RETURN, 13},
    {SDL_SCANCODE_LSHIFT, 16},      {SDL_SCANCODE_RSHIFT, 16},       {SDL_SCANCODE_LCTRL, 17},
    {SDL_SCANCODE_RCTRL, 17},       {SDL_SCANCODE_LALT, 18},         {SDL_SCANCODE_RALT, 18},
    {SDL_SCANCODE_PAUSE, 19},       {SDL_SCANCODE_CAPSLOCK, 20},     {SDL_SCANCODE_ESCAPE, VK_ESCAPE},
    {SDL_SCANCODE_SPACE, 32},       {SDL_SCANCODE_PAGEUP, 33},       {SDL_SCANCODE_PAGEDOWN, 34},
    {SDL_SCANCODE_END, 35},         {SDL_SCANCODE_HOME, 36},         {SDL_SCANCODE_LEFT, 37},
    {SDL_SCANCODE_UP, 38},          {SDL_SCANCODE_RIGHT, 39},        {SDL_SCANCODE_DOWN, 40},
    {SDL_SCANCODE_PRINTSCREEN, 44}, {SDL_SCANCODE_INSERT, 45},       {SDL_SCANCODE_DELETE, 46},
    {SDL_SCANCODE_LGUI, 91},        {SDL_SCANCODE_RGUI, 92},         {SDL_SCANCODE_APPLICATION, 93},
    {SDL_SCANCODE_KP_MULTIPLY, 106}, {SDL_SCANCODE_KP_PLUS, VK_ADD},    {SDL_SCANCODE_KP_MINUS, VK_SUBTRACT},
    {SDL_SCANCODE_KP_DIVIDE, 111},  {SDL_SCANCODE_KP_ENTER, 13},     {SDL_SCANCODE_NUMLOCKCLEAR, 144},
    {SDL_SCANCODE_SCROLLLOCK, 145}, {SDL_SCANCODE_SEMICOLON, 186},   {SDL_SCANCODE_COMMA, 188},
    {SDL_SCANCODE_PERIOD, 190},     {SDL_SCANCODE_SLASH, 191},       {SDL_SCANCODE_GRAVE, 192},
    {SDL_SCANCODE_LEFTBRACKET, 219}, {SDL_SCANCODE_BACKSLASH, 220},  {SDL_SCANCODE_RIGHTBRACKET, 221},
    {SDL_SCANCODE_APOSTROPHE, 222},
};

// Keypad 1..9, 0 and the decimal point: with Num Lock on, 97..105, 96 and
// 110; with it off, the navigation keys printed on them.
constexpr uint8_t keypad_numlock_off[] = {35, 40, 34, 37, 12, 39, 36, 38, 33, 45, 46};

PlatformWindowProc window_proc_of_class;  // the registered class's procedure

// Num Lock as the system (the X server, Windows) had it when the key being
// turned into a message was pressed, from that press's own event; -1 when
// the key came some other way. SDL's own flag counts Num Lock presses from the state it read when
// the window took the focus, so a press still queued at that moment counts
// twice and the keypad reads the other way for the rest of the run.
int num_lock_of_press = -1;
bool system_events_on;

// Messages this program posted (translate's characters), oldest first.
PlatformMessage posted[posted_capacity];
int posted_first, posted_count;
bool quit_posted;
int quit_code;

uint32_t virtual_key(const SDL_Keysym& key)
{
    SDL_Scancode s = key.scancode;
    if (s >= SDL_SCANCODE_A && s <= SDL_SCANCODE_Z)
        return 'A' + (s - SDL_SCANCODE_A);
    // Most laptops have no keypad: the main keyboard's top row stands in for
    // it, by place, whatever the layout prints on the keys. 0-9 are keypad
    // 0-9 with Num Lock on, the key right of 0 keypad minus, the next one
    // (which carries plus) keypad plus.
    if (s >= SDL_SCANCODE_1 && s <= SDL_SCANCODE_9)
        return VK_NUMPAD0 + 1 + (s - SDL_SCANCODE_1);
    if (s == SDL_SCANCODE_0)
        return VK_NUMPAD0;
    if (s == SDL_SCANCODE_MINUS)
        return VK_SUBTRACT;
    if (s == SDL_SCANCODE_EQUALS)
        return VK_ADD;
    if (s >= SDL_SCANCODE_F1 && s <= SDL_SCANCODE_F12)
        return VK_F1 + (s - SDL_SCANCODE_F1);
    if (s >= SDL_SCANCODE_KP_1 && s <= SDL_SCANCODE_KP_PERIOD) {
        int i = s - SDL_SCANCODE_KP_1;  // 1..9, 0, point
        const bool num_lock = num_lock_of_press >= 0 ? num_lock_of_press : (key.mod & KMOD_NUM);
        if (!num_lock)
            return keypad_numlock_off[i];
        return i < 9 ? VK_NUMPAD0 + 1 + i : i == 9 ? VK_NUMPAD0 : 110;
    }
    for (const FixedKey& k : fixed_keys)
        if (k.scancode == s)
            return k.vk;
    return 0;
}

// The character a key message gives, or 0: what Windows' translation gives
// for the keys of a US layout.
uint32_t key_character(uint32_t vk, uint16_t mod)
{
    const bool shift = mod & KMOD_SHIFT;
    if (vk >= 'A' && vk <= 'Z') {
        if (mod & KMOD_CTRL)
            return vk - 'A' + 1;
        return (shift != bool(mod & KMOD_CAPS)) ? vk : vk - 'A' + 'a';
    }
    if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD0 + 9)
        return '0' + (vk - VK_NUMPAD0);
    switch (vk) {
    case 8: case 9: case 13: case VK_ESCAPE: case 32: return vk;
    case 106: return '*';
    case VK_ADD: return '+';
    case VK_SUBTRACT: return '-';
    case 110: return '.';
    case 111: return '/';
    default: return 0;
    }
}

// One SDL event as a message; false for events that make none.
bool message_from_event(const SDL_Event& e, PlatformMessage* msg)
{
    *msg = {};
    msg->time = e.common.timestamp;
    switch (e.type) {
    case SDL_SYSWMEVENT:
        // SDL hands the system's own key press over just before the key
        // event it makes of it.
        if (const int num_lock = platform_num_lock_of_press(e.syswm.msg); num_lock >= 0)
            num_lock_of_press = num_lock;
        return false;
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        uint32_t vk = virtual_key(e.key.keysym);
        num_lock_of_press = -1;  // a later key brings its own, or none
        if (!vk)
            return false;
        // Alt makes a system key, and F10 is one on its own.
        const bool sys = (e.key.keysym.mod & KMOD_ALT) || vk == VK_F1 + 9;
        const bool down = e.type == SDL_KEYDOWN;
        msg->window = SDL_GetWindowFromID(e.key.windowID);
        msg->message = down ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys ? WM_SYSKEYUP : WM_KEYUP);
        msg->wParam = vk;
        // Repeat count 1; bit 29 context (Alt); bit 30 previous key state
        // (set for an auto-repeat and every release); bit 31 released.
        uint32_t l = 1;
        if (e.key.keysym.mod & KMOD_ALT)
            l |= 1u << 29;
        if (e.key.repeat || !down)
            l |= 1u << 30;
        if (!down)
            l |= 1u << 31;
        msg->lParam = intptr_t(int32_t(l));
        return true;
    }
    case SDL_WINDOWEVENT:
        if (e.window.event != SDL_WINDOWEVENT_CLOSE)
            return false;
        msg->window = SDL_GetWindowFromID(e.window.windowID);
        msg->message = WM_CLOSE;
        return true;
    case SDL_AUDIODEVICEREMOVED:
        // No message of its own: the engine asks the device whether it is lost.
        platform_audio_device_removed(e.adevice.which, e.adevice.iscapture);
        return false;
    case SDL_QUIT:
        // SDL turns SIGINT and SIGTERM into this (the last window's close
        // request is turned off in window.cpp): a close request too.
        msg->message = WM_CLOSE;
        return true;
    default:
        return false;
    }
}

void post(const PlatformMessage& m)
{
    if (posted_count == posted_capacity)
        return;  // as on Windows, a full queue drops the post
    posted[(posted_first + posted_count++) % posted_capacity] = m;
}

}  // namespace

int platform_register_window_class(PlatformWindowProc proc)
{
    if (window_proc_of_class || !proc)
        return 0;
    window_proc_of_class = proc;
    return 1;
}

int platform_peek_message(PlatformMessage* msg)
{
    platform_answer_signals();
    if (posted_count) {
        *msg = posted[posted_first];
        posted_first = (posted_first + 1) % posted_capacity;
        --posted_count;
        return 1;
    }
    if (SDL_WasInit(SDL_INIT_EVENTS)) {
        // Before the first pump: every key press then comes with the
        // system's own record of it, and so with its Num Lock state.
        if (!system_events_on) {
            SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
            system_events_on = true;
        }
        // Events that make no message are dropped; *msg keeps the last one.
        SDL_Event e;
        PlatformMessage m;
        while (SDL_PollEvent(&e))
            if (message_from_event(e, &m)) {
                // Asked of the X server: only for the events that make a message.
                SDL_GetGlobalMouseState(&m.x, &m.y);
                *msg = m;
                return 1;
            }
    }
    if (quit_posted) {
        quit_posted = false;
        *msg = {};
        msg->message = WM_QUIT;
        msg->wParam = uintptr_t(intptr_t(quit_code));
        msg->time = uint32_t(SDL_GetTicks64());
        return 1;
    }
    return 0;
}

void platform_wait_message(uint32_t timeout_ms)
{
    if (posted_count || quit_posted)
        return;
    if (SDL_WasInit(SDL_INIT_EVENTS))
        SDL_WaitEventTimeout(nullptr, int(timeout_ms));
}

int platform_translate_message(const PlatformMessage* msg)
{
    if (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN)
        return 0;
    uint32_t ch = key_character(uint32_t(msg->wParam), uint16_t(SDL_GetModState()));
    if (!ch)
        return 0;
    PlatformMessage m = *msg;
    m.message = msg->message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR;
    m.wParam = ch;
    post(m);
    return 1;
}

intptr_t platform_dispatch_message(const PlatformMessage* msg)
{
    if (!window_proc_of_class || msg->message == WM_QUIT)
        return 0;
    return window_proc_of_class(msg->window, msg->message, msg->wParam, msg->lParam);
}

intptr_t platform_send_message(PlatformWindow window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    if (!window_proc_of_class)
        return 0;
    return window_proc_of_class(window, message, wParam, lParam);
}

void platform_post_quit_message(int code)
{
    quit_posted = true;
    quit_code = code;
}

intptr_t platform_def_window_proc(PlatformWindow window, uint32_t message, uintptr_t wParam, intptr_t)
{
    if (message == WM_SYSKEYDOWN && wParam == VK_F4)
        return platform_send_message(window, WM_CLOSE, 0, 0);
    return 0;
}
