// tests/tools/modwriter_test.cpp: what the IT/XM writer and the fixture
// modules sound like to the real libopenmpt. Test thread only.
#include "tools/modwriter/modwriter.h"
#include "tools/modwriter/test_modules.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <libopenmpt/libopenmpt.h>

#include <cstdlib>
#include <string>

namespace {

constexpr int rate = 44100;

struct Loaded {
    openmpt_module* mod = nullptr;
    std::string type;
    int channels = 0;
    int orders = 0;
    double seconds = 0;
};

Loaded load(const std::vector<uint8_t>& bytes)
{
    Loaded l;
    if (bytes.empty()) return l;
    l.mod = openmpt_module_create_from_memory2(bytes.data(), bytes.size(), nullptr, nullptr,
                                               nullptr, nullptr, nullptr, nullptr, nullptr);
    if (!l.mod) return l;
    const char* type = openmpt_module_get_metadata(l.mod, "type");
    l.type = type ? type : "";
    openmpt_free_string(type);
    l.channels = openmpt_module_get_num_channels(l.mod);
    l.orders = openmpt_module_get_num_orders(l.mod);
    l.seconds = openmpt_module_get_duration_seconds(l.mod);
    return l;
}

// Left channel of up to max_seconds of output (all of it when the module
// ends sooner).
std::vector<int16_t> render_left(const std::vector<uint8_t>& bytes, double max_seconds,
                                 int repeat_count = 0)
{
    std::vector<int16_t> left;
    Loaded l = load(bytes);
    if (!l.mod) return left;
    openmpt_module_set_repeat_count(l.mod, repeat_count);
    size_t want = size_t(max_seconds * rate);
    int16_t buffer[2 * 1024];
    while (left.size() < want) {
        size_t n = openmpt_module_read_interleaved_stereo(l.mod, rate, 1024, buffer);
        if (n == 0) break;
        for (size_t i = 0; i < n && left.size() < want; i++) left.push_back(buffer[2 * i]);
    }
    openmpt_module_destroy(l.mod);
    return left;
}

int peak(const std::vector<int16_t>& s, double from, double to)
{
    int p = 0;
    size_t a = size_t(from * rate), b = size_t(to * rate);
    for (size_t i = a; i < b && i < s.size(); i++) p = std::max(p, std::abs(int(s[i])));
    return p;
}

// Rising zero crossings per second over [from, to).
double frequency(const std::vector<int16_t>& s, double from, double to)
{
    size_t a = size_t(from * rate), b = std::min(size_t(to * rate), s.size());
    int crossings = 0;
    for (size_t i = a + 1; i < b; i++)
        if (s[i - 1] < 0 && s[i] >= 0) crossings++;
    return b > a ? crossings * double(rate) / double(b - a) : 0;
}

Sample square_cycle(int frames, int amplitude, uint32_t base_rate, bool sixteen_bit)
{
    Sample s;
    s.sixteen_bit = sixteen_bit;
    for (int i = 0; i < frames; i++) s.frames.push_back(int16_t(i < frames / 2 ? amplitude : -amplitude));
    s.loop = LoopMode::forward;
    s.loop_end = uint32_t(frames);
    s.base_rate = base_rate;
    return s;
}

// One channel, one 64-row pattern at 0.1 s a row, a square note on row 0.
Song one_note_song()
{
    Song song;
    song.channels = 4;
    song.speed = 5;
    song.tempo = 125;
    song.samples.push_back(square_cycle(100, 12000, 44100, true));
    song.patterns.push_back(make_pattern(song, 64));
    song.orders = {0};
    Cell& c = pattern_cell(song.patterns[0], song.channels, 0, 0);
    c.note = note_c5;
    c.instrument = 1;
    return song;
}

std::vector<uint8_t> encode(const Song& song, ModuleFormat f)
{
    return f == ModuleFormat::xm ? xm_encode(song) : it_encode(song);
}

const char* name(ModuleFormat f) { return f == ModuleFormat::xm ? "xm" : "it"; }

}  // namespace

TEST(Fixtures, ReportFormatLayoutAndLength)
{
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        const char* type;
        int channels, orders;
        double seconds;
    };
    ToneOptions three_xm;
    three_xm.format = ModuleFormat::xm;
    three_xm.channels = 3;
    Case cases[] = {
        {"tone it", make_tone_module(2.5), "it", 1, 1, 2.5},
        {"tone xm 3ch", make_tone_module(12.34, three_xm), "xm", 3, 2, 12.3},
        {"tone 1 row", make_tone_module(0.01), "it", 1, 1, 0.1},
        {"silent it", make_silent_module(30), "it", 1, 3, 30.0},
        {"silent xm", make_silent_module(4, ModuleFormat::xm), "xm", 1, 1, 4.0},
        {"looping it", make_looping_module(3), "it", 1, 1, 3.0},
        {"looping xm", make_looping_module(21, ModuleFormat::xm), "xm", 1, 3, 21.0},
    };
    for (const Case& c : cases) {
        Loaded l = load(c.bytes);
        ASSERT_NE(l.mod, nullptr) << c.what;
        EXPECT_EQ(l.type, c.type) << c.what;
        EXPECT_EQ(l.channels, c.channels) << c.what;
        EXPECT_EQ(l.orders, c.orders) << c.what;
        EXPECT_NEAR(l.seconds, c.seconds, 1e-6) << c.what;
        openmpt_module_destroy(l.mod);
    }
}

TEST(Fixtures, ToneSoundsThroughoutAndSilenceIsSilent)
{
    for (ModuleFormat f : {ModuleFormat::it, ModuleFormat::xm})
        for (ToneWave wave : {ToneWave::square, ToneWave::sine}) {
            ToneOptions o;
            o.format = f;
            o.wave = wave;
            std::vector<int16_t> tone = render_left(make_tone_module(2, o), 10);
            ASSERT_GE(tone.size(), size_t(2 * rate)) << name(f);
            for (double t = 0.01; t < 1.99; t += 0.1)
                EXPECT_GT(peak(tone, t, t + 0.05), 2000) << name(f) << " at " << t;
            EXPECT_NEAR(frequency(tone, 0.1, 1.9), tone_frequency_hz, 3) << name(f);

            std::vector<int16_t> silent = render_left(make_silent_module(2, f), 10);
            EXPECT_GE(silent.size(), size_t(2 * rate)) << name(f);
            EXPECT_EQ(peak(silent, 0, 10), 0) << name(f);
        }
}

TEST(Writer, SampleTuningAndFormatsAgree)
{
    // The XM side derives relative note and finetune from the base rate;
    // a wrong derivation shows up as a detuned note.
    struct Case {
        uint32_t base_rate;
        uint8_t note;
        bool sixteen_bit;
        double hz;
    };
    for (Case c : {Case{44100, note_c5, true, 441.0}, Case{8363, note_c5, false, 83.63},
                   Case{22050, note_c5 + 12, true, 441.0}, Case{33488, note_c5 + 7, false, 501.7},
                   Case{16000, note_c5 - 5, true, 120.1}})
        for (ModuleFormat f : {ModuleFormat::it, ModuleFormat::xm}) {
            Song song = one_note_song();
            song.samples[0] = square_cycle(100, c.sixteen_bit ? 12000 : 100, c.base_rate, c.sixteen_bit);
            pattern_cell(song.patterns[0], song.channels, 0, 0).note = c.note;
            std::vector<int16_t> out = render_left(encode(song, f), 3);
            EXPECT_NEAR(frequency(out, 0.5, 3.0), c.hz, c.hz * 0.01) << name(f) << " " << c.base_rate;
            EXPECT_GT(peak(out, 0.5, 3.0), 1000) << name(f) << " " << c.base_rate;
        }
}

TEST(Writer, LoopModesAndDefaultVolume)
{
    // A rising ramp of 100 frames: looped forward it is a 441 Hz saw, looped
    // back and forth a 220.5 Hz triangle; unlooped it stops after 100
    // frames. The cell has no volume, so the sample's default volume rules.
    struct Case {
        const char* what;
        LoopMode loop;
        uint8_t default_volume;
        bool sixteen_bit;
        double hz;
        int level_min, level_max;  // peak over 0.5..1.5 s
    };
    Case cases[] = {
        {"forward", LoopMode::forward, 64, true, 441, 2000, 32767},
        {"ping-pong", LoopMode::ping_pong, 64, true, 220.5, 2000, 32767},
        {"ping-pong 8-bit", LoopMode::ping_pong, 64, false, 220.5, 2000, 32767},
        {"none", LoopMode::none, 64, true, 0, 0, 0},
    };
    for (const Case& c : cases)
        for (ModuleFormat f : {ModuleFormat::it, ModuleFormat::xm}) {
            Song song = one_note_song();
            Sample& s = song.samples[0];
            s.sixteen_bit = c.sixteen_bit;
            s.frames.clear();
            for (int i = 0; i < 100; i++) s.frames.push_back(int16_t((i - 50) * (c.sixteen_bit ? 400 : 2)));
            s.loop = c.loop;
            s.volume = c.default_volume;
            pattern_cell(song.patterns[0], song.channels, 0, 0).volume = no_volume;
            std::vector<int16_t> out = render_left(encode(song, f), 2);
            int level = peak(out, 0.5, 1.5);
            EXPECT_GE(level, c.level_min) << c.what << " " << name(f);
            EXPECT_LE(level, c.level_max) << c.what << " " << name(f);
            if (c.hz > 0) {
                EXPECT_NEAR(frequency(out, 0.5, 1.5), c.hz, c.hz * 0.01) << c.what << " " << name(f);
            }
        }
    // Half the default volume, half the level.
    Song song = one_note_song();
    song.samples[0].volume = 32;
    pattern_cell(song.patterns[0], song.channels, 0, 0).volume = no_volume;
    int half = peak(render_left(it_encode(song), 2), 0.5, 1.5);
    Song loud = one_note_song();
    pattern_cell(loud.patterns[0], loud.channels, 0, 0).volume = no_volume;
    int full_level = peak(render_left(it_encode(loud), 2), 0.5, 1.5);
    EXPECT_NEAR(half, full_level / 2, full_level / 10);
}

TEST(Writer, TimingEffectsChangeTheLength)
{
    // Two 64-row patterns of 5 ticks a row at 125 BPM: 12.8 s unless an
    // effect on the second channel says otherwise.
    struct Case {
        const char* what;
        int row;
        Effect effect;
        uint8_t param;
        double seconds;
    };
    Case cases[] = {
        {"none", 0, Effect::none, 0, 12.8},
        {"speed 10", 0, Effect::set_speed, 10, 25.6},
        {"tempo 250", 0, Effect::set_tempo, 250, 6.4},
        {"break at row 31", 31, Effect::pattern_break, 0, 3.2 + 6.4},
        {"break into row 32", 31, Effect::pattern_break, 32, 3.2 + 3.2},
        {"jump at row 15 to order 1", 15, Effect::position_jump, 1, 1.6 + 6.4},
    };
    for (const Case& c : cases)
        for (ModuleFormat f : {ModuleFormat::it, ModuleFormat::xm}) {
            Song song = one_note_song();
            song.patterns.push_back(make_pattern(song, 64));
            song.orders = {0, 1};
            Cell& cell = pattern_cell(song.patterns[0], song.channels, c.row, 1);
            cell.effect = c.effect;
            cell.param = c.param;
            Loaded l = load(encode(song, f));
            ASSERT_NE(l.mod, nullptr) << c.what;
            EXPECT_NEAR(l.seconds, c.seconds, 1e-6) << c.what << " " << name(f);
            openmpt_module_destroy(l.mod);
        }
}

TEST(Writer, EnvelopesAndVolumeEffectsShapeTheLevel)
{
    // Level of the one note in three windows: early, middle, late.
    struct Case {
        const char* what;
        bool decaying_envelope, sustain_then_off, slide_down;
        int early_min, late_max;  // peak bounds, 0..32767
    };
    Case cases[] = {
        {"plain", false, false, false, 2000, 32767},
        {"envelope decays to 0 by 2 s", true, false, false, 2000, 0},
        {"sustain, off at row 20, fadeout", false, true, false, 2000, 0},
        {"volume slide down", false, false, true, 2000, 0},
    };
    for (const Case& c : cases)
        for (ModuleFormat f : {ModuleFormat::it, ModuleFormat::xm}) {
            Song song = one_note_song();
            Instrument ins;
            ins.sample = 1;
            if (c.decaying_envelope)
                ins.volume_envelope.points = {{0, 64}, {50, 32}, {100, 0}};
            if (c.sustain_then_off) {
                ins.volume_envelope.points = {{0, 64}, {10, 64}};
                ins.volume_envelope.sustain = 1;
                ins.fadeout = 2048;
                pattern_cell(song.patterns[0], song.channels, 20, 0).note = note_off;
            }
            if (c.slide_down)
                for (int row = 1; row < 64; row++) {
                    Cell& cell = pattern_cell(song.patterns[0], song.channels, row, 0);
                    cell.effect = Effect::volume_slide;
                    cell.param = 0x04;
                }
            song.instruments.push_back(ins);
            std::vector<int16_t> out = render_left(encode(song, f), 6.4);
            EXPECT_GE(peak(out, 0.0, 0.3), c.early_min) << c.what << " " << name(f);
            EXPECT_LE(peak(out, 4.0, 6.0), c.late_max) << c.what << " " << name(f);
            if (c.late_max == 32767) {
                EXPECT_GT(peak(out, 4.0, 6.0), 2000) << c.what << " " << name(f);
            }
        }
}

TEST(Writer, PitchEffectsMoveThePitch)
{
    // The note starts at 441 Hz on row 0; the effect runs from row 1 on.
    // Measured over 3..6 s: the average pitch, and how far the pitch of
    // 50 ms windows strays (vibrato).
    struct Case {
        const char* what;
        Effect effect;
        uint8_t param;
        uint8_t second_note;
        uint8_t auto_vibrato_depth;
        double hz_low, hz_high;
        bool wobbles;
    };
    Case cases[] = {
        {"tone portamento to C-6", Effect::tone_portamento, 0x40, note_c5 + 12, 0, 870, 895, false},
        {"arpeggio 0 and +12", Effect::arpeggio, 0xc0, note_none, 0, 500, 800, false},
        {"vibrato around C-5", Effect::vibrato, 0x48, note_none, 0, 430, 452, true},
        {"portamento up, 1/4 semitone a row", Effect::portamento_up, 0x01, note_none, 0, 650, 1100, false},
        {"auto-vibrato of the instrument", Effect::none, 0, note_none, 24, 430, 452, true},
        {"nothing", Effect::none, 0, note_none, 0, 438, 444, false},
    };
    for (const Case& c : cases)
        for (ModuleFormat f : {ModuleFormat::it, ModuleFormat::xm}) {
            Song song = one_note_song();
            Instrument ins;
            ins.vibrato_depth = c.auto_vibrato_depth;
            ins.vibrato_rate = 20;
            song.instruments.push_back(ins);
            for (int row = 1; row < 64; row++) {
                Cell& cell = pattern_cell(song.patterns[0], song.channels, row, 0);
                cell.effect = c.effect;
                cell.param = c.param;
            }
            pattern_cell(song.patterns[0], song.channels, 10, 0).note = c.second_note;
            std::vector<int16_t> out = render_left(encode(song, f), 6.4);
            double hz = frequency(out, 3.0, 6.0);
            EXPECT_TRUE(hz >= c.hz_low && hz <= c.hz_high) << c.what << " " << name(f) << " " << hz;
            double lowest = 1e9, highest = 0;
            for (double t = 3.0; t < 4.0; t += 0.05) {
                double w = frequency(out, t, t + 0.05);
                lowest = std::min(lowest, w);
                highest = std::max(highest, w);
            }
            if (c.effect != Effect::portamento_up && c.effect != Effect::arpeggio) {
                EXPECT_EQ(highest - lowest > 30, c.wobbles)
                    << c.what << " " << name(f) << " " << lowest << ".." << highest;
            }
        }
}

TEST(Writer, RefusesSongsTheFormatsCannotHold)
{
    struct Case {
        const char* what;
        void (*spoil)(Song&);
    };
    Case cases[] = {
        {"no orders", [](Song& s) { s.orders.clear(); }},
        {"order past the patterns", [](Song& s) { s.orders = {0, 1}; }},
        {"wrong cell count", [](Song& s) { s.patterns[0].cells.pop_back(); }},
        {"loop past the end", [](Song& s) { s.samples[0].loop_end = 101; }},
        {"instrument without sample", [](Song& s) {
             Instrument ins;
             ins.sample = 2;
             s.instruments.push_back(ins);
         }},
        {"envelope ticks go back", [](Song& s) {
             Instrument ins;
             ins.volume_envelope.points = {{0, 64}, {0, 32}};
             s.instruments.push_back(ins);
         }},
        {"no channels", [](Song& s) { s.channels = 0; s.patterns[0].cells.clear(); }},
        {"tempo too low", [](Song& s) { s.tempo = 20; }},
    };
    for (const Case& c : cases) {
        Song song = one_note_song();
        c.spoil(song);
        EXPECT_TRUE(it_encode(song).empty()) << c.what;
        EXPECT_TRUE(xm_encode(song).empty()) << c.what;
    }
    EXPECT_FALSE(it_encode(one_note_song()).empty());
}
