// app/music_disk.cpp: start-up, the main loop and shutdown. UI thread,
// except on_track_end, which the engine calls on its mixing thread.
#include "app/music_disk.h"

#include "app/gl_window.h"
#include "platform/audio_device.h"
#include "platform/message_box.h"
#include "platform/messages.h"
#include "platform/ticks.h"
#include "player/engine.h"
#include "player/track_list.h"
#include "visuals/textures.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

void on_track_end(uint32_t, uint32_t, uint32_t, uint32_t)
{
    scene_time.store(0.0f, std::memory_order_relaxed);
}

DiskStart start_music_disk(int device)
{
    if (!init_scene())
        return disk_no_pictures;
    if (!audio_init(device, ENGINE_RATE, 0, platform_focus_window()))
        return disk_no_sound;
    current_channel = music_load(0, track_list[0].file, 0, 0, MUSIC_LOOP | MUSIC_RAMP);
    if (!current_channel)
        return disk_no_first_track;
    channel_set_sync(current_channel, SYNC_END, 0, on_track_end, 0);
    audio_start();
    music_play_ex(current_channel, 0, -1, 1);
    blank_texture = make_blank_texture();
    return disk_started;
}

SceneInputs read_scene_inputs()
{
    SceneInputs in;
    in.level = channel_get_level(current_channel);
    in.clock_ms = platform_ticks();
    for (int i = 0; i < 3; ++i)
        in.tint[i] = tint[i];
    in.background = background_index;
    gl_window_view(&in.view_x, &in.view_y, &in.view_width, &in.view_height);
    return in;
}

// The sound output, once it went away (headphones unplugged, the sound
// server restarted): tried again at once, then about once a second (track
// keys try too, in the engine), while the picture and the keys go on.
// Standard error says once that it is lost and once that it is back; an
// output that opens again at once is not worth a word.
static void tend_sound_output()
{
    static bool said_lost = false;
    static uint32_t last_try_ms = 0;
    if (audio_output_lost()) {
        const uint32_t now = platform_ticks();
        if (said_lost && now - last_try_ms < 1000)
            return;
        last_try_ms = now;
        if (!audio_reopen()) {
            if (!said_lost)
                std::fprintf(stderr, "musicdisk: sound output lost, trying again every second: %s\n",
                             platform_audio_error());
            said_lost = true;
            return;
        }
    }
    if (said_lost) {
        std::fprintf(stderr, "musicdisk: sound output is back\n");
        said_lost = false;
    }
}

int run_music_disk(void*, void*, char*, int)
{
    std::srand(unsigned(std::time(nullptr)));
    if (platform_message_box(nullptr, "Do U Want To Listen Musik in Fullscreen =)) ?", "Velvane Musik Disk",
                             MB_ICONQUESTION | MB_YESNO) == IDNO)
        fullscreen = 0;
    if (!open_gl_window("Korvid Music Disk #1 (Velvane Musik Disk)", 640, 480, 32, fullscreen != 0))
        return 0;
    switch (start_music_disk(-1)) {
    case disk_started: break;
    case disk_no_pictures: return 0;
    case disk_no_sound: {
        // Without a word the disk would only flash its window and end.
        char text[512];
        std::snprintf(text, sizeof text, "No sound device could be opened.\n%s", platform_audio_error());
        std::fprintf(stderr, "%s\n", text);
        platform_message_box(nullptr, text, "ERROR", MB_OK | MB_ICONEXCLAMATION);
        return -1;
    }
    case disk_no_first_track: return -1;
    }

    // One message or one frame a pass, never waiting: frames follow each
    // other as fast as the buffer swap returns, and a burst of messages
    // (a held key's repeats) is handled in full before the next frame.
    PlatformMessage msg = {};
    while (running) {
        tend_sound_output();
        if (!platform_peek_message(&msg)) {
            if (gl_window_shown())
                draw_scene(read_scene_inputs());
            else
                // Frames nobody can see would cost a core: wait for the
                // next message instead, while the music plays on.
                platform_wait_message(100);
        } else if (msg.message == WM_QUIT) {
            running = 0;
        } else {
            platform_translate_message(&msg);
            platform_dispatch_message(&msg);
        }
    }
    close_gl_window();
    return int(intptr_t(msg.wParam));
}
