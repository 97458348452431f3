// player/track_list.h: the track table and the key commands, and the values
// they share with the rest of the program. UI thread.
#pragma once
#include "platform/messages.h"

#include <cstdint>

// 1 at program load; the main loop runs while it is non-zero. Cleared by
// Escape and a failed load of track 10 or 11 (window_proc), and by the main
// loop when it takes the quit message. UI thread only.
extern int32_t running;
// The engine's handle of the current module, 0 after a failed load.
// Written by start-up and every track start; read by Escape, the effect
// commands and the frame's level reading. UI thread only.
extern uint32_t current_channel;
// The tunnel's tint, red, green, blue: 255 each at program load, then
// rand() % 255 each at every track start. Written by window_proc, read by
// the frame (low byte of each). UI thread only.
extern int32_t tint[3];
// Which background the frame shows: 1 for track 12, 0 otherwise. Written
// by every track start, read by the frame. UI thread only.
extern int32_t background_index;

// The one window's procedure: keypad 0-9, plus and minus start tracks 1-12,
// F1-F6 the effect commands, Escape quits, a close request posts the quit
// message. Runs inside the main loop's dispatch, or nested in itself when a
// track that does not start passes its key on to the next track.
intptr_t window_proc(PlatformWindow window, uint32_t message, uintptr_t wParam, intptr_t lParam);
