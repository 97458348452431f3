// player/track_list.cpp: the track table and the key commands. UI thread.
#include "player/track_list.h"

#include "player/effects.h"
#include "player/engine.h"

#include <cstdlib>

int32_t running = 1;
uint32_t current_channel = 0;
int32_t tint[3] = {255, 255, 255};
int32_t background_index = 0;

namespace {

struct Track {
    uint32_t key;         // virtual-key code that starts it
    const char* file;     // under the working directory
    int32_t background;   // background_index while it plays
    bool plain_play;      // plays from where it stands; a failed load ends the program
    uint32_t skip_key;    // sent on when it does not start
};

constexpr int track_count = 12;

// Track 1 is reached only by its own key: the skips run 2, 3, ... 12, 2.
const Track track_list[track_count] = {
    {96, "datas/1-ambre.it", 0, false, 97},
    {97, "datas/2-colder.it", 0, false, 98},
    {98, "datas/3-Shift1.it", 0, false, 99},
    {99, "datas/4-MIRROR.IT", 0, false, 100},
    {100, "datas/5-STONE.IT", 0, false, 101},
    {101, "datas/6-SHIFT2.IT", 0, false, 102},
    {102, "datas/7-FROB.xm", 0, false, 103},
    {103, "datas/8-WOBBLE.IT", 0, false, 104},
    {104, "datas/9-SHIFT3.IT", 0, false, 105},
    {105, "datas/10-LUMEN.IT", 0, true, 107},
    {107, "datas/11-DRIFT.IT", 0, true, 109},
    {109, "datas/12-CODA.IT", 1, false, 97},
};

// The rows tried in the chain of skips now running, one bit each, and how
// deeply the chain is nested: a chain ends once it would come back to a
// track it has tried, so with nothing playable it costs at most twelve loads.
uint32_t chain_tried;
int chain_depth;

int row_of_key(uintptr_t key)
{
    for (int row = 0; row < track_count; ++row)
        if (track_list[row].key == key)
            return row;
    return -1;
}

void start_track(int row, PlatformWindow window, intptr_t lParam)
{
    const Track& t = track_list[row];
    if (chain_depth == 0)
        chain_tried = 0;
    chain_tried |= 1u << row;

    tint[0] = std::rand() % 255;
    tint[1] = std::rand() % 255;
    tint[2] = std::rand() % 255;
    background_index = t.background;

    audio_stop();
    const uint32_t replaced = current_channel;
    current_channel = music_load(0, t.file, 0, 0, MUSIC_RAMP);
    if (t.plain_play && current_channel == 0)
        running = 0;
    audio_start();
    if (t.plain_play)
        music_play(current_channel);
    else
        music_play_ex(current_channel, 0, -1, 1);
    // Nothing refers to the replaced module any more: without this, every
    // repeat of a held key would keep one more module for good.
    if (replaced && replaced != current_channel)
        music_free(replaced);

    if (!channel_is_active(current_channel)) {
        const int next = row_of_key(t.skip_key);
        if (!(chain_tried & (1u << next))) {
            ++chain_depth;
            platform_send_message(window, WM_KEYDOWN, t.skip_key, lParam);
            --chain_depth;
        }
    }
}

void quit()
{
    running = 0;
    music_free(current_channel);
    stream_free(current_channel);
    platform_post_quit_message(0);
}

}  // namespace

intptr_t window_proc(PlatformWindow window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    if (message == WM_CLOSE) {
        // Not passed on: the window stays until the process ends.
        platform_post_quit_message(0);
        return 0;
    }
    if (message == WM_KEYDOWN) {
        int row = row_of_key(wParam);
        if (row >= 0) {
            start_track(row, window, lParam);
        } else {
            switch (wParam) {
            case VK_ESCAPE: quit(); break;
            case VK_F1: install_pan_sweep(); break;
            case VK_F1 + 1: remove_pan_sweep(); break;
            case VK_F1 + 2: install_echo(); break;
            case VK_F1 + 3: remove_echo(); break;
            case VK_F1 + 4: install_flanger(); break;
            case VK_F1 + 5: remove_flanger(); break;
            default: break;
            }
        }
    }
    return platform_def_window_proc(window, message, wParam, lParam);
}
