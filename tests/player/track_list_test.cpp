// tests/player/track_list_test.cpp: the keys, through window_proc, against
// the real engine with no device (device 0) and real libopenmpt. The twelve
// tracks are distinct tones from the module writer in a datas/ of the
// test's own; cases remove or spoil files as they need.
#include "player/effects.h"
#include "player/engine.h"
#include "player/track_list.h"

#include "tools/modwriter/test_modules.h"

#include <libopenmpt/libopenmpt.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Samples = std::vector<int16_t>;

const char* const files[12] = {"1-ambre.it", "2-colder.it", "3-Shift1.it", "4-MIRROR.IT", "5-STONE.IT", "6-SHIFT2.IT",
                               "7-FROB.xm", "8-WOBBLE.IT", "9-SHIFT3.IT", "10-LUMEN.IT", "11-DRIFT.IT", "12-CODA.IT"};
const uint32_t keys[12] = {96, 97, 98, 99, 100, 101, 102, 103, 104, 105, 107, 109};
constexpr size_t frames = 4410;  // 0.1 s: plenty to tell the tones apart

std::vector<uint8_t> track_bytes(int row)
{
    ToneOptions o;
    o.format = row == 6 ? ModuleFormat::xm : ModuleFormat::it;
    o.amplitude = 2000 * (row + 1);
    o.wave = row % 2 ? ToneWave::sine : ToneWave::square;
    return make_tone_module(3.0, o);
}

// libopenmpt's own read from the start, as a key loads a track (ramping, no
// loop, no dither): count frames from first.
Samples reference(int row, size_t first, size_t count)
{
    std::vector<uint8_t> bytes = track_bytes(row);
    openmpt_module* mod = openmpt_module_create_from_memory2(bytes.data(), bytes.size(), openmpt_log_func_silent,
                                                             nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    openmpt_module_ctl_set_integer(mod, "dither", 0);
    Samples out((first + count) * 2, 0);
    for (size_t done = 0, got = 1; done < first + count && got; done += got)
        got = openmpt_module_read_interleaved_stereo(mod, 44100, std::min<size_t>(1024, first + count - done),
                                                     out.data() + 2 * done);
    openmpt_module_destroy(mod);
    return Samples(out.begin() + 2 * first, out.end());
}

Samples render(size_t count = frames)
{
    Samples out(count * 2);
    audio_render(out.data(), count);
    return out;
}

intptr_t key(uint32_t vk, intptr_t lParam = 1)
{
    return window_proc(nullptr, WM_KEYDOWN, vk, lParam);
}

// The tint of the nth track start after srand(seed).
std::vector<int32_t> nth_tint(unsigned seed, int nth)
{
    std::srand(seed);
    std::vector<int32_t> t(3);
    for (int i = 0; i <= nth; ++i)
        for (int32_t& c : t)
            c = std::rand() % 255;
    return t;
}

void write(int row, const std::vector<uint8_t>& bytes)
{
    FILE* f = std::fopen(("datas/" + std::string(files[row])).c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

class Keys : public testing::Test {
protected:
    static inline fs::path dir;
    static void SetUpTestSuite()
    {
        platform_register_window_class(window_proc);
        dir = fs::path(testing::TempDir()) / ("track_list_test_" + std::to_string(getpid()));
        fs::create_directories(dir / "datas");
        fs::current_path(dir);
    }
    static void TearDownTestSuite() { fs::remove_all(dir); }
    void SetUp() override
    {
        for (int row = 0; row < 12; ++row)
            write(row, track_bytes(row));
        ASSERT_EQ(audio_init(0, 44100, 0, nullptr), 1);
        effects_reset_state();
        running = 1;
        current_channel = 0;
    }
    void TearDown() override
    {
        PlatformMessage m;
        while (platform_peek_message(&m)) {
        }
        audio_shutdown();
    }
};

TEST_F(Keys, EveryKeyStartsItsTrackFromTheBeginningWithANewTint)
{
    for (int row = 0; row < 12; ++row) {
        std::srand(100 + row);
        EXPECT_EQ(key(keys[row]), 0);
        EXPECT_EQ(std::vector<int32_t>(tint, tint + 3), nth_tint(100 + row, 0)) << row;
        EXPECT_EQ(background_index, row == 11 ? 1 : 0) << row;
        EXPECT_EQ(render(), reference(row, 0, frames)) << row;
        // A held key's repeat restarts it again, and frees what it replaced.
        const uint32_t first = current_channel;
        key(keys[row], 1 | 1 << 30);
        EXPECT_EQ(std::vector<int32_t>(tint, tint + 3), nth_tint(100 + row, 1)) << row;
        EXPECT_EQ(render(), reference(row, 0, frames)) << row << " repeated";
        EXPECT_EQ(music_free(first), 0) << row;
    }
    EXPECT_EQ(running, 1);
}

TEST_F(Keys, TracksThatDoNotStartPassTheirKeyOn)
{
    struct Case {
        const char* what;
        std::vector<int> missing, spoiled;  // rows removed; rows no player reads
        uint32_t pressed;
        int plays, starts, background, running;  // plays -1: nothing
    };
    const std::vector<int> all = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, but_1 = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    const Case cases[] = {
        {"track 4 missing", {3}, {}, 99, 4, 2, 0, 1},
        {"track 4 spoiled", {}, {3}, 99, 4, 2, 0, 1},
        {"track 12 missing skips to 2, not 1", {11}, {}, 109, 1, 2, 0, 1},
        {"track 10 missing: 11 plays, the program ends", {9}, {}, 105, 10, 2, 0, 0},
        {"tracks 11, 12 missing: 2 plays, the program ends", {10, 11}, {}, 107, 1, 3, 0, 0},
        {"track 1 missing skips to 2", {0}, {}, 96, 1, 2, 0, 1},
        {"all missing from keypad 0: twelve tries", all, {}, 96, -1, 12, 1, 0},
        {"all missing from keypad 4: eleven tries", all, {}, 100, -1, 11, 0, 0},
        {"all but 1 spoiled from keypad minus", {}, but_1, 109, -1, 11, 0, 0},
    };
    for (const Case& c : cases) {
        TearDown();
        SetUp();
        for (int row : c.missing)
            fs::remove(fs::path("datas") / files[row]);
        for (int row : c.spoiled)
            write(row, std::vector<uint8_t>(600, 0x5a));
        std::srand(7);
        key(c.pressed);
        const int32_t next = std::rand() % 255;  // no draw beyond the last start
        EXPECT_EQ(std::vector<int32_t>(tint, tint + 3), nth_tint(7, c.starts - 1)) << c.what;
        EXPECT_EQ(next, nth_tint(7, c.starts)[0]) << c.what;
        EXPECT_EQ(background_index, c.background) << c.what;
        EXPECT_EQ(running, c.running) << c.what;
        EXPECT_EQ(current_channel != 0, c.plays >= 0) << c.what;
        EXPECT_EQ(render(), c.plays < 0 ? Samples(frames * 2) : reference(c.plays, 0, frames)) << c.what;
    }
}

TEST_F(Keys, EffectKeysActOnTheCurrentTrackOnly)
{
    for (uint32_t install : {112u, 114u, 116u}) {
        key(97);
        key(install);
        EXPECT_NE(render(), reference(1, 0, frames)) << "F" << install - 111 << " changes the sound";
        key(install + 1);
        EXPECT_EQ(render(), reference(1, frames, frames)) << "F" << install - 110 << " takes it off";
    }
    EffectState s;
    effects_get_state(&s);
    EXPECT_TRUE(s.pan_dsp == 1 && s.echo_dsp == 1 && s.flanger_dsp == 1) << "each removal answered 1";

    // An effect stays with the module it was put on, and goes with it.
    key(97);
    key(114);
    key(98);
    EXPECT_EQ(render(), reference(2, 0, frames)) << "the new track plays dry";
    key(115);
    effects_get_state(&s);
    EXPECT_EQ(s.echo_dsp, 0u) << "the old echo is not on this track";
    EXPECT_EQ(render(), reference(2, frames, frames));
}

TEST_F(Keys, EscapeAndCloseEndTheProgramOtherKeysDoNothing)
{
    key(98);
    const uint32_t playing = current_channel;
    PlatformMessage m;
    EXPECT_EQ(window_proc(nullptr, WM_CLOSE, 0, 0), 0);
    EXPECT_EQ(running, 1) << "a close request only posts the quit message";
    ASSERT_TRUE(platform_peek_message(&m));
    EXPECT_TRUE(m.message == WM_QUIT && m.wParam == 0);
    key(27);
    EXPECT_EQ(running, 0);
    EXPECT_EQ(music_free(playing), 0) << "Escape released the module";
    ASSERT_TRUE(platform_peek_message(&m));
    EXPECT_EQ(m.message, WM_QUIT);

    // Main-keyboard digits, keypad digits with Num Lock off, F7 and others.
    running = 1;
    key(97);
    const uint32_t now = current_channel;
    std::srand(3);
    for (uint32_t vk : {48u, 51u, 57u, 45u, 35u, 34u, 12u, 33u, 13u, 32u, 65u, 118u, 106u, 110u})
        EXPECT_EQ(key(vk), 0) << vk;
    const int32_t next = std::rand() % 255;
    EXPECT_EQ(next, nth_tint(3, 0)[0]) << "no tint drawn";
    EXPECT_EQ(current_channel, now);
    EXPECT_EQ(render(), reference(1, 0, frames));
}

}  // namespace
