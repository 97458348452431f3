// tests/player/track_list_test.cpp: the keys, through window_proc, against
// the real engine with no device (device 0) and real libopenmpt. The twelve
// tracks are distinct tones from the module writer, written into a datas/
// of the test's own; each case removes or spoils files as it needs.
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

const char* const files[12] = {"1-ambre.it",   "2-colder.it",  "3-Shift1.it",   "4-MIRROR.IT",
                               "5-STONE.IT",   "6-SHIFT2.IT",  "7-FROB.xm",     "8-WOBBLE.IT",
                               "9-SHIFT3.IT",  "10-LUMEN.IT",  "11-DRIFT.IT",   "12-CODA.IT"};
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
// loop, no dither).
Samples reference(int row, size_t first, size_t count)
{
    std::vector<uint8_t> bytes = track_bytes(row);
    openmpt_module* mod = openmpt_module_create_from_memory2(bytes.data(), bytes.size(), openmpt_log_func_silent,
                                                             nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    openmpt_module_ctl_set_integer(mod, "dither", 0);
    Samples out((first + count) * 2, 0);
    for (size_t done = 0; done < first + count;) {
        size_t got = openmpt_module_read_interleaved_stereo(mod, 44100, std::min<size_t>(1024, first + count - done),
                                                            out.data() + 2 * done);
        if (!got)
            break;
        done += got;
    }
    openmpt_module_destroy(mod);
    return Samples(out.begin() + 2 * first, out.end());
}

Samples render(size_t count)
{
    Samples out(count * 2);
    audio_render(out.data(), count);
    return out;
}

intptr_t key(uint32_t vk, intptr_t lParam = 1)
{
    return window_proc(nullptr, WM_KEYDOWN, vk, lParam);
}

// The tints the generator seeded with seed gives for the nth track start.
std::vector<int32_t> tint_draw(unsigned seed, int nth)
{
    std::srand(seed);
    std::vector<int32_t> t(3);
    for (int i = 0; i <= nth; ++i)
        for (int32_t& c : t)
            c = std::rand() % 255;
    return t;
}

std::vector<int32_t> tint_now()
{
    return {tint[0], tint[1], tint[2]};
}

class Keys : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        platform_register_window_class(window_proc);
        dir = fs::path(testing::TempDir()) / ("track_list_test_" + std::to_string(getpid()));
        fs::create_directories(dir / "datas");
        old_cwd = fs::current_path();
        fs::current_path(dir);
    }
    static void TearDownTestSuite()
    {
        fs::current_path(old_cwd);
        fs::remove_all(dir);
    }
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
    static void write(int row, const std::vector<uint8_t>& bytes)
    {
        FILE* f = std::fopen(("datas/" + std::string(files[row])).c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    static void remove(int row) { fs::remove(fs::path("datas") / files[row]); }

    static fs::path dir, old_cwd;
};
fs::path Keys::dir, Keys::old_cwd;

TEST_F(Keys, EveryKeyStartsItsTrackFromTheBeginningWithANewTint)
{
    for (int row = 0; row < 12; ++row) {
        std::srand(100 + row);
        EXPECT_EQ(key(keys[row]), 0);
        EXPECT_EQ(tint_now(), tint_draw(100 + row, 0)) << "row " << row;
        EXPECT_EQ(background_index, row == 11 ? 1 : 0) << "row " << row;
        ASSERT_NE(current_channel, 0u);
        EXPECT_EQ(render(frames), reference(row, 0, frames)) << "row " << row;
        // A held key's repeat restarts it again, with another tint.
        const uint32_t first = current_channel;
        key(keys[row], 1 | 1 << 30);
        EXPECT_EQ(tint_now(), tint_draw(100 + row, 1));
        EXPECT_EQ(render(frames), reference(row, 0, frames)) << "row " << row << " repeated";
        EXPECT_EQ(music_free(first), 0) << "the replaced module is released";
    }
    EXPECT_EQ(running, 1);
}

TEST_F(Keys, TracksThatDoNotStartPassTheirKeyOn)
{
    struct Case {
        const char* what;
        std::vector<int> missing;  // rows removed
        std::vector<int> spoiled;  // rows overwritten with bytes no player reads
        uint32_t pressed;
        int plays;       // row that ends up playing, -1 for none
        int starts;      // track starts in the chain: one tint each
        int background;  // background_index at the end
        int running;     // running at the end
    };
    const Case cases[] = {
        {"track 4 missing", {3}, {}, 99, 4, 2, 0, 1},
        {"track 4 spoiled", {}, {3}, 99, 4, 2, 0, 1},
        {"track 12 missing skips to 2, not 1", {11}, {}, 109, 1, 2, 0, 1},
        {"track 10 missing: 11 plays and the program ends", {9}, {}, 105, 10, 2, 0, 0},
        {"tracks 11 and 12 missing: 2 plays, the program ends", {10, 11}, {}, 107, 1, 3, 0, 0},
        {"track 1 missing skips to 2", {0}, {}, 96, 1, 2, 0, 1},
        {"all missing from keypad 0: twelve tries", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, {}, 96, -1, 12, 1, 0},
        {"all missing from keypad 4: eleven tries", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, {}, 100, -1, 11, 0, 0},
        {"all but 1 spoiled from keypad minus", {}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, 109, -1, 11, 0, 0},
    };
    for (const Case& c : cases) {
        TearDown();
        SetUp();
        for (int row : c.missing)
            remove(row);
        for (int row : c.spoiled)
            write(row, std::vector<uint8_t>(600, 0x5a));
        std::srand(7);
        key(c.pressed);
        // No further draw happened: the next one is the start after the last.
        const int32_t next = std::rand() % 255;
        EXPECT_EQ(tint_now(), tint_draw(7, c.starts - 1)) << c.what;
        EXPECT_EQ(next, tint_draw(7, c.starts)[0]) << c.what;
        EXPECT_EQ(background_index, c.background) << c.what;
        EXPECT_EQ(running, c.running) << c.what;
        if (c.plays < 0) {
            EXPECT_EQ(current_channel, 0u) << c.what;
            EXPECT_EQ(render(frames), Samples(frames * 2, 0)) << c.what;
        } else {
            EXPECT_EQ(render(frames), reference(c.plays, 0, frames)) << c.what;
        }
    }
}

TEST_F(Keys, EffectKeysActOnTheCurrentTrackOnly)
{
    struct Case {
        uint32_t install, remove;
    };
    for (Case c : {Case{112, 113}, Case{114, 115}, Case{116, 117}}) {
        key(97);
        key(c.install);
        Samples wet = render(frames);
        EXPECT_NE(wet, reference(1, 0, frames)) << "F" << c.install - 111 << " changes the sound";
        key(c.remove);
        EXPECT_EQ(render(frames), reference(1, frames, frames)) << "F" << c.remove - 111 << " takes it off";
    }
    EffectState s;
    effects_get_state(&s);
    EXPECT_EQ(s.pan_dsp, 1u);
    EXPECT_EQ(s.echo_dsp, 1u);
    EXPECT_EQ(s.flanger_dsp, 1u);

    // An effect stays with the module it was put on, and goes with it.
    key(97);
    key(114);
    key(98);
    EXPECT_EQ(render(frames), reference(2, 0, frames)) << "the new track plays dry";
    key(115);
    effects_get_state(&s);
    EXPECT_EQ(s.echo_dsp, 0u) << "the old echo is not on this track";
    EXPECT_EQ(render(frames), reference(2, frames, frames));
}

TEST_F(Keys, EscapeAndCloseEndTheProgram)
{
    key(98);
    const uint32_t playing = current_channel;
    PlatformMessage m;
    EXPECT_EQ(window_proc(nullptr, WM_CLOSE, 0, 0), 0);
    EXPECT_EQ(running, 1) << "a close request only posts the quit message";
    ASSERT_TRUE(platform_peek_message(&m));
    EXPECT_EQ(m.message, WM_QUIT);
    EXPECT_EQ(m.wParam, 0u);

    key(27);
    EXPECT_EQ(running, 0);
    EXPECT_EQ(music_free(playing), 0) << "Escape released the module";
    ASSERT_TRUE(platform_peek_message(&m));
    EXPECT_EQ(m.message, WM_QUIT);

    // Keys with no command, main-keyboard digits and keypad digits with Num
    // Lock off among them, change nothing.
    running = 1;
    key(97);
    const uint32_t now = current_channel;
    std::srand(3);
    for (uint32_t vk : {48u, 51u, 57u, 45u, 35u, 34u, 12u, 33u, 13u, 32u, 65u, 118u, 106u, 110u})
        EXPECT_EQ(key(vk), 0) << vk;
    EXPECT_EQ(current_channel, now);
    const int32_t next = std::rand() % 255;
    EXPECT_EQ(next, tint_draw(3, 0)[0]) << "no tint drawn";
    EXPECT_EQ(render(frames), reference(1, 0, frames));
}

}  // namespace
