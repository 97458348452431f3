// app/music_disk.cpp: start-up, the main loop and shutdown. UI thread,
// except on_track_end, which the engine calls on its mixing thread.
#include "app/music_disk.h"

#include "app/gl_window.h"
#include "platform/message_box.h"
#include "platform/messages.h"
#include "player/engine.h"
#include "player/track_list.h"
#include "visuals/scene.h"

#include <cstdlib>
#include <ctime>

void on_track_end(uint32_t, uint32_t, uint32_t, uint32_t)
{
    scene_time.store(0.0f, std::memory_order_relaxed);
}

int start_first_track()
{
    current_channel = music_load(0, "datas/1-ambre.it", 0, 0, MUSIC_LOOP | MUSIC_RAMP);
    if (!current_channel)
        return 0;
    channel_set_sync(current_channel, SYNC_END, 0, on_track_end, 0);
    audio_start();
    music_play_ex(current_channel, 0, -1, 1);
    return 1;
}

int run_music_disk(void*, void*, char*, int)
{
    std::srand(unsigned(std::time(nullptr)));
    if (platform_message_box(nullptr, "Do U Want To Listen Musik in Fullscreen =)) ?", "Velvane Musik Disk",
                             MB_ICONQUESTION | MB_YESNO) == IDNO)
        fullscreen = 0;
    if (!open_gl_window("Korvid Music Disk #1 (Velvane Musik Disk)", 640, 480, 32, fullscreen != 0))
        return 0;
    if (!init_scene())
        return 0;
    audio_init(-1, ENGINE_RATE, 0, platform_focus_window());
    if (!start_first_track())
        return -1;
    blank_texture = make_blank_texture();

    // One message or one frame a pass, never waiting: frames follow each
    // other as fast as the buffer swap returns, and a burst of messages
    // (a held key's repeats) is handled in full before the next frame.
    PlatformMessage msg = {};
    while (running) {
        if (!platform_peek_message(&msg)) {
            draw_scene();
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
