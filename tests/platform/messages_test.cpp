// tests/platform/messages_test.cpp: SDL's keyboard and window events as the
// program's messages. Events are pushed into SDL's real queue; only the
// keyboard itself is stood in for.
#include "platform/messages.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<uint32_t> seen;  // the messages the test procedure received

intptr_t record_proc(PlatformWindow, uint32_t message, uintptr_t, intptr_t)
{
    seen.push_back(message);
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
    e.key.repeat = repeat;
    e.key.keysym.scancode = scancode;
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
    std::vector<Case> cases = {
        {SDL_SCANCODE_ESCAPE, 0, WM_KEYDOWN, 27},         {SDL_SCANCODE_F1, 0, WM_KEYDOWN, 112},
        {SDL_SCANCODE_A, 0, WM_KEYDOWN, 'A'},             {SDL_SCANCODE_F4, KMOD_LALT, WM_SYSKEYDOWN, 115},
        {SDL_SCANCODE_F10, 0, WM_SYSKEYDOWN, 121},
    };
    // The keypad, 1 to 9 then 0: with Num Lock its digits, without it the
    // navigation keys printed on it. Plus and minus keep their codes.
    const SDL_Scancode pad[] = {SDL_SCANCODE_KP_1, SDL_SCANCODE_KP_2, SDL_SCANCODE_KP_3, SDL_SCANCODE_KP_4,
                                SDL_SCANCODE_KP_5, SDL_SCANCODE_KP_6, SDL_SCANCODE_KP_7, SDL_SCANCODE_KP_8,
                                SDL_SCANCODE_KP_9, SDL_SCANCODE_KP_0, SDL_SCANCODE_KP_PLUS, SDL_SCANCODE_KP_MINUS};
    const uintptr_t with_num_lock[] = {97, 98, 99, 100, 101, 102, 103, 104, 105, 96, 107, 109};
    const uintptr_t without[] = {35, 40, 34, 37, 12, 39, 36, 38, 33, 45, 107, 109};
    // The main keyboard's top row, 1 to 9, 0, minus and equals, stands in
    // for the keypad with Num Lock on, whatever Num Lock says.
    const SDL_Scancode top_row[] = {SDL_SCANCODE_1, SDL_SCANCODE_2, SDL_SCANCODE_3, SDL_SCANCODE_4,
                                    SDL_SCANCODE_5, SDL_SCANCODE_6, SDL_SCANCODE_7, SDL_SCANCODE_8,
                                    SDL_SCANCODE_9, SDL_SCANCODE_0, SDL_SCANCODE_EQUALS, SDL_SCANCODE_MINUS};
    for (int i = 0; i < 12; ++i) {
        cases.push_back({pad[i], KMOD_NUM, WM_KEYDOWN, with_num_lock[i]});
        cases.push_back({pad[i], KMOD_NONE, WM_KEYDOWN, without[i]});
        cases.push_back({top_row[i], KMOD_NONE, WM_KEYDOWN, with_num_lock[i]});
        cases.push_back({top_row[i], KMOD_NUM, WM_KEYDOWN, with_num_lock[i]});
    }
    // All pushed first: SDL ends a poll at the events pushed after it pumped.
    for (const Case& c : cases)
        push_key(c.key, c.mod);
    for (const Case& c : cases) {
        PlatformMessage m;
        ASSERT_TRUE(platform_peek_message(&m)) << "case " << SDL_GetScancodeName(c.key) << " mod " << c.mod;
        EXPECT_EQ(m.message, c.message) << "case " << SDL_GetScancodeName(c.key) << " mod " << c.mod;
        EXPECT_EQ(m.wParam, c.vk) << "case " << SDL_GetScancodeName(c.key) << " mod " << c.mod;
        EXPECT_EQ(m.lParam & 0xffff, 1) << "case " << SDL_GetScancodeName(c.key) << ": the repeat count";
    }
}

TEST_F(Messages, RepeatsReleasesQuitAndCloseRequests)
{
    platform_post_quit_message(42);
    push_key(SDL_SCANCODE_KP_3, KMOD_NUM);
    push_key(SDL_SCANCODE_KP_3, KMOD_NUM, true, true);
    push_key(SDL_SCANCODE_KP_3, KMOD_NUM, false);
    push_key(SDL_SCANCODE_MUTE, KMOD_NONE);  // no code: makes no message
    SDL_Event e = {};
    e.type = SDL_WINDOWEVENT;
    e.window.event = SDL_WINDOWEVENT_CLOSE;
    SDL_PushEvent(&e);
    e = {};
    e.type = SDL_QUIT;  // a termination signal
    SDL_PushEvent(&e);

    std::vector<uint32_t> order;
    std::vector<bool> repeat_bit;
    PlatformMessage m;
    while (platform_peek_message(&m)) {
        order.push_back(m.message);
        repeat_bit.push_back(m.lParam & (1 << 30));
    }
    EXPECT_EQ(order, (std::vector<uint32_t>{WM_KEYDOWN, WM_KEYDOWN, WM_KEYUP, WM_CLOSE, WM_CLOSE, WM_QUIT}))
        << "an auto-repeat is a key press again; the quit message comes last";
    EXPECT_EQ(repeat_bit, (std::vector<bool>{false, true, true, false, false, false})) << "a repeat's and a release's";
    EXPECT_EQ(m.wParam, 42u) << "the quit message's code";
    EXPECT_FALSE(platform_peek_message(&m)) << "the quit message is taken once";
    EXPECT_EQ(m.message, WM_QUIT) << "an empty queue leaves the record alone";
}

TEST_F(Messages, DispatchSendAndDefaultProcessing)
{
    // The characters translation adds (WM_CHAR) are read by nothing in the
    // program: what counts is that a key reaches the procedure once.
    push_key(SDL_SCANCODE_F1, KMOD_NONE);
    PlatformMessage m;
    ASSERT_TRUE(platform_peek_message(&m));
    EXPECT_EQ(platform_translate_message(&m), 0) << "F1 makes no character";
    EXPECT_EQ(platform_dispatch_message(&m), 7) << "the procedure's answer";
    EXPECT_FALSE(platform_peek_message(&m)) << "one message for one key";

    seen.clear();
    EXPECT_EQ(platform_send_message(nullptr, WM_KEYDOWN, 99, 1), 7) << "the procedure's answer";
    // Alt+F4 left to the system asks the window to close; other keys do nothing.
    EXPECT_EQ(platform_def_window_proc(nullptr, WM_SYSKEYDOWN, VK_F4, 1), 7);
    EXPECT_EQ(platform_def_window_proc(nullptr, WM_KEYDOWN, VK_F4, 1), 0);
    EXPECT_EQ(seen, (std::vector<uint32_t>{WM_KEYDOWN, WM_CLOSE})) << "the sent key, then Alt+F4's close request";
    EXPECT_EQ(platform_register_window_class(record_proc), 0) << "one class only";
}

}  // namespace
