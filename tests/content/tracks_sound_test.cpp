// tests/content/tracks_sound_test.cpp: the twelve generated modules as the
// disk plays them, through its engine and effects: headroom under each
// effect and all three, the same music on a loop's second pass, and loudness
// matched across the set. Test thread only; each track is its own case, as
// each renders about 12 minutes of sound. Not built under AddressSanitizer.
#include "player/track_list.h"
#include "content/measure/track_measure.h"
#include "content/tracks/tracks.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>

namespace {

// The modules written once into a folder of their own.
const std::string& datas_dir()
{
    static const std::string dir = [] {
        std::string d = testing::TempDir() + "tracks_sound_test_" + std::to_string(getpid());
        std::error_code ec;
        std::filesystem::create_directories(d, ec);
        return !ec && tracks_write_all(d.c_str()) ? d : std::string();
    }();
    return dir;
}

std::string track_path(int index) { return datas_dir() + "/" + track_file_name(index); }

class TrackSound : public testing::TestWithParam<int> {};

}  // namespace

TEST_P(TrackSound, LeavesHeadroomForTheEffectsAndLoopsUnchanged)
{
    const int i = GetParam();
    ASSERT_FALSE(datas_dir().empty());
    TrackFigures f{};
    ASSERT_EQ(measure_track(track_path(i).c_str(), &f), 1) << track_file_name(i);
    const struct {
        int effects;
        const char* name;
    } alone[] = {{measure_dry, "no effect"},
                 {measure_pan_sweep, "pan sweep"},
                 {measure_echo, "echo"},
                 {measure_flanger, "flanger"}};
    for (auto e : alone)
        EXPECT_EQ(f.clipped[e.effects], 0u) << track_file_name(i) << " clips with " << e.name;
    // All three at once may touch the rails, on fewer than 1 in 10000 samples.
    EXPECT_LT(double(f.clipped[measure_all]), 2.0 * double(f.frames) / 10000.0) << track_file_name(i);
    // Something to hear: peaks above -12 dBFS.
    EXPECT_GE(f.peak, 8192) << track_file_name(i);
    // The second pass plays the same music as the first: a fade that ends
    // the piece must not carry over, nor the end's tempo.
    EXPECT_NEAR(f.second_rms_db, f.rms_db, 1.5) << track_file_name(i);
}

INSTANTIATE_TEST_SUITE_P(Twelve, TrackSound, testing::Range(0, track_count),
                         [](const testing::TestParamInfo<int>& info) {
                             return "track" + std::to_string(info.param + 1);
                         });

// Matched loudness: every track's first pass within 2 dB of the set's median.
TEST(TrackSoundSet, LoudnessMatched)
{
    ASSERT_FALSE(datas_dir().empty());
    std::vector<double> rms;
    for (int i = 0; i < track_count; i++) {
        TrackFigures f{};
        ASSERT_EQ(measure_loudness(track_path(i).c_str(), &f), 1) << track_file_name(i);
        rms.push_back(f.rms_db);
    }
    std::vector<double> sorted = rms;
    std::sort(sorted.begin(), sorted.end());
    double median = (sorted[track_count / 2 - 1] + sorted[track_count / 2]) / 2;
    for (int i = 0; i < track_count; i++)
        EXPECT_NEAR(rms[size_t(i)], median, 2.0) << track_file_name(i);
}
