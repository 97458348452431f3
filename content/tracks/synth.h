// content/tracks/synth.h: the instrument workshop of the track generator:
// waveforms, drums and filters in integer arithmetic only, so every machine
// computes the same samples. Generator thread only (no shared state).
#pragma once
#include "content/modwriter/modwriter.h"
#include "content/sine.h"

#include <cstdint>
#include <vector>

// Audio under construction: one value per frame, full scale about +-32767
// (values may overshoot until a sample is normalised).
using Wave = std::vector<int32_t>;

// Xorshift32: a tiny generator that is the same on every machine, unlike
// the standard distributions. state must not be 0.
struct Rng {
    uint32_t state;
};
uint32_t rng_next(Rng& rng);
int rng_range(Rng& rng, int lo, int hi);  // lo..hi inclusive
int rng_noise(Rng& rng);                  // -32768..32767

// Phase step per frame for hz (in milli-hertz) at rate frames per second.
uint32_t phase_step(uint32_t millihertz, uint32_t rate);

// Rate at which C-5 (523.2511 Hz) plays a waveform that repeats every
// period frames.
uint32_t c5_rate(int period);

// Harmonic recipes: amplitude of harmonics 1..count in Q15.
std::vector<int> harmonics_saw(int count);
std::vector<int> harmonics_square(int count);     // odd harmonics only
std::vector<int> harmonics_triangle(int count);   // odd, falling as 1/h^2
// A harmonic series bent by a gentle low-pass: each harmonic past
// knee loses half its level every octave.
std::vector<int> harmonics_soften(std::vector<int> amps, int knee);

// One cycle of period frames summed from the harmonics (band-limited).
Wave additive_cycle(int period, const std::vector<int>& amps);
// cycles repetitions of a period-frame cycle per voice, each voice offset
// by detune[i] whole cycles over the buffer, so the buffer loops without
// a seam and the voices beat against each other once per loop.
Wave ensemble(int period, int cycles, const std::vector<int>& detune, const std::vector<int>& amps);
// Pulse of the given duty (0..100 %), naive (chip sound), one cycle.
Wave pulse_cycle(int period, int duty_percent);
// Two-operator FM, one cycle: carrier at harmonic 1, modulator at
// ratio, index in Q8 (256 = one radian of deviation).
Wave fm_cycle(int period, int ratio, int index_q8);
// Plucked string by the Karplus-Strong recurrence: period frames delay,
// frames long, damping in Q16 (65536 = no loss).
Wave pluck(int period, int frames, int damping_q16, Rng& rng);

// Drums, each at rate frames per second, frames long.
Wave drum_kick(uint32_t rate, int frames, int start_hz, int end_hz, int sweep_frames, int click);
Wave drum_snare(uint32_t rate, int frames, int tone_hz, int tone_level, int noise_brightness, Rng& rng);
Wave drum_hat(uint32_t rate, int frames, int decay_frames, Rng& rng);
Wave drum_clap(uint32_t rate, int frames, Rng& rng);
Wave drum_tom(uint32_t rate, int frames, int hz);
Wave drum_cymbal(uint32_t rate, int frames, Rng& rng);
Wave noise(int frames, Rng& rng);

// In-place shaping.
void apply_decay(Wave& w, int half_life_frames);       // exponential fall
void apply_attack(Wave& w, int frames);                // linear rise
void apply_lowpass(Wave& w, int coef_q16);             // one pole, 65536 = open
void apply_highpass(Wave& w, int coef_q16);            // one pole complement
// Soft saturation: drive in Q8 (256 = unity), for heavy sounds.
void apply_drive(Wave& w, int drive_q8);
// Resonant low-pass (state variable) whose cutoff sweeps from hz_a to hz_b
// (Hz at rate) and back once per lfo_frames, for evolving (wobbling)
// timbres; resonance damping in Q8 (256 = none, lower rings).
void apply_swept_lowpass(Wave& w, uint32_t rate, int hz_a, int hz_b, int lfo_frames, int damping_q8);
// Sum with gain in Q8.
void mix_into(Wave& dst, const Wave& src, int gain_q8, int offset = 0);

// Wave to a sample: normalised to peak (1..32767), 8- or 16-bit frames.
// loop_end 0 means the end of the wave.
Sample to_sample(const char* name, const Wave& w, int peak, uint32_t base_rate,
                 LoopMode loop = LoopMode::none, uint32_t loop_start = 0, uint32_t loop_end = 0,
                 bool sixteen_bit = true);
