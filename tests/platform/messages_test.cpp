// tests/platform/messages_test.cpp: SDL's keyboard and window events as the
// program's messages. Events are pushed into SDL's real queue; only the
// keyboard itself is stood in for.
#include "platform/messages.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <vector>

namespace {

struct Seen {
    uint32_t message;
    uintptr_t wParam;
};
std::vector<Seen> seen;  // what the test procedure received

intptr_t record_proc(PlatformWindow, uint32_t message, uintptr_t wParam, intptr_t)
{
    seen.push_back({message, wParam});
    return 7;
}

class Messages : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_EVENTS), 0) << SDL_GetError();
        platform_register_window_class(record_proc);
    }
    void SetUp() override
    {
        PlatformMessage m;
        while (platform_peek_message(&m)) {
        }
        seen.clear();
        SDL_SetModState(KMOD_NONE);
    }
};

void push_key(SDL_Scancode scancode, uint16_t mod, bool down = true, bool repeat = false)
{
    SDL_Event e = {};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.repeat = repeat;
    e.key.keysym.scancode = scancode;
    e.key.keysym.sym = SDL_GetKeyFromScancode(scancode);
    e.key.keysym.mod = mod;
    SDL_PushEvent(&e);
}

TEST_F(Messages, KeysBecomeVirtualKeyCodes)
{
    struct Case {
        SDL_Scancode key;
        uint16_t mod;
        uint32_t message;
        uintptr_t vk;
    };
    const Case cases[] = {
        {SDL_SCANCODE_ESCAPE, KMOD_NUM, WM_KEYDOWN, 27},
        {SDL_SCANCODE_KP_0, KMOD_NUM, WM_KEYDOWN, 96},
        {SDL_SCANCODE_KP_1, KMOD_NUM, WM_KEYDOWN, 97},
        {SDL_SCANCODE_KP_5, KMOD_NUM, WM_KEYDOWN, 101},
        {SDL_SCANCODE_KP_9, KMOD_NUM, WM_KEYDOWN, 105},
        {SDL_SCANCODE_KP_PLUS, KMOD_NUM, WM_KEYDOWN, 107},
        {SDL_SCANCODE_KP_MINUS, KMOD_NUM, WM_KEYDOWN, 109},
        // Num Lock off: the navigation keys printed on the keypad.
        {SDL_SCANCODE_KP_0, KMOD_NONE, WM_KEYDOWN, 45},
        {SDL_SCANCODE_KP_1, KMOD_NONE, WM_KEYDOWN, 35},
        {SDL_SCANCODE_KP_2, KMOD_NONE, WM_KEYDOWN, 40},
        {SDL_SCANCODE_KP_3, KMOD_NONE, WM_KEYDOWN, 34},
        {SDL_SCANCODE_KP_4, KMOD_NONE, WM_KEYDOWN, 37},
        {SDL_SCANCODE_KP_5, KMOD_NONE, WM_KEYDOWN, 12},
        {SDL_SCANCODE_KP_6, KMOD_NONE, WM_KEYDOWN, 39},
        {SDL_SCANCODE_KP_7, KMOD_NONE, WM_KEYDOWN, 36},
        {SDL_SCANCODE_KP_8, KMOD_NONE, WM_KEYDOWN, 38},
        {SDL_SCANCODE_KP_9, KMOD_NONE, WM_KEYDOWN, 33},
        {SDL_SCANCODE_KP_PLUS, KMOD_NONE, WM_KEYDOWN, 107},
        {SDL_SCANCODE_KP_MINUS, KMOD_NONE, WM_KEYDOWN, 109},
        {SDL_SCANCODE_F1, KMOD_NONE, WM_KEYDOWN, 112},
        {SDL_SCANCODE_F6, KMOD_NONE, WM_KEYDOWN, 117},
        {SDL_SCANCODE_0, KMOD_NUM, WM_KEYDOWN, 48},
        {SDL_SCANCODE_9, KMOD_NUM, WM_KEYDOWN, 57},
        {SDL_SCANCODE_A, KMOD_NONE, WM_KEYDOWN, 'A'},
        {SDL_SCANCODE_F4, KMOD_LALT, WM_SYSKEYDOWN, 115},
        {SDL_SCANCODE_F10, KMOD_NONE, WM_SYSKEYDOWN, 121},
    };
    // All pushed first: SDL ends a poll at the events pushed after it pumped.
    for (const Case& c : cases)
        push_key(c.key, c.mod);
    for (const Case& c : cases) {
        PlatformMessage m;
        ASSERT_TRUE(platform_peek_message(&m)) << SDL_GetScancodeName(c.key);
        EXPECT_EQ(m.message, c.message) << SDL_GetScancodeName(c.key);
        EXPECT_EQ(m.wParam, c.vk) << SDL_GetScancodeName(c.key) << " mod " << c.mod;
        EXPECT_EQ(m.lParam & 0xffff, 1) << "repeat count";
    }
}

TEST_F(Messages, RepeatsAndReleasesAndUnknownKeys)
{
    push_key(SDL_SCANCODE_KP_3, KMOD_NUM);
    push_key(SDL_SCANCODE_KP_3, KMOD_NUM, true, true);
    push_key(SDL_SCANCODE_KP_3, KMOD_NUM, false);
    push_key(SDL_SCANCODE_MUTE, KMOD_NONE);  // no code: makes no message
    PlatformMessage m;
    ASSERT_TRUE(platform_peek_message(&m));
    EXPECT_EQ(m.message, WM_KEYDOWN);
    EXPECT_FALSE(m.lParam & (1 << 30)) << "a first press has no previous state";
    ASSERT_TRUE(platform_peek_message(&m));
    EXPECT_EQ(m.message, WM_KEYDOWN) << "an auto-repeat is a key press again";
    EXPECT_TRUE(m.lParam & (1 << 30));
    ASSERT_TRUE(platform_peek_message(&m));
    EXPECT_EQ(m.message, WM_KEYUP);
    EXPECT_EQ(m.wParam, 99u);
    EXPECT_FALSE(platform_peek_message(&m));
    EXPECT_EQ(m.message, WM_KEYUP) << "an empty queue leaves the record alone";
}

TEST_F(Messages, QuitComesLastAndCloseRequestsBecomeWmClose)
{
    platform_post_quit_message(42);
    push_key(SDL_SCANCODE_F3, KMOD_NONE);
    SDL_Event e = {};
    e.type = SDL_WINDOWEVENT;
    e.window.event = SDL_WINDOWEVENT_CLOSE;
    SDL_PushEvent(&e);
    e = {};
    e.type = SDL_QUIT;  // a termination signal
    SDL_PushEvent(&e);

    std::vector<uint32_t> order;
    PlatformMessage m;
    while (platform_peek_message(&m))
        order.push_back(m.message);
    EXPECT_EQ(order, (std::vector<uint32_t>{WM_KEYDOWN, WM_CLOSE, WM_CLOSE, WM_QUIT}));
    EXPECT_EQ(m.wParam, 42u);
    EXPECT_FALSE(platform_peek_message(&m)) << "the quit message is taken once";
}

TEST_F(Messages, TranslateDispatchSendAndDefaultProcessing)
{
    struct Case {
        SDL_Scancode key;
        uint16_t mod;
        uintptr_t character;  // 0: no character message
    };
    const Case cases[] = {
        {SDL_SCANCODE_KP_7, KMOD_NUM, '7'}, {SDL_SCANCODE_KP_7, KMOD_NONE, 0}, {SDL_SCANCODE_KP_PLUS, KMOD_NONE, '+'},
        {SDL_SCANCODE_A, KMOD_NONE, 'a'},   {SDL_SCANCODE_A, KMOD_LSHIFT, 'A'}, {SDL_SCANCODE_ESCAPE, KMOD_NONE, 27},
        {SDL_SCANCODE_F1, KMOD_NONE, 0},    {SDL_SCANCODE_2, KMOD_LSHIFT, '@'},
    };
    for (const Case& c : cases) {
        SDL_SetModState(SDL_Keymod(c.mod));
        push_key(c.key, c.mod);
        PlatformMessage m;
        ASSERT_TRUE(platform_peek_message(&m));
        EXPECT_EQ(platform_translate_message(&m), c.character ? 1 : 0) << SDL_GetScancodeName(c.key);
        EXPECT_EQ(platform_dispatch_message(&m), 7);
        if (c.character) {
            ASSERT_TRUE(platform_peek_message(&m)) << "the character comes right after its key";
            EXPECT_EQ(m.message, WM_CHAR);
            EXPECT_EQ(m.wParam, c.character) << SDL_GetScancodeName(c.key);
        }
        EXPECT_FALSE(platform_peek_message(&m));
    }

    seen.clear();
    EXPECT_EQ(platform_send_message(nullptr, WM_KEYDOWN, 99, 1), 7);
    // Alt+F4 left to the system asks the window to close; other keys do nothing.
    EXPECT_EQ(platform_def_window_proc(nullptr, WM_SYSKEYDOWN, VK_F4, 1), 7);
    EXPECT_EQ(platform_def_window_proc(nullptr, WM_KEYDOWN, VK_F4, 1), 0);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].message, WM_KEYDOWN);
    EXPECT_EQ(seen[1].message, WM_CLOSE);
    EXPECT_EQ(platform_register_window_class(record_proc), 0) << "one class only";
}

}  // namespace
