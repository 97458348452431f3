// tests/platform/box_closer.h: a message box closed from outside, the way its
// window's close button closes it. Each system has a file of its own
// (box_closer_posix.cpp, box_closer_windows.cpp). Test thread.
#pragma once
#include <cstdint>
#include <string>

// Why boxes cannot be seen here, or null when they can.
const char* boxes_unseen();

// Starts looking for the top-level window titled title, for a minute at
// most (a loaded machine is slow to show it), to ask it to close as soon as
// it appears. Runs beside the box, which may hold the test thread.
intptr_t start_closing_box(const std::string& title);
// Waits for the look to end: 1 when the window was asked to close, 0 when it
// never appeared.
int finish_closing_box(intptr_t closer);
