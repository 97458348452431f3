// tests/tools/tracks_test.cpp: the twelve generated modules as the real
// libopenmpt plays them: formats, lengths, loudness, the seamless loop of
// track 1, and the same bytes on every build. Test thread only.
#include "tools/tracks/tracks.h"

#include "tools/tracks/compose.h"
#include "tools/tracks/synth.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

constexpr int rate = 44100;
constexpr int block_frames = rate / 50;  // 20 ms

struct Written {
    std::vector<uint8_t> bytes;
    std::string type;
    int channels = 0;
    double seconds = 0;
    std::string last_row_commands;  // effects of the last row of the last order
};

openmpt_module* open_module(const std::vector<uint8_t>& bytes)
{
    return openmpt_module_create_from_memory2(bytes.data(), bytes.size(), nullptr, nullptr, nullptr,
                                              nullptr, nullptr, nullptr, nullptr);
}

std::vector<uint8_t> read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Written once through tracks_write_all, read back and opened.
const std::vector<Written>& written()
{
    static std::vector<Written> all = [] {
        std::vector<Written> out(track_count);
        std::string dir = testing::TempDir() + "tracks_test_" + std::to_string(getpid());
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
        if (ec) return out;
        if (!tracks_write_all(dir.c_str())) return out;
        for (int i = 0; i < track_count; i++) {
            Written& w = out[size_t(i)];
            w.bytes = read_file(dir + "/" + track_file_name(i));
            openmpt_module* mod = open_module(w.bytes);
            if (!mod) continue;
            const char* type = openmpt_module_get_metadata(mod, "type");
            w.type = type ? type : "";
            openmpt_free_string(type);
            w.channels = openmpt_module_get_num_channels(mod);
            w.seconds = openmpt_module_get_duration_seconds(mod);
            int orders = openmpt_module_get_num_orders(mod);
            int pattern = openmpt_module_get_order_pattern(mod, orders - 1);
            int row = openmpt_module_get_pattern_num_rows(mod, pattern) - 1;
            for (int ch = 0; ch < w.channels; ch++) {
                const char* cmd = openmpt_module_format_pattern_row_channel_command(
                    mod, pattern, row, ch, OPENMPT_MODULE_COMMAND_EFFECT);
                w.last_row_commands += cmd ? cmd : "";
                w.last_row_commands += ' ';
                openmpt_free_string(cmd);
            }
            openmpt_module_destroy(mod);
        }
        std::filesystem::remove_all(dir, ec);
        return out;
    }();
    return all;
}

// Peak of both channels per 20 ms over the whole track, played once.
std::vector<int> block_peaks(const std::vector<uint8_t>& bytes)
{
    std::vector<int> peaks;
    openmpt_module* mod = open_module(bytes);
    if (!mod) return peaks;
    int16_t buffer[2 * block_frames];
    size_t n;
    while ((n = openmpt_module_read_interleaved_stereo(mod, rate, block_frames, buffer)) > 0) {
        int peak = 0;
        for (size_t k = 0; k < 2 * n; k++) peak = std::max(peak, std::abs(int(buffer[k])));
        peaks.push_back(peak);
    }
    openmpt_module_destroy(mod);
    return peaks;
}

// FNV-1a, 64 bits: enough to notice any changed byte.
uint64_t fnv1a(const std::vector<uint8_t>& bytes)
{
    uint64_t h = 14695981039346656037ull;
    for (uint8_t b : bytes) {
        h ^= b;
        h *= 1099511628211ull;
    }
    return h;
}

}  // namespace

TEST(Tracks, TwelveModulesUnderTheirNames)
{
    struct Case {
        const char* name;
        const char* type;
    };
    const Case cases[track_count] = {
        {"1-ambre.it", "it"},   {"2-colder.it", "it"}, {"3-Shift1.it", "it"}, {"4-MIRROR.IT", "it"},
        {"5-STONE.IT", "it"},   {"6-SHIFT2.IT", "it"}, {"7-FROB.xm", "xm"},   {"8-WOBBLE.IT", "it"},
        {"9-SHIFT3.IT", "it"},  {"10-LUMEN.IT", "it"}, {"11-DRIFT.IT", "it"}, {"12-CODA.IT", "it"},
    };
    const std::vector<Written>& all = written();
    size_t total_bytes = 0;
    for (int i = 0; i < track_count; i++) {
        const Written& p = all[size_t(i)];
        EXPECT_STREQ(track_file_name(i), cases[i].name);
        EXPECT_EQ(p.type, cases[i].type) << cases[i].name;
        EXPECT_GE(p.seconds, 60.0) << cases[i].name;
        EXPECT_LE(p.seconds, 240.0) << cases[i].name;
        EXPECT_GE(p.channels, 4) << cases[i].name;
        total_bytes += p.bytes.size();
    }
    EXPECT_LT(total_bytes, size_t(2) << 20);
    EXPECT_EQ(track_file_name(-1), nullptr);
    EXPECT_EQ(track_file_name(track_count), nullptr);
    EXPECT_TRUE(track_encode(track_count).empty());
}

TEST(Tracks, LoudEnoughAndMovingWithTheMusic)
{
    for (int i = 0; i < track_count; i++) {
        // The one full rendering of the suite (about 25 minutes of music).
        std::vector<int> peaks = block_peaks(written()[size_t(i)].bytes);
        ASSERT_FALSE(peaks.empty()) << track_file_name(i);
        int peak = *std::max_element(peaks.begin(), peaks.end());
        EXPECT_GE(peak, 16384) << track_file_name(i);
        // Over one-second windows where something plays, the 20 ms peaks
        // must swing: a steady drone or a constant wall of sound would not
        // move a level-following picture.
        std::vector<int> swings;  // (max - min) / max in percent
        for (size_t w = 0; w + 50 <= peaks.size(); w += 50) {
            auto first = peaks.begin() + long(w);
            int hi = *std::max_element(first, first + 50), lo = *std::min_element(first, first + 50);
            if (hi > 1000) swings.push_back((hi - lo) * 100 / hi);
        }
        ASSERT_FALSE(swings.empty()) << track_file_name(i);
        std::sort(swings.begin(), swings.end());
        EXPECT_GE(swings[swings.size() / 2], 25) << track_file_name(i);
        // Sound through the whole piece: no silent gap of 3 s before the end.
        int longest_quiet = 0, quiet = 0;
        for (size_t b = 0; b + 100 < peaks.size(); b++) {
            quiet = peaks[b] < 300 ? quiet + 1 : 0;
            longest_quiet = std::max(longest_quiet, quiet);
        }
        EXPECT_LT(longest_quiet, 150) << track_file_name(i);
    }
}

TEST(Tracks, OnlyTheFirstLoopsBack)
{
    // Track 1 jumps to order 0 on its last row; the others just end.
    for (int i = 0; i < track_count; i++) {
        const std::string& last = written()[size_t(i)].last_row_commands;
        bool jumps = last.find('B') != std::string::npos;
        EXPECT_EQ(jumps, i == 0) << track_file_name(i) << ": " << last;
    }
}

TEST(Tracks, FirstTrackLoopsWithoutASeam)
{
    const Written& first = written()[0];
    openmpt_module* mod = open_module(first.bytes);
    ASSERT_NE(mod, nullptr);
    openmpt_module_set_repeat_count(mod, -1);
    size_t wrap = size_t(first.seconds * rate);
    size_t want = wrap + size_t(5 * rate);
    std::vector<int16_t> left;
    int16_t buffer[2 * 1024];
    while (left.size() < want) {
        size_t n = openmpt_module_read_interleaved_stereo(mod, rate, 1024, buffer);
        if (n == 0) break;
        for (size_t k = 0; k < n; k++) left.push_back(buffer[2 * k]);
    }
    openmpt_module_destroy(mod);
    ASSERT_GE(left.size(), want);

    // The music goes on after the wrap.
    int after = 0;
    for (size_t k = wrap; k < want; k++) after = std::max(after, std::abs(int(left[k])));
    EXPECT_GT(after, 8000);

    // No click: the biggest step between neighbouring frames around the
    // wrap stays within the steps the music makes anyway (99th percentile).
    std::vector<int> steps;
    for (size_t k = 1; k < wrap; k++) steps.push_back(std::abs(left[k] - left[k - 1]));
    std::sort(steps.begin(), steps.end());
    int typical = steps[steps.size() * 99 / 100];
    int at_wrap = 0;
    for (size_t k = wrap - 441; k < wrap + 441; k++) at_wrap = std::max(at_wrap, std::abs(left[k] - left[k - 1]));
    EXPECT_LE(at_wrap, typical) << "typical " << typical;

    // Nor a hole or a bump: the level 100 ms either side of the wrap.
    auto level = [&](size_t from) {
        int p = 0;
        for (size_t k = from; k < from + size_t(rate / 10); k++) p = std::max(p, std::abs(int(left[k])));
        return p;
    };
    int before_level = level(wrap - size_t(rate / 10)), after_level = level(wrap);
    EXPECT_GT(after_level, before_level / 3);
    EXPECT_LT(after_level, before_level * 3);
}

TEST(Tracks, SameBytesOnEveryBuild)
{
    // Update these only on purpose, when the music is changed.
    const uint64_t expected[track_count] = {
        0x912d8aa8d4e34bf0ull, 0x77833c01b30fa11aull, 0x77c72fb67f47cc61ull,
        0xdbe16d2e90d9352eull, 0x393e6f9fa1b51ae2ull, 0x09d2b39601562880ull,
        0x719fb4a2bd718d1cull, 0x25abbad87b069d97ull, 0x86be20fedf5357bcull,
        0x96df39611331e912ull, 0x6cde6c1c52bd0548ull, 0x4667c93ede036dbbull,
    };
    for (int i = 0; i < track_count; i++) {
        const std::vector<uint8_t>& bytes = written()[size_t(i)].bytes;
        EXPECT_EQ(fnv1a(bytes), expected[i]) << track_file_name(i) << " hash 0x" << std::hex << fnv1a(bytes);
        // A second composition in the same process gives the same bytes.
        EXPECT_EQ(track_encode(i), bytes) << track_file_name(i);
    }
}

TEST(Toolkit, ChordNamesSpellTheRightNotes)
{
    struct Case {
        const char* name;
        int root;
        std::vector<int> tones;
    };
    const Case cases[] = {
        {"C", 0, {0, 4, 7}},          {"F#m7", 6, {0, 3, 7, 10}},      {"Bbmaj7", 10, {0, 4, 7, 11}},
        {"Dsus4", 2, {0, 5, 7}},      {"E5", 4, {0, 7}},               {"A7sus4", 9, {0, 5, 7, 10}},
        {"Abmaj9", 8, {0, 4, 7, 11, 14}}, {"C#m9", 1, {0, 3, 7, 10, 14}}, {"Gm", 7, {0, 3, 7}},
        {"B7", 11, {0, 4, 7, 10}},    {"Ebm7b5", 3, {0, 3, 6, 10}},    {"Aadd9", 9, {0, 4, 7, 14}},
    };
    for (const Case& c : cases) {
        Chord chord = chord_named(c.name);
        EXPECT_EQ(chord.root, c.root) << c.name;
        EXPECT_EQ(chord.tones, c.tones) << c.name;
    }
}

TEST(Toolkit, VoicingKeepsTheThirdAndMovesLittle)
{
    // Every chord the pieces use, voiced in three parts in a pad's range.
    std::vector<Span> spans = progression(
        "Dmaj7 Bm7 Gmaj7 A7sus4 Em Fmaj7 Dsus2 Cmaj7 Am9 D9 G6 C#m9 Amaj7 F#m9 G#7sus4 B6 "
        "G#m7 Fm Db Eb Cm Bbm C7 Abmaj9 Bb6 Fm9 Dbmaj7 E B Aadd9",
        0, 16, 30 * 16);
    std::vector<int> previous;
    for (const Span& s : spans) {
        std::vector<int> v = voice_lead(s.chord, previous, 3, 55, 74);
        ASSERT_EQ(v.size(), 3u);
        bool has_third = false;
        for (size_t i = 0; i < v.size(); i++) {
            EXPECT_GE(v[i], 55);
            EXPECT_LE(v[i], 74);
            if (i > 0) {
                EXPECT_GT(v[i], v[i - 1]) << "voices cross or double";
            }
            int pc = ((v[i] - s.chord.root) % 12 + 12) % 12;
            has_third |= pc == s.chord.tones[1] % 12;
            if (!previous.empty()) {
                EXPECT_LE(std::abs(v[i] - previous[i]), 7);
            }
        }
        EXPECT_TRUE(has_third) << "root " << s.chord.root;
        previous = v;
    }
}

TEST(Toolkit, ProgressionFillsTheRowsExactly)
{
    std::vector<Span> spans = progression("Dm7 G7 Cmaj7*2", 10, 16, 100);
    ASSERT_EQ(spans.size(), 6u);  // 16 + 16 + 32, again 16 + 16, then 4
    int row = 10;
    for (const Span& s : spans) {
        EXPECT_EQ(s.start, row);
        row += s.rows;
    }
    EXPECT_EQ(row, 110);
    EXPECT_EQ(spans[2].rows, 32);  // Cmaj7*2
    EXPECT_EQ(spans[5].rows, 4);   // Cmaj7 again, cut at the end
    EXPECT_EQ(span_at(spans, 41).chord.root, 7);  // G7 covers rows 26..41
    EXPECT_EQ(span_at(spans, 42).chord.root, 0);
}

TEST(Toolkit, ScaleDegreesAndTuning)
{
    Key c_major = key_major(60);
    struct Degree {
        int degree, note;
    };
    for (Degree d : {Degree{0, 60}, Degree{2, 64}, Degree{6, 71}, Degree{7, 72}, Degree{-1, 59}, Degree{-7, 48},
                     Degree{-8, 47}, Degree{15, 86}})
        EXPECT_EQ(degree_note(c_major, d.degree), d.note) << d.degree;
    EXPECT_EQ(c5_rate(64), 33488u);
}

TEST(Toolkit, MotifMirrorsKeepTheirShape)
{
    Rng rng{12345};
    for (const char* rhythm : {"x-x-x---x.x-----", "x---~---x-x-x-x-", "xxxx", "x-------.......x"}) {
        Motif m = make_motif(rng, rhythm, 3);
        Motif back = motif_reversed(m);
        EXPECT_EQ(back.rhythm.size(), m.rhythm.size()) << rhythm;
        EXPECT_EQ(std::count(back.rhythm.begin(), back.rhythm.end(), '-'),
                  std::count(m.rhythm.begin(), m.rhythm.end(), '-')) << rhythm;
        EXPECT_EQ(motif_reversed(back).rhythm, m.rhythm) << rhythm;
        Motif up = motif_inverted(m);
        ASSERT_EQ(up.moves.size(), m.moves.size());
        for (size_t i = 0; i < m.moves.size(); i++) EXPECT_EQ(up.moves[i], -m.moves[i]);
    }
}
