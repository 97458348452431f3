// tests/tools/content/modwriter_test.cpp: what the IT/XM writer and the fixture
// modules sound like to the real libopenmpt. Test thread only.
#include "tools/content/modwriter/modwriter.h"
#include "tools/content/modwriter/test_modules.h"

#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <cstdlib>
#include <string>

namespace {

constexpr int rate = 44100;
struct Format {
    const char* name;
    std::vector<uint8_t> (*encode)(const Song&);
};
constexpr Format formats[] = {{"it", it_encode}, {"xm", xm_encode}};

openmpt_module* open(const std::vector<uint8_t>& bytes)
{
    return openmpt_module_create_from_memory2(bytes.data(), bytes.size(), nullptr, nullptr, nullptr, nullptr,
                                              nullptr, nullptr, nullptr);
}

// Left channel of up to max_seconds of output, played once.
std::vector<int16_t> render_left(const std::vector<uint8_t>& bytes, double max_seconds)
{
    std::vector<int16_t> stereo(2 * size_t(max_seconds * rate)), left;
    size_t n = 0;
    if (openmpt_module* mod = open(bytes)) {
        n = openmpt_module_read_interleaved_stereo(mod, rate, stereo.size() / 2, stereo.data());
        openmpt_module_destroy(mod);
    }
    for (size_t i = 0; i < n; i++)
        left.push_back(stereo[2 * i]);
    return left;
}

int peak(const std::vector<int16_t>& s, double from, double to)
{
    int p = 0;
    for (size_t i = size_t(from * rate); i < size_t(to * rate) && i < s.size(); i++)
        p = std::max(p, std::abs(s[i]));
    return p;
}

// Rising zero crossings per second over [from, to).
double frequency(const std::vector<int16_t>& s, double from, double to)
{
    size_t a = size_t(from * rate), b = std::min(size_t(to * rate), s.size());
    int crossings = 0;
    for (size_t i = a + 1; i < b; i++)
        crossings += s[i - 1] < 0 && s[i] >= 0;
    return b > a ? crossings * double(rate) / double(b - a) : 0;
}

Cell& cell(Song& song, int row, int channel) { return pattern_cell(song.patterns[0], song.channels, row, channel); }

// Four channels, one 64-row pattern at 0.1 s a row, and on row 0 of the
// first channel a note playing a looped 100-frame square (441 Hz at C-5).
Song one_note_song()
{
    Song song;
    song.speed = 5;
    Sample& s = song.samples.emplace_back();
    for (int i = 0; i < 100; i++)
        s.frames.push_back(int16_t(i < 50 ? 12000 : -12000));
    s.loop = LoopMode::forward;
    s.loop_end = 100;
    s.base_rate = 44100;
    song.patterns.push_back(make_pattern(song, 64));
    song.orders = {0};
    cell(song, 0, 0).note = note_c5;
    cell(song, 0, 0).instrument = 1;
    return song;
}

// Turns the note's square into a rising ramp of 100 frames.
void ramp(Song& song, LoopMode loop)
{
    song.samples[0].loop = loop;
    for (int i = 0; i < 100; i++)
        song.samples[0].frames[size_t(i)] = int16_t((i - 50) * 240);
}

// Plays the note at base_rate, as 8-bit frames at half the level of the
// 16-bit ones.
void tune(Song& song, uint32_t base_rate, int note, bool sixteen_bit)
{
    Sample& s = song.samples[0];
    s.base_rate = base_rate;
    s.sixteen_bit = sixteen_bit;
    if (!sixteen_bit)
        for (int16_t& v : s.frames)
            v = int16_t(v / 512);
    cell(song, 0, 0).note = uint8_t(note);
}

// Plays the note through an instrument with this volume envelope: points,
// sustain point, loop start and end point.
Instrument& instrument(Song& song, Envelope envelope)
{
    Instrument& ins = song.instruments.emplace_back();
    ins.volume_envelope = std::move(envelope);
    return ins;
}

}  // namespace

TEST(Fixtures, FormatLayoutLengthAndSound)
{
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        const char* type;
        int channels, orders;
        double seconds;
        bool sounds;
    };
    const Case cases[] = {
        {"tone it", make_tone_module(2.5), "it", 1, 1, 2.5, true},
        {"tone xm 3ch", make_tone_module(12.34, {ModuleFormat::xm, 3}), "xm", 3, 2, 12.3, true},
        {"sine xm", make_tone_module(2, {ModuleFormat::xm, 1, ToneWave::sine}), "xm", 1, 1, 2.0, true},
        {"tone 1 row", make_tone_module(0.01), "it", 1, 1, 0.1, true},
        {"silent it", make_silent_module(30), "it", 1, 3, 30.0, false},
        {"silent xm", make_silent_module(4, ModuleFormat::xm), "xm", 1, 1, 4.0, false},
        {"looping it", make_looping_module(3), "it", 1, 1, 3.0, true},
        {"looping xm", make_looping_module(21, ModuleFormat::xm), "xm", 1, 3, 21.0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        openmpt_module* mod = open(c.bytes);
        ASSERT_NE(mod, nullptr);
        const char* type = openmpt_module_get_metadata(mod, "type");
        EXPECT_STREQ(type, c.type);
        openmpt_free_string(type);
        EXPECT_EQ(openmpt_module_get_num_channels(mod), c.channels);
        EXPECT_EQ(openmpt_module_get_num_orders(mod), c.orders);
        EXPECT_NEAR(openmpt_module_get_duration_seconds(mod), c.seconds, 1e-6);
        openmpt_module_destroy(mod);
        // The tone from the first frame to the last, or silence throughout.
        double end = std::min(c.seconds, 4.0);
        std::vector<int16_t> out = render_left(c.bytes, end);
        ASSERT_EQ(out.size(), size_t(end * rate));
        for (double t = 0; t < end - 0.01; t += 0.05)
            EXPECT_EQ(peak(out, t, t + 0.01) > 2000, c.sounds) << t;
        EXPECT_NEAR(frequency(out, 0.1, end - 0.1), c.sounds && end > 1 ? tone_frequency_hz : 0, 3);
    }
}

TEST(Writer, CellsReadBackAsWritten)
{
    // libopenmpt's text of each cell: note, instrument, volume column and
    // the format's own effect letter (IT) or digit (XM), parameters in hex.
    struct Case {
        Effect effect;
        uint8_t param;
        const char* text[2];  // it, xm
    };
    const Case cases[] = {
        {Effect::arpeggio, 0x37, {"J37", "037"}},          {Effect::portamento_up, 5, {"F05", "105"}},
        {Effect::portamento_down, 6, {"E06", "206"}},      {Effect::tone_portamento, 7, {"G07", "307"}},
        {Effect::vibrato, 0x48, {"H48", "448"}},           {Effect::vibrato_volume_slide, 0x20, {"K20", "620"}},
        {Effect::tremolo, 0x34, {"R34", "734"}},           {Effect::volume_slide, 0x04, {"D04", "A04"}},
        {Effect::set_panning, 0x80, {"X80", "880"}},       {Effect::sample_offset, 0x10, {"O10", "910"}},
        {Effect::retrigger, 0x13, {"Q13", "R13"}},         {Effect::note_cut, 3, {"SC3", "EC3"}},
        {Effect::note_delay, 2, {"SD2", "ED2"}},           {Effect::set_global_volume, 100, {"V64", "G32"}},
        {Effect::global_volume_slide, 2, {"W02", "H02"}},  {Effect::position_jump, 1, {"B01", "B01"}},
        {Effect::pattern_break, 32, {"C20", "D20"}},       {Effect::set_speed, 10, {"A0A", "F0A"}},
        {Effect::set_tempo, 140, {"T8C", "F8C"}},
    };
    Song song = one_note_song();
    cell(song, 0, 0).volume = 32;
    cell(song, 1, 0).note = note_c5 + 13;
    cell(song, 2, 0).note = note_off;
    cell(song, 3, 0).note = note_cut;
    for (size_t row = 0; row < std::size(cases); row++) {
        cell(song, int(row), 2).effect = cases[row].effect;
        cell(song, int(row), 2).param = cases[row].param;
    }
    for (int f = 0; f < 2; f++) {
        SCOPED_TRACE(formats[f].name);
        openmpt_module* mod = open(formats[f].encode(song));
        ASSERT_NE(mod, nullptr);
        auto text = [&](int row, int channel) {
            const char* t = openmpt_module_format_pattern_row_channel(mod, 0, row, channel, 0, 1);
            std::string s = t ? t : "";
            openmpt_free_string(t);
            return s;
        };
        EXPECT_EQ(text(0, 0) + text(1, 0) + text(2, 0), "C-5 01v20 ...C#6 .. .. ...=== .. .. ...");
        EXPECT_EQ(text(3, 0).substr(0, 3), f ? "===" : "^^^");  // XM has no note cut: it releases
        for (size_t row = 0; row < std::size(cases); row++)
            EXPECT_EQ(text(int(row), 2), std::string("... .. .. ") + cases[row].text[f]) << "row " << row;
        openmpt_module_destroy(mod);
    }
}

TEST(Writer, SampleAndInstrumentFieldsReachThePlayer)
{
    // Each case changes the note of one_note_song (no volume in the cell,
    // so the sample's default rules). Its level over 4..6 s, relative to
    // the unchanged note; its pitch over 3..6 s and how far the pitch of
    // 50 ms windows strays (vibrato). A rising ramp looped back and forth
    // is a 220.5 Hz triangle.
    struct Case {
        const char* what;
        void (*change)(Song&);
        int level_min, level_max;  // percent
        double hz;                 // 0: not measured
        bool wobbles;
    };
    const Case cases[] = {
        {"unchanged", [](Song&) {}, 100, 100, 441, false},
        // The XM side derives relative note and finetune from the base rate.
        {"8363 Hz, 8-bit", [](Song& s) { tune(s, 8363, note_c5, false); }, 40, 60, 83.63, false},
        {"22050 Hz, octave up", [](Song& s) { tune(s, 22050, note_c5 + 12, true); }, 80, 130, 441, false},
        {"33488 Hz, fifth up", [](Song& s) { tune(s, 33488, note_c5 + 7, false); }, 40, 60, 501.7, false},
        {"16000 Hz, fourth down", [](Song& s) { tune(s, 16000, note_c5 - 5, true); }, 80, 130, 120.1, false},
        {"triangle, ping-pong", [](Song& s) { ramp(s, LoopMode::ping_pong); }, 60, 140, 220.5, false},
        {"ramp, no loop", [](Song& s) { ramp(s, LoopMode::none); }, 0, 0, 0, false},
        {"default volume 32", [](Song& s) { s.samples[0].volume = 32; }, 40, 60, 441, false},
        {"envelope to 0 by 2 s", [](Song& s) { instrument(s, {{{0, 64}, {50, 32}, {100, 0}}}); }, 0, 0, 0, false},
        {"envelope loops", [](Song& s) { instrument(s, {{{0, 0}, {10, 64}, {20, 0}}, -1, 0, 1}); }, 50, 110, 0, false},
        {"sustain holds", [](Song& s) { instrument(s, {{{0, 64}, {10, 64}, {20, 0}}, 1}); }, 90, 110, 441, false},
        {"note off, then fadeout", [](Song& s) {
             instrument(s, {{{0, 64}, {10, 64}}, 1}).fadeout = 2048;
             cell(s, 20, 0).note = note_off;
         }, 0, 0, 0, false},
        // Wide and slow: with depth and rate swapped it would not show.
        {"auto-vibrato", [](Song& s) {
             Instrument& i = instrument(s, {});
             i.vibrato_depth = 48;
             i.vibrato_rate = 8;
         }, 90, 130, 441, true},
    };
    for (const Format& f : formats) {
        int unchanged = 0;
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << c.what << " " << f.name);
            Song song = one_note_song();
            cell(song, 0, 0).volume = no_volume;
            c.change(song);
            std::vector<int16_t> out = render_left(f.encode(song), 6.4);
            ASSERT_GT(peak(out, 0.0, 0.3), 500);
            int level = peak(out, 4.0, 6.0);
            unchanged = unchanged ? unchanged : level;
            EXPECT_GE(level * 100, c.level_min * unchanged) << level << " of " << unchanged;
            EXPECT_LE(level * 100, c.level_max * unchanged) << level << " of " << unchanged;
            if (c.hz == 0)
                continue;
            EXPECT_NEAR(frequency(out, 3.0, 6.0), c.hz, c.hz * 0.01);
            double lowest = 1e9, highest = 0;
            for (double t = 3.0; t < 4.0; t += 0.05) {
                lowest = std::min(lowest, frequency(out, t, t + 0.05));
                highest = std::max(highest, frequency(out, t, t + 0.05));
            }
            EXPECT_EQ(highest - lowest > 30, c.wobbles) << lowest << ".." << highest;
        }
    }
}

TEST(Writer, RefusesSongsTheFormatsCannotHold)
{
    const std::pair<const char*, void (*)(Song&)> cases[] = {
        {"no orders", [](Song& s) { s.orders.clear(); }},
        {"order past the patterns", [](Song& s) { s.orders = {0, 1}; }},
        {"wrong cell count", [](Song& s) { s.patterns[0].cells.pop_back(); }},
        {"loop past the end", [](Song& s) { s.samples[0].loop_end = 101; }},
        {"instrument without sample", [](Song& s) { instrument(s, {}).sample = 2; }},
        {"envelope ticks go back", [](Song& s) { instrument(s, {{{0, 64}, {0, 32}}}); }},
        {"no channels", [](Song& s) {
             s.channels = 0;
             s.patterns[0].cells.clear();
         }},
        {"tempo too low", [](Song& s) { s.tempo = 20; }},
    };
    for (auto [what, spoil] : cases) {
        Song song = one_note_song();
        spoil(song);
        EXPECT_TRUE(it_encode(song).empty()) << what << " it";
        EXPECT_TRUE(xm_encode(song).empty()) << what << " xm";
    }
    EXPECT_FALSE(it_encode(one_note_song()).empty());
}
