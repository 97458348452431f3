// tests/player/engine_device_test.cpp: the engine through a real SDL audio
// device. There is no sound card: SDL's disk driver writes the callback's
// samples to a raw file, as fast as it can (no delay between buffers).
#include "player/engine.h"

#include "tools/modwriter/test_modules.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string temp_path(const char* name)
{
    return testing::TempDir() + "engine_device_test_" + std::to_string(getpid()) + "_" + name;
}

std::vector<int16_t> read_samples(const std::string& path)
{
    std::vector<int16_t> s;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return s;
    int16_t block[4096];
    size_t got;
    while ((got = std::fread(block, sizeof(int16_t), 4096, f)) > 0)
        s.insert(s.end(), block, block + got);
    std::fclose(f);
    return s;
}

std::atomic<int> ends{0};
void on_end(uint32_t, uint32_t, uint32_t, uint32_t)
{
    ends.fetch_add(1);
}

// Index of the first non-zero sample, rounded down to a whole frame.
size_t first_sound(const std::vector<int16_t>& s)
{
    size_t i = 0;
    while (i < s.size() && s[i] == 0)
        ++i;
    return i & ~size_t(1);
}

}  // namespace

TEST(EngineDevice, DiskDriverGetsTheSamplesDeviceZeroMixes)
{
    std::vector<uint8_t> module = make_tone_module(1.0);
    std::string module_path = temp_path("tone.it");
    FILE* f = std::fopen(module_path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(module.data(), 1, module.size(), f);
    std::fclose(f);

    // What the engine mixes with no device.
    ASSERT_EQ(audio_init(0, ENGINE_RATE, 0, nullptr), 1);
    uint32_t h = music_load(0, module_path.c_str(), 0, 0, MUSIC_RAMP);
    music_play_ex(h, 0, -1, 1);
    std::vector<int16_t> want(2 * 44100 * 2);
    audio_render(want.data(), want.size() / 2);
    audio_shutdown();

    std::string raw = temp_path("out.raw");
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "0", 1);
    ASSERT_EQ(audio_init(-1, ENGINE_RATE, 0, nullptr), 1);
    EXPECT_EQ(audio_init(-1, ENGINE_RATE, 0, nullptr), 0);  // already open
    h = music_load(0, module_path.c_str(), 0, 0, MUSIC_RAMP);
    ASSERT_NE(h, 0u);
    ends = 0;
    EXPECT_NE(channel_set_sync(h, SYNC_END, 0, on_end, 0), 0u);
    EXPECT_EQ(music_play_ex(h, 0, -1, 1), 1);
    auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (ends.load() == 0 && std::chrono::steady_clock::now() < give_up)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(ends.load(), 1);
    EXPECT_EQ(channel_is_active(h), 0);
    EXPECT_EQ(audio_stop(), 1);
    audio_shutdown();
    unsetenv("SDL_AUDIODRIVER");

    std::vector<int16_t> got = read_samples(raw);
    std::remove(raw.c_str());
    std::remove(module_path.c_str());
    // The device ran silence before the play began; from the first sound
    // on, the file holds exactly the mix, then silence.
    size_t g = first_sound(got), w = first_sound(want);
    ASSERT_LT(w, want.size());
    ASSERT_LT(g, got.size());
    size_t n = std::min(got.size() - g, want.size() - w);
    ASSERT_GT(n, size_t(2 * 44100 - w));
    EXPECT_TRUE(std::equal(got.begin() + g, got.begin() + g + n, want.begin() + w));
}

TEST(EngineDevice, NoDeviceMeansNoEngine)
{
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    EXPECT_EQ(audio_init(-1, ENGINE_RATE, 0, nullptr), 0);
    unsetenv("SDL_AUDIODRIVER");
    EXPECT_EQ(music_load(0, "whatever.it", 0, 0, 0), 0u);
    EXPECT_EQ(audio_stop(), 0);
    // A failed open leaves nothing behind: the engine can start afresh.
    EXPECT_EQ(audio_init(0, ENGINE_RATE, 0, nullptr), 1);
    audio_shutdown();
    struct Case {
        int device;
        uint32_t rate;
    };
    for (Case c : {Case{3, ENGINE_RATE}, Case{0, 0}, Case{0, 1000000}})
        EXPECT_EQ(audio_init(c.device, c.rate, 0, nullptr), 0) << c.device << " " << c.rate;
}
