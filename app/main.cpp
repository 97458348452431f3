// app/main.cpp: the process entry. The program reads no command line.
#include "app/music_disk.h"
#include "platform/signals.h"
#include "player/engine.h"

#include <cstdio>
#include <cstdlib>

int main()
{
    platform_catch_signals();
    const int status = run_music_disk(nullptr, nullptr, nullptr, 0);
    // For long runs under test (scripts/soak): what the sound device asked
    // of the mixer, and how often it was left short.
    if (std::getenv("MUSICDISK_AUDIO_STATS")) {
        AudioDeviceStats s;
        audio_device_stats(&s);
        std::fprintf(stderr, "musicdisk: audio: %u blocks of %u frames, %u late, worst %.3f ms\n", s.blocks,
                     s.block_frames, s.overruns, s.worst_block_us / 1000.0);
    }
    return status;
}
