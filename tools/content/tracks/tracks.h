// tools/content/tracks/tracks.h: the twelve modules the disk ships with, composed
// by code. Same bytes on every run and machine. Generator thread only.
#pragma once
#include <cstdint>
#include <vector>

constexpr int track_count = 12;

// File name of track index 0..11 exactly as the disk looks it up.
const char* track_file_name(int index);
// The module's file bytes (IT, or XM for index 6); empty if index is bad.
std::vector<uint8_t> track_encode(int index);
// Writes all twelve into dir (which must exist). 1, or 0 on failure.
int tracks_write_all(const char* dir);
