// player/track_list.cpp: the track table and the key commands. UI thread.
#include "player/track_list.h"

int32_t running = 1;
uint32_t current_channel = 0;
int32_t tint[3] = {255, 255, 255};
int32_t background_index = 0;
