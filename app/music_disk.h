// app/music_disk.h: the program's life, from the first question to the exit
// status. UI thread, except on_track_end.
#pragma once
#include "visuals/scene.h"

#include <cstdint>

// Runs the whole program; the four entry arguments (instance, previous
// instance, command line, show command) are not used. The result is the
// exit status: 27 after Escape, 0 after a close request or a failed window
// or picture, the key's code after a failed track 10 or 11, -1 when the
// first track cannot be loaded.
int run_music_disk(void* instance, void* previous_instance, char* command_line, int show_command);

// How start_music_disk ended.
enum DiskStart {
    disk_started,         // track 1 playing, the blank texture made
    disk_no_pictures,     // a picture could not be read (its box was shown)
    disk_no_sound,        // the engine could not open its output
    disk_no_first_track,  // track 1 could not be loaded
};

// Start-up once a GL context is current (the window's, or a tool's hidden
// surface): the pictures into textures, the engine on device (-1 the sound
// output, 0 pulled by the caller), track 1 loaded looping into
// current_channel with its end notification and started, the blank
// texture. The program and the tools that run the disk offline share it.
DiskStart start_music_disk(int device);

// The frame's inputs as the program reads them on each pass: the engine's
// level of current_channel, then the clock, then the tint and background.
SceneInputs read_scene_inputs();

// The first track's end notification (each wrap of its loop): restarts the
// frame clock for the rest of the frame being drawn. Audio thread.
void on_track_end(uint32_t sync, uint32_t channel, uint32_t data, uint32_t user);
