// platform/ticks.h: the millisecond tick counter. Any thread.
#pragma once
#include <cstdint>

// Milliseconds since an arbitrary start, wrapping at 2^32.
uint32_t platform_ticks();
