// tests/player/effects_test.cpp: the effect routines against hand-worked
// frames and against a separate frame-by-frame model of each effect; the
// key commands on the real engine with no device, where the test thread is
// both the UI thread and the mixer.
#include "player/effects.h"

#include "player/engine.h"
#include "player/track_list.h"
#include "tools/modwriter/test_modules.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

using Block = std::vector<int16_t>;  // interleaved left, right
using Routine = void (*)(uint32_t, uint32_t, void*, uint32_t, uint32_t);

static const float install_phase = std::bit_cast<float>(0x3F490FDAu);
static const float phase_step = std::bit_cast<float>(0x37FBA882u);
static const float install_step = std::bit_cast<float>(0x3B03126Fu);

static void run(Routine routine, Block& block, size_t first_frame = 0, size_t frames = SIZE_MAX)
{
    if (frames == SIZE_MAX)
        frames = block.size() / 2 - first_frame;
    routine(7, 9, block.data() + 2 * first_frame, uint32_t(frames * 4), 0);
}

static std::unique_ptr<EffectState> get_state()
{
    auto state = std::make_unique<EffectState>();
    effects_get_state(state.get());
    return state;
}

// State as each install leaves it, set directly so that these tests need
// no engine.
static std::unique_ptr<EffectState> installed_state()
{
    auto state = std::make_unique<EffectState>();
    *state = EffectState{};
    state->pan_phase = install_phase;
    state->echo_pos = 2;
    state->flanger_delay = 175.0f;
    state->flanger_step = install_step;
    return state;
}

static std::unique_ptr<EffectState> random_state(std::mt19937& rng)
{
    auto state = std::make_unique<EffectState>();
    std::uniform_int_distribution<int> sample(-32768, 32767);
    state->pan_phase = std::uniform_real_distribution<float>(0.0f, 3.14f)(rng);
    state->pan_dsp = 11;
    state->echo_pos = std::uniform_int_distribution<int>(0, echo_frames - 1)(rng);
    state->echo_dsp = 12;
    state->flanger_pos = std::uniform_int_distribution<int>(0, flanger_frames - 1)(rng);
    state->flanger_delay = std::uniform_real_distribution<float>(0.0f, 350.0f)(rng);
    state->flanger_step = -install_step;
    state->flanger_dsp = 13;
    for (auto& frame : state->echo_history)
        frame[0] = int16_t(sample(rng)), frame[1] = int16_t(sample(rng));
    for (auto& frame : state->flanger_history)
        frame[0] = int16_t(sample(rng)), frame[1] = int16_t(sample(rng));
    return state;
}

static bool same_state(const EffectState& a, const EffectState& b)
{
    return std::bit_cast<uint32_t>(a.pan_phase) == std::bit_cast<uint32_t>(b.pan_phase) &&
           a.pan_dsp == b.pan_dsp && a.echo_pos == b.echo_pos && a.echo_dsp == b.echo_dsp &&
           a.flanger_pos == b.flanger_pos &&
           std::bit_cast<uint32_t>(a.flanger_delay) == std::bit_cast<uint32_t>(b.flanger_delay) &&
           std::bit_cast<uint32_t>(a.flanger_step) == std::bit_cast<uint32_t>(b.flanger_step) &&
           a.flanger_dsp == b.flanger_dsp &&
           std::memcmp(a.echo_history, b.echo_history, sizeof a.echo_history) == 0 &&
           std::memcmp(a.flanger_history, b.flanger_history, sizeof a.flanger_history) == 0;
}

static Block random_block(std::mt19937& rng, size_t frames, int amplitude)
{
    std::uniform_int_distribution<int> sample(-amplitude, amplitude - 1);
    Block block(2 * frames);
    for (int16_t& s : block)
        s = int16_t(sample(rng));
    return block;
}

// ---------------------------------------------------------------------------
// Models, written from the effects' description rather than from the
// routines: the echo and the flanger look back through the whole signal by
// age instead of keeping a ring, so they also check the ring indexing.

static int clamp16(long sum)
{
    return int(std::clamp(sum, -32768L, 32767L));
}

struct PanModel {
    float phase = install_phase;

    void process(int16_t* frames, size_t count)
    {
        for (size_t n = 0; n < count; ++n) {
            double x = phase;
            frames[2 * n] = int16_t(std::trunc(std::abs(std::sin(x)) * frames[2 * n]));
            frames[2 * n + 1] = int16_t(std::trunc(std::abs(std::cos(x)) * frames[2 * n + 1]));
            phase = float(std::fmod(x + double(phase_step), 3.1415927));
        }
    }
};

// out[n] = in[n] + (the other side of out[n - 1200]) / 2, saturated; before
// the install the history was silent.
struct EchoModel {
    std::vector<int> left, right;  // everything written so far

    void process(int16_t* frames, size_t count)
    {
        for (size_t n = 0; n < count; ++n) {
            size_t t = left.size();
            int back_left = t >= 1200 ? left[t - 1200] : 0;
            int back_right = t >= 1200 ? right[t - 1200] : 0;
            int l = clamp16(long(frames[2 * n]) + long(std::trunc(back_right / 2.0)));
            int r = clamp16(long(frames[2 * n + 1]) + long(std::trunc(back_left / 2.0)));
            frames[2 * n] = int16_t(l);
            frames[2 * n + 1] = int16_t(r);
            left.push_back(l);
            right.push_back(r);
        }
    }
};

// The history slot (p + k) mod 350 holds the dry input of 350 - k frames
// ago (k = 0 meaning 350), so a tap depends only on the whole delay d.
struct FlangerModel {
    float delay = 175.0f;
    float step = install_step;
    std::vector<int> left, right;  // every dry input so far

    static int age_of_tap(long d)
    {
        long k = ((d % 350) + 350) % 350;
        return k == 0 ? 350 : int(350 - k);
    }

    int dry(const std::vector<int>& side, int age) const
    {
        return side.size() >= size_t(age) ? side[side.size() - age] : 0;
    }

    void process(int16_t* frames, size_t count)
    {
        for (size_t n = 0; n < count; ++n) {
            long d = long(std::trunc(delay));
            double f = std::fmod(double(delay), 1.0);
            int far_age = age_of_tap(d), near_age = age_of_tap(d + 1);
            int in_left = frames[2 * n], in_right = frames[2 * n + 1];
            double wet_left = dry(left, near_age) * f + dry(left, far_age) * (1.0 - f);
            double wet_right = dry(right, near_age) * f + dry(right, far_age) * (1.0 - f);
            frames[2 * n] = int16_t(clamp16(in_left + long(std::trunc(wet_left))));
            frames[2 * n + 1] = int16_t(clamp16(in_right + long(std::trunc(wet_right))));
            left.push_back(in_left);
            right.push_back(in_right);
            delay = float(double(delay) + double(step));
            if (delay < 0.0f || delay > 350.0f)
                step = -step;
        }
    }
};

// ---------------------------------------------------------------------------

TEST(Effects, EmptyBlockChangesNothing)
{
    std::mt19937 rng(1);
    auto before = random_state(rng);
    effects_set_state(before.get());
    for (Routine routine : {dsp_pan_sweep, dsp_echo, dsp_flanger}) {
        Block block = {1000, -1000, 2000, -2000};
        for (uint32_t length : {0u, 1u, 2u, 3u})
            routine(1, 1, block.data(), length, 0);
        EXPECT_EQ(block, (Block{1000, -1000, 2000, -2000}));
        auto after = get_state();
        EXPECT_TRUE(same_state(*before, *after));
    }
}

TEST(PanSweep, GainsAndTruncation)
{
    // phi is the float nearest asin(0.9): sin 0.9, cos 0.43589.
    const float phi = float(std::asin(0.9));
    struct Case {
        float phase;
        int16_t left, right, want_left, want_right;
    };
    for (Case c : {Case{0.0f, 1234, -5678, 0, -5678},        // phase 0: left silent
                   Case{0.0f, -32768, 32767, 0, 32767},
                   Case{0.0f, 32767, -32768, 0, -32768},
                   Case{phi, 3, 10, 2, 4},                     // 2.7 -> 2, 4.36 -> 4
                   Case{phi, -1, -2, 0, 0},                    // -0.9 -> 0, -0.87 -> 0
                   Case{phi, -3, -10, -2, -4},                 // toward zero, not down
                   Case{install_phase, 10000, -10000, 7071, -7071},
                   // sin is 1 - 1e-15 here: even full scale truncates down.
                   Case{1.5707964f, 32767, 32767, 32766, 0}}) {
        auto state = installed_state();
        state->pan_phase = c.phase;
        effects_set_state(state.get());
        Block block = {c.left, c.right};
        run(dsp_pan_sweep, block);
        EXPECT_EQ(block, (Block{c.want_left, c.want_right})) << c.phase << " " << c.left;
        EXPECT_EQ(get_state()->pan_phase, float(double(c.phase) + double(phase_step)));
    }
}

TEST(PanSweep, PhaseWrapsAtHalfTurn)
{
    // |sin| and |cos| repeat every half-turn, so the phase wraps at
    // 3.1415927 (not 2 pi, not the float nearest pi) on the frame that
    // passes it.
    struct Case {
        float phase;
        float want;
    };
    const float below = std::nextafter(float(3.1415927 - double(phase_step)), 0.0f);
    for (Case c : {Case{3.14159f, float(double(3.14159f) + double(phase_step) - 3.1415927)},
                   Case{below, float(double(below) + double(phase_step))},
                   Case{3.1415927f, float(double(3.1415927f) + double(phase_step) - 3.1415927)}}) {
        auto state = installed_state();
        state->pan_phase = c.phase;
        effects_set_state(state.get());
        Block block = {100, 100, 100, 100};
        run(dsp_pan_sweep, block, 0, 1);
        EXPECT_EQ(get_state()->pan_phase, c.want) << c.phase;
        EXPECT_LT(get_state()->pan_phase, 3.1415927f);
    }
}

TEST(Echo, OneFrameAgainstTheHistory)
{
    struct Case {
        int16_t left, right, history_left, history_right, want_left, want_right;
    };
    for (Case c : {Case{30000, 0, 0, 10000, 32767, 0},        // upper rail
                   Case{-30000, 0, 0, -10000, -32768, 0},     // lower rail
                   Case{0, 0, 0, -3, -1, 0},                  // -3 / 2 is -1
                   Case{0, 0, -1, 0, 0, 0},                   // -1 / 2 is 0
                   Case{0, 0, 1000, 0, 0, 500},               // crossed sides
                   Case{32765, -32766, -4, 4, 32767, -32768},  // sums on the rails
                   Case{-32768, 32767, 32767, -32768, -32768, 32767},
                   Case{100, -100, 7, -7, 97, -97}}) {
        for (int pos : {0, 2, echo_frames - 1}) {
            auto state = installed_state();
            state->echo_pos = pos;
            state->echo_history[pos][0] = c.history_left;
            state->echo_history[pos][1] = c.history_right;
            effects_set_state(state.get());
            Block block = {c.left, c.right};
            run(dsp_echo, block);
            EXPECT_EQ(block, (Block{c.want_left, c.want_right})) << c.left << " " << c.right;
            auto after = get_state();
            // The history keeps the output, so the echo recirculates.
            EXPECT_EQ(after->echo_history[pos][0], c.want_left);
            EXPECT_EQ(after->echo_history[pos][1], c.want_right);
            EXPECT_EQ(after->echo_pos, (pos + 1) % echo_frames);
        }
    }
}

TEST(Echo, ImpulseReturnsEvery1200FramesOnTheOtherSide)
{
    std::mt19937 rng(3);
    for (int pos : {2, 0, 1199, 700}) {
        auto state = installed_state();
        state->echo_pos = pos;
        effects_set_state(state.get());
        Block block(2 * 6000, 0);
        block[0] = 16000;
        for (size_t at = 0; at < 6000;) {
            size_t frames = std::min<size_t>(6000 - at, rng() % 1500);
            run(dsp_echo, block, at, frames);
            at += frames;
        }
        Block want(2 * 6000, 0);
        want[0] = 16000;
        want[2 * 1200 + 1] = 8000;
        want[2 * 2400] = 4000;
        want[2 * 3600 + 1] = 2000;
        want[2 * 4800] = 1000;
        EXPECT_EQ(block, want) << "from position " << pos;
        EXPECT_EQ(get_state()->echo_pos, (pos + 6000) % echo_frames);
    }
}

TEST(Echo, SilentHistoryPassesTheFirst1200Frames)
{
    std::mt19937 rng(4);
    for (int pos : {2, 0, 600, 1199}) {
        auto state = installed_state();
        state->echo_pos = pos;
        effects_set_state(state.get());
        Block input = random_block(rng, 1201, 32768), block = input;
        run(dsp_echo, block, 0, 1000);
        run(dsp_echo, block, 1000, 201);
        EXPECT_TRUE(std::equal(block.begin(), block.begin() + 2 * 1200, input.begin()))
            << "from position " << pos;
        EXPECT_EQ(block[2 * 1200], clamp16(input[2 * 1200] + input[1] / 2));
        EXPECT_EQ(block[2 * 1200 + 1], clamp16(input[2 * 1200 + 1] + input[0] / 2));
    }
}

TEST(Flanger, DelayedCopyStartsAtFrame175)
{
    // Right after the install the taps read silent slots until, at frame
    // index 174 (delay about 175.35), the second tap reaches slot 0.
    std::mt19937 rng(5);
    effects_set_state(installed_state().get());
    Block input = random_block(rng, 176, 30000);
    input[0] = 20000, input[1] = -20000;
    Block block = input;
    run(dsp_flanger, block, 0, 100);
    run(dsp_flanger, block, 100, 76);
    EXPECT_TRUE(std::equal(block.begin(), block.begin() + 2 * 174, input.begin()));
    float delay = 175.0f;
    for (int i = 0; i < 174; ++i)
        delay = float(double(delay) + double(install_step));
    ASSERT_NEAR(delay, 175.348, 0.001);
    double f = double(delay) - 175.0;
    EXPECT_EQ(block[2 * 174], clamp16(input[2 * 174] + long(std::trunc(20000 * f))));
    EXPECT_EQ(block[2 * 174 + 1], clamp16(input[2 * 174 + 1] + long(std::trunc(-20000 * f))));
    EXPECT_NE(block[2 * 174], input[2 * 174]);
}

TEST(Flanger, TapsAtTheEndsOfTheSweep)
{
    // slot(k) is slot (pos + k) mod 350: slot(0) is 350 frames old, slot(k)
    // 350 - k frames old. Each case: delay, which slots are weighted, and f.
    struct Case {
        int pos;
        float delay;
        int far_k, near_k;
        double f;
    };
    for (Case c : {Case{10, 349.25f, 349, 0, 0.25},  // one frame old and 350 old
                   Case{349, 349.25f, 349, 0, 0.25},
                   Case{0, 349.75f, 349, 0, 0.75},
                   Case{10, 350.0f, 0, 1, 0.0},      // d = 350 wraps to slot p
                   Case{345, 350.00122f, 0, 1, double(350.00122f) - 350.0},
                   Case{10, 0.5f, 0, 1, 0.5},
                   Case{349, 175.5f, 175, 176, 0.5},
                   Case{5, -0.00122f, 0, 1, double(-0.00122f)}}) {  // f negative
        std::mt19937 rng(6);
        auto state = random_state(rng);
        state->flanger_pos = c.pos;
        state->flanger_delay = c.delay;
        effects_set_state(state.get());
        const Block input = {1000, -1000};
        Block block = input;
        run(dsp_flanger, block);
        for (int side = 0; side < 2; ++side) {
            int far = state->flanger_history[(c.pos + c.far_k) % 350][side];
            int near = state->flanger_history[(c.pos + c.near_k) % 350][side];
            long wet = long(std::trunc(near * c.f + far * (1.0 - c.f)));
            EXPECT_EQ(block[side], clamp16(input[side] + wet))
                << "pos " << c.pos << " delay " << c.delay << " side " << side;
        }
        auto after = get_state();
        EXPECT_EQ(after->flanger_history[c.pos][0], 1000);  // the dry input
        EXPECT_EQ(after->flanger_history[c.pos][1], -1000);
        EXPECT_EQ(after->flanger_pos, (c.pos + 1) % 350);
    }
}

TEST(Flanger, TurnsOnlyPastTheEnds)
{
    // The new delay is compared with the ends; landing exactly on one does
    // not turn the sweep.
    struct Case {
        float delay, step, want_delay, want_step;
    };
    for (Case c : {Case{0.5f, -0.5f, 0.0f, -0.5f},
                   Case{0.0f, -0.5f, -0.5f, 0.5f},
                   Case{349.5f, 0.5f, 350.0f, 0.5f},
                   Case{350.0f, 0.5f, 350.5f, -0.5f},
                   Case{install_step, -install_step, 0.0f, -install_step},
                   Case{175.0f, install_step, float(175.0 + double(install_step)), install_step}}) {
        auto state = installed_state();
        state->flanger_delay = c.delay;
        state->flanger_step = c.step;
        effects_set_state(state.get());
        Block block = {5, 5};
        run(dsp_flanger, block);
        auto after = get_state();
        EXPECT_EQ(after->flanger_delay, c.want_delay) << c.delay << " " << c.step;
        EXPECT_EQ(after->flanger_step, c.want_step) << c.delay << " " << c.step;
    }
}

TEST(Flanger, OneFrameRunsWithTheDelayJustBelowZero)
{
    // Count the frames the sweep needs from 0.0101 down past 0, and start
    // the ring so that the frame with the negative delay sits at slot 349:
    // its second tap then wraps to slot 0.
    int frames_down = 0;
    for (float delay = 0.0101f; delay >= 0.0f; ++frames_down)
        delay = float(double(delay) - double(install_step));
    std::mt19937 rng(7);
    auto state = random_state(rng);
    state->flanger_delay = 0.0101f;
    state->flanger_step = -install_step;
    state->flanger_pos = 349 - frames_down;
    effects_set_state(state.get());
    Block lead_in = random_block(rng, frames_down, 32768);
    run(dsp_flanger, lead_in);

    auto before = get_state();
    ASSERT_EQ(before->flanger_pos, 349);
    ASSERT_LT(before->flanger_delay, 0.0f);
    ASSERT_GT(before->flanger_delay, -install_step);
    EXPECT_EQ(before->flanger_step, install_step);  // turned by the last frame
    before->flanger_history[349][0] = 30000, before->flanger_history[0][0] = -30000;
    before->flanger_history[349][1] = -20000, before->flanger_history[0][1] = 20000;
    effects_set_state(before.get());
    Block block = {0, 0};
    run(dsp_flanger, block);
    // d = 0 and f < 0: slot 349 weighs a little over 1, slot 0 a little under 0.
    double f = double(before->flanger_delay);
    EXPECT_EQ(block[0], long(std::trunc(-30000 * f + 30000 * (1.0 - f))));
    EXPECT_EQ(block[1], long(std::trunc(20000 * f - 20000 * (1.0 - f))));
    EXPECT_GT(block[0], 30000);
    EXPECT_LT(block[1], -20000);
    auto after = get_state();
    EXPECT_EQ(after->flanger_delay, float(f + double(install_step)));
    EXPECT_GT(after->flanger_delay, 0.0f);
    EXPECT_EQ(after->flanger_step, install_step);
}

// Feeds random audio of varying loudness in random block sizes (empty ones
// included) to the routine and the model alike; now and then the block goes
// through two instances in a row, as after a double install.
template <typename Model>
static void check_long_run(Routine routine, Model& model, uint32_t seed, size_t total_frames)
{
    std::mt19937 rng(seed);
    const int amplitudes[] = {1, 300, 9000, 32768};
    for (size_t done = 0; done < total_frames;) {
        size_t frames = std::min<size_t>(total_frames - done, rng() % 2049);
        Block block = random_block(rng, frames, amplitudes[rng() % 4]), want = block;
        int instances = rng() % 16 == 0 ? 2 : 1;
        for (int i = 0; i < instances; ++i) {
            run(routine, block);
            model.process(want.data(), frames);
        }
        ASSERT_EQ(block, want) << "in the block at frame " << done;
        done += frames;
    }
}

TEST(Effects, MinutesOfRandomAudioMatchTheModels)
{
    const size_t three_minutes = 3 * 60 * 44100;
    effects_set_state(installed_state().get());

    PanModel pan;
    check_long_run(dsp_pan_sweep, pan, 8, three_minutes);
    EXPECT_EQ(get_state()->pan_phase, pan.phase);

    EchoModel echo;
    check_long_run(dsp_echo, echo, 9, three_minutes);
    EXPECT_EQ(get_state()->echo_pos, int((2 + echo.left.size()) % 1200));

    FlangerModel flanger;
    check_long_run(dsp_flanger, flanger, 10, three_minutes);
    auto after = get_state();
    EXPECT_EQ(after->flanger_delay, flanger.delay);
    EXPECT_EQ(after->flanger_step, flanger.step);
    EXPECT_EQ(after->flanger_pos, int(flanger.left.size() % 350));
}

// ---------------------------------------------------------------------------
// The commands, on a playing module. A recording routine attached before any
// effect keeps every dry block, so the models can say what the output of
// each block must be.

static std::vector<Block> dry_blocks;

static void record_dry(uint32_t, uint32_t, void* buffer, uint32_t length, uint32_t)
{
    const int16_t* s = static_cast<const int16_t*>(buffer);
    dry_blocks.emplace_back(s, s + length / 2);
}

class EffectCommands : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(audio_init(0, ENGINE_RATE, 0, nullptr), 1);
        path = testing::TempDir() + "effects_test_" + std::to_string(getpid()) + ".it";
        ToneOptions tone;
        tone.channels = 2;
        tone.wave = ToneWave::sine;
        tone.amplitude = 30000;
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::vector<uint8_t> bytes = make_tone_module(60.0, tone);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        channel = music_load(0, path.c_str(), 0, 0, MUSIC_RAMP);
        ASSERT_NE(channel, 0u);
        current_channel = channel;
        effects_reset_state();
        dry_blocks.clear();
        ASSERT_EQ(music_play_ex(channel, 0, -1, 1), 1);
        recorder = channel_set_dsp(channel, record_dry, 0);
        ASSERT_NE(recorder, 0u);
    }

    void TearDown() override
    {
        EXPECT_GT(dry_peak, 10000) << "the fixture's tone was not heard";
        music_free(channel);
        audio_shutdown();
        current_channel = 0;
        effects_reset_state();
        std::remove(path.c_str());
    }

    // Mixes blocks of 1024 frames and checks each against its dry block put
    // through expect. With one channel playing, the mix is that channel.
    template <typename Expect>
    void render_and_check(int blocks, Expect expect)
    {
        for (int i = 0; i < blocks; ++i) {
            Block out(2 * 1024);
            dry_blocks.clear();
            audio_render(out.data(), 1024);
            ASSERT_EQ(dry_blocks.size(), 1u);
            Block want = dry_blocks[0];
            ASSERT_EQ(want.size(), out.size());
            for (int16_t v : want)
                dry_peak = std::max(dry_peak, std::abs(int(v)));
            expect(want);
            ASSERT_EQ(out, want) << "block " << i;
        }
    }

    std::string path;
    uint32_t channel = 0;
    uint32_t recorder = 0;
    int dry_peak = 0;
};

TEST_F(EffectCommands, InstallResetsAndAttachesRemoveDetaches)
{
    std::mt19937 rng(11);
    auto garbage = random_state(rng);
    effects_set_state(garbage.get());

    install_echo();
    auto after = get_state();
    EXPECT_NE(after->echo_dsp, 0u);
    EXPECT_EQ(after->echo_pos, 2);
    EXPECT_TRUE(std::all_of(&after->echo_history[0][0], &after->echo_history[0][0] + 2 * echo_frames,
                            [](int16_t s) { return s == 0; }));
    EXPECT_EQ(after->flanger_pos, garbage->flanger_pos);  // the others keep theirs
    EXPECT_EQ(after->pan_phase, garbage->pan_phase);

    install_flanger();
    after = get_state();
    EXPECT_NE(after->flanger_dsp, 0u);
    EXPECT_EQ(after->flanger_pos, 0);
    EXPECT_EQ(after->flanger_delay, 175.0f);
    EXPECT_EQ(std::bit_cast<uint32_t>(after->flanger_step), 0x3B03126Fu);
    EXPECT_TRUE(std::all_of(&after->flanger_history[0][0], &after->flanger_history[0][0] + 2 * flanger_frames,
                            [](int16_t s) { return s == 0; }));

    install_pan_sweep();
    after = get_state();
    EXPECT_NE(after->pan_dsp, 0u);
    EXPECT_EQ(std::bit_cast<uint32_t>(after->pan_phase), 0x3F490FDAu);
    EXPECT_EQ(after->echo_pos, 2);  // installing one effect leaves the others

    // Attached in the order echo, flanger, pan: each block goes through them
    // in that order.
    EchoModel echo;
    FlangerModel flanger;
    PanModel pan;
    render_and_check(100, [&](Block& b) {
        echo.process(b.data(), 1024);
        flanger.process(b.data(), 1024);
        pan.process(b.data(), 1024);
    });

    // Each remove keeps the engine's answer (1) in the slot and detaches its
    // routine; only the pan sweep's remove resets its state.
    remove_echo();
    auto removed = get_state();
    EXPECT_EQ(removed->echo_dsp, 1u);
    EXPECT_EQ(removed->echo_pos, int((2 + 100 * 1024) % echo_frames));
    render_and_check(10, [&](Block& b) {
        flanger.process(b.data(), 1024);
        pan.process(b.data(), 1024);
    });
    remove_pan_sweep();
    EXPECT_EQ(get_state()->pan_dsp, 1u);
    EXPECT_EQ(get_state()->pan_phase, 0.0f);
    remove_flanger();
    removed = get_state();
    EXPECT_EQ(removed->flanger_dsp, 1u);
    EXPECT_EQ(removed->flanger_delay, flanger.delay);
    render_and_check(10, [](Block&) {});
}

TEST_F(EffectCommands, DoubleInstallRunsTwoInstancesOnOneState)
{
    // F1 twice: both instances scale each block and move the one phase, so
    // the sweep runs twice as fast.
    install_pan_sweep();
    uint32_t older = get_state()->pan_dsp;
    install_pan_sweep();
    uint32_t newer = get_state()->pan_dsp;
    ASSERT_NE(older, 0u);
    ASSERT_NE(newer, 0u);
    ASSERT_NE(older, newer);
    PanModel pan;
    render_and_check(100, [&](Block& b) {
        pan.process(b.data(), 1024);
        pan.process(b.data(), 1024);
    });
    EXPECT_EQ(get_state()->pan_phase, pan.phase);

    // F2 detaches the newer one only; the older sweeps on at the normal
    // rate from the phase the remove reset.
    remove_pan_sweep();
    EXPECT_EQ(get_state()->pan_dsp, 1u);
    pan.phase = 0.0f;
    render_and_check(100, [&](Block& b) { pan.process(b.data(), 1024); });
    EXPECT_EQ(channel_remove_dsp(channel, newer), 0);
    EXPECT_EQ(channel_remove_dsp(channel, older), 1);
}

TEST_F(EffectCommands, SecondInstallResetsTheStateInUse)
{
    // F3 or F5 again while attached: the reset hits the state the first
    // instance is using, and from the next block both run on it.
    install_echo();
    EchoModel echo;
    render_and_check(20, [&](Block& b) { echo.process(b.data(), 1024); });
    install_echo();
    EchoModel shared_echo;  // silent history again, from position 2
    render_and_check(20, [&](Block& b) {
        shared_echo.process(b.data(), 1024);
        shared_echo.process(b.data(), 1024);
    });

    install_flanger();
    FlangerModel flanger;
    render_and_check(100, [&](Block& b) {
        shared_echo.process(b.data(), 1024);
        shared_echo.process(b.data(), 1024);
        flanger.process(b.data(), 1024);
    });
    install_flanger();
    FlangerModel shared_flanger;
    render_and_check(100, [&](Block& b) {
        shared_echo.process(b.data(), 1024);
        shared_echo.process(b.data(), 1024);
        shared_flanger.process(b.data(), 1024);
        shared_flanger.process(b.data(), 1024);
    });
}

TEST_F(EffectCommands, SlotsKeepWhateverTheEngineAnswers)
{
    // F4 before any F3: handle 0 is asked for, refused, and the refusal kept;
    // nothing is detached.
    remove_echo();
    EXPECT_EQ(get_state()->echo_dsp, 0u);
    render_and_check(2, [](Block&) {});

    // F6 twice: the second press passes the first one's answer (1) as the
    // handle. Nothing attached here has handle 1, so it is refused.
    install_flanger();
    remove_flanger();
    EXPECT_EQ(get_state()->flanger_dsp, 1u);
    ASSERT_NE(recorder, 1u);
    remove_flanger();
    EXPECT_EQ(get_state()->flanger_dsp, 0u);
    render_and_check(2, [](Block&) {});

    // With no channel the install is refused and the refusal kept; the
    // state is reset all the same.
    std::mt19937 rng(12);
    effects_set_state(random_state(rng).get());
    current_channel = 0;
    install_echo();
    install_pan_sweep();
    auto after = get_state();
    EXPECT_EQ(after->echo_dsp, 0u);
    EXPECT_EQ(after->echo_pos, 2);
    EXPECT_EQ(after->echo_history[600][1], 0);
    EXPECT_EQ(after->pan_dsp, 0u);
    EXPECT_EQ(after->pan_phase, install_phase);
    render_and_check(2, [](Block&) {});
}

TEST(EffectKeys, PressedWhileTheDeviceMixes)
{
    // Keys in a random stream while SDL's audio thread runs the routines as
    // fast as the disk driver lets it: run under TSan this checks what the
    // two threads share; afterwards every scalar must still be in range.
    std::string out = testing::TempDir() + "effects_keys_" + std::to_string(getpid()) + ".raw";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", out.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "0", 1);
    std::string path = testing::TempDir() + "effects_keys_" + std::to_string(getpid()) + ".it";
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::vector<uint8_t> bytes = make_looping_module(2.0);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);

    ASSERT_EQ(audio_init(-1, ENGINE_RATE, 0, nullptr), 1);
    current_channel = music_load(0, path.c_str(), 0, 0, MUSIC_LOOP | MUSIC_RAMP);
    ASSERT_NE(current_channel, 0u);
    ASSERT_EQ(music_play_ex(current_channel, 0, -1, 1), 1);
    void (*const keys[])() = {install_pan_sweep, remove_pan_sweep, install_echo,
                              remove_echo,       install_flanger,  remove_flanger};
    std::mt19937 rng(13);
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(400);
    while (std::chrono::steady_clock::now() < until) {
        keys[rng() % 6]();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(channel_is_active(current_channel), 1);
    audio_stop();  // the callback has stopped when this returns

    auto state = get_state();
    EXPECT_GE(state->pan_phase, 0.0f);
    EXPECT_LE(state->pan_phase, 3.1415928f);
    EXPECT_GE(state->echo_pos, 0);
    EXPECT_LT(state->echo_pos, echo_frames);
    EXPECT_GE(state->flanger_pos, 0);
    EXPECT_LT(state->flanger_pos, flanger_frames);
    EXPECT_GE(state->flanger_delay, -install_step);
    EXPECT_LE(state->flanger_delay, 350.0f + install_step);
    EXPECT_EQ(std::abs(state->flanger_step), install_step);
    audio_shutdown();
    current_channel = 0;
    effects_reset_state();
    std::remove(path.c_str());
    std::remove(out.c_str());
}
