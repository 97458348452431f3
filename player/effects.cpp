// player/effects.cpp: owns the effect state and runs the pan sweep, echo and
// flanger. Routines: audio thread. Commands and state accessors: UI thread.
#include "player/effects.h"

#include "player/engine.h"

#include <atomic>
#include <bit>
#include <cmath>
#include <cstddef>
#include <math.h>

constexpr float pan_install_phase = 0.7853981f;  // both gains start near 0.707
constexpr float pan_phase_step = 0.00003f;       // radians per frame
constexpr double pan_phase_period = 3.1415927;   // a half-turn: |sin| and |cos| repeat
constexpr int32_t echo_install_pos = 2;
constexpr float flanger_install_delay = 175.0f;  // frames, mid-sweep
constexpr float flanger_install_step = 0.002f;   // frames per frame
constexpr float flanger_lowest_delay = 0.0f;     // turns when the delay goes below
constexpr float flanger_highest_delay = 350.0f;  // turns when the delay goes above

// The sweep's timing depends on these exact bits, not on the decimal values.
static_assert(std::bit_cast<uint32_t>(pan_install_phase) == 0x3F490FDAu);
static_assert(std::bit_cast<uint32_t>(pan_phase_step) == 0x37FBA882u);
static_assert(std::bit_cast<uint32_t>(flanger_install_step) == 0x3B03126Fu);
static_assert(std::atomic<float>::is_always_lock_free);
static_assert(std::atomic<int16_t>::is_always_lock_free);

// Scalars: written by the commands (UI) and by the routines (audio); relaxed
// is enough because the engine's attach publishes an install's writes, and
// the other overlaps (a remove's phase reset during a block, a repeated
// install) may fall either way. Each routine loads them once per block and
// stores them back at its end.
static std::atomic<float> pan_phase{0.0f};      // radians
static std::atomic<uint32_t> pan_dsp{0};        // UI only
static std::atomic<int32_t> echo_pos{0};        // 0 to echo_frames - 1
static std::atomic<uint32_t> echo_dsp{0};       // UI only
static std::atomic<int32_t> flanger_pos{0};     // 0 to flanger_frames - 1
static std::atomic<float> flanger_delay{0.0f};  // frames
static std::atomic<float> flanger_step{0.0f};   // frames per frame
static std::atomic<uint32_t> flanger_dsp{0};    // UI only

// Histories: cleared by an install (UI) while an earlier instance may still
// be running, otherwise touched by the audio thread only. Relaxed atomics
// keep that overlap defined and cost plain loads and stores.
static std::atomic<int16_t> echo_history[echo_frames][2];        // output, left/right
static std::atomic<int16_t> flanger_history[flanger_frames][2];  // dry input, left/right

// How many instances of one effect the keys have attached to one channel.
// Each instance costs the mixer a pass over every block, and a held key
// repeats some 30 times a second: unbounded, a few seconds of F1 left more
// work per block than the block lasts. Only the current channel is
// counted: a track change makes a new one (handles are never reused), and
// the old channel, stopped, costs nothing. UI thread only.
struct EffectStack {
    uint32_t channel;
    int instances;
};
static EffectStack pan_stack, echo_stack, flanger_stack;

static bool stack_full(EffectStack* stack, uint32_t channel)
{
    if (stack->channel != channel) {
        stack->channel = channel;
        stack->instances = 0;
    }
    return stack->instances >= effect_stack_limit;
}

// dsp is the engine's answer to an attach: 0 is a refusal, nothing attached.
static uint32_t count_attach(EffectStack* stack, uint32_t dsp)
{
    if (dsp)
        ++stack->instances;
    return dsp;
}

// removed is the engine's answer to a removal: 1 when an instance went.
static int count_removal(EffectStack* stack, uint32_t channel, int removed)
{
    if (removed == 1 && stack->channel == channel && stack->instances > 0)
        --stack->instances;
    return removed;
}

static inline int16_t load_sample(const std::atomic<int16_t>& s)
{
    return s.load(std::memory_order_relaxed);
}

static inline void store_sample(std::atomic<int16_t>& s, int16_t value)
{
    s.store(value, std::memory_order_relaxed);
}

template <size_t frames>
static void clear_history(std::atomic<int16_t> (&history)[frames][2])
{
    for (auto& frame : history) {
        store_sample(frame[0], 0);
        store_sample(frame[1], 0);
    }
}

// Sums are formed in 32 bits and clamped into 16.
static inline int16_t saturate(int32_t sum)
{
    if (sum <= -32768)
        return -32768;
    if (sum >= 32767)
        return 32767;
    return int16_t(sum);
}

static inline void sin_cos(double x, double* s, double* c)
{
#if defined(__GLIBC__)
    sincos(x, s, c);  // one call, the same values as sin and cos
#else
    *s = std::sin(x);
    *c = std::cos(x);
#endif
}

// fmod(x, period) without the library call: a phase plus one step lies in
// [0, 2 * period), where subtracting the period once is exact (the operands
// are within a factor of two), so the result equals fmod's bit for bit.
static inline double wrap_phase(double x)
{
    if (x >= 0.0 && x < 2.0 * pan_phase_period)
        return x < pan_phase_period ? x : x - pan_phase_period;
    return std::fmod(x, pan_phase_period);
}

void dsp_pan_sweep(uint32_t, uint32_t, void* buffer, uint32_t length, uint32_t)
{
    uint32_t frames = length / 4;
    if (frames == 0)
        return;
    int16_t* s = static_cast<int16_t*>(buffer);
    float phase = pan_phase.load(std::memory_order_relaxed);
    for (uint32_t i = 0; i < frames; ++i, s += 2) {
        double sin_phase, cos_phase;
        sin_cos(double(phase), &sin_phase, &cos_phase);
        // The gains never exceed 1, so the truncated products fit.
        s[0] = int16_t(int32_t(std::fabs(sin_phase) * double(s[0])));
        s[1] = int16_t(int32_t(std::fabs(cos_phase) * double(s[1])));
        phase = float(wrap_phase(double(phase) + double(pan_phase_step)));
    }
    pan_phase.store(phase, std::memory_order_relaxed);
}

void dsp_echo(uint32_t, uint32_t, void* buffer, uint32_t length, uint32_t)
{
    uint32_t frames = length / 4;
    if (frames == 0)
        return;
    int16_t* s = static_cast<int16_t*>(buffer);
    int32_t pos = echo_pos.load(std::memory_order_relaxed);
    while (frames > 0) {
        // Up to the history's end, so the inner loop needs no wrap test.
        uint32_t run = uint32_t(echo_frames - pos);
        if (run > frames)
            run = frames;
        std::atomic<int16_t>(*h)[2] = &echo_history[pos];
        for (uint32_t i = 0; i < run; ++i, s += 2, ++h) {
            int32_t old_left = load_sample((*h)[0]);
            int32_t old_right = load_sample((*h)[1]);
            // Crossed: the left hears the right's past and the other way
            // round, so an echo changes sides at every return.
            int16_t left = saturate(s[0] + old_right / 2);
            int16_t right = saturate(s[1] + old_left / 2);
            s[0] = left;
            s[1] = right;
            store_sample((*h)[0], left);
            store_sample((*h)[1], right);
        }
        pos += int32_t(run);
        if (pos == echo_frames)
            pos = 0;
        frames -= run;
    }
    echo_pos.store(pos, std::memory_order_relaxed);
}

// One channel of one flanger frame: the tap pair weighted by the delay's
// fraction, then the dry sample goes into the history slot being left.
static inline int16_t flange_sample(int16_t in, int32_t pos, int32_t i0, int32_t i1, double fraction,
                                    int side)
{
    double near_tap = double(load_sample(flanger_history[i1][side])) * fraction;
    double far_tap = double(load_sample(flanger_history[i0][side])) * (1.0 - fraction);
    int32_t wet = int32_t(near_tap + far_tap);
    store_sample(flanger_history[pos][side], in);
    return saturate(int32_t(in) + wet);
}

void dsp_flanger(uint32_t, uint32_t, void* buffer, uint32_t length, uint32_t)
{
    uint32_t frames = length / 4;
    if (frames == 0)
        return;
    int16_t* s = static_cast<int16_t*>(buffer);
    int32_t pos = flanger_pos.load(std::memory_order_relaxed);
    float delay = flanger_delay.load(std::memory_order_relaxed);
    float step = flanger_step.load(std::memory_order_relaxed);
    for (uint32_t i = 0; i < frames; ++i, s += 2) {
        int32_t whole = int32_t(delay);  // toward zero: 0 for a delay just below 0
        int32_t i0 = (pos + whole) % flanger_frames;
        if (i0 < 0)
            i0 += flanger_frames;
        int32_t i1 = i0 + 1 == flanger_frames ? 0 : i0 + 1;
        // fmod(delay, 1.0): exact, and negative for a delay just below 0.
        double fraction = double(delay) - double(whole);
        s[0] = flange_sample(s[0], pos, i0, i1, fraction, 0);
        s[1] = flange_sample(s[1], pos, i0, i1, fraction, 1);
        pos = pos + 1 == flanger_frames ? 0 : pos + 1;
        delay = float(double(delay) + double(step));
        // Exactly 0 or 350 does not turn; the new delay serves the next frame.
        if (delay < flanger_lowest_delay || delay > flanger_highest_delay)
            step = -step;
    }
    flanger_pos.store(pos, std::memory_order_relaxed);
    flanger_delay.store(delay, std::memory_order_relaxed);
    flanger_step.store(step, std::memory_order_relaxed);
}

void install_pan_sweep(uint32_t channel)
{
    if (stack_full(&pan_stack, channel))
        return;
    pan_phase.store(pan_install_phase, std::memory_order_relaxed);
    pan_dsp.store(count_attach(&pan_stack, channel_set_dsp(channel, dsp_pan_sweep, 0)), std::memory_order_relaxed);
}

void remove_pan_sweep(uint32_t channel)
{
    // Reset while still attached: a block in progress may keep its own end
    // phase, which is harmless.
    pan_phase.store(0.0f, std::memory_order_relaxed);
    uint32_t dsp = pan_dsp.load(std::memory_order_relaxed);
    pan_dsp.store(uint32_t(count_removal(&pan_stack, channel, channel_remove_dsp(channel, dsp))),
                  std::memory_order_relaxed);
}

void install_echo(uint32_t channel)
{
    if (stack_full(&echo_stack, channel))
        return;
    clear_history(echo_history);
    echo_pos.store(echo_install_pos, std::memory_order_relaxed);
    echo_dsp.store(count_attach(&echo_stack, channel_set_dsp(channel, dsp_echo, 0)), std::memory_order_relaxed);
}

void remove_echo(uint32_t channel)
{
    uint32_t dsp = echo_dsp.load(std::memory_order_relaxed);
    echo_dsp.store(uint32_t(count_removal(&echo_stack, channel, channel_remove_dsp(channel, dsp))),
                   std::memory_order_relaxed);
}

void install_flanger(uint32_t channel)
{
    if (stack_full(&flanger_stack, channel))
        return;
    clear_history(flanger_history);
    flanger_pos.store(0, std::memory_order_relaxed);
    flanger_delay.store(flanger_install_delay, std::memory_order_relaxed);
    flanger_step.store(flanger_install_step, std::memory_order_relaxed);
    flanger_dsp.store(count_attach(&flanger_stack, channel_set_dsp(channel, dsp_flanger, 0)),
                      std::memory_order_relaxed);
}

void remove_flanger(uint32_t channel)
{
    uint32_t dsp = flanger_dsp.load(std::memory_order_relaxed);
    flanger_dsp.store(uint32_t(count_removal(&flanger_stack, channel, channel_remove_dsp(channel, dsp))),
                      std::memory_order_relaxed);
}

void effects_get_state(EffectState* out)
{
    out->pan_phase = pan_phase.load(std::memory_order_relaxed);
    out->pan_dsp = pan_dsp.load(std::memory_order_relaxed);
    out->echo_pos = echo_pos.load(std::memory_order_relaxed);
    out->echo_dsp = echo_dsp.load(std::memory_order_relaxed);
    out->flanger_pos = flanger_pos.load(std::memory_order_relaxed);
    out->flanger_delay = flanger_delay.load(std::memory_order_relaxed);
    out->flanger_step = flanger_step.load(std::memory_order_relaxed);
    out->flanger_dsp = flanger_dsp.load(std::memory_order_relaxed);
    for (int i = 0; i < echo_frames; ++i)
        for (int side = 0; side < 2; ++side)
            out->echo_history[i][side] = load_sample(echo_history[i][side]);
    for (int i = 0; i < flanger_frames; ++i)
        for (int side = 0; side < 2; ++side)
            out->flanger_history[i][side] = load_sample(flanger_history[i][side]);
}

void effects_set_state(const EffectState* in)
{
    pan_phase.store(in->pan_phase, std::memory_order_relaxed);
    pan_dsp.store(in->pan_dsp, std::memory_order_relaxed);
    echo_pos.store(in->echo_pos, std::memory_order_relaxed);
    echo_dsp.store(in->echo_dsp, std::memory_order_relaxed);
    flanger_pos.store(in->flanger_pos, std::memory_order_relaxed);
    flanger_delay.store(in->flanger_delay, std::memory_order_relaxed);
    flanger_step.store(in->flanger_step, std::memory_order_relaxed);
    flanger_dsp.store(in->flanger_dsp, std::memory_order_relaxed);
    for (int i = 0; i < echo_frames; ++i)
        for (int side = 0; side < 2; ++side)
            store_sample(echo_history[i][side], in->echo_history[i][side]);
    for (int i = 0; i < flanger_frames; ++i)
        for (int side = 0; side < 2; ++side)
            store_sample(flanger_history[i][side], in->flanger_history[i][side]);
}

void effects_reset_state()
{
    static const EffectState zero{};
    effects_set_state(&zero);
    pan_stack = echo_stack = flanger_stack = EffectStack{};
}
