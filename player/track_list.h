// player/track_list.h: the track table and the key commands. UI thread.
#pragma once
#include <cstdint>

// The engine's handle of the current module, 0 after a failed load.
// Written by start-up and every track start; read by Escape, the effect
// commands and the frame's level reading. UI thread only.
extern uint32_t current_channel;
