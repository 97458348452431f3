// tests/platform/message_box_test.cpp: real boxes on the test's display,
// closed from outside as their close button closes them, and boxes that
// cannot be shown.
#include "platform/message_box.h"
#include "tests/platform/box_closer.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <regex>
#include <string>

TEST(MessageBox, ClosedBoxAnswersAsRefusedAndSaysNothing)
{
    if (const char* why = boxes_unseen())
        GTEST_SKIP() << why;
    for (auto [type, refused] : {std::pair{MB_YESNO | MB_ICONQUESTION, IDNO}, std::pair{MB_OK | MB_ICONSTOP, IDOK}}) {
        std::string caption = "closed box " + std::to_string(getpid()) + " " + std::to_string(type);
        const intptr_t window_manager = start_closing_box(caption);
        testing::internal::CaptureStderr();
        EXPECT_EQ(platform_message_box(nullptr, "Close me.", caption.c_str(), type), refused) << caption;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << caption;
        EXPECT_EQ(finish_closing_box(window_manager), 1) << caption << ": the box never appeared";
    }
}

TEST(MessageBox, BoxThatCannotBeShownGoesToStandardError)
{
    if (const char* why = take_display_away())
        GTEST_SKIP() << why;
    testing::internal::CaptureStderr();
    EXPECT_EQ(platform_message_box(nullptr, "Program Will Now Close.", "ERROR", MB_OK | MB_ICONSTOP), IDOK) << "OK box";
    EXPECT_EQ(platform_message_box(nullptr, "Again?", "Q", MB_YESNO), IDNO) << "yes/no box";
    std::string err = testing::internal::GetCapturedStderr();
    give_display_back();
    // Per box, one line with SDL's reason, then caption and text.
    EXPECT_TRUE(std::regex_match(err, std::regex("message box not shown: [^\n]+\nERROR: Program Will Now Close\\.\n"
                                                 "message box not shown: [^\n]+\nQ: Again\\?\n")))
        << err;
}
