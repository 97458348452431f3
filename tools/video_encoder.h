// tools/video_encoder.h: render-video's encoder, H.264 video and FLAC
// sound in a Matroska file written through an OutputFile. One thread at a
// time: main opens and closes it, the encoding thread feeds it in between.
#pragma once
#include "platform/output_file.h"

#include <cstddef>
#include <cstdint>

struct VideoSettings {
    int width, height;   // pixels, both even
    int fps;             // frames per second
    bool lossless;       // RGB at quantiser 0 instead of 4:2:0 at crf
    int crf;             // 0 best to 51
    const char* preset;  // one of x264's speed presets
};

// Each returns 1, or 0 once the reason is on standard error; a failed write
// of the file is left in file->error for the caller to tell, naming it.
int encoder_open(OutputFile* file, const VideoSettings& s);   // the codecs, then the file's header
int encoder_picture(const uint8_t* rgba, int64_t pts);        // frame number pts, RGBA, bottom row first
int encoder_sound(const int16_t* samples, size_t frames);     // stereo frames; full codec frames are encoded
int encoder_finish();                                         // the last sound, the codecs' rest, the trailer
void encoder_close();                                         // all freed, at any stage
