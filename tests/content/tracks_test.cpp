// tests/content/tracks_test.cpp: the twelve generated modules as the real
// libopenmpt reads and plays them: formats, titles and credits, song form,
// lengths, movement, the seamless loop of track 1, and the same bytes on
// every build. Test thread only.
#include "content/tracks/tracks.h"


#include <gtest/gtest.h>
#include <unistd.h>
#include <libopenmpt/libopenmpt.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

constexpr int rate = 44100;

// The names the disk looks the files up by, their formats, titles, and the
// FNV-1a hashes of their bytes: update a hash only on purpose, with the music.
struct Track {
    const char* name;
    const char* type;
    const char* title;
    uint64_t hash;
};
const Track tracks[track_count] = {
    {"1-ambre.it", "it", "Ambre", 0xd7f2dbffb42a2175ull},  {"2-colder.it", "it", "Colder", 0x5e7a8de7540f66e2ull},
    {"3-Shift1.it", "it", "Shift 1", 0xdd52f5cbc0c5fb72ull}, {"4-MIRROR.IT", "it", "Mirror", 0x54c71b25f682403dull},
    {"5-STONE.IT", "it", "Stone", 0xd5cd9205085cf114ull},  {"6-SHIFT2.IT", "it", "Shift 2", 0x8b14ccc7672629c5ull},
    {"7-FROB.xm", "xm", "Frob", 0xaa02160c04ff1423ull},   {"8-WOBBLE.IT", "it", "Wobble", 0x9630f927ba32120full},
    {"9-SHIFT3.IT", "it", "Shift 3", 0xe50012ce44c9f64full}, {"10-LUMEN.IT", "it", "Lumen", 0xefc59e430e8b2983ull},
    {"11-DRIFT.IT", "it", "Drift", 0xec875aa6b359dd70ull}, {"12-CODA.IT", "it", "Coda", 0x446ff8db617b14ceull},
};

// The files tracks_write_all writes, read back once.
const std::vector<uint8_t>& written(int index)
{
    static const std::vector<std::vector<uint8_t>> all = [] {
        std::vector<std::vector<uint8_t>> files(track_count);
        std::string dir = testing::TempDir() + "tracks_test_" + std::to_string(getpid());
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
        if (!ec && tracks_write_all(dir.c_str()))
            for (int i = 0; i < track_count; i++) {
                std::ifstream in(dir + "/" + tracks[i].name, std::ios::binary);
                files[size_t(i)].assign(std::istreambuf_iterator<char>(in), {});
            }
        std::filesystem::remove_all(dir, ec);
        return files;
    }();
    return all[size_t(index)];
}

openmpt_module* open_module(const std::vector<uint8_t>& bytes)
{
    return openmpt_module_create_from_memory2(bytes.data(), bytes.size(), nullptr, nullptr, nullptr, nullptr,
                                              nullptr, nullptr, nullptr);
}

// Effect letters of the last row of the last order, one per channel.
std::string last_row_effects(openmpt_module* mod)
{
    int pattern = openmpt_module_get_order_pattern(mod, openmpt_module_get_num_orders(mod) - 1);
    int row = openmpt_module_get_pattern_num_rows(mod, pattern) - 1;
    std::string effects;
    for (int ch = 0; ch < openmpt_module_get_num_channels(mod); ch++) {
        const char* e = openmpt_module_format_pattern_row_channel_command(mod, pattern, row, ch,
                                                                          OPENMPT_MODULE_COMMAND_EFFECT);
        effects += e ? e : "";
        openmpt_free_string(e);
    }
    return effects;
}

}  // namespace

TEST(Tracks, PlayUnderTheirNamesLoudAndMovingWithTheMusic)
{
    size_t total_bytes = 0;
    for (int i = 0; i < track_count; i++) {
        SCOPED_TRACE(tracks[i].name);
        EXPECT_STREQ(track_file_name(i), tracks[i].name);
        total_bytes += written(i).size();
        openmpt_module* mod = open_module(written(i));
        ASSERT_NE(mod, nullptr);
        const char* type = openmpt_module_get_metadata(mod, "type");
        EXPECT_STREQ(type, tracks[i].type);
        openmpt_free_string(type);
        EXPECT_GE(openmpt_module_get_num_channels(mod), 4);
        const char* title = openmpt_module_get_metadata(mod, "title");
        EXPECT_STREQ(title, tracks[i].title);
        openmpt_free_string(title);
        // The credits: in the song message, or for XM in the instrument
        // names, which libopenmpt hands out as the message then.
        const char* message = openmpt_module_get_metadata(mod, "message");
        std::string credits = message ? message : "";
        openmpt_free_string(message);
        for (std::string want : {std::string("Velvane Musik Disk"), std::string(tracks[i].title),
                                  std::string("make-datas"),
                                 std::string("MIT")})
            EXPECT_NE(credits.find(want), std::string::npos) << "no \"" << want << "\" in: " << credits;
        // A song whose sections come back: orders outnumber patterns.
        int orders = openmpt_module_get_num_orders(mod);
        int patterns = openmpt_module_get_num_patterns(mod);
        EXPECT_GE(orders * 10, patterns * 13) << orders << " orders, " << patterns << " patterns";
        double seconds = openmpt_module_get_duration_seconds(mod);
        EXPECT_TRUE(seconds >= 60 && seconds <= 240) << seconds;
        // Track 1 jumps back to order 0 on its last row; the others end.
        std::string last = last_row_effects(mod);
        EXPECT_EQ(last.find('B') != std::string::npos, i == 0) << last;

        // The one full rendering of the suite (about 25 minutes of music):
        // the peak of both channels per 20 ms.
        std::vector<int> peaks;
        int16_t buffer[2 * rate / 50];
        for (size_t n; (n = openmpt_module_read_interleaved_stereo(mod, rate, rate / 50, buffer)) > 0;) {
            auto [lo, hi] = std::minmax_element(buffer, buffer + 2 * n);
            peaks.push_back(std::max(-*lo, int(*hi)));
        }
        openmpt_module_destroy(mod);
        ASSERT_FALSE(peaks.empty());
        // Over one-second windows where something plays, the 20 ms peaks
        // must swing: a steady drone or a constant wall of sound would not
        // move a level-following picture.
        std::vector<int> swings;  // (max - min) / max in percent
        for (auto first = peaks.begin(); peaks.end() - first >= 50; first += 50) {
            int hi = *std::max_element(first, first + 50), lo = *std::min_element(first, first + 50);
            if (hi > 500)
                swings.push_back((hi - lo) * 100 / hi);
        }
        ASSERT_FALSE(swings.empty());
        std::sort(swings.begin(), swings.end());
        EXPECT_GE(swings[swings.size() / 2], 25);
        // Sound through the whole piece: no silent gap of 3 s before the end.
        int longest_quiet = 0, quiet = 0;
        for (size_t b = 0; b + 100 < peaks.size(); b++) {
            quiet = peaks[b] < 150 ? quiet + 1 : 0;
            longest_quiet = std::max(longest_quiet, quiet);
        }
        EXPECT_LT(longest_quiet, 150);
    }
    EXPECT_LT(total_bytes, size_t(2) << 20);
}

TEST(Tracks, FirstTrackLoopsWithoutASeam)
{
    openmpt_module* mod = open_module(written(0));
    ASSERT_NE(mod, nullptr);
    openmpt_module_set_repeat_count(mod, -1);
    size_t wrap = size_t(openmpt_module_get_duration_seconds(mod) * rate), want = wrap + size_t(rate / 5);
    std::vector<int16_t> stereo(2 * want), left;
    ASSERT_EQ(openmpt_module_read_interleaved_stereo(mod, rate, want, stereo.data()), want);
    openmpt_module_destroy(mod);
    for (size_t k = 0; k < want; k++)
        left.push_back(stereo[2 * k]);
    auto level = [&](size_t from, size_t to) {
        auto [lo, hi] = std::minmax_element(left.begin() + long(from), left.begin() + long(to));
        return std::max(-*lo, int(*hi));
    };
    // No click: the biggest step between neighbouring frames around the
    // wrap stays within the steps the music makes anyway (99th percentile).
    std::vector<int> steps;
    for (size_t k = 1; k < wrap; k++)
        steps.push_back(std::abs(left[k] - left[k - 1]));
    std::sort(steps.begin(), steps.end());
    int typical = steps[steps.size() * 99 / 100], at_wrap = 0;
    for (size_t k = wrap - 441; k < wrap + 441; k++)
        at_wrap = std::max(at_wrap, std::abs(left[k] - left[k - 1]));
    EXPECT_LE(at_wrap, typical);
    // Nor a hole or a bump: the level 100 ms either side of the wrap.
    int before = level(wrap - rate / 10, wrap), after = level(wrap, wrap + rate / 10);
    EXPECT_TRUE(after > before / 3 && after < before * 3) << before << " then " << after;
}

TEST(Tracks, SameBytesOnEveryBuild)
{
    for (int i = 0; i < track_count; i++) {
        uint64_t h = 14695981039346656037ull;
        for (uint8_t b : written(i))
            h = (h ^ b) * 1099511628211ull;
        EXPECT_EQ(h, tracks[i].hash) << tracks[i].name << " hash 0x" << std::hex << h;
        // A second composition in the same process gives the same bytes.
        EXPECT_EQ(track_encode(i), written(i)) << tracks[i].name;
    }
}
