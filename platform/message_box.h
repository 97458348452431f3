// platform/message_box.h: modal message boxes with the program's box types
// and answers. UI thread.
#pragma once
#include <cstdint>

// Box types (combinable) and answers, as the program's callers pass and
// test them.
constexpr uint32_t MB_OK = 0x00;
constexpr uint32_t MB_YESNO = 0x04;
constexpr uint32_t MB_ICONSTOP = 0x10;
constexpr uint32_t MB_ICONQUESTION = 0x20;
constexpr uint32_t MB_ICONEXCLAMATION = 0x30;
constexpr uint32_t MB_ICONINFORMATION = 0x40;
constexpr int IDOK = 1;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Shows text under caption and waits for the answer: IDOK for an OK box,
// IDYES or IDNO for a Yes/No box. owner is a platform window or null. A box
// closed with its window's close button answers as refused: IDNO for a
// Yes/No box, IDOK for an OK box. One that cannot be shown at all answers
// the same after writing the reason, the caption and the text to standard
// error.
int platform_message_box(void* owner, const char* text, const char* caption, uint32_t type);

// The window that has the keyboard focus, or null.
void* platform_focus_window();

// Test hook at the edge of the machine: while set, every box goes to hook
// instead of the screen, and its result is the answer. Null restores the
// screen.
using PlatformMessageBoxHook = int (*)(void* owner, const char* text, const char* caption, uint32_t type);
void platform_set_message_box_hook(PlatformMessageBoxHook hook);
