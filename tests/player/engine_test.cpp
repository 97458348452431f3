// tests/player/engine_test.cpp: the engine on real libopenmpt and the module
// writer's fixtures, pulled by the test (device 0) or through SDL's disk driver.
#include "player/engine.h"

#include "player/effects.h"
#include "tests/player/reference.h"
#include "tests/platform/test_system.h"
#include "content/modwriter/test_modules.h"

#include <libopenmpt/libopenmpt.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

using Samples = std::vector<int16_t>;
using Bytes = std::vector<uint8_t>;

static std::string temp_path(const std::string& name)
{
    return testing::TempDir() + "engine_test_" + std::to_string(getpid()) + "_" + name;
}

static Samples render(size_t frames, size_t block = 1024)
{
    Samples out(frames * 2);
    for (size_t done = 0; done < frames; done += block)
        audio_render(&out[2 * done], std::min(block, frames - done));
    return out;
}

static uint32_t load(const Bytes& bytes, uint32_t flags)
{
    std::string path = temp_path("module");
    test_write_file(path.c_str(), bytes);
    uint32_t h = music_load(0, path.c_str(), 0, 0, flags);
    std::remove(path.c_str());
    return h;
}

class Engine : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(audio_init(0, ENGINE_RATE, 0, nullptr), 1); }
    void TearDown() override { audio_shutdown(); }
};

// Keeps silence silent, so one running past a module's end would show, and
// two with different user values do not commute, so their order shows.
static void scale(uint32_t, uint32_t, void* buffer, uint32_t length, uint32_t user)
{
    for (int16_t *s = static_cast<int16_t*>(buffer), *end = s + length / 2; s < end; ++s)
        *s = int16_t(*s ? *s * 3 / 4 + int(user) : 0);
}

static std::map<uint32_t, int> ends_reported;  // by module; -1 for a wrong channel

static void count_end(uint32_t, uint32_t channel, uint32_t, uint32_t user)
{
    ends_reported[user] = channel == user ? ends_reported[user] + 1 : -1;
}

// What the engine must do, apart from how: each playing module not at its end
// is libopenmpt's own read from its start or where it stood, through its
// routines in attach order; the modules are summed and saturated; stop takes
// every module down; an end is reported once, in the block it falls in.
struct Module {
    uint32_t flags;
    openmpt_module* mod;
    bool playing = false, ended = false;
    std::vector<std::pair<uint32_t, uint32_t>> dsps = {};  // handle, user value
    int ends = 0;
};

static Samples model_render(std::map<uint32_t, Module>& modules, bool running, size_t frames)
{
    std::vector<int> sum(2 * frames);
    for (auto& [h, m] : modules) {
        if (!running || !m.playing || m.ended)
            continue;
        Samples s(2 * frames);  // silence after the end
        m.ended = openmpt_module_read_interleaved_stereo(m.mod, 44100, frames, s.data()) < frames;
        m.ends += m.ended;
        for (auto [dsp, user] : m.dsps)
            scale(dsp, h, s.data(), uint32_t(frames * 4), user);
        std::transform(sum.begin(), sum.end(), s.begin(), sum.begin(), std::plus<int>());
    }
    Samples out(sum.size());
    for (size_t i = 0; i < sum.size(); ++i)
        out[i] = int16_t(std::clamp(sum[i], -32768, 32767));
    return out;
}

TEST_F(Engine, RandomKeysAgainstAModel)
{
    // Looping without the loop flag, a module ends like any other.
    const std::pair<Bytes, uint32_t> fixtures[] = {
        {make_tone_module(0.1), MUSIC_RAMP}, {make_looping_module(0.2), MUSIC_LOOP | MUSIC_RAMP},
        {make_looping_module(0.1), MUSIC_RAMP},
        {make_tone_module(0.3, {ModuleFormat::xm, 4, ToneWave::sine, 32767}), 0}};  // loud, to clip
    std::map<uint32_t, Module> modules;
    bool running = true;
    std::mt19937 rng(5);
    for (int step = 0; step < 1000; ++step) {
        // A module's handle; now and then 0, a freed one or one never given.
        uint32_t h = modules.empty() || rng() % 8 == 0 ? uint32_t(rng() % 1000)
                                                       : std::next(modules.begin(), rng() % modules.size())->first;
        Module* m = modules.count(h) ? &modules[h] : nullptr;
        SCOPED_TRACE(step);
        switch (rng() % 14) {  // most steps mix
        case 0:
            if (auto& [bytes, flags] = fixtures[rng() % 4]; modules.size() < 3) {
                uint32_t loaded = load(bytes, flags);
                ASSERT_NE(loaded, 0u);
                ASSERT_EQ(modules.count(loaded), 0u) << "a live handle given again";
                modules[loaded] = {flags, reference_module(bytes, flags)};
                if (!(flags & MUSIC_LOOP)) {
                    ASSERT_NE(channel_set_sync(loaded, SYNC_END, 0, count_end, loaded), 0u);
                }
            }
            break;
        case 1:
            ASSERT_EQ(music_play_ex(h, 0, -1, 1), m != nullptr);
            if (m) {  // libopenmpt's own seek: the ramps after it are its own
                openmpt_module_set_position_order_row(m->mod, 0, 0);
                m->playing = true;
                m->ended = false;
            }
            break;
        case 2:
            ASSERT_EQ(music_play(h), m != nullptr);
            if (m)
                m->playing = true;
            break;
        case 3:
            ASSERT_EQ(audio_stop(), 1);
            for (auto& [handle, module] : modules)
                module.playing = false;
            running = false;
            break;
        case 4:
            ASSERT_EQ(audio_start(), 1);
            running = true;
            break;
        case 5:
            ASSERT_EQ(music_free(h), m != nullptr);
            if (m) {
                openmpt_module_destroy(m->mod);
                modules.erase(h);
            }
            break;
        case 6: {
            uint32_t user = 1 + rng() % 3, dsp = channel_set_dsp(h, scale, user);
            ASSERT_EQ(dsp != 0, m != nullptr);
            if (m)
                m->dsps.push_back({dsp, user});
            break;
        }
        case 7: {  // one of h's routines, or any other value
            uint32_t dsp = m && !m->dsps.empty() && rng() % 4 ? m->dsps[rng() % m->dsps.size()].first : rng() % 1000;
            bool attached = m && std::erase_if(m->dsps, [&](auto& d) { return d.first == dsp; });
            ASSERT_EQ(channel_remove_dsp(h, dsp), attached);
            break;
        }
        default:
            size_t frames = rng() % 5000;
            ASSERT_EQ(render(frames, 1 + rng() % 1500), model_render(modules, running, frames));
        }
        for (auto& [handle, module] : modules) {
            ASSERT_EQ(channel_is_active(handle), module.playing && !module.ended) << "module " << handle;
            ASSERT_TRUE(channel_is_active(handle) || !channel_get_level(handle)) << "module " << handle << " silent";
            ASSERT_EQ(ends_reported[handle], module.flags & MUSIC_LOOP ? 0 : module.ends) << "module " << handle;
        }
    }
    for (auto& [handle, module] : modules)
        openmpt_module_destroy(module.mod);
    EXPECT_GT(std::count_if(ends_reported.begin(), ends_reported.end(), [](auto& e) { return e.second > 0; }), 4)
        << "too few modules reached their end to check the reports";
}

static std::atomic<int> shape_mode{0};  // 0 pass, 1 silence, 2 rails, 3 silence the right

static void shape(uint32_t, uint32_t, void* buffer, uint32_t length, uint32_t)
{
    int16_t* s = static_cast<int16_t*>(buffer);
    for (uint32_t i = 0, mode = uint32_t(shape_mode.load()); i < length / 2; ++i)
        s[i] = mode == 1 || (mode == 3 && i % 2) ? 0 : mode == 2 ? (i % 2 ? 32767 : -32768) : s[i];
}

TEST_F(Engine, LevelIsThePeakOfTheLast20MsAfterTheEffects)
{
    uint32_t h = load(make_tone_module(3.0), MUSIC_RAMP);
    channel_set_dsp(h, shape, 0);
    music_play_ex(h, 0, -1, 1);
    Samples steady = render(22050, 441);
    const uint32_t tone_peak = uint32_t(*std::max_element(steady.end() - 2000, steady.end()));
    const uint32_t tone_level = tone_peak | tone_peak << 16, rails = 32768u | 32767u << 16;
    ASSERT_GT(tone_peak, 1000u);
    // Each step: the shape from now on, whether to restart first, the frames
    // then rendered in 10 ms blocks, the level wanted. A restart empties the
    // window: the old level must not show for a block.
    const std::tuple<int, bool, size_t, uint32_t> steps[] = {
        {0, false, 0, tone_level}, {1, false, 441, tone_level}, {1, false, 1323, 0}, {0, false, 441, tone_level},
        {2, false, 441, rails},    {3, false, 1323, tone_peak}, {2, false, 441, rails}, {1, true, 0, 0},
        {1, false, 441, 0}};
    for (auto [mode, restart, frames, want] : steps) {
        shape_mode = mode;
        if (restart)
            music_play_ex(h, 0, -1, 1);
        render(frames, 441);
        EXPECT_EQ(channel_get_level(h), want) << "case mode " << mode << ", restart " << restart << ", " << frames;
    }
    shape_mode = 0;
}

TEST_F(Engine, BadFilesAreRefused)
{
    Bytes tone = make_tone_module(1.0);
    for (const Bytes& bad : {Bytes{}, Bytes{'h', 'i'}, Bytes(tone.begin(), tone.begin() + 100)})
        EXPECT_EQ(load(bad, MUSIC_RAMP), 0u) << "case a file of " << bad.size() << " bytes";
    // Missing files, folders and devices are the file reader's (file_read_test).
    EXPECT_EQ(music_load(0, nullptr, 0, 0, 0), 0u) << "case no name";
    // At most 64 MiB is read: a module padded to exactly that loads, one
    // byte more does not.
    std::string big = temp_path("big.it");
    for (uint64_t size : {uint64_t(64) << 20, (uint64_t(64) << 20) + 1}) {
        test_write_file(big.c_str(), tone);
        std::filesystem::resize_file(big, size);
        ASSERT_EQ(music_free(music_load(0, big.c_str(), 0, 0, 0)), size == uint64_t(64) << 20) << size;
    }
    std::remove(big.c_str());
    // Nothing is a stream (quitting frees the module playing as one too),
    // no handle is given twice.
    uint32_t h = load(tone, MUSIC_RAMP);
    EXPECT_EQ(stream_free(h), 0) << "a module freed as a stream";
    EXPECT_EQ(music_free(h), 1);
    EXPECT_GT(load(tone, MUSIC_RAMP), h) << "a freed handle given again";
    EXPECT_EQ(audio_init(0, ENGINE_RATE, 0, nullptr), 0) << "initialised twice";
    audio_shutdown();
    EXPECT_EQ(load(tone, MUSIC_RAMP), 0u) << "a load after the shutdown";
    EXPECT_EQ(audio_init(0, ENGINE_RATE, 0, nullptr), 1);
}

// Written by the UI thread right before each attach; the routine must see
// the value of the attach that installed it (checked under TSan too).
static int installed_value = 0;

static void check_installed(uint32_t, uint32_t, void*, uint32_t, uint32_t user)
{
    EXPECT_GE(installed_value, int(user));
}

static std::atomic<int> syncs{0}, second_syncs{0};

// On the audio thread, the first wrap adds a second sync, which fires from
// the next wrap on.
static void add_sync(uint32_t, uint32_t channel, uint32_t, uint32_t)
{
    if (syncs++ == 0)
        channel_set_sync(channel, SYNC_END, 0, [](uint32_t, uint32_t, uint32_t, uint32_t) { ++second_syncs; }, 0);
}

// Holds the block it is handed for 60 ms, about three of its periods, once.
static std::atomic<int> slow_blocks_left{0};

static void slow_once(uint32_t, uint32_t, void*, uint32_t, uint32_t)
{
    if (slow_blocks_left.exchange(0) == 0)
        return;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(60);
    while (std::chrono::steady_clock::now() < until) {
    }
}

// SDL's disk driver writes what the audio thread mixes to a file, as fast as
// it can, while the UI thread loads, plays, attaches, frees and presses effect
// keys on silent modules: the file must hold the looping tone undisturbed.
// One block held past its period by a routine counts as a dropout; the
// blocks mixed in time do not.
TEST(EngineDevice, MixesUndisturbedWhileTheUiThreadChurns)
{
    std::string raw = temp_path("out.raw"), silent = temp_path("silent.it");
    test_set_env("SDL_AUDIODRIVER", "disk");
    test_set_env("SDL_DISKAUDIOFILE", raw.c_str());
    // The device keeps real time: flat out, a sanitizer build mixes minutes of
    // sound while the UI thread churns, and the check afterwards renders them
    // all again.
    test_set_env("SDL_DISKAUDIODELAY", nullptr);
    ASSERT_EQ(audio_init(-1, ENGINE_RATE, 0, nullptr), 1);
    Bytes looping = make_looping_module(0.5);
    test_write_file(silent.c_str(), make_silent_module(1.0));
    uint32_t h = load(looping, MUSIC_LOOP | MUSIC_RAMP);
    channel_set_sync(h, SYNC_END, 0, add_sync, 0);
    music_play_ex(h, 0, -1, 1);
    slow_blocks_left = 1;
    channel_set_dsp(h, slow_once, 0);
    void (*const keys[])(uint32_t) = {install_pan_sweep, remove_pan_sweep, install_echo,
                                      remove_echo,       install_flanger,  remove_flanger};
    for (int round = 1; round <= 400; ++round) {
        uint32_t s = music_load(0, silent.c_str(), 0, 0, MUSIC_RAMP);
        music_play_ex(s, 0, -1, 1);
        keys[round % 6](s);
        installed_value = round;
        uint32_t on_tone = channel_set_dsp(h, check_installed, uint32_t(round));
        EXPECT_EQ(channel_remove_dsp(h, on_tone), 1) << "round " << round;
        EXPECT_EQ(music_free(s), 1) << "round " << round;  // with a routine attached, or not
    }
    // Loads, the UI thread's only work meanwhile, do not hold the audio
    // thread up: two more passes play.
    for (int before = syncs, round = 0; syncs < before + 2 && round < 100000; ++round)
        EXPECT_EQ(music_free(music_load(0, silent.c_str(), 0, 0, MUSIC_RAMP)), 1) << "round " << round;
    EXPECT_EQ(audio_stop(), 1);  // the audio thread is done when this returns
    AudioDeviceStats stats;
    audio_device_stats(&stats);
    audio_shutdown();
    EXPECT_EQ(slow_blocks_left.load(), 0) << "the slow block never came";
    EXPECT_GE(stats.overruns, 1u) << "the slow block was not counted";
    EXPECT_LT(stats.overruns, stats.blocks / 2) << "blocks mixed in time were counted";
    EXPECT_GE(stats.worst_block_us, 60000u) << "the slow block's time";
    EXPECT_EQ(stats.block_frames, 1024u) << "the device's block";
    ASSERT_GE(syncs.load(), 2) << "the device did not run";
    std::ifstream in(raw, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    in.close();  // Windows removes no file that is open
    // Silence until the play began and after the stop; the tone between.
    size_t first = bytes.find_first_not_of('\0') / 4, frames = bytes.find_last_not_of('\0') / 4 + 1 - first;
    Samples want(2 * frames);
    openmpt_module* ref = reference_module(looping, MUSIC_LOOP | MUSIC_RAMP);
    openmpt_module_read_interleaved_stereo(ref, 44100, frames, want.data());
    openmpt_module_destroy(ref);
    EXPECT_TRUE(bytes.compare(4 * first, 4 * frames, reinterpret_cast<const char*>(want.data()), 4 * frames) == 0)
        << "the tone was disturbed";
    EXPECT_NEAR(syncs.load(), double(frames) / 22050, 1.0) << "one sync per 0.5 s pass";
    EXPECT_EQ(second_syncs.load(), syncs.load() - 1) << "the sync added on the audio thread";
    for (const std::string& path : {raw, silent})
        std::remove(path.c_str());
}
