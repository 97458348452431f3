// content/measure/track_measure.h: a module file played whole through the
// engine with no device, as render-wav plays it, with the effect commands run
// before its first frame. One thread: the caller is both UI and mixer.
#pragma once
#include <cstddef>
#include <cstdint>

// The effect sets a track is heard with: none, each of the three alone, and
// all three installed in key order.
enum MeasureEffects { measure_dry, measure_pan_sweep, measure_echo, measure_flanger, measure_all, measure_sets };

struct TrackFigures {
    size_t frames;                   // the first pass
    double rms_db;                   // first pass, no effects, dB below full scale
    int peak;                        // first pass, no effects, largest |sample|
    double second_rms_db;            // the second pass of a loop, no effects
    size_t clipped[measure_sets];    // samples at either rail over the first pass
};

// Fills figures for the module at path: one looping pass of two without
// effects, then one pass per effect set. 1, or 0 when the engine does not
// start or the module does not load.
int measure_track(const char* path, TrackFigures* figures);
// Only frames, rms_db, peak and clipped[measure_dry], from one pass without
// effects. 1, or 0 as above.
int measure_loudness(const char* path, TrackFigures* figures);
// Only the clipped samples with effects set (a MeasureEffects) over the first
// pass. 1, or 0 as above.
int measure_clipped(const char* path, int effects, size_t* clipped);
