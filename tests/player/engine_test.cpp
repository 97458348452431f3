// tests/player/engine_test.cpp: the engine with no device (device 0), real
// libopenmpt, on modules from the module writer. The test thread plays both
// the UI thread and the mixer, except where a test starts a thread.
#include "player/engine.h"

#include "tools/modwriter/test_modules.h"

#include <libopenmpt/libopenmpt.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using Samples = std::vector<int16_t>;

std::string write_temp(const std::string& name, const std::vector<uint8_t>& bytes)
{
    std::string path = testing::TempDir() + "engine_test_" + std::to_string(getpid()) + "_" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr) << path;
    if (f) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    return path;
}

// libopenmpt's own read of the module with the settings the engine promises:
// no dither, exact end, ramping by the flag, loops through every wrap.
Samples reference(const std::vector<uint8_t>& bytes, uint32_t flags, size_t frames, size_t block = 1024)
{
    openmpt_module* mod = openmpt_module_create_from_memory2(bytes.data(), bytes.size(), openmpt_log_func_silent,
                                                             nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_NE(mod, nullptr);
    Samples out(frames * 2, 0);
    if (!mod)
        return out;
    openmpt_module_ctl_set_integer(mod, "dither", 0);
    openmpt_module_ctl_set_text(mod, "play.at_end", "stop");
    openmpt_module_set_repeat_count(mod, (flags & MUSIC_LOOP) ? -1 : 0);
    openmpt_module_set_render_param(mod, OPENMPT_MODULE_RENDER_VOLUMERAMPING_STRENGTH, (flags & MUSIC_RAMP) ? -1 : 0);
    for (size_t done = 0; done < frames;) {
        size_t n = std::min(block, frames - done);
        size_t got = openmpt_module_read_interleaved_stereo(mod, 44100, n, out.data() + 2 * done);
        if (got == 0)
            break;
        done += got;
    }
    openmpt_module_destroy(mod);
    return out;
}

Samples render(size_t frames, size_t block = 1024)
{
    Samples out(frames * 2);
    for (size_t done = 0; done < frames; done += std::min(block, frames - done))
        audio_render(out.data() + 2 * done, std::min(block, frames - done));
    return out;
}

Samples slice(const Samples& s, size_t first_frame, size_t frames)
{
    return Samples(s.begin() + 2 * first_frame, s.begin() + 2 * (first_frame + frames));
}

int peak(const Samples& s)
{
    int p = 0;
    for (int16_t v : s)
        p = std::max(p, std::abs(int(v)));
    return p;
}

uint32_t load_bytes(const std::string& name, const std::vector<uint8_t>& bytes, uint32_t flags)
{
    std::string path = write_temp(name, bytes);
    uint32_t h = music_load(0, path.c_str(), 0, 0, flags);
    std::remove(path.c_str());
    return h;
}

class Engine : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(audio_init(0, ENGINE_RATE, 0, nullptr), 1); }
    void TearDown() override { audio_shutdown(); }
};

}  // namespace

TEST_F(Engine, OutputIsLibopenmptsOwnRead)
{
    ToneOptions xm_four;
    xm_four.format = ModuleFormat::xm;
    xm_four.channels = 4;
    xm_four.wave = ToneWave::sine;
    struct Case {
        const char* name;
        std::vector<uint8_t> module;
        uint32_t flags;
        size_t seconds_rendered;
        size_t block;
    };
    const Case cases[] = {
        {"it ramp", make_tone_module(1.0), MUSIC_RAMP, 2, 1024},
        {"it no ramp, odd block", make_tone_module(1.0), 0, 2, 333},
        {"xm four channels, long block", make_tone_module(1.5, xm_four), MUSIC_RAMP, 2, 5000},
        {"looping, several wraps", make_looping_module(0.5), MUSIC_LOOP | MUSIC_RAMP, 3, 1024},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        uint32_t h = load_bytes("tone", c.module, c.flags);
        ASSERT_NE(h, 0u);
        ASSERT_EQ(music_play_ex(h, 0, -1, 1), 1);
        size_t frames = c.seconds_rendered * 44100;
        Samples got = render(frames, c.block);
        Samples want = reference(c.module, c.flags, frames);
        ASSERT_GT(peak(want), 0);
        EXPECT_TRUE(got == want);
        EXPECT_EQ(music_free(h), 1);
    }
    // The ramping flag must reach the decoder: the two settings differ here.
    std::vector<uint8_t> tone = make_tone_module(1.0);
    EXPECT_NE(reference(tone, MUSIC_RAMP, 44100), reference(tone, 0, 44100));
}

static std::atomic<int> sync_calls{0};
static std::atomic<uint32_t> sync_seen_channel{0};
static std::atomic<uint32_t> sync_seen_user{0};

static void count_sync(uint32_t, uint32_t channel, uint32_t, uint32_t user)
{
    sync_calls.fetch_add(1);
    sync_seen_channel.store(channel);
    sync_seen_user.store(user);
}

TEST_F(Engine, EndIsDetectedAndReportedOncePerEndOrWrap)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> module;
        uint32_t flags;
        int calls_after_2_2s;
        bool active_after;
    };
    const Case cases[] = {
        {"tone ends at 1 s", make_tone_module(1.0), MUSIC_RAMP, 1, false},
        {"looping module wraps every 0.5 s", make_looping_module(0.5), MUSIC_LOOP | MUSIC_RAMP, 4, true},
        {"looping module without the loop flag ends", make_looping_module(0.5), MUSIC_RAMP, 1, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sync_calls = 0;
        uint32_t h = load_bytes("end", c.module, c.flags);
        ASSERT_NE(h, 0u);
        uint32_t sync = channel_set_sync(h, SYNC_END, 0, count_sync, 77);
        EXPECT_NE(sync, 0u);
        EXPECT_NE(sync, h);
        music_play_ex(h, 0, -1, 1);
        EXPECT_EQ(channel_is_active(h), 1);
        render(2 * 44100 + 4410, 441);
        EXPECT_EQ(sync_calls.load(), c.calls_after_2_2s);
        EXPECT_EQ(sync_seen_channel.load(), h);
        EXPECT_EQ(sync_seen_user.load(), 77u);
        EXPECT_EQ(channel_is_active(h), c.active_after ? 1 : 0);
        music_free(h);
    }

    // The end falls inside the block that holds frame 44100, not later.
    sync_calls = 0;
    uint32_t h = load_bytes("exact", make_tone_module(1.0), MUSIC_RAMP);
    channel_set_sync(h, SYNC_END, 0, count_sync, 0);
    music_play_ex(h, 0, -1, 1);
    render(44100 - 100, 100);
    EXPECT_EQ(channel_is_active(h), 1);
    EXPECT_EQ(sync_calls.load(), 0);
    render(100, 100);
    EXPECT_EQ(sync_calls.load(), 0);
    render(100, 100);
    EXPECT_EQ(channel_is_active(h), 0);
    EXPECT_EQ(sync_calls.load(), 1);
    EXPECT_EQ(channel_get_level(h), 0u);
    // Playing on from the end neither sounds nor reports the end again;
    // restarting does both.
    EXPECT_EQ(music_play(h), 1);
    EXPECT_EQ(peak(render(4410)), 0);
    EXPECT_EQ(sync_calls.load(), 1);
    EXPECT_EQ(music_play_ex(h, 0, -1, 1), 1);
    EXPECT_EQ(channel_is_active(h), 1);
    render(44100 + 1024);
    EXPECT_EQ(sync_calls.load(), 2);

    // Only the end type exists; a bad handle gets no sync.
    EXPECT_EQ(channel_set_sync(h, 0, 0, count_sync, 0), 0u);
    EXPECT_EQ(channel_set_sync(0, SYNC_END, 0, count_sync, 0), 0u);
    EXPECT_EQ(channel_set_sync(h + 1000, SYNC_END, 0, count_sync, 0), 0u);
}

TEST_F(Engine, StopSilencesAndStartDoesNotResume)
{
    std::vector<uint8_t> tone = make_tone_module(3.0);
    Samples want = reference(tone, MUSIC_RAMP, 3 * 44100);
    uint32_t h = load_bytes("stop", tone, MUSIC_RAMP);
    uint32_t other = load_bytes("other", tone, MUSIC_RAMP);
    ASSERT_NE(h, 0u);
    EXPECT_EQ(channel_is_active(h), 0);  // loaded, not yet played
    music_play_ex(h, 0, -1, 1);
    EXPECT_EQ(render(22050), slice(want, 0, 22050));  // only playing modules are mixed

    EXPECT_EQ(audio_stop(), 1);
    EXPECT_EQ(channel_is_active(h), 0);
    EXPECT_EQ(channel_get_level(h), 0u);
    EXPECT_EQ(peak(render(4410)), 0);
    EXPECT_EQ(audio_start(), 1);
    EXPECT_EQ(channel_is_active(h), 0);  // stopped, not paused
    EXPECT_EQ(peak(render(4410)), 0);

    // music_play goes on from where the module stood.
    EXPECT_EQ(music_play(h), 1);
    EXPECT_EQ(channel_is_active(h), 1);
    EXPECT_EQ(render(22050), slice(want, 22050, 22050));
    EXPECT_EQ(music_play(h), 1);  // already playing: nothing changes
    EXPECT_EQ(render(4410), slice(want, 44100, 4410));

    // music_play_ex starts again from order 0, row 0, even mid-play.
    EXPECT_EQ(music_play_ex(h, 0, -1, 1), 1);
    EXPECT_EQ(render(44100), slice(want, 0, 44100));

    // Stop takes every playing channel down, not just the current one.
    music_play_ex(other, 0, -1, 1);
    audio_stop();
    audio_start();
    EXPECT_EQ(channel_is_active(other), 0);
    EXPECT_EQ(peak(render(4410)), 0);
}

static std::atomic<int> level_mode{0};  // 0 pass, 1 silence, 2 rails, 3 silence the right

static void shape(uint32_t, uint32_t, void* buffer, uint32_t length, uint32_t)
{
    int16_t* s = static_cast<int16_t*>(buffer);
    int mode = level_mode.load();
    for (uint32_t i = 0; i < length / 2; ++i) {
        if (mode == 1)
            s[i] = 0;
        else if (mode == 2)
            s[i] = (i & 1) ? 32767 : -32768;
        else if (mode == 3 && (i & 1))
            s[i] = 0;
    }
}

TEST_F(Engine, LevelIsThePeakOfTheLast20MsAfterTheEffects)
{
    std::vector<uint8_t> tone = make_tone_module(3.0);
    int tone_peak = peak(slice(reference(tone, MUSIC_RAMP, 44100), 22050, 4410));
    ASSERT_GT(tone_peak, 1000);
    uint32_t tone_level = uint32_t(tone_peak) | uint32_t(tone_peak) << 16;
    uint32_t h = load_bytes("level", tone, MUSIC_RAMP);
    EXPECT_EQ(channel_get_level(h), 0u);  // not playing
    level_mode = 0;
    uint32_t dsp = channel_set_dsp(h, shape, 0);
    music_play_ex(h, 0, -1, 1);
    render(22050, 441);
    EXPECT_EQ(channel_get_level(h), tone_level);

    struct Step {
        int mode;
        size_t frames;  // rendered in 10 ms blocks after the switch
        uint32_t want;
    };
    const Step steps[] = {
        {1, 441, tone_level},   // 10 ms of silence: the tone is still in the window
        {1, 1323, 0},           // 30 ms: gone
        {0, 441, tone_level},   // back at once
        {2, 441, 32768u | 32767u << 16},  // full scale reads 32768 on the left
        {3, 1323, uint32_t(tone_peak)},   // sides are measured apart
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.mode);
        level_mode = s.mode;
        render(s.frames, 441);
        EXPECT_EQ(channel_get_level(h), s.want);
    }
    level_mode = 0;
    channel_remove_dsp(h, dsp);
    audio_stop();
    EXPECT_EQ(channel_get_level(h), 0u);
}

// Each call appends "user" to the log; the block must be whole frames.
static std::vector<uint32_t> dsp_log;
static std::atomic<int> dsp_bad_calls{0};
static uint32_t dsp_expected_channel = 0;

static void log_dsp(uint32_t, uint32_t channel, void*, uint32_t length, uint32_t user)
{
    if (length % 4 != 0 || length == 0 || channel != dsp_expected_channel)
        dsp_bad_calls.fetch_add(1);
    dsp_log.push_back(user);
}

static void add_one(uint32_t, uint32_t, void* buffer, uint32_t length, uint32_t)
{
    int16_t* s = static_cast<int16_t*>(buffer);
    for (uint32_t i = 0; i < length / 2; ++i)
        s[i] = int16_t(s[i] + 1);
}

TEST_F(Engine, DspRoutinesRunInAttachOrderAndComeOffByHandle)
{
    uint32_t h = load_bytes("dsp", make_tone_module(5.0), MUSIC_RAMP);
    dsp_expected_channel = h;
    music_play_ex(h, 0, -1, 1);
    uint32_t a = channel_set_dsp(h, log_dsp, 1);
    uint32_t b = channel_set_dsp(h, log_dsp, 2);
    uint32_t c = channel_set_dsp(h, log_dsp, 3);  // the same routine again
    ASSERT_TRUE(a && b && c);
    EXPECT_TRUE(a != b && b != c && a != c && a != h);
    dsp_log.clear();
    render(1024);
    EXPECT_EQ(dsp_log, (std::vector<uint32_t>{1, 2, 3}));

    EXPECT_EQ(channel_remove_dsp(h, b), 1);
    dsp_log.clear();
    render(1024);
    EXPECT_EQ(dsp_log, (std::vector<uint32_t>{1, 3}));

    // Pairs that do not name an attached routine are refused and harmless.
    uint32_t other = load_bytes("other", make_tone_module(1.0), 0);
    const uint32_t bogus[][2] = {{h, b}, {h, 0}, {h, h}, {h, 0xffffffffu}, {0, a}, {other, a}, {h + 999, a}};
    for (auto& p : bogus)
        EXPECT_EQ(channel_remove_dsp(p[0], p[1]), 0) << p[0] << " " << p[1];
    dsp_log.clear();
    render(1024);
    EXPECT_EQ(dsp_log, (std::vector<uint32_t>{1, 3}));
    EXPECT_EQ(channel_set_dsp(0, log_dsp, 0), 0u);
    EXPECT_EQ(channel_set_dsp(h + 999, log_dsp, 0), 0u);

    EXPECT_EQ(channel_remove_dsp(h, a), 1);
    EXPECT_EQ(channel_remove_dsp(h, c), 1);
    dsp_log.clear();
    render(1024);
    EXPECT_TRUE(dsp_log.empty());
    EXPECT_EQ(dsp_bad_calls.load(), 0);

    // A held key attaches the same routine again and again: all of them run,
    // each on the block the one before it wrote, and no handle repeats.
    Samples dry = reference(make_tone_module(5.0), MUSIC_RAMP, 44100 * 2);
    std::vector<uint32_t> handles;
    for (int i = 0; i < 300; ++i)
        handles.push_back(channel_set_dsp(h, add_one, 0));
    std::sort(handles.begin(), handles.end());
    EXPECT_EQ(std::unique(handles.begin(), handles.end()), handles.end());
    EXPECT_EQ(handles.front() != 0, true);
    Samples wet = render(1024);
    Samples want = slice(dry, 4096, 1024);
    for (int16_t& s : want)
        s = int16_t(std::clamp(s + 300, -32768, 32767));
    EXPECT_EQ(wet, want);
}

TEST_F(Engine, PlayingChannelsAddWithSaturation)
{
    ToneOptions loud;
    loud.amplitude = 32767;
    loud.channels = 4;
    std::vector<uint8_t> one = make_tone_module(1.0, loud);
    loud.wave = ToneWave::sine;
    std::vector<uint8_t> two = make_tone_module(1.0, loud);
    Samples a = reference(one, MUSIC_RAMP, 44100), b = reference(two, MUSIC_RAMP, 44100);
    Samples want(a.size());
    bool clipped = false;
    for (size_t i = 0; i < a.size(); ++i) {
        int sum = a[i] + b[i];
        clipped |= sum > 32767 || sum < -32768;
        want[i] = int16_t(std::clamp(sum, -32768, 32767));
    }
    ASSERT_TRUE(clipped);
    uint32_t ha = load_bytes("a", one, MUSIC_RAMP), hb = load_bytes("b", two, MUSIC_RAMP);
    music_play_ex(ha, 0, -1, 1);
    music_play_ex(hb, 0, -1, 1);
    EXPECT_EQ(render(44100), want);
}

TEST_F(Engine, BadFilesAndHandlesAreAnsweredWithZero)
{
    std::vector<uint8_t> tone = make_tone_module(1.0);
    std::vector<uint8_t> noise(20000);
    uint32_t x = 1;
    for (uint8_t& v : noise)
        v = uint8_t((x = x * 1664525u + 1013904223u) >> 24);
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    const Case bad[] = {
        {"empty", {}},
        {"random bytes", noise},
        {"header cut short", std::vector<uint8_t>(tone.begin(), tone.begin() + 100)},
        {"text", {'h', 'e', 'l', 'l', 'o'}},
    };
    for (const Case& c : bad)
        EXPECT_EQ(load_bytes("bad", c.bytes, MUSIC_RAMP), 0u) << c.name;
    EXPECT_EQ(music_load(0, "no/such/file.it", 0, 0, 0), 0u);
    EXPECT_EQ(music_load(0, testing::TempDir().c_str(), 0, 0, 0), 0u);  // a directory
    EXPECT_EQ(music_load(0, nullptr, 0, 0, 0), 0u);
    // Cut anywhere after the header: either refused or playable, never harm.
    for (size_t cut = 200; cut < tone.size(); cut += 37) {
        uint32_t h = load_bytes("cut", std::vector<uint8_t>(tone.begin(), tone.begin() + cut), MUSIC_RAMP);
        if (h) {
            music_play_ex(h, 0, -1, 1);
            render(4096);
            EXPECT_EQ(music_free(h), 1);
        }
    }

    uint32_t h = load_bytes("good", tone, MUSIC_RAMP);
    ASSERT_NE(h, 0u);
    EXPECT_EQ(stream_free(h), 0);  // not a stream: nothing happens
    music_play_ex(h, 0, -1, 1);
    EXPECT_EQ(channel_is_active(h), 1);
    uint32_t dsp = channel_set_dsp(h, add_one, 0);
    EXPECT_EQ(music_free(dsp), 0);  // a DSP handle is not a module
    EXPECT_EQ(music_free(h), 1);
    EXPECT_EQ(peak(render(4096)), 0);
    for (uint32_t v : {0u, h, h + 1000, dsp}) {
        SCOPED_TRACE(v);
        EXPECT_EQ(music_free(v), 0);
        EXPECT_EQ(stream_free(v), 0);
        EXPECT_EQ(music_play(v), 0);
        EXPECT_EQ(music_play_ex(v, 0, -1, 1), 0);
        EXPECT_EQ(channel_is_active(v), 0);
        EXPECT_EQ(channel_get_level(v), 0u);
        EXPECT_EQ(channel_set_dsp(v, add_one, 0), 0u);
        EXPECT_EQ(channel_remove_dsp(v, dsp), 0);
        EXPECT_EQ(channel_set_sync(v, SYNC_END, 0, count_sync, 0), 0u);
    }
    // A freed handle is never given out again.
    uint32_t again = load_bytes("good", tone, MUSIC_RAMP);
    EXPECT_GT(again, dsp);

    // Not initialised: nothing loads; initialising twice fails.
    EXPECT_EQ(audio_init(0, ENGINE_RATE, 0, nullptr), 0);
    audio_shutdown();
    EXPECT_EQ(load_bytes("good", tone, MUSIC_RAMP), 0u);
    EXPECT_EQ(channel_is_active(again), 0);
    EXPECT_EQ(audio_init(0, ENGINE_RATE, 0, nullptr), 1);
}

// --- the mixer on its own thread -------------------------------------------

static void halve(uint32_t, uint32_t, void* buffer, uint32_t length, uint32_t)
{
    int16_t* s = static_cast<int16_t*>(buffer);
    for (uint32_t i = 0; i < length / 2; ++i)
        s[i] = int16_t(s[i] / 2);
}

// Written by the churning thread right before each attach; the routine must
// see the value of the attach that installed it (checked under TSan too).
static int installed_value = 0;
static std::atomic<int> stale_reads{0};

static void check_installed(uint32_t, uint32_t, void*, uint32_t, uint32_t user)
{
    if (installed_value < int(user))
        stale_reads.fetch_add(1);
}

// Sync routines on the mixer's thread; the first wrap adds a second sync
// from there, which the engine allows.
static std::atomic<int> wraps{0};
static std::atomic<int> second_wraps{0};
static std::atomic<uint32_t> second_sync{0};

static void count_second(uint32_t, uint32_t, uint32_t, uint32_t)
{
    second_wraps.fetch_add(1);
}

static void count_wrap(uint32_t, uint32_t channel, uint32_t, uint32_t)
{
    if (wraps.fetch_add(1) == 0)
        second_sync = channel_set_sync(channel, SYNC_END, 0, count_second, 0);
}

TEST_F(Engine, MixerIsUndisturbedWhileTheUiThreadChurns)
{
    std::vector<uint8_t> looping = make_looping_module(0.5);
    std::vector<uint8_t> silent = make_silent_module(1.0);
    std::string silent_path = write_temp("silent", silent);
    uint32_t h = load_bytes("loop", looping, MUSIC_LOOP | MUSIC_RAMP);
    channel_set_sync(h, SYNC_END, 0, count_wrap, 0);
    music_play_ex(h, 0, -1, 1);

    // The mixer thread checks each block against libopenmpt's own read as
    // it goes, so the churn can last as long as it needs.
    openmpt_module* ref = openmpt_module_create_from_memory2(looping.data(), looping.size(), openmpt_log_func_silent,
                                                             nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(ref, nullptr);
    openmpt_module_ctl_set_integer(ref, "dither", 0);
    openmpt_module_set_repeat_count(ref, -1);
    std::atomic<bool> churning{true};
    size_t mixed = 0, wrong_blocks = 0;
    std::thread mixer([&] {
        int16_t got[2048], want[2048];
        while (churning.load()) {
            audio_render(got, 1024);
            openmpt_module_read_interleaved_stereo(ref, 44100, 1024, want);
            wrong_blocks += !std::equal(got, got + 2048, want);
            mixed += 1024;
        }
    });
    // The UI side: loads, plays, attaches, detaches and frees in a loop
    // while the mixer renders. Only silent modules and routines that leave
    // the tone's samples alone are involved, so the output must not change.
    const int rounds = 400;
    for (int round = 1; round <= rounds; ++round) {
        uint32_t s = music_load(0, silent_path.c_str(), 0, 0, MUSIC_RAMP);
        EXPECT_NE(s, 0u);
        music_play_ex(s, 0, -1, 1);
        installed_value = round;
        uint32_t d1 = channel_set_dsp(h, check_installed, uint32_t(round));
        uint32_t d2 = channel_set_dsp(s, halve, 0);
        EXPECT_EQ(channel_remove_dsp(h, d1), 1);
        if (round % 2) {
            EXPECT_EQ(channel_remove_dsp(s, d2), 1);
        }
        EXPECT_EQ(music_free(s), 1);
    }
    churning = false;
    mixer.join();
    std::remove(silent_path.c_str());
    openmpt_module_destroy(ref);
    EXPECT_EQ(stale_reads.load(), 0);
    EXPECT_GT(mixed, 100u * 1024);  // the mixer really ran during the churn
    EXPECT_EQ(wrong_blocks, 0u);
    // One call per 0.5 s pass (the last may still be pending at a block's
    // edge); the sync added on the mixer's thread fires from the next wrap.
    ASSERT_GT(mixed, 2u * 22050);
    EXPECT_NEAR(wraps.load(), double(mixed) / 22050, 1.0);
    EXPECT_NE(second_sync.load(), 0u);
    EXPECT_EQ(second_wraps.load(), wraps.load() - 1);
}

// A load blocked in the middle of reading its file (a pipe nobody writes
// yet) must not hold the mixer up: the mixer renders on meanwhile.
TEST_F(Engine, MixerRendersWhileALoadIsStuck)
{
    std::vector<uint8_t> tone = make_tone_module(2.0);
    Samples want = reference(tone, MUSIC_RAMP, 44100);
    uint32_t h = load_bytes("tone", tone, MUSIC_RAMP);
    music_play_ex(h, 0, -1, 1);
    std::string fifo = testing::TempDir() + "engine_test_fifo_" + std::to_string(getpid());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);

    std::atomic<uint32_t> loaded{0};
    std::atomic<bool> load_done{false};
    std::thread ui([&] {
        loaded = music_load(0, fifo.c_str(), 0, 0, MUSIC_RAMP);
        load_done = true;
    });
    // The mixer runs on this thread now; the "UI" is stuck in music_load.
    Samples got = render(44100);
    EXPECT_FALSE(load_done.load());
    EXPECT_TRUE(got == want);

    FILE* w = std::fopen(fifo.c_str(), "wb");
    ASSERT_NE(w, nullptr);
    std::vector<uint8_t> more = make_tone_module(1.0);
    std::fwrite(more.data(), 1, more.size(), w);
    std::fclose(w);
    ui.join();
    std::remove(fifo.c_str());
    EXPECT_NE(loaded.load(), 0u);
}
