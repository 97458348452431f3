// tests/platform/num_lock_windows_test.cpp: Num Lock as Windows' own key press
// tells it, which SDL's flag may not (it counts Num Lock presses from the
// state it read when the window took the focus). System key events are
// pushed into SDL's real queue ahead of the key event SDL makes of them.
#include "platform/messages.h"
#include "platform/num_lock.h"

#include <SDL.h>
// After messages.h: windows.h then names the same message numbers as
// macros, of the same values.
#include <SDL_syswm.h>
#include <gtest/gtest.h>

#include <iterator>

namespace {

SDL_SysWMmsg key_press(UINT message, WPARAM vk, bool extended)
{
    SDL_SysWMmsg wm = {};
    SDL_VERSION(&wm.version);
    wm.subsystem = SDL_SYSWM_WINDOWS;
    wm.msg.win.msg = message;
    wm.msg.win.wParam = vk;
    wm.msg.win.lParam = LPARAM(1 | (extended ? 1 << 24 : 0));
    return wm;
}

}  // namespace

TEST(NumLock, TheKeypadsOwnCodesTellTheState)
{
    struct Case {
        UINT message;
        WPARAM vk;
        bool extended;
        int want;  // 1 on, 0 off, -1 not told
    };
    const Case cases[] = {
        {WM_KEYDOWN, VK_NUMPAD0, false, 1},   {WM_KEYDOWN, VK_NUMPAD9, false, 1},  {WM_KEYDOWN, VK_DECIMAL, false, 1},
        {WM_SYSKEYDOWN, VK_NUMPAD5, false, 1}, {WM_KEYDOWN, VK_INSERT, false, 0},  {WM_KEYDOWN, VK_END, false, 0},
        {WM_KEYDOWN, VK_CLEAR, false, 0},     {WM_KEYDOWN, VK_PRIOR, false, 0},    {WM_KEYDOWN, VK_DELETE, false, 0},
        // The navigation block's own keys, the same codes with the extended bit.
        {WM_KEYDOWN, VK_INSERT, true, -1},    {WM_KEYDOWN, VK_HOME, true, -1},     {WM_KEYDOWN, VK_UP, true, -1},
        // Releases, other keys and other messages.
        {WM_KEYUP, VK_NUMPAD3, false, -1},    {WM_KEYUP, VK_END, false, -1},       {WM_KEYDOWN, 'A', false, -1},
        {WM_KEYDOWN, VK_ADD, false, -1},      {WM_CHAR, '7', false, -1},
    };
    for (const Case& c : cases) {
        const SDL_SysWMmsg wm = key_press(c.message, c.vk, c.extended);
        EXPECT_EQ(platform_num_lock_of_press(&wm), c.want)
            << "message " << c.message << " key " << c.vk << " extended " << c.extended;
    }
    SDL_SysWMmsg other = key_press(WM_KEYDOWN, VK_NUMPAD1, false);
    other.subsystem = SDL_SYSWM_X11;
    EXPECT_EQ(platform_num_lock_of_press(&other), -1) << "another system's message";
}

TEST(NumLock, ThePressOutweighsSdlsFlag)
{
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_EVENTS), 0) << SDL_GetError();
    PlatformMessage m;
    while (platform_peek_message(&m)) {
    }
    struct Case {
        WPARAM system_vk;  // what Windows said of the press
        uint16_t sdl_mod;  // what SDL's flag says
        uint32_t want;     // the message's virtual-key code
    };
    // Keypad 1: Num Lock on gives 97, off the End key's 35. All pushed
    // first: SDL ends a poll at the events pushed after it pumped.
    const Case cases[] = {{VK_END, KMOD_NUM, 35}, {VK_NUMPAD1, KMOD_NONE, 97}};
    SDL_SysWMmsg presses[std::size(cases)];
    for (size_t i = 0; i < std::size(cases); ++i) {
        presses[i] = key_press(WM_KEYDOWN, cases[i].system_vk, false);
        SDL_Event e = {};
        e.type = SDL_SYSWMEVENT;
        e.syswm.msg = &presses[i];
        SDL_PushEvent(&e);
        e = {};
        e.type = SDL_KEYDOWN;
        e.key.keysym.scancode = SDL_SCANCODE_KP_1;
        e.key.keysym.mod = cases[i].sdl_mod;
        SDL_PushEvent(&e);
    }
    for (const Case& c : cases) {
        ASSERT_TRUE(platform_peek_message(&m)) << "system key " << c.system_vk;
        EXPECT_EQ(m.wParam, c.want) << "system key " << c.system_vk;
    }
    SDL_QuitSubSystem(SDL_INIT_EVENTS);
}
