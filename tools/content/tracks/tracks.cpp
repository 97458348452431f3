// tools/content/tracks/tracks.cpp: the piece of each row of the player's
// track table, and the file writing. Generator thread only.
#include "tools/content/tracks/tracks.h"

#include "tools/content/modwriter/modwriter.h"
#include "tools/content/tracks/pieces.h"
#include "tools/write_file.h"

#include <string>
#include <string_view>

namespace {

// In the order of track_list: row i plays piece i.
Song (*const pieces[track_count])() = {
    piece_ambre, piece_colder, piece_shift1, piece_mirror, piece_stone,  piece_shift2,
    piece_frob,  piece_wobble, piece_shift3, piece_lumen,  piece_drift, piece_coda,
};

}  // namespace

std::vector<uint8_t> track_encode(int index)
{
    if (index < 0 || index >= track_count) return {};
    Song song = pieces[index]();
    // The file's name says which format it holds.
    return std::string_view(track_file_name(index)).ends_with(".xm") ? xm_encode(song) : it_encode(song);
}

int tracks_write_all(const char* dir)
{
    for (int i = 0; i < track_count; i++) {
        std::vector<uint8_t> bytes = track_encode(i);
        std::string path = std::string(dir) + "/" + track_file_name(i);
        if (bytes.empty() || !write_whole_file(path.c_str(), bytes)) return 0;
    }
    return 1;
}
