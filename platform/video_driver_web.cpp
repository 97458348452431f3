// platform/video_driver_web.cpp: the browser has one video driver, the
// canvas. UI thread.
#include "platform/video_driver.h"

void platform_choose_video_driver() {}
