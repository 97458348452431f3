// tools/content/tracks/tracks.cpp: the track table of the generator and the file
// writing. Generator thread only.
#include "tools/content/tracks/tracks.h"

#include "tools/content/modwriter/modwriter.h"
#include "tools/content/tracks/pieces.h"
#include "tools/write_file.h"

#include <string>

namespace {

struct TrackEntry {
    const char* file_name;
    Song (*compose)();
    bool xm;
};

const TrackEntry track_table[track_count] = {
    {"1-ambre.it", piece_ambre, false},   {"2-colder.it", piece_colder, false},
    {"3-Shift1.it", piece_shift1, false}, {"4-MIRROR.IT", piece_mirror, false},
    {"5-STONE.IT", piece_stone, false},   {"6-SHIFT2.IT", piece_shift2, false},
    {"7-FROB.xm", piece_frob, true},      {"8-WOBBLE.IT", piece_wobble, false},
    {"9-SHIFT3.IT", piece_shift3, false}, {"10-LUMEN.IT", piece_lumen, false},
    {"11-DRIFT.IT", piece_drift, false},  {"12-CODA.IT", piece_coda, false},
};

}  // namespace

const char* track_file_name(int index)
{
    return index >= 0 && index < track_count ? track_table[index].file_name : nullptr;
}

std::vector<uint8_t> track_encode(int index)
{
    if (index < 0 || index >= track_count) return {};
    Song song = track_table[index].compose();
    return track_table[index].xm ? xm_encode(song) : it_encode(song);
}

int tracks_write_all(const char* dir)
{
    for (int i = 0; i < track_count; i++) {
        std::vector<uint8_t> bytes = track_encode(i);
        std::string path = std::string(dir) + "/" + track_table[i].file_name;
        if (bytes.empty() || !write_whole_file(path.c_str(), bytes)) return 0;
    }
    return 1;
}
