// tests/player/effects_test.cpp: the routines against worked frames and, over
// minutes of random audio, against models that look back by age, not a ring.
#include "player/effects.h"

#include "player/engine.h"
#include "content/modwriter/test_modules.h"
#include "tests/platform/test_system.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <vector>

using Block = std::vector<int16_t>;  // interleaved left, right
using TwoFrames = std::array<int16_t, 4>;

static const float install_phase = std::bit_cast<float>(0x3F490FDAu), phase_step = std::bit_cast<float>(0x37FBA882u);
static const float install_step = std::bit_cast<float>(0x3B03126Fu);

static EffectState state()
{
    EffectState s;
    effects_get_state(&s);
    return s;
}

// The state the installs leave, set directly: no engine needed.
static void set_installed(float pan_phase, float flanger_delay = 175.0f, float flanger_step = install_step)
{
    const EffectState s{pan_phase, 0, 2, 0, 0, flanger_delay, flanger_step, 0, {}, {}};
    effects_set_state(&s);
}

// Left times |sin|, right times |cos| of the phase, truncated toward zero;
// the phase steps 0.00003 a frame and wraps at 3.1415927 (a half-turn, not
// 2 pi, not the float nearest pi) on the frame that passes it.
TEST(PanSweep, GainsTruncationAndTheHalfTurnWrap)
{
    auto next = [](float phase) {
        double x = double(phase) + double(phase_step);
        return float(x < 3.1415927 ? x : x - 3.1415927);
    };
    const float phi = float(std::asin(0.9)), below = std::nextafter(float(3.1415927 - double(phase_step)), 0.0f);
    // Phase, then a frame in and the frame wanted; a silent frame follows.
    const std::tuple<float, TwoFrames, TwoFrames> cases[] = {
        {0.0f, {1234, -5678}, {0, -5678}}, {install_phase, {10000, -10000}, {7071, -7071}},
        {phi, {3, 10}, {2, 4}},      // sin 0.9, cos 0.436: 2.7 -> 2, 4.36 -> 4
        {phi, {-3, -10}, {-2, -4}},  // toward zero, not down
        {1.5707964f, {32767, 32767}, {32766, 0}},  // sin is 1 - 1e-15: even full scale truncates
        {3.14159f, {0, 0}, {0, 0}}, {below, {0, 0}, {0, 0}}, {3.1415927f, {0, 0}, {0, 0}}};
    for (auto [phase, in, want] : cases) {
        set_installed(phase);
        dsp_pan_sweep(7, 9, in.data(), 8, 0);
        EXPECT_EQ(in, want) << "case phase " << phase;
        EXPECT_EQ(state().pan_phase, next(next(phase))) << "case phase " << phase << ": a step per frame";
    }
}

// out[n] = in[n] + (the other side of out[n - 1200]) / 2 toward zero,
// saturated: the echo changes sides at every return. Silent before.
struct EchoModel {
    std::vector<int> left, right;  // everything written so far

    void operator()(int16_t* frames, size_t count)
    {
        for (size_t n = 0; n < count; ++n, frames += 2) {
            size_t t = left.size();
            int back_left = t >= 1200 ? left[t - 1200] : 0, back_right = t >= 1200 ? right[t - 1200] : 0;
            left.push_back(frames[0] = int16_t(std::clamp(frames[0] + back_right / 2, -32768, 32767)));
            right.push_back(frames[1] = int16_t(std::clamp(frames[1] + back_left / 2, -32768, 32767)));
        }
    }
};

// Each side plus the dry input of 350 - (d mod 350) frames ago for whole delay
// d and one frame younger, weighted by the fraction (negative just below 0),
// saturated; the delay moves a step a frame, turning once it passes 0 or 350.
struct FlangerModel {
    float delay, step;
    std::vector<int> dry[2] = {};  // every input so far, left and right

    int tap(int side, long d) const
    {
        size_t age = size_t(350 - ((d % 350) + 350) % 350);
        return dry[side].size() >= age ? dry[side][dry[side].size() - age] : 0;
    }

    void operator()(int16_t* frames, size_t count)
    {
        for (size_t n = 0; n < count; ++n, frames += 2) {
            long d = long(std::trunc(delay));
            double f = std::fmod(double(delay), 1.0);
            for (int side = 0; side < 2; ++side) {
                int in = frames[side];
                int wet = int(std::trunc(tap(side, d + 1) * f + tap(side, d) * (1.0 - f)));
                frames[side] = int16_t(std::clamp(in + wet, -32768, 32767));
                dry[side].push_back(in);
            }
            delay = float(double(delay) + double(step));
            if (delay < 0.0f || delay > 350.0f)
                step = -step;
        }
    }
};

// Random audio of varying loudness in random blocks, empty ones included;
// now and then two instances in a row, as after a double install.
template <typename Model>
static void long_run(EngineDspProc routine, Model& model, size_t seconds)
{
    std::mt19937 rng(8);
    for (size_t done = 0, frames; done < seconds * 44100; done += frames) {
        frames = std::min<size_t>(seconds * 44100 - done, rng() % 2049);
        const int amplitude = std::array{1, 300, 9000, 32768}[rng() % 4];
        Block block(2 * frames);
        for (int16_t& s : block)
            s = int16_t(int(rng() % uint32_t(2 * amplitude)) - amplitude);
        Block want = block;
        for (int i = rng() % 16 == 0 ? 2 : 1; i > 0; --i) {
            routine(7, 9, block.data(), uint32_t(frames * 4), 0);
            model(want.data(), frames);
        }
        ASSERT_EQ(block, want) << "in the block at frame " << done;
    }
}

TEST(Effects, MinutesOfRandomAudioMatchTheModels)
{
    EchoModel echo;
    set_installed(install_phase);
    long_run(dsp_echo, echo, 180);
    EXPECT_EQ(state().echo_pos, int((2 + echo.left.size()) % 1200)) << "case echo";
    // From the install, and with a step that lands on 0 and 350 exactly.
    for (FlangerModel flanger : {FlangerModel{175.0f, install_step}, FlangerModel{0.5f, 0.5f}}) {
        set_installed(install_phase, flanger.delay, flanger.step);
        long_run(dsp_flanger, flanger, 180);
        EXPECT_EQ(state().flanger_pos, int(flanger.dry[0].size() % 350)) << "case step " << flanger.step;
        EXPECT_EQ(state().flanger_delay, flanger.delay) << "case step " << flanger.step;
        EXPECT_EQ(state().flanger_step, flanger.step) << "case step " << flanger.step;
    }
}

// How many instances of each effect run on a channel, read from how far one
// render of 10 frames moves the state they share; and the keys' commands.
struct StackedEffect {
    const char* name;
    void (*install)(uint32_t channel);
    void (*remove)(uint32_t channel);
    uint32_t EffectState::*slot;
    long (*moved)(const EffectState& before, const EffectState& after);  // frames
};

static int running_instances(const StackedEffect& e)
{
    const EffectState before = state();
    int16_t block[2 * 10] = {};
    audio_render(block, 10);
    return int(e.moved(before, state()) / 10);
}

// A held install key stops adding instances at the limit, doing nothing
// at all from then on; a remove makes room for one more; a new channel
// counts from zero.
TEST(EffectCommands, AHeldInstallKeyStopsAtTheLimit)
{
    const StackedEffect effects[] = {
        {"pan sweep", install_pan_sweep, remove_pan_sweep, &EffectState::pan_dsp,
         [](const EffectState& b, const EffectState& a) {
             return std::lround((a.pan_phase - b.pan_phase) / phase_step);
         }},
        {"echo", install_echo, remove_echo, &EffectState::echo_dsp,
         [](const EffectState& b, const EffectState& a) { return long((a.echo_pos - b.echo_pos + 1200) % 1200); }},
        {"flanger", install_flanger, remove_flanger, &EffectState::flanger_dsp,
         [](const EffectState& b, const EffectState& a) { return long((a.flanger_pos - b.flanger_pos + 350) % 350); }},
    };
    ASSERT_EQ(audio_init(0, ENGINE_RATE, 0, nullptr), 1);
    std::string path = testing::TempDir() + "effects_stack_" + std::to_string(getpid()) + ".it";
    test_write_file(path.c_str(), make_tone_module(1.0));
    const uint32_t channel = music_load(0, path.c_str(), 0, 0, MUSIC_LOOP);
    const uint32_t next_channel = music_load(0, path.c_str(), 0, 0, MUSIC_LOOP);
    music_play_ex(channel, 0, -1, 1);
    for (const StackedEffect& e : effects) {
        for (int press = 0; press < effect_stack_limit; ++press)
            e.install(channel);
        const EffectState full = state();
        e.install(channel);
        const EffectState ninth = state();
        EXPECT_EQ(std::memcmp(&ninth, &full, sizeof full), 0)
            << e.name << ": the install past the limit changed the state";
        for (int press = 0; press < 20; ++press)
            e.install(channel);
        EXPECT_EQ(running_instances(e), effect_stack_limit) << e.name << " after 29 installs";
        e.remove(channel);
        EXPECT_EQ(running_instances(e), effect_stack_limit - 1) << e.name << " after a remove";
        e.install(channel);
        e.install(channel);
        EXPECT_EQ(running_instances(e), effect_stack_limit) << e.name << " after two more installs";
        e.install(next_channel);
        EXPECT_EQ(channel_remove_dsp(next_channel, state().*e.slot), 1) << e.name << ": none went on the next channel";
    }
    audio_shutdown();
    effects_reset_state();
    std::remove(path.c_str());
}
