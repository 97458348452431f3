// content/tracks/kit.cpp: synthesises the instruments of the pieces from
// synth.h's integer building blocks. Generator thread only.
#include "content/tracks/kit.h"

namespace {

constexpr uint32_t drum_rate = 22050;

int frames_of(int ms, uint32_t rate) { return int(uint64_t(ms) * rate / 1000); }

// Drums: a short one-shot; the envelope lets the sample die by itself.
int add_drum(Composer& c, const char* name, const Wave& w, bool sixteen_bit)
{
    return add_instrument(c, to_sample(name, w, 32000, drum_rate, LoopMode::none, 0, 0, sixteen_bit));
}

std::vector<int> recipe(Timbre kind, int harmonics, int knee)
{
    std::vector<int> a;
    switch (kind) {
    case Timbre::sine: a = {32767}; break;
    case Timbre::triangle: a = harmonics_triangle(harmonics); break;
    case Timbre::saw: a = harmonics_saw(harmonics); break;
    case Timbre::square: a = harmonics_square(harmonics); break;
    case Timbre::organ:
        // Drawbar-like: fundamental, octave, twelfth, two octaves, a touch more.
        a = {32767, 22000, 14000, 9000, 0, 5000, 0, 3000};
        break;
    }
    return knee > 0 ? harmonics_soften(a, knee) : a;
}

}  // namespace

int kit_kick(Composer& c, int start_hz, int end_hz, int length_ms, int click)
{
    int frames = frames_of(length_ms, drum_rate);
    Wave w = drum_kick(drum_rate, frames, start_hz, end_hz, frames_of(30, drum_rate), click);
    return add_drum(c, "kick", w, true);
}

int kit_snare(Composer& c, int tone_hz, int tone_level_q8, int brightness_q16, int length_ms)
{
    Wave w = drum_snare(drum_rate, frames_of(length_ms, drum_rate), tone_hz, tone_level_q8,
                        brightness_q16, c.rng);
    return add_drum(c, "snare", w, false);
}

int kit_hat(Composer& c, int length_ms, int decay_ms)
{
    Wave w = drum_hat(drum_rate, frames_of(length_ms, drum_rate), frames_of(decay_ms, drum_rate), c.rng);
    return add_drum(c, "hat", w, false);
}

int kit_clap(Composer& c, int length_ms)
{
    return add_drum(c, "clap", drum_clap(drum_rate, frames_of(length_ms, drum_rate), c.rng), false);
}

int kit_tom(Composer& c, int hz, int length_ms)
{
    return add_drum(c, "tom", drum_tom(drum_rate, frames_of(length_ms, drum_rate), hz), true);
}

int kit_cymbal(Composer& c, int length_ms)
{
    return add_drum(c, "cymbal", drum_cymbal(drum_rate, frames_of(length_ms, drum_rate), c.rng), false);
}

int kit_shaker(Composer& c, int length_ms)
{
    int frames = frames_of(length_ms, drum_rate);
    Wave w = noise(frames, c.rng);
    apply_highpass(w, 30000);
    apply_attack(w, frames / 3);
    apply_decay(w, frames / 6);
    return add_drum(c, "shaker", w, false);
}

int kit_tone(Composer& c, const char* name, Timbre kind, int knee, Envelope env,
             uint16_t fadeout, int volume)
{
    constexpr int period = 128;
    Wave w = additive_cycle(period, recipe(kind, 32, knee));
    Sample s = to_sample(name, w, 30000, c5_rate(period), LoopMode::forward);
    s.volume = uint8_t(volume);
    return add_instrument(c, s, env, fadeout, NewNoteAction::note_off);
}

int kit_ensemble(Composer& c, const char* name, Timbre kind, int knee,
                 const std::vector<int>& detune, Envelope env, uint16_t fadeout, int volume)
{
    // 512 cycles of 32 frames: about one second at C-5, so a detune of one
    // cycle beats once a second.
    constexpr int period = 32, cycles = 512;
    Wave w = ensemble(period, cycles, detune, recipe(kind, 15, knee));
    Sample s = to_sample(name, w, 30000, c5_rate(period), LoopMode::forward);
    s.volume = uint8_t(volume);
    return add_instrument(c, s, env, fadeout, NewNoteAction::note_off);
}

int kit_fm(Composer& c, const char* name, int ratio, int index_q8, int decay_ms, Envelope env,
           uint16_t fadeout, int volume)
{
    constexpr int period = 64;
    uint32_t rate = c5_rate(period);
    int decay_cycles = frames_of(decay_ms, rate) / period + 1;
    Wave w;
    for (int cycle = 0; cycle <= decay_cycles; cycle++) {
        // The index falls on a quadratic curve: bright strike, mellow ring.
        int left = decay_cycles - cycle;
        int index = int(int64_t(index_q8) * left * left / (int64_t(decay_cycles) * decay_cycles));
        Wave one = fm_cycle(period, ratio, index);
        w.insert(w.end(), one.begin(), one.end());
    }
    uint32_t end = uint32_t(w.size());
    Sample s = to_sample(name, w, 30000, rate, LoopMode::forward, end - period, end);
    s.volume = uint8_t(volume);
    return add_instrument(c, s, env, fadeout, NewNoteAction::note_off);
}

int kit_pluck(Composer& c, const char* name, int damping_q16, Envelope env, int volume)
{
    // Averaging neighbours in the Karplus-Strong loop makes its period
    // period - 1/2 frames; two periods make a whole number of frames to
    // loop at the quiet end.
    constexpr int period = 64, frames = 12288;
    uint32_t rate = uint32_t((uint64_t(2 * period - 1) * 5232511 + 10000) / 20000);
    Wave w = pluck(period, frames, damping_q16, c.rng);
    apply_highpass(w, 64000);  // no DC offset to click at the loop
    Sample s = to_sample(name, w, 30000, rate, LoopMode::forward, frames - (2 * period - 1), frames);
    s.volume = uint8_t(volume);
    return add_instrument(c, s, env, 0, NewNoteAction::note_off);
}

int kit_wobble(Composer& c, const char* name, int lfo_ms, int low_hz, int high_hz, Envelope env)
{
    constexpr int period = 128;
    uint32_t rate = c5_rate(period);
    // At C-2 the sample plays 8 times slower than at C-5.
    int lfo_frames = frames_of(lfo_ms, rate) / 8;
    lfo_frames = (lfo_frames + period / 2) / period * period;
    if (lfo_frames < period) lfo_frames = period;
    Wave cycle = additive_cycle(period, harmonics_saw(60));
    Wave w;
    for (int i = 0; i < 2 * lfo_frames / period; i++) w.insert(w.end(), cycle.begin(), cycle.end());
    Wave sub = additive_cycle(period, {32767});
    apply_swept_lowpass(w, rate, low_hz * 8, high_hz * 8, lfo_frames, 70);
    Wave full = w;
    for (size_t i = 0; i < full.size(); i++) full[i] += sub[i % size_t(period)] / 2;
    apply_drive(full, 400);
    Sample s = to_sample(name, full, 30000, rate, LoopMode::forward);
    return add_instrument(c, s, env, 0, NewNoteAction::cut);
}

int kit_power(Composer& c, const char* name, int drive_q8, Envelope env, uint16_t fadeout)
{
    // Root twice, fifth three times, octave four times in 128 frames.
    constexpr int period = 64;
    std::vector<int> saw = harmonics_saw(20);
    Wave root = additive_cycle(2 * period, [&] {
        std::vector<int> a(80, 0);
        for (int h = 1; h <= 20; h++) {
            a[size_t(2 * h - 1)] += saw[size_t(h - 1)];
            if (3 * h <= 80) a[size_t(3 * h - 1)] += saw[size_t(h - 1)] * 3 / 4;
            if (4 * h <= 80) a[size_t(4 * h - 1)] += saw[size_t(h - 1)] / 3;
        }
        return a;
    }());
    apply_drive(root, drive_q8);
    Sample s = to_sample(name, root, 30000, c5_rate(period), LoopMode::forward);
    return add_instrument(c, s, env, fadeout, NewNoteAction::note_off);
}

int kit_pulse(Composer& c, const char* name, int duty_percent, Envelope env, uint16_t fadeout, int volume)
{
    constexpr int period = 32;
    Sample s = to_sample(name, pulse_cycle(period, duty_percent), 30000, c5_rate(period),
                         LoopMode::forward, 0, 0, false);
    s.volume = uint8_t(volume);
    return add_instrument(c, s, env, fadeout, NewNoteAction::cut);
}

int kit_chip_triangle(Composer& c, const char* name, Envelope env, uint16_t fadeout)
{
    // Sixteen steps up and down, like the triangle channel of old consoles.
    constexpr int period = 32;
    Wave w(size_t(period), 0);
    for (int i = 0; i < period; i++) {
        int step = i < 16 ? i : 31 - i;
        w[size_t(i)] = (step - 8) * 4000 + 2000;
    }
    Sample s = to_sample(name, w, 28000, c5_rate(period), LoopMode::forward, 0, 0, false);
    return add_instrument(c, s, env, fadeout, NewNoteAction::cut);
}

int kit_chip_noise(Composer& c, const char* name, int length_ms, int decay_ms)
{
    // Held noise values, as a console noise channel makes them.
    int frames = frames_of(length_ms, drum_rate);
    Wave w(size_t(frames), 0);
    int v = 0;
    for (int i = 0; i < frames; i++) {
        if (i % 3 == 0) v = (rng_next(c.rng) & 1) ? 20000 : -20000;
        w[size_t(i)] = v;
    }
    apply_decay(w, frames_of(decay_ms, drum_rate));
    return add_drum(c, name, w, false);
}
