// content/tracks/synth.cpp: integer-only sample synthesis for the track
// generator. No libm: results must not depend on the machine's maths
// library. Generator thread only; the sine table is built once.
#include "content/tracks/synth.h"
#include "content/xorshift.h"

#include <array>

namespace {

int clamp(int64_t v, int64_t lo, int64_t hi) { return int(v < lo ? lo : v > hi ? hi : v); }

// Q30 factor that halves a value every half_life steps: 1 - ln2/h, close
// enough for decays and exact in integers.
int64_t decay_factor_q30(int half_life)
{
    if (half_life < 1) half_life = 1;
    return (int64_t(1) << 30) - (int64_t(744261118) / half_life);  // ln 2 in Q30
}

}  // namespace

uint32_t rng_next(Rng& rng)
{
    return xorshift32(rng.state);
}

int rng_range(Rng& rng, int lo, int hi)
{
    if (hi <= lo) return lo;
    return lo + int(rng_next(rng) % uint32_t(hi - lo + 1));
}

int rng_noise(Rng& rng) { return int(int32_t(rng_next(rng)) >> 16); }

uint32_t phase_step(uint32_t millihertz, uint32_t rate)
{
    return uint32_t(((uint64_t(millihertz) << 32) / 1000) / rate);
}

uint32_t c5_rate(int period) { return uint32_t((uint64_t(period) * 5232511 + 5000) / 10000); }

std::vector<int> harmonics_saw(int count)
{
    std::vector<int> a;
    for (int h = 1; h <= count; h++) a.push_back(32767 / h);
    return a;
}

std::vector<int> harmonics_square(int count)
{
    std::vector<int> a;
    for (int h = 1; h <= count; h++) a.push_back(h % 2 ? 32767 / h : 0);
    return a;
}

std::vector<int> harmonics_triangle(int count)
{
    std::vector<int> a;
    for (int h = 1; h <= count; h++) a.push_back(h % 2 ? ((h / 2) % 2 ? -1 : 1) * 32767 / (h * h) : 0);
    return a;
}

std::vector<int> harmonics_soften(std::vector<int> amps, int knee)
{
    for (size_t i = 0; i < amps.size(); i++) {
        int h = int(i) + 1;
        if (h > knee) amps[i] = int(int64_t(amps[i]) * knee / h);
    }
    return amps;
}

Wave additive_cycle(int period, const std::vector<int>& amps)
{
    Wave w(size_t(period), 0);
    for (int i = 0; i < period; i++) {
        int64_t sum = 0;
        for (size_t k = 0; k < amps.size(); k++) {
            if (!amps[k]) continue;
            uint32_t phase = uint32_t((uint64_t(k + 1) * uint64_t(i) << 32) / uint64_t(period));
            sum += int64_t(amps[k]) * sine_q15(phase);
        }
        w[size_t(i)] = int32_t(sum >> 15);
    }
    return w;
}

Wave ensemble(int period, int cycles, const std::vector<int>& detune, const std::vector<int>& amps)
{
    size_t frames = size_t(period) * size_t(cycles);
    Wave w(frames, 0);
    for (size_t v = 0; v < detune.size(); v++) {
        uint64_t voice_cycles = uint64_t(cycles + detune[v]);
        uint32_t start = uint32_t(v * 0x9e3779b9u);  // spread the voices' phases
        for (size_t k = 0; k < amps.size(); k++) {
            if (!amps[k]) continue;
            uint32_t harmonic_start = start * uint32_t(k + 1);
            for (size_t i = 0; i < frames; i++) {
                uint64_t turns = (uint64_t(k + 1) * voice_cycles * i) % frames;
                uint32_t phase = uint32_t((turns << 32) / frames);
                w[i] += int32_t((int64_t(amps[k]) * sine_q15(phase + harmonic_start)) >> 15);
            }
        }
    }
    return w;
}

Wave pulse_cycle(int period, int duty_percent)
{
    Wave w(size_t(period), 0);
    int high = period * duty_percent / 100;
    if (high < 1) high = 1;
    for (int i = 0; i < period; i++) w[size_t(i)] = i < high ? 24000 : -24000;
    return w;
}

Wave fm_cycle(int period, int ratio, int index_q8)
{
    Wave w(size_t(period), 0);
    for (int i = 0; i < period; i++) {
        uint32_t phase = uint32_t((uint64_t(i) << 32) / uint64_t(period));
        int mod = sine_q15(phase * uint32_t(ratio));
        // One radian is 2^32 / (2 pi) of phase: 683565276.
        int64_t deviation = int64_t(mod) * index_q8 / 256 * 683565276 / 32768;
        w[size_t(i)] = sine_q15(phase + uint32_t(int32_t(deviation)));
    }
    return w;
}

Wave pluck(int period, int frames, int damping_q16, Rng& rng)
{
    Wave w(size_t(frames), 0);
    for (int i = 0; i < period && i < frames; i++) w[size_t(i)] = rng_noise(rng);
    // Soften the burst once so the attack is less harsh.
    for (int i = 1; i < period && i < frames; i++) w[size_t(i)] = (w[size_t(i)] + w[size_t(i - 1)]) / 2;
    // Each pass through the delay averages neighbours: highs die first.
    for (int i = period; i < frames; i++) {
        int64_t avg = (int64_t(w[size_t(i - period)]) + w[size_t(i - period + 1)]) / 2;
        w[size_t(i)] = int32_t(avg * damping_q16 >> 16);
    }
    return w;
}

Wave drum_kick(uint32_t rate, int frames, int start_hz, int end_hz, int sweep_frames, int click)
{
    Wave w(size_t(frames), 0);
    int64_t hz_q16 = int64_t(start_hz - end_hz) << 16;
    int64_t fall = decay_factor_q30(sweep_frames);
    uint32_t phase = 0;
    for (int i = 0; i < frames; i++) {
        int64_t hz = (int64_t(end_hz) << 16) + hz_q16;
        phase += uint32_t((uint64_t(hz) << 16) / rate);
        hz_q16 = (hz_q16 * fall) >> 30;
        int v = sine_q15(phase);
        if (i < 64) v += click * (64 - i) / 64 * (i % 8 < 4 ? 1 : -1);
        w[size_t(i)] = v;
    }
    apply_decay(w, frames / 4);
    return w;
}

Wave drum_snare(uint32_t rate, int frames, int tone_hz, int tone_level, int noise_brightness, Rng& rng)
{
    Wave tone(size_t(frames), 0);
    uint32_t step = phase_step(uint32_t(tone_hz) * 1000, rate), phase = 0;
    for (int i = 0; i < frames; i++) {
        tone[size_t(i)] = sine_q15(phase);
        phase += step;
    }
    apply_decay(tone, int(rate) / 60);
    Wave hiss = noise(frames, rng);
    apply_lowpass(hiss, noise_brightness);
    apply_decay(hiss, int(rate) / 14);
    Wave w(size_t(frames), 0);
    mix_into(w, tone, tone_level);
    mix_into(w, hiss, 256);
    return w;
}

Wave drum_hat(uint32_t rate, int frames, int decay_frames, Rng& rng)
{
    Wave w = noise(frames, rng);
    // Metallic colour: ring-modulate with a few square partials.
    static const int partials[] = {3520, 5280, 7040, 8600};
    for (int i = 0; i < frames; i++) {
        int s = 0;
        for (int hz : partials) s += ((uint64_t(i) * uint64_t(hz) * 2 / rate) % 2) ? 1 : -1;
        w[size_t(i)] = w[size_t(i)] * (2 + s) / 4;
    }
    apply_highpass(w, 40000);
    apply_decay(w, decay_frames);
    return w;
}

Wave drum_clap(uint32_t rate, int frames, Rng& rng)
{
    Wave w = noise(frames, rng);
    apply_highpass(w, 20000);
    apply_lowpass(w, 30000);
    int burst = int(rate) / 100;  // three quick hits, then the tail
    for (int i = 0; i < frames; i++) {
        int env;
        if (i < 3 * burst)
            env = 32767 - (i % burst) * 32767 / burst;
        else
            env = 32767;
        w[size_t(i)] = int32_t(int64_t(w[size_t(i)]) * env >> 15);
    }
    Wave tail(w.begin() + 3 * burst, w.end());
    apply_decay(tail, int(rate) / 16);
    for (size_t i = 0; i < tail.size(); i++) w[size_t(3 * burst) + i] = tail[i];
    return w;
}

Wave drum_tom(uint32_t rate, int frames, int hz)
{
    return drum_kick(rate, frames, hz * 2, hz, int(rate) / 30, 4000);
}

Wave drum_cymbal(uint32_t rate, int frames, Rng& rng)
{
    Wave w = drum_hat(rate, frames, frames / 3, rng);
    apply_lowpass(w, 50000);
    return w;
}

Wave noise(int frames, Rng& rng)
{
    Wave w(size_t(frames), 0);
    for (int i = 0; i < frames; i++) w[size_t(i)] = rng_noise(rng);
    return w;
}

void apply_decay(Wave& w, int half_life_frames)
{
    int64_t k = decay_factor_q30(half_life_frames);
    int64_t env = int64_t(1) << 30;
    for (int32_t& v : w) {
        v = int32_t((int64_t(v) * env) >> 30);
        env = (env * k) >> 30;
    }
}

void apply_attack(Wave& w, int frames)
{
    for (int i = 0; i < frames && i < int(w.size()); i++)
        w[size_t(i)] = int32_t(int64_t(w[size_t(i)]) * i / frames);
}

void apply_lowpass(Wave& w, int coef_q16)
{
    int64_t y = 0;
    for (int32_t& v : w) {
        y += ((int64_t(v) - y) * coef_q16) >> 16;
        v = int32_t(y);
    }
}

void apply_highpass(Wave& w, int coef_q16)
{
    int64_t y = 0;
    for (int32_t& v : w) {
        y += ((int64_t(v) - y) * (65536 - coef_q16)) >> 16;
        v = int32_t(v - y);
    }
}

namespace {

// Chamberlin state-variable filter step; f_q16 = 2 sin(pi fc / rate).
struct Svf {
    int64_t low = 0, band = 0;
    int32_t step(int32_t in, int64_t f_q16, int damping_q8)
    {
        low += (f_q16 * band) >> 16;
        int64_t high = in - low - ((band * damping_q8) >> 8);
        band += (f_q16 * high) >> 16;
        return int32_t(low);
    }
};

int64_t svf_coefficient(uint32_t rate, int cutoff_hz)
{
    // 2 sin(pi fc / rate); phase of fc / (2 rate) turns.
    uint32_t phase = uint32_t((uint64_t(uint32_t(cutoff_hz)) << 31) / rate);
    int64_t f = int64_t(2) * sine_q15(phase) * 2;  // Q15 -> Q16
    return f > 60000 ? 60000 : f;                   // keeps the filter stable
}

}  // namespace

void apply_swept_lowpass(Wave& w, uint32_t rate, int hz_a, int hz_b, int lfo_frames, int damping_q8)
{
    Svf svf;
    for (size_t i = 0; i < w.size(); i++) {
        // Raised cosine between hz_a and hz_b, starting at hz_a.
        uint32_t phase = uint32_t(((uint64_t(i) % uint64_t(lfo_frames)) << 32) / uint64_t(lfo_frames));
        int shape = 32768 - sine_q15(phase + 0x40000000u);  // 0..65535
        int hz = hz_a + int(int64_t(hz_b - hz_a) * shape / 65536);
        w[i] = svf.step(w[i], svf_coefficient(rate, hz), damping_q8);
    }
}

void apply_drive(Wave& w, int drive_q8)
{
    for (int32_t& v : w) {
        int64_t x = int64_t(v) * drive_q8 >> 8;
        // x / (1 + |x|) shape scaled to full range: 32767 x / (32767 + |x|) * 2.
        int64_t ax = x < 0 ? -x : x;
        v = int32_t(x * 65534 / (32767 + ax));
    }
}

void mix_into(Wave& dst, const Wave& src, int gain_q8, int offset)
{
    if (dst.size() < src.size() + size_t(offset)) dst.resize(src.size() + size_t(offset), 0);
    for (size_t i = 0; i < src.size(); i++)
        dst[i + size_t(offset)] += int32_t((int64_t(src[i]) * gain_q8) >> 8);
}

Sample to_sample(const char* name, const Wave& w, int peak, uint32_t base_rate,
                 LoopMode loop, uint32_t loop_start, uint32_t loop_end, bool sixteen_bit)
{
    int64_t max = 1;
    for (int32_t v : w) max = v < 0 ? (-int64_t(v) > max ? -int64_t(v) : max) : (v > max ? v : max);
    Sample s;
    s.name = name;
    s.sixteen_bit = sixteen_bit;
    s.base_rate = base_rate;
    s.loop = loop;
    s.loop_start = loop_start;
    s.loop_end = loop == LoopMode::none ? 0 : (loop_end ? loop_end : uint32_t(w.size()));
    s.frames.reserve(w.size());
    for (int32_t v : w) {
        int64_t x = int64_t(v) * peak / max;
        if (!sixteen_bit) x = (x + (x >= 0 ? 128 : -128)) / 256;
        s.frames.push_back(int16_t(clamp(x, sixteen_bit ? -32768 : -128, sixteen_bit ? 32767 : 127)));
    }
    return s;
}
