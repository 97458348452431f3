// player/level_meter.cpp: peak levels over a sliding window of segments.
// Audio thread (level_meter_feed) or UI thread (level_meter_reset), never
// both at once on one meter.
#include "player/level_meter.h"

#include <algorithm>

void level_meter_reset(LevelMeter* meter)
{
    *meter = LevelMeter{};
}

uint32_t level_meter_feed(LevelMeter* m, const int16_t* samples, size_t frames, uint32_t rate)
{
    const uint32_t segment = std::max<uint32_t>(1, rate / 200);
    size_t i = 0;
    while (i < frames) {
        size_t span = std::min<size_t>(frames - i, segment - m->partial_frames);
        // Highest and lowest sample in 16 lanes (even lanes left, odd
        // right): fixed-length inner loops the compiler turns into vector
        // code, which keeps the level's cost small beside the decoding.
        int16_t hi[16] = {}, lo[16] = {};
        const int16_t* s = samples + 2 * i;
        const size_t lane_samples = 2 * span;
        size_t k = 0;
        for (; k + 16 <= lane_samples; k += 16)
            for (int lane = 0; lane < 16; ++lane) {
                int16_t v = s[k + lane];  // a copy: std::max's references defeat the vectoriser
                hi[lane] = hi[lane] < v ? v : hi[lane];
                lo[lane] = lo[lane] > v ? v : lo[lane];
            }
        for (int lane = 0; k < lane_samples; ++k, ++lane) {
            hi[lane] = std::max(hi[lane], s[k]);
            lo[lane] = std::min(lo[lane], s[k]);
        }
        int left = m->partial_left, right = m->partial_right;
        for (int lane = 0; lane < 16; lane += 2) {
            left = std::max({left, int(hi[lane]), -int(lo[lane])});
            right = std::max({right, int(hi[lane + 1]), -int(lo[lane + 1])});
        }
        m->partial_left = uint16_t(left);
        m->partial_right = uint16_t(right);
        m->partial_frames += uint32_t(span);
        i += span;
        if (m->partial_frames == segment) {
            m->segment_left[m->segment_next] = m->partial_left;
            m->segment_right[m->segment_next] = m->partial_right;
            m->segment_next = (m->segment_next + 1) % level_segments;
            m->partial_frames = 0;
            m->partial_left = 0;
            m->partial_right = 0;
        }
    }
    uint32_t left = m->partial_left, right = m->partial_right;
    for (int s = 0; s < level_segments; ++s) {
        left = std::max<uint32_t>(left, m->segment_left[s]);
        right = std::max<uint32_t>(right, m->segment_right[s]);
    }
    return left | right << 16;
}
