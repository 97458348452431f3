// content/measure/track_measure.cpp: renders module files through the
// engine and its effects and sums what the figures need. One thread.
#include "content/measure/track_measure.h"

#include "player/effects.h"
#include "player/engine.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>

namespace {

constexpr size_t block_frames = 256;  // small, so a wrap is placed within 6 ms

// Written by the end-of-module notification (inside audio_render, on the
// caller's thread), read between blocks.
std::atomic<uint32_t> wraps{0};

void on_end(uint32_t, uint32_t, uint32_t, uint32_t) { wraps.fetch_add(1, std::memory_order_relaxed); }

struct Sums {
    double squares = 0;
    size_t samples = 0;
    int peak = 0;
    size_t clipped = 0;

    void add(const int16_t* s, size_t count)
    {
        for (size_t i = 0; i < count; i++) {
            int v = s[i];
            squares += double(v) * double(v);
            peak = std::max(peak, std::abs(v));
            if (v == 32767 || v == -32768) clipped++;
        }
        samples += count;
    }
    double rms_db() const
    {
        double rms = samples ? std::sqrt(squares / double(samples)) / 32768.0 : 0.0;
        return rms > 0 ? 20.0 * std::log10(rms) : -200.0;
    }
};

// Plays path to its end with the effects installed, or with loop through
// two passes (first and second). 1, or 0 when nothing plays.
int play(const char* path, int effects, bool loop, Sums* first, Sums* second)
{
    if (!audio_init(0, ENGINE_RATE, 0, nullptr)) return 0;
    int ok = 0;
    uint32_t channel = music_load(0, path, 0, 0, loop ? MUSIC_LOOP | MUSIC_RAMP : MUSIC_RAMP);
    if (channel) {
        wraps.store(0, std::memory_order_relaxed);
        channel_set_sync(channel, SYNC_END, 0, on_end, 0);
        if (effects == measure_pan_sweep || effects == measure_all) install_pan_sweep(channel);
        if (effects == measure_echo || effects == measure_all) install_echo(channel);
        if (effects == measure_flanger || effects == measure_all) install_flanger(channel);
        music_play_ex(channel, 0, -1, 1);
        int16_t block[2 * block_frames];
        // An hour at most, whatever the module does.
        for (size_t done = 0; done < size_t(3600) * ENGINE_RATE; done += block_frames) {
            uint32_t passes = wraps.load(std::memory_order_relaxed);
            if (loop ? passes >= 2 : !channel_is_active(channel)) break;
            audio_render(block, block_frames);
            (passes == 0 ? first : second)->add(block, 2 * block_frames);
        }
        ok = 1;
    }
    audio_shutdown();
    return ok;
}

}  // namespace

int measure_track(const char* path, TrackFigures* figures)
{
    Sums first, second;
    if (!play(path, measure_dry, true, &first, &second)) return 0;
    figures->frames = first.samples / 2;
    figures->rms_db = first.rms_db();
    figures->peak = first.peak;
    figures->second_rms_db = second.rms_db();
    figures->clipped[measure_dry] = first.clipped;
    for (int e = measure_pan_sweep; e < measure_sets; e++)
        if (!measure_clipped(path, e, &figures->clipped[e])) return 0;
    return 1;
}

int measure_loudness(const char* path, TrackFigures* figures)
{
    Sums sums;
    if (!play(path, measure_dry, false, &sums, &sums)) return 0;
    figures->frames = sums.samples / 2;
    figures->rms_db = sums.rms_db();
    figures->peak = sums.peak;
    figures->clipped[measure_dry] = sums.clipped;
    return 1;
}

int measure_clipped(const char* path, int effects, size_t* clipped)
{
    Sums sums;
    if (!play(path, effects, false, &sums, &sums)) return 0;
    *clipped = sums.clipped;
    return 1;
}
