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

// One row of the track table.
struct Track {
    uint32_t key;        // virtual-key code that starts it
    const char* file;    // under the working directory
    int32_t background;  // background_index while it plays
    bool plain_play;     // plays from where it stands; a failed load ends the program
    uint32_t skip_key;   // passed on to when it does not start
};

constexpr int track_count = 12;
constexpr char datas_folder[] = "datas/";  // every file lies here

// The twelve tracks: the one place that names their files and keys, which
// the program, its tools and its tests read. Track 1 is reached only by its
// own key: the skips run 2, 3, ... 12, 2.
constexpr Track track_list[track_count] = {
    {VK_NUMPAD0 + 0, "datas/1-ambre.it", 0, false, VK_NUMPAD0 + 1},
    {VK_NUMPAD0 + 1, "datas/2-colder.it", 0, false, VK_NUMPAD0 + 2},
    {VK_NUMPAD0 + 2, "datas/3-Shift1.it", 0, false, VK_NUMPAD0 + 3},
    {VK_NUMPAD0 + 3, "datas/4-MIRROR.IT", 0, false, VK_NUMPAD0 + 4},
    {VK_NUMPAD0 + 4, "datas/5-STONE.IT", 0, false, VK_NUMPAD0 + 5},
    {VK_NUMPAD0 + 5, "datas/6-SHIFT2.IT", 0, false, VK_NUMPAD0 + 6},
    {VK_NUMPAD0 + 6, "datas/7-FROB.xm", 0, false, VK_NUMPAD0 + 7},
    {VK_NUMPAD0 + 7, "datas/8-WOBBLE.IT", 0, false, VK_NUMPAD0 + 8},
    {VK_NUMPAD0 + 8, "datas/9-SHIFT3.IT", 0, false, VK_NUMPAD0 + 9},
    {VK_NUMPAD0 + 9, "datas/10-LUMEN.IT", 0, true, VK_ADD},
    {VK_ADD, "datas/11-DRIFT.IT", 0, true, VK_SUBTRACT},
    {VK_SUBTRACT, "datas/12-CODA.IT", 1, false, VK_NUMPAD0 + 1},
};

// Row's file name as it lies in datas/, for the tools that write it.
constexpr const char* track_file_name(int row)
{
    return track_list[row].file + sizeof datas_folder - 1;
}

// The one window's procedure: keypad 0-9, plus and minus start tracks 1-12,
// F1-F6 the effect commands, Escape quits, a close request posts the quit
// message. Runs inside the main loop's dispatch. A track that does not
// start passes its key on to the next in the skip order, each track at most
// once.
intptr_t window_proc(PlatformWindow window, uint32_t message, uintptr_t wParam, intptr_t lParam);
