// platform/signals_windows.h: what the box needs to know of the console's
// events on Windows (signals_windows.cpp). Inside platform/ only; UI thread.
#pragma once

// 1 while the UI thread shows a box, whose dialog loop the next console
// event then ends; 0 once it is down.
void platform_console_box_up(int up);
// 1 once a console event has asked the program to close.
int platform_console_close_asked();
