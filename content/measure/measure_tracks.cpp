// content/measure/measure_tracks.cpp: measure-tracks, the figures of the
// disk's twelve modules in a folder as a table: loudness, peak, clipped
// samples with each effect and all three, the second pass of a loop, orders
// and patterns, file size. One thread.
#include "player/track_list.h"
#include "content/measure/track_measure.h"

#include <libopenmpt/libopenmpt.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: measure-tracks DATAS-DIR\n");
        return 2;
    }
    std::printf("| track | RMS dBFS | peak | clip pan | clip echo | clip flanger | clip all (%%) | 2nd pass RMS "
                "| orders/patterns | seconds | bytes |\n|---|---|---|---|---|---|---|---|---|---|---|\n");
    int status = 0;
    for (int i = 0; i < track_count; i++) {
        std::string path = std::string(argv[1]) + "/" + track_file_name(i);
        std::ifstream in(path, std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
        openmpt_module* mod = openmpt_module_create_from_memory2(bytes.data(), bytes.size(), nullptr, nullptr, nullptr,
                                                                 nullptr, nullptr, nullptr, nullptr);
        TrackFigures f{};
        if (!mod || !measure_track(path.c_str(), &f)) {
            std::fprintf(stderr, "measure-tracks: cannot play '%s'\n", path.c_str());
            if (mod) openmpt_module_destroy(mod);
            status = 1;
            continue;
        }
        std::printf("| %s | %.1f | %d | %zu | %zu | %zu | %zu (%.4f) | %.1f | %d/%d | %.0f | %zu |\n",
                    track_file_name(i), f.rms_db, f.peak, f.clipped[measure_pan_sweep], f.clipped[measure_echo],
                    f.clipped[measure_flanger], f.clipped[measure_all],
                    100.0 * double(f.clipped[measure_all]) / double(2 * f.frames), f.second_rms_db,
                    openmpt_module_get_num_orders(mod), openmpt_module_get_num_patterns(mod),
                    double(f.frames) / 44100.0, bytes.size());
        std::fflush(stdout);
        openmpt_module_destroy(mod);
    }
    return status;
}
