// app/music_disk.h: the program's life, from the first question to the exit
// status. UI thread, except on_track_end.
#pragma once
#include <cstdint>

// Runs the whole program; the four entry arguments (instance, previous
// instance, command line, show command) are not used. The result is the
// exit status: 27 after Escape, 0 after a close request or a failed window
// or picture, the key's code after a failed track 10 or 11, -1 when the
// first track cannot be loaded.
int run_music_disk(void* instance, void* previous_instance, char* command_line, int show_command);

// Start-up's part in the engine, once it is initialised: track 1 loaded
// looping into current_channel, its end notification set, the output and
// the track started. 1, or 0 when the track cannot be loaded.
int start_first_track();

// The first track's end notification (each wrap of its loop): restarts the
// frame clock for the rest of the frame being drawn. Audio thread.
void on_track_end(uint32_t sync, uint32_t channel, uint32_t data, uint32_t user);
