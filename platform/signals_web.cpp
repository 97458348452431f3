// platform/signals_web.cpp: a page has no terminal and no signals; it ends
// when its tab closes. UI thread.
#include "platform/signals.h"

void platform_catch_signals() {}

void platform_answer_signals() {}
