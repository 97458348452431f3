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

int row_of_key(uintptr_t key)
{
    for (int row = 0; row < track_count; ++row)
        if (track_list[row].key == key)
            return row;
    return -1;
}

// A new tint and background, the output stopped, row's file loaded into
// current_channel, the output and the module started. 1 when it plays.
int start_track(int row)
{
    const Track& t = track_list[row];
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
    return channel_is_active(current_channel);
}

// A track key: its track, or, while a track does not start, the next one
// in the skip order. Each row is tried once at most, so with nothing
// playable a key costs at most twelve loads.
void play_from(int row)
{
    uint32_t tried = 0;
    while (!(tried & (1u << row))) {
        tried |= 1u << row;
        if (start_track(row))
            return;
        row = row_of_key(track_list[row].skip_key);
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
            play_from(row);
        } else {
            switch (wParam) {
            case VK_ESCAPE: quit(); break;
            case VK_F1: install_pan_sweep(current_channel); break;
            case VK_F2: remove_pan_sweep(current_channel); break;
            case VK_F3: install_echo(current_channel); break;
            case VK_F4: remove_echo(current_channel); break;
            case VK_F5: install_flanger(current_channel); break;
            case VK_F6: remove_flanger(current_channel); break;
            default: break;
            }
        }
    }
    return platform_def_window_proc(window, message, wParam, lParam);
}
