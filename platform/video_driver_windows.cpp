// platform/video_driver_windows.cpp: SDL's video driver on Windows. UI
// thread.
#include "platform/video_driver.h"

// Windows has one desktop driver: SDL's own choice stands.
void platform_choose_video_driver()
{
}
