// content/tracks/tracks.h: the twelve modules the disk ships with,
// composed by code. Same bytes on every run and machine. Generator thread
// only. Their files, and how many there are, come from the player's track
// table (player/track_list.h: track_count, track_file_name).
#pragma once
#include "player/track_list.h"

#include <cstdint>
#include <vector>

// The module's file bytes for row index of the track table (XM where its
// file name ends in .xm, else IT); empty if index is bad.
std::vector<uint8_t> track_encode(int index);
// Writes all twelve into dir (which must exist). 1, or 0 on failure.
int tracks_write_all(const char* dir);
