// content/modwriter/test_modules.h: ready-made modules of known length for
// the audio engine's tests. Pure functions, any thread.
//
// Timing of every fixture: speed 5 at tempo 125, so a tick lasts
// 2.5 / 125 = 0.02 s (882 frames at 44100 Hz) and a row exactly 0.1 s.
// A module asked for `seconds` has rows = max(1, round(seconds * 10)) and
// lasts rows * 0.1 s; patterns hold at most 100 rows (10 s) each.
#pragma once
#include <cstdint>
#include <vector>

enum class ModuleFormat : uint8_t { it, xm };
enum class ToneWave : uint8_t { square, sine };

struct ToneOptions {
    ModuleFormat format = ModuleFormat::it;
    int channels = 1;         // channels, each playing the same tone from row 0
    ToneWave wave = ToneWave::square;
    int amplitude = 16384;    // peak of the 16-bit sample, 1..32767
    int volume = 64;          // note volume, 0..64
};

// The tone is a looped single cycle of 100 frames with a base rate of
// 44100 Hz, played at C-5: exactly 441 Hz. It sounds from 0 s to the end.
constexpr int tone_frequency_hz = 441;

// Rows per second of every fixture (see the timing above).
constexpr int test_module_rows_per_second = 10;

// A tone on options.channels channels for the module's whole length; then
// the order list ends, so the module ends (no loop back).
std::vector<uint8_t> make_tone_module(double seconds, const ToneOptions& options = {});

// Same length and layout, one channel, not a single note: silence.
std::vector<uint8_t> make_silent_module(double seconds, ModuleFormat format = ModuleFormat::it);

// The tone of make_tone_module on one channel, retriggered at row 0; the
// last row jumps to order 0, so a player that honours loops plays forever.
// One pass lasts the documented length.
std::vector<uint8_t> make_looping_module(double seconds, ModuleFormat format = ModuleFormat::it);
