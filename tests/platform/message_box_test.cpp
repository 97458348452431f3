// tests/platform/message_box_test.cpp: the program's answers over SDL's box.
// The system's box (platform/message_box_system.h) is played here, so no
// window is shown: the linker takes this definition and leaves the build's
// message_box_posix.cpp or _windows.cpp out of this program.
#include "platform/message_box.h"
#include "platform/message_box_system.h"

#include <gtest/gtest.h>
#include <string>

static int system_result;  // 0: shown; -1: it could not be shown
static int system_answer;  // the button pressed; -1: the close button

int platform_show_message_box(void*, const char*, const char*, uint32_t, int* answer)
{
    *answer = system_answer;
    return system_result;
}

TEST(MessageBox, ClosedOrUnshownBoxAnswersAsRefused)
{
    constexpr uint32_t question = MB_YESNO | MB_ICONQUESTION, error = MB_OK | MB_ICONSTOP;
    struct Case {
        const char* name;
        uint32_t type;
        int result;
        int answer;
        int want;
        bool says;  // the caption and the text on standard error
    };
    const Case cases[] = {{"question closed", question, 0, -1, IDNO, false},
                          {"error closed", error, 0, -1, IDOK, false},
                          {"question answered yes", question, 0, IDYES, IDYES, false},
                          {"question not shown", question, -1, 0, IDNO, true},
                          {"error not shown", error, -1, 0, IDOK, true}};
    for (const Case& c : cases) {
        system_result = c.result;
        system_answer = c.answer;
        testing::internal::CaptureStderr();
        EXPECT_EQ(platform_message_box(nullptr, "Close me.", "A box", c.type), c.want) << c.name;
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(said.find("A box: Close me.\n") != std::string::npos, c.says) << c.name << ": " << said;
    }
}
