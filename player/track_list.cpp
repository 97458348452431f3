// player/track_list.cpp: the track table and the key commands. UI thread.
#include "player/track_list.h"

uint32_t current_channel = 0;
