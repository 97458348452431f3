// content/tracks/kit.h: the instrument library of the pieces. Each call
// synthesises one sound, adds it to the composer and returns its
// instrument number; the parameters give each piece its own colour.
// Generator thread only.
#pragma once
#include "content/tracks/compose.h"

// Drums, played at C-5. Lengths in milliseconds.
int kit_kick(Composer& c, int start_hz, int end_hz, int length_ms, int click);
int kit_snare(Composer& c, int tone_hz, int tone_level_q8, int brightness_q16, int length_ms);
int kit_hat(Composer& c, int length_ms, int decay_ms);
int kit_clap(Composer& c, int length_ms);
int kit_tom(Composer& c, int hz, int length_ms);
int kit_cymbal(Composer& c, int length_ms);
int kit_shaker(Composer& c, int length_ms);

// Tones, C-5 at 523.25 Hz.
enum class Timbre : uint8_t { sine, triangle, saw, square, organ };
// A single looped cycle of the kind, its harmonics softened past knee,
// shaped by the envelope.
int kit_tone(Composer& c, const char* name, Timbre kind, int knee, Envelope env,
             uint16_t fadeout, int volume = 64);
// Detuned ensemble (pad, strings, supersaw): voices detuned by whole beats
// per second-long loop, harmonics past knee softened.
int kit_ensemble(Composer& c, const char* name, Timbre kind, int knee,
                 const std::vector<int>& detune, Envelope env, uint16_t fadeout, int volume = 64);
// FM bell or electric piano: the index falls from index_q8 to 0 over
// decay_ms, after which a clean cycle loops.
int kit_fm(Composer& c, const char* name, int ratio, int index_q8, int decay_ms, Envelope env,
           uint16_t fadeout, int volume = 64);
// Plucked string; damping_q16 near 65536 rings longer.
int kit_pluck(Composer& c, const char* name, int damping_q16, Envelope env, int volume = 64);
// Low-passed saw whose cutoff sweeps once per lfo_ms at C-2: the wobble
// bass. Retrigger on the beat to keep the sweep in time.
int kit_wobble(Composer& c, const char* name, int lfo_ms, int low_hz, int high_hz, Envelope env);
// Root, fifth and octave of a driven saw in one loop: heavy power chords.
int kit_power(Composer& c, const char* name, int drive_q8, Envelope env, uint16_t fadeout);
// Chip sounds: naive pulse (duty %), stepped triangle, periodic noise.
int kit_pulse(Composer& c, const char* name, int duty_percent, Envelope env, uint16_t fadeout,
              int volume = 64);
int kit_chip_triangle(Composer& c, const char* name, Envelope env, uint16_t fadeout);
int kit_chip_noise(Composer& c, const char* name, int length_ms, int decay_ms);
