// tests/player/track_list_test.cpp: the keys, through window_proc, against
// the real engine with no device (device 0) and real libopenmpt. The twelve
// tracks are distinct tones from the module writer in a datas/ of the
// test's own; cases remove or spoil files as they need.
#include "player/effects.h"
#include "player/track_list.h"
#include "tests/player/reference.h"
#include "content/modwriter/test_modules.h"
#include "tests/platform/test_system.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

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

// The track as a key starts it, frames [first, first + frames).
Samples reference(int row, size_t first = 0)
{
    openmpt_module* mod = reference_module(track_bytes(row), MUSIC_RAMP);
    Samples out((first + frames) * 2, 0);
    openmpt_module_read_interleaved_stereo(mod, 44100, first + frames, out.data());
    openmpt_module_destroy(mod);
    return Samples(out.begin() + 2 * first, out.end());
}

Samples render()
{
    Samples out(frames * 2);
    audio_render(out.data(), frames);
    return out;
}

intptr_t key(uint32_t vk, intptr_t lParam = 1)
{
    return window_proc(nullptr, WM_KEYDOWN, vk, lParam);
}

// The tint now and the generator's next draw are those of the nth track
// start after srand(seed) (-1: none): one tint a start, no more draws.
void expect_tint(unsigned seed, int nth, const std::string& what)
{
    const std::vector<int32_t> now(tint, tint + 3);
    const int next_draw = std::rand() % 255;
    std::srand(seed);
    std::vector<int32_t> want = now;  // no start: the tint as it is
    for (int i = 0; i <= nth; ++i)
        for (int32_t& c : want)
            c = std::rand() % 255;
    EXPECT_EQ(now, want) << what << ": the tint";
    EXPECT_EQ(next_draw, std::rand() % 255) << what << ": a draw past the tints";
}

class Keys : public testing::Test {
protected:
    static inline fs::path dir, was;  // the test's folder, and the working folder before
    static void SetUpTestSuite()
    {
        platform_register_window_class(window_proc);
        dir = fs::path(testing::TempDir()) / ("track_list_test_" + std::to_string(getpid()));
        fs::create_directories(dir / "datas");
        was = fs::current_path();
        fs::current_path(dir);
    }
    static void TearDownTestSuite()
    {
        // Out of it first: Windows removes no process's working folder.
        fs::current_path(was);
        fs::remove_all(dir);
    }
    void SetUp() override
    {
        for (int row = 0; row < 12; ++row)
            test_write_file((std::string("datas/") + files[row]).c_str(), track_bytes(row));
        ASSERT_EQ(audio_init(0, 44100, 0, nullptr), 1);
        effects_reset_state();
        running = 1;
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
    for (int row = 0; row < 12; ++row)
        for (int repeat = 0; repeat < 2; ++repeat) {  // a held key's repeat restarts it again
            std::srand(100 + row);
            const uint32_t replaced = current_channel;
            EXPECT_EQ(key(keys[row], repeat ? 1 | 1 << 30 : 1), 0);
            const std::string name = "case row " + std::to_string(row) + (repeat ? ", repeated" : "");
            expect_tint(100 + row, 0, name);
            EXPECT_EQ(background_index, row == 11 ? 1 : 0) << name;
            EXPECT_EQ(render(), reference(row)) << name;
            EXPECT_EQ(music_free(replaced), 0) << name << ": the replaced module is not released";
        }
    EXPECT_EQ(running, 1) << "a track key ended the program";
}

struct Spoiled {
    const char* what;
    std::vector<int> spoiled;  // rows no player reads
    uint32_t pressed;
    int plays, starts, background, running;  // plays -1: nothing
};
void PrintTo(const Spoiled& c, std::ostream* out) { *out << c.what; }
const std::vector<int> all_rows = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};

// Each case on a fresh engine and datas/, from the fixture's own set-up.
class TracksThatDoNotStart : public Keys, public testing::WithParamInterface<Spoiled> {};

TEST_P(TracksThatDoNotStart, PassTheirKeyOn)
{
    const Spoiled& c = GetParam();
    for (int row : c.spoiled)
        test_write_file((std::string("datas/") + files[row]).c_str(), std::vector<uint8_t>(600, 0x5a));
    std::srand(7);
    key(c.pressed);
    expect_tint(7, c.starts - 1, std::string("case ") + c.what);
    EXPECT_EQ(background_index, c.background) << "case " << c.what;
    EXPECT_EQ(running, c.running) << "case " << c.what;
    EXPECT_EQ(current_channel != 0, c.plays >= 0) << "case " << c.what;
    EXPECT_EQ(render(), c.plays < 0 ? Samples(frames * 2) : reference(c.plays)) << "case " << c.what;
}

INSTANTIATE_TEST_SUITE_P(Keys, TracksThatDoNotStart, testing::Values(
    Spoiled{"track 4 spoiled", {3}, 99, 4, 2, 0, 1},
    Spoiled{"track 12 spoiled skips to 2, not 1", {11}, 109, 1, 2, 0, 1},
    Spoiled{"track 10 spoiled: 11 plays, the program ends", {9}, 105, 10, 2, 0, 0},
    Spoiled{"tracks 11, 12 spoiled: 2 plays, the program ends", {10, 11}, 107, 1, 3, 0, 0},
    Spoiled{"all spoiled from keypad 0: twelve tries", all_rows, 96, -1, 12, 1, 0},
    Spoiled{"all spoiled from keypad 4: eleven tries", all_rows, 100, -1, 11, 0, 0}),
    [](const testing::TestParamInfo<Spoiled>& info) { return "case" + std::to_string(info.index); });

TEST_F(Keys, EffectKeysEscapeCloseAndKeysWithNoCommand)
{
    for (uint32_t install : {112u, 114u, 116u}) {
        key(97);
        key(install);
        EXPECT_NE(render(), reference(1)) << "F" << install - 111 << " changes the sound";
        key(install + 1);
        EXPECT_EQ(render(), reference(1, frames)) << "F" << install - 110 << " takes it off";
    }
    // An effect stays with the module it was put on, and goes with it.
    key(114);
    key(98);
    EXPECT_EQ(render(), reference(2)) << "the new track plays dry";
    key(115);
    EffectState s;
    effects_get_state(&s);
    EXPECT_EQ(s.echo_dsp, 0u) << "the old echo is not on this track";

    // Main-keyboard digits, keypad digits with Num Lock off, F7 and others.
    std::srand(3);
    for (uint32_t vk : {48u, 51u, 57u, 45u, 35u, 34u, 12u, 33u, 13u, 32u, 65u, 118u, 106u, 110u})
        EXPECT_EQ(key(vk), 0) << vk;
    expect_tint(3, -1, "no tint drawn");
    EXPECT_EQ(render(), reference(2, frames)) << "the track plays on";

    PlatformMessage m;
    const uint32_t playing = current_channel;
    EXPECT_EQ(window_proc(nullptr, WM_CLOSE, 0, 0), 0);
    EXPECT_EQ(running, 1) << "a close request only posts the quit message";
    ASSERT_TRUE(platform_peek_message(&m)) << "no message after the close request";
    EXPECT_EQ(m.message, WM_QUIT) << "the close request";
    EXPECT_EQ(m.wParam, 0u) << "the close request's quit code";
    key(27);
    EXPECT_EQ(running, 0) << "Escape";
    EXPECT_EQ(music_free(playing), 0) << "Escape did not release the module";
    ASSERT_TRUE(platform_peek_message(&m)) << "no message after Escape";
    EXPECT_EQ(m.message, WM_QUIT) << "Escape";
}

}  // namespace
