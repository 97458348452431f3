#include "platform/message_box.h"

#include <gtest/gtest.h>
#include <cstdlib>
#include <string>

TEST(MessageBox, HookTakesTheBoxAndGivesTheAnswer)
{
    static std::string seen;
    platform_set_message_box_hook([](void*, const char* text, const char* caption, uint32_t type) {
        seen = std::string(caption) + "|" + text + "|" + std::to_string(type);
        return IDYES;
    });
    EXPECT_EQ(platform_message_box(nullptr, "Question?", "Title", MB_YESNO | MB_ICONQUESTION), IDYES);
    EXPECT_EQ(seen, "Title|Question?|36");
    platform_set_message_box_hook(nullptr);
}

TEST(MessageBox, WithoutDisplayGoesToStandardError)
{
    // Headless: the box cannot be shown, so it must not block; a Yes/No box
    // answers No and an OK box answers OK.
    const char* display = std::getenv("DISPLAY");
    std::string saved = display ? display : "";
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    testing::internal::CaptureStderr();
    EXPECT_EQ(platform_message_box(nullptr, "Program Will Now Close.", "ERROR", MB_OK | MB_ICONSTOP), IDOK);
    EXPECT_EQ(platform_message_box(nullptr, "Again?", "Q", MB_YESNO), IDNO);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("ERROR: Program Will Now Close."), std::string::npos) << err;
    EXPECT_NE(err.find("Q: Again?"), std::string::npos) << err;
    if (display)
        setenv("DISPLAY", saved.c_str(), 1);
}
