// player/level_meter.h: the output level of one module, as the engine
// reports it: the peak of the last 20 to 25 ms, in four segments of 5 ms.
// Fed by the audio thread while the module is in the mix; reset by the UI
// thread while it is out of it.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr int level_segments = 4;  // level window: 4 segments of 5 ms

struct LevelMeter {
    uint16_t segment_left[level_segments] = {};
    uint16_t segment_right[level_segments] = {};
    uint32_t segment_next = 0;    // index of the oldest completed segment
    uint32_t partial_frames = 0;  // frames in the segment being measured
    uint16_t partial_left = 0;
    uint16_t partial_right = 0;
};

// Back to silence, as for a module that starts playing.
void level_meter_reset(LevelMeter* meter);
// Measures frames interleaved stereo frames at rate frames a second; the
// level now: left in the low 16 bits, right in the high 16 bits, each the
// largest magnitude seen, 0 to 32768.
uint32_t level_meter_feed(LevelMeter* meter, const int16_t* samples, size_t frames, uint32_t rate);
