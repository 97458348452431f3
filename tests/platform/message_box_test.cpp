// tests/platform/message_box_test.cpp: real boxes on the test's display,
// closed from outside as their close button closes them.
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
