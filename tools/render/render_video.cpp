// tools/render/render_video.cpp: render-video, the disk captured offline into a
// Matroska file (H.264 video, FLAC sound). The program's own parts run with
// only the clock and the audio device driven from here: the engine on
// device 0 is pulled exactly to each frame's instant, start-up's first
// track plays, every scripted key goes through window_proc at its exact
// sample, and each frame is drawn by draw_scene into a hidden surface. The
// main thread is the UI thread and the mixer at once; a second thread
// converts and encodes each frame while the next one is drawn.
//
//   render-video OUT.mkv [--seconds S] [--fps N] [--size WxH] [--at SECONDS:KEY]...
//                [--seed N] [--log FRAMES.tsv] [--crf N | --lossless] [--preset P] [-C DIR]
#include "app/music_disk.h"
#include "platform/gl_surface.h"
#include "platform/message_box.h"
#include "platform/messages.h"
#include "player/engine.h"
#include "player/track_list.h"
#include "tools/arguments.h"
#include "tools/render/output_file.h"
#include "visuals/scene.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cmath>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr double max_seconds = 3600.0;
constexpr int max_side = 4096;
constexpr int default_crf = 20;
// x264's speed presets, fastest first.
const char* const presets[] = {"ultrafast", "superfast", "veryfast", "faster", "fast",
                               "medium",    "slow",      "slower",   "veryslow"};
// The one that keeps encoding closest to a fifth of the drawing's cost on
// two cores, where llvmpipe draws on both; superfast makes files a third
// smaller at about two thirds of the bare frame rate.
constexpr const char* default_preset = "ultrafast";
constexpr int batch_count = 3;  // frames in flight between the two threads

struct KeyName {
    const char* name;
    uint32_t vk;
};

const KeyName key_names[] = {
    {"KP0", VK_NUMPAD0},     {"KP1", VK_NUMPAD0 + 1}, {"KP2", VK_NUMPAD0 + 2},    {"KP3", VK_NUMPAD0 + 3},
    {"KP4", VK_NUMPAD0 + 4}, {"KP5", VK_NUMPAD0 + 5}, {"KP6", VK_NUMPAD0 + 6},    {"KP7", VK_NUMPAD0 + 7},
    {"KP8", VK_NUMPAD0 + 8}, {"KP9", VK_NUMPAD0 + 9}, {"KP_ADD", VK_ADD},         {"KP_SUBTRACT", VK_SUBTRACT},
    {"F1", VK_F1},           {"F2", VK_F1 + 1},       {"F3", VK_F1 + 2},          {"F4", VK_F1 + 3},
    {"F5", VK_F1 + 4},       {"F6", VK_F1 + 5},
};

struct ScriptKey {
    uint64_t sample;  // pressed once the engine has mixed exactly this many frames
    uint32_t vk;
};

struct Options {
    const char* out = nullptr;
    const char* log = nullptr;
    const char* directory = nullptr;
    double seconds = 30;
    int fps = 60;
    int width = 640, height = 480;
    uint32_t seed = 1;
    int crf = default_crf;
    bool lossless = false;
    const char* preset = default_preset;
    std::vector<ScriptKey> keys;
};

// --- the capture's state ------------------------------------------------------

// Written by the encoding thread while it runs, by main otherwise.
OutputFile video_file;
OutputFile log_file;  // main only, and written only at the end
volatile std::sig_atomic_t interrupted = 0;

// One video frame's worth of work, handed from the drawing thread to the
// encoding thread: the sound mixed since the previous batch, then the frame.
struct Batch {
    std::vector<int16_t> sound;  // interleaved stereo
    std::vector<uint8_t> rgb;    // bottom row first; unused when last
    int64_t pts;                 // the frame's number
    bool last;                   // sound only, then the end of the file
};

Batch batches[batch_count];  // batch n lives in batches[n % batch_count]
std::mutex handoff;
std::condition_variable handoff_changed;
int64_t batches_filled;      // guarded by handoff
int64_t batches_done;        // guarded by handoff
bool encoder_failed;         // guarded by handoff
bool encoder_stop;           // guarded by handoff: give up, the drawing failed

int frame_width, frame_height;  // set before the encoding thread starts

// Drawing thread only.
uint8_t* frame_target;       // where the swap hook reads the frame to
uint64_t mixed;              // frames the engine has mixed so far

// Encoding thread only, once it runs (set up before it starts).
AVFormatContext* muxer;
AVCodecContext* video_codec;
AVCodecContext* audio_codec;
AVStream* video_stream;
AVStream* audio_stream;
SwsContext* to_yuv;
AVFrame* video_frame;
AVFrame* audio_frame;
AVPacket* packet;
int audio_filled;            // frames waiting in audio_frame
int64_t audio_pts;           // the first frame of audio_frame, in samples

// --- arguments ----------------------------------------------------------------

// One line on standard error, no file left behind, status 2.
[[noreturn]] void bad_input(const char* format, ...)
{
    std::va_list args;
    va_start(args, format);
    std::fputs("render-video: ", stderr);
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
    va_end(args);
    output_discard(&video_file);
    output_discard(&log_file);
    std::exit(2);
}

void print_usage(FILE* to)
{
    std::fprintf(to,
                 "usage: render-video OUT.mkv [--seconds S] [--fps N] [--size WxH] [--at SECONDS:KEY]...\n"
                 "                    [--seed N] [--log FRAMES.tsv] [--crf N | --lossless] [--preset P] [-C DIR]\n"
                 "keys: KP0-KP9 KP_ADD KP_SUBTRACT F1-F6\n"
                 "presets: ultrafast superfast veryfast faster fast medium slow slower veryslow\n");
}

const char* value_of(int argc, char** argv, int* i)
{
    if (*i + 1 >= argc)
        bad_input("%s needs a value", argv[*i]);
    return argv[++*i];
}

Options parse_arguments(int argc, char** argv)
{
    Options o;
    std::vector<std::pair<double, uint32_t>> at;  // seconds, key
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        unsigned long n = 0;
        if (arg == "--help" || arg == "-h") {
            print_usage(stdout);
            std::exit(0);
        } else if (arg == "--seconds") {
            const char* v = value_of(argc, argv, &i);
            if (!parse_seconds(v, max_seconds, &o.seconds) || o.seconds <= 0)
                bad_input("bad --seconds '%s': want a number of seconds above 0, at most 3600", v);
        } else if (arg == "--fps") {
            const char* v = value_of(argc, argv, &i);
            if (!parse_numbers(v, 0, 1, 240, &n) || n == 0)
                bad_input("bad --fps '%s': want a whole number from 1 to 240", v);
            o.fps = int(n);
        } else if (arg == "--size") {
            const char* v = value_of(argc, argv, &i);
            unsigned long size[2];
            if (!parse_numbers(v, 'x', 2, max_side, size) || size[0] == 0 || size[1] == 0)
                bad_input("bad --size '%s': want WxH, each from 2 to %d", v, max_side);
            // 4:2:0 video keeps one colour sample per 2 x 2 pixels.
            if (size[0] % 2 || size[1] % 2)
                bad_input("bad --size '%s': width and height must be even", v);
            o.width = int(size[0]);
            o.height = int(size[1]);
        } else if (arg == "--at") {
            const char* v = value_of(argc, argv, &i);
            std::string s = v;
            size_t colon = s.find(':');
            double seconds = 0;
            if (colon == std::string::npos || !parse_seconds(s.substr(0, colon).c_str(), max_seconds, &seconds))
                bad_input("bad --at '%s': want SECONDS:KEY", v);
            std::string name = s.substr(colon + 1);
            const KeyName* key = nullptr;
            for (const KeyName& k : key_names)
                if (name == k.name)
                    key = &k;
            if (!key)
                bad_input("unknown key '%s' in --at '%s': keys are KP0-KP9, KP_ADD, KP_SUBTRACT, F1-F6",
                          name.c_str(), v);
            at.push_back({seconds, key->vk});
        } else if (arg == "--seed") {
            const char* v = value_of(argc, argv, &i);
            if (!parse_numbers(v, 0, 1, UINT32_MAX, &n))
                bad_input("bad --seed '%s': want a whole number from 0 to 4294967295", v);
            o.seed = uint32_t(n);
        } else if (arg == "--crf") {
            const char* v = value_of(argc, argv, &i);
            if (!parse_numbers(v, 0, 1, 51, &n))
                bad_input("bad --crf '%s': want a whole number from 0 (best) to 51", v);
            o.crf = int(n);
        } else if (arg == "--lossless") {
            o.lossless = true;
        } else if (arg == "--preset") {
            const char* v = value_of(argc, argv, &i);
            o.preset = nullptr;
            for (const char* p : presets)
                if (!std::strcmp(v, p))
                    o.preset = p;
            if (!o.preset)
                bad_input("unknown --preset '%s': want ultrafast, superfast, veryfast, faster, fast, medium, "
                          "slow, slower or veryslow", v);
        } else if (arg == "--log") {
            o.log = value_of(argc, argv, &i);
        } else if (arg == "-C") {
            o.directory = value_of(argc, argv, &i);
        } else if (arg.size() > 1 && arg[0] == '-') {
            bad_input("unknown option '%s' (see --help)", arg.c_str());
        } else if (!o.out) {
            o.out = argv[i];
        } else {
            bad_input("unexpected argument '%s': one output file only", arg.c_str());
        }
    }
    if (!o.out)
        bad_input("needs an output file (see --help)");
    if (*o.out == '\0' || (o.log && *o.log == '\0'))
        bad_input("an empty file name");
    const uint64_t total = uint64_t(std::llround(o.seconds * ENGINE_RATE));
    if (total == 0)
        bad_input("bad --seconds %g: shorter than one sample", o.seconds);
    for (const auto& [seconds, vk] : at) {
        uint64_t sample = uint64_t(std::llround(seconds * ENGINE_RATE));
        if (sample >= total)
            bad_input("a key at %g s is past the end of the %g s capture", seconds, o.seconds);
        o.keys.push_back({sample, vk});
    }
    // Keys at the same sample are pressed in the order given.
    std::stable_sort(o.keys.begin(), o.keys.end(),
                     [](const ScriptKey& a, const ScriptKey& b) { return a.sample < b.sample; });
    return o;
}

// --- files ----------------------------------------------------------------------

// One line naming the file and the reason, which makes the status 2.
int cannot_write(const OutputFile& f)
{
    std::fprintf(stderr, "render-video: cannot write '%s': %s\n", f.path.c_str(), std::strerror(f.error));
    return 0;
}

// The muxer's writes go to the video's descriptor; Matroska seeks back to
// fill in sizes and the cues. The buffer is auto: FFmpeg 7 made it const.
AVIOContext* open_video_io()
{
    constexpr int buffer_size = 1 << 16;
    uint8_t* buffer = static_cast<uint8_t*>(av_malloc(buffer_size));
    auto write = [](void*, auto* bytes, int size) -> int {
        return output_write(&video_file, bytes, size_t(size)) ? size : AVERROR(video_file.error);
    };
    auto seek = [](void*, int64_t offset, int whence) -> int64_t {
        struct stat st;
        if (whence & AVSEEK_SIZE)
            return fstat(video_file.fd, &st) == 0 ? int64_t(st.st_size) : AVERROR(errno);
        const off_t at = lseek(video_file.fd, offset, whence & ~AVSEEK_FORCE);
        return at < 0 ? AVERROR(errno) : int64_t(at);
    };
    AVIOContext* io = buffer ? avio_alloc_context(buffer, buffer_size, 1, nullptr, nullptr, write, seek) : nullptr;
    if (!io)
        av_free(buffer);
    return io;
}

// Writes the log, then puts both files under their names: both or neither.
int place_files(const Options& o, const std::string& log_rows)
{
    if (o.log) {
        int written = output_open(&log_file) && output_write(&log_file, log_rows.data(), log_rows.size());
        if (!written || !output_stage(&log_file))
            return cannot_write(log_file);
    }
    if (!output_stage(&video_file) || !output_commit(&video_file))
        return cannot_write(video_file);
    if (o.log && !output_commit(&log_file)) {
        unlinkat(video_file.folder, video_file.name.c_str(), 0);
        return cannot_write(log_file);
    }
    return 1;
}

// --- encoding --------------------------------------------------------------------

int av_failed(const char* what, int error)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    std::fprintf(stderr, "render-video: %s: %s\n", what, text);
    return 0;
}

// A failed write of the file is told once, by main, naming the file.
int write_failed(const char* what, int error)
{
    return video_file.error ? 0 : av_failed(what, error);
}

// Sends frame (null: the end) to codec and writes every packet it gives.
int encode(AVCodecContext* codec, AVStream* stream, AVFrame* frame)
{
    int error = avcodec_send_frame(codec, frame);
    if (error < 0)
        return av_failed("encoding", error);
    for (;;) {
        error = avcodec_receive_packet(codec, packet);
        if (error == AVERROR(EAGAIN) || error == AVERROR_EOF)
            return 1;
        if (error < 0)
            return av_failed("encoding", error);
        av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        error = av_interleaved_write_frame(muxer, packet);
        if (error < 0)
            return write_failed("writing", error);
    }
}

AVCodecContext* open_codec(const AVCodec* codec, AVDictionary** settings, void (*fill)(AVCodecContext*, const Options&),
                           const Options& o, AVStream** stream)
{
    AVCodecContext* c = avcodec_alloc_context3(codec);
    if (!c)
        return nullptr;
    fill(c, o);
    // Matroska keeps the codec set-up in the track header; bit-exact keeps
    // library versions out of the file, so one command gives one file.
    c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER | AV_CODEC_FLAG_BITEXACT;
    int error = avcodec_open2(c, codec, settings);
    *stream = error < 0 ? nullptr : avformat_new_stream(muxer, nullptr);
    if (error < 0 || !*stream || avcodec_parameters_from_context((*stream)->codecpar, c) < 0) {
        av_failed(codec->name, error < 0 ? error : AVERROR(ENOMEM));
        avcodec_free_context(&c);
        return nullptr;
    }
    (*stream)->time_base = c->time_base;
    return c;
}

void fill_video(AVCodecContext* c, const Options& o)
{
    c->width = o.width;
    c->height = o.height;
    c->time_base = {1, o.fps};
    c->framerate = {o.fps, 1};
    c->gop_size = 4 * o.fps;  // a key frame every 4 s to seek to
    if (o.lossless) {
        c->pix_fmt = AV_PIX_FMT_RGB24;
    } else {
        c->pix_fmt = AV_PIX_FMT_YUV420P;
        c->color_range = AVCOL_RANGE_MPEG;
        c->colorspace = AVCOL_SPC_SMPTE170M;  // the matrix swscale converts with
        c->color_primaries = AVCOL_PRI_BT709;
        c->color_trc = AVCOL_TRC_IEC61966_2_1;
    }
}

void fill_audio(AVCodecContext* c, const Options&)
{
    c->sample_fmt = AV_SAMPLE_FMT_S16;
    c->sample_rate = int(ENGINE_RATE);
    c->time_base = {1, int(ENGINE_RATE)};
    av_channel_layout_default(&c->ch_layout, 2);
}

int open_encoder(const Options& o)
{
    int error = avformat_alloc_output_context2(&muxer, nullptr, "matroska", nullptr);
    if (error < 0)
        return av_failed("matroska", error);
    muxer->flags |= AVFMT_FLAG_BITEXACT | AVFMT_FLAG_CUSTOM_IO;

    // libx264rgb codes the RGB planes themselves: at qp 0 every pixel
    // comes back exactly. Plain libx264 codes 4:2:0, which every player plays.
    const AVCodec* h264 = avcodec_find_encoder_by_name(o.lossless ? "libx264rgb" : "libx264");
    const AVCodec* flac = avcodec_find_encoder(AV_CODEC_ID_FLAC);
    if (!h264 || !flac) {
        std::fprintf(stderr, "render-video: this FFmpeg has no %s encoder\n", !h264 ? "H.264 (libx264)" : "FLAC");
        return 0;
    }
    AVDictionary* settings = nullptr;
    av_dict_set(&settings, "preset", o.preset, 0);
    // Two frame threads, not x264's one and a half a core: llvmpipe draws on
    // every core, and a fixed count keeps the file the same on any machine.
    av_dict_set(&settings, "threads", "2", 0);
    if (o.lossless)
        av_dict_set(&settings, "qp", "0", 0);
    else
        av_dict_set_int(&settings, "crf", o.crf, 0);
    video_codec = open_codec(h264, &settings, fill_video, o, &video_stream);
    av_dict_free(&settings);
    if (!video_codec)
        return 0;
    video_stream->avg_frame_rate = {o.fps, 1};
    audio_codec = open_codec(flac, nullptr, fill_audio, o, &audio_stream);
    if (!audio_codec)
        return 0;

    video_frame = av_frame_alloc();
    audio_frame = av_frame_alloc();
    packet = av_packet_alloc();
    if (!video_frame || !audio_frame || !packet)
        return av_failed("memory", AVERROR(ENOMEM));
    video_frame->format = video_codec->pix_fmt;
    video_frame->width = o.width;
    video_frame->height = o.height;
    audio_frame->format = AV_SAMPLE_FMT_S16;
    audio_frame->nb_samples = audio_codec->frame_size;
    av_channel_layout_copy(&audio_frame->ch_layout, &audio_codec->ch_layout);
    if ((error = av_frame_get_buffer(video_frame, 0)) < 0 || (error = av_frame_get_buffer(audio_frame, 0)) < 0)
        return av_failed("memory", error);
    if (!o.lossless) {
        to_yuv = sws_getContext(o.width, o.height, AV_PIX_FMT_RGB24, o.width, o.height, AV_PIX_FMT_YUV420P,
                                SWS_BILINEAR, nullptr, nullptr, nullptr);
        if (!to_yuv) {
            std::fprintf(stderr, "render-video: no RGB to YUV conversion\n");
            return 0;
        }
        // Full-range RGB in, limited-range BT.601 out, as the stream says.
        const int* bt601 = sws_getCoefficients(SWS_CS_ITU601);
        sws_setColorspaceDetails(to_yuv, bt601, 1, bt601, 0, 0, 1 << 16, 1 << 16);
    }

    if (!(muxer->pb = open_video_io()))
        return av_failed("memory", AVERROR(ENOMEM));
    if ((error = avformat_write_header(muxer, nullptr)) < 0)
        return write_failed("writing the header", error);
    return 1;
}

// Frame number pts from rgb (bottom row first).
int encode_picture(const uint8_t* rgb, int64_t pts)
{
    int error = av_frame_make_writable(video_frame);
    if (error < 0)
        return av_failed("memory", error);
    const int row = frame_width * 3;
    const uint8_t* last_row = rgb + size_t(frame_height - 1) * row;
    if (to_yuv) {
        const uint8_t* src[1] = {last_row};
        const int stride[1] = {-row};  // top row first
        sws_scale(to_yuv, src, stride, 0, frame_height, video_frame->data, video_frame->linesize);
    } else {
        for (int y = 0; y < frame_height; ++y)
            std::memcpy(video_frame->data[0] + size_t(y) * video_frame->linesize[0], last_row - size_t(y) * row, row);
    }
    video_frame->pts = pts;
    return encode(video_codec, video_stream, video_frame);
}

// Queues frames stereo frames of samples; full codec frames are encoded.
int encode_sound(const int16_t* samples, size_t frames)
{
    while (frames) {
        if (audio_filled == 0) {
            int error = av_frame_make_writable(audio_frame);
            if (error < 0)
                return av_failed("memory", error);
        }
        size_t n = std::min<size_t>(frames, size_t(audio_codec->frame_size - audio_filled));
        std::memcpy(reinterpret_cast<int16_t*>(audio_frame->data[0]) + 2 * audio_filled, samples, n * 4);
        audio_filled += int(n);
        samples += 2 * n;
        frames -= n;
        if (audio_filled == audio_codec->frame_size) {
            audio_frame->pts = audio_pts;
            if (!encode(audio_codec, audio_stream, audio_frame))
                return 0;
            audio_pts += audio_filled;
            audio_filled = 0;
        }
    }
    return 1;
}

int finish_encoder()
{
    if (audio_filled) {  // the last, shorter frame
        audio_frame->nb_samples = audio_filled;
        audio_frame->pts = audio_pts;
        if (!encode(audio_codec, audio_stream, audio_frame))
            return 0;
    }
    if (!encode(video_codec, video_stream, nullptr) || !encode(audio_codec, audio_stream, nullptr))
        return 0;
    // The trailer flushes the buffer and reports any write that failed.
    int error = av_write_trailer(muxer);
    if (error < 0)
        return write_failed("writing the end", error);
    return 1;
}

void close_encoder()
{
    if (muxer && muxer->pb) {  // custom: the muxer leaves it to us
        av_freep(&muxer->pb->buffer);
        avio_context_free(&muxer->pb);
    }
    avformat_free_context(muxer);
    avcodec_free_context(&video_codec);
    avcodec_free_context(&audio_codec);
    av_frame_free(&video_frame);
    av_frame_free(&audio_frame);
    av_packet_free(&packet);
    sws_freeContext(to_yuv);
    muxer = nullptr;
    to_yuv = nullptr;
}

// --- the disk ----------------------------------------------------------------------

// The encoding thread: batches in order until the last, or a failure.
void encode_batches()
{
    for (int64_t n = 0;; ++n) {
        {
            std::unique_lock<std::mutex> lock(handoff);
            handoff_changed.wait(lock, [n] { return batches_filled > n || encoder_stop; });
            if (batches_filled <= n)
                return;
        }
        const Batch& b = batches[n % batch_count];
        int ok = encode_sound(b.sound.data(), b.sound.size() / 2);
        ok = ok && (b.last ? finish_encoder() : encode_picture(b.rgb.data(), b.pts));
        {
            std::lock_guard<std::mutex> lock(handoff);
            ++batches_done;
            encoder_failed = !ok;
        }
        handoff_changed.notify_all();
        if (!ok || b.last)
            return;
    }
}

// The drawing thread's next batch to fill, emptied; null once the encoding
// thread has failed.
Batch* next_batch()
{
    std::unique_lock<std::mutex> lock(handoff);
    handoff_changed.wait(lock, [] { return batches_filled - batches_done < batch_count || encoder_failed; });
    if (encoder_failed)
        return nullptr;
    Batch* b = &batches[batches_filled % batch_count];
    b->sound.clear();
    return b;
}

void hand_over()
{
    {
        std::lock_guard<std::mutex> lock(handoff);
        ++batches_filled;
    }
    handoff_changed.notify_all();
}

// Mixes up to the engine's frame count `until`, into b's sound.
void pull_engine(Batch* b, uint64_t until)
{
    if (until <= mixed)
        return;
    const size_t frames = size_t(until - mixed);
    b->sound.resize(b->sound.size() + 2 * frames);
    audio_render(b->sound.data() + b->sound.size() - 2 * frames, frames);
    mixed = until;
}

// A key press as the main loop hands it over: the key-down message, a
// repeat count of 1, to the registered window procedure.
void press(uint32_t vk)
{
    platform_send_message(nullptr, WM_KEYDOWN, vk, 1);
}

int box_to_stderr(void*, const char* text, const char* caption, uint32_t)
{
    std::fprintf(stderr, "render-video: %s: %s\n", caption, text);
    return IDOK;
}

void on_signal(int)
{
    interrupted = 1;
}

void show_progress(int64_t done, int64_t total, int fps, double elapsed, bool final)
{
    constexpr int bar = 30;
    const int filled = int(bar * done / total);
    const double speed = elapsed > 0 ? double(done) / fps / elapsed : 0;
    const double left = done > 0 ? elapsed * double(total - done) / double(done) : 0;
    std::fprintf(stderr, "\r[%.*s%.*s] %lld/%lld frames  %.2fx real time  %d:%02d left ", filled,
                 "##############################", bar - filled, "..............................",
                 static_cast<long long>(done), static_cast<long long>(total), speed, int(left) / 60,
                 int(left) % 60);
    if (final)
        std::fputc('\n', stderr);
}

// The engine's frame count at the instant of video frame i: i / fps
// seconds, to the nearest sample.
uint64_t frame_instant(int64_t i, int fps)
{
    return (uint64_t(i) * ENGINE_RATE * 2 + uint64_t(fps)) / (2 * uint64_t(fps));
}

// The frames whose instant falls within the sound.
int64_t frame_count(const Options& o)
{
    const uint64_t total_samples = uint64_t(std::llround(o.seconds * ENGINE_RATE));
    int64_t frames = 0;
    while (frame_instant(frames, o.fps) < total_samples)
        ++frames;
    return frames;
}

// Runs the disk and draws every frame, handing each to the encoding thread.
int draw_frames(const Options& o, std::string* log_rows)
{
    const uint64_t total_samples = uint64_t(std::llround(o.seconds * ENGINE_RATE));
    const int64_t frames = frame_count(o);
    const bool progress = isatty(STDERR_FILENO);
    const auto start = std::chrono::steady_clock::now();
    double shown = -1;
    size_t next_key = 0;
    *log_rows = "frame\tms\tleft\tright\ttint\tbackground\n";
    char row[128];

    for (int64_t i = 0; i <= frames; ++i) {
        if (interrupted) {
            std::fprintf(stderr, "%srender-video: interrupted\n", progress ? "\n" : "");
            return 0;
        }
        Batch* b = next_batch();
        if (!b)
            return 0;
        // After the last frame, the sound runs on to the end.
        const uint64_t instant = i < frames ? frame_instant(i, o.fps) : total_samples;
        for (; next_key < o.keys.size() && o.keys[next_key].sample <= instant; ++next_key) {
            pull_engine(b, o.keys[next_key].sample);
            press(o.keys[next_key].vk);
        }
        pull_engine(b, instant);
        b->last = i == frames;
        if (b->last) {
            hand_over();
            return 1;
        }
        // The program's own reading of the frame's inputs, with the clock of
        // render-frame --time: whole milliseconds.
        SceneInputs in = read_scene_inputs();
        in.clock_ms = uint32_t((uint64_t(i) * 2000 + uint64_t(o.fps)) / (2 * uint64_t(o.fps)));
        std::snprintf(row, sizeof row, "%lld\t%u\t%u\t%u\t%u,%u,%u\t%d\n", static_cast<long long>(i), in.clock_ms,
                      in.level_left, in.level_right, in.tint[0] & 0xff, in.tint[1] & 0xff, in.tint[2] & 0xff,
                      in.background);
        *log_rows += row;
        b->rgb.resize(size_t(o.width) * o.height * 3);
        frame_target = b->rgb.data();
        draw_scene(in);
        b->pts = i;
        hand_over();
        if (progress) {
            double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            if (elapsed - shown >= 0.25 || i + 1 == frames) {
                show_progress(i + 1, frames, o.fps, elapsed, i + 1 == frames);
                shown = elapsed;
            }
        }
    }
    return 1;
}

// Start-up, then every frame drawn and encoded; *seconds_taken is the time
// from the first frame to the file's end.
int capture(const Options& o, std::string* log_rows, double* seconds_taken)
{
    // Start-up in the program's order, with the tint's generator seeded
    // from the command line rather than the calendar.
    std::srand(o.seed);
    platform_set_message_box_hook(box_to_stderr);
    platform_register_window_class(window_proc);  // the keys go through it
    if (!platform_open_offscreen_gl(o.width, o.height))
        return 0;
    switch (start_music_disk(0)) {
    case disk_started: break;
    case disk_no_pictures:
        std::fprintf(stderr, "render-video: the pictures of datas/ could not all be read (see -C)\n");
        return 0;
    case disk_no_sound:
        std::fprintf(stderr, "render-video: the engine did not start\n");
        return 0;
    case disk_no_first_track:
        std::fprintf(stderr, "render-video: cannot load %s (see -C)\n", track_list[0].file);
        return 0;
    }
    frame_width = o.width;
    frame_height = o.height;
    if (!open_encoder(o))
        return 0;

    platform_set_swap_hook([] { scene_read_frame(frame_width, frame_height, frame_target); });
    const auto start = std::chrono::steady_clock::now();
    std::thread encoder(encode_batches);
    int ok = draw_frames(o, log_rows);
    if (!ok) {
        std::lock_guard<std::mutex> lock(handoff);
        encoder_stop = true;
    }
    handoff_changed.notify_all();
    encoder.join();
    *seconds_taken = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return ok && !encoder_failed;
}

}  // namespace

int main(int argc, char** argv)
{
    Options o = parse_arguments(argc, argv);
    av_log_set_level(AV_LOG_ERROR);
    // Past a file size limit a write then fails as on a full disk, instead
    // of the process being killed without a word.
    std::signal(SIGXFSZ, SIG_IGN);
    // Before -C, since relative names count from where we are.
    if (!output_check(&video_file, o.out))
        bad_input("cannot write '%s': %s", o.out, std::strerror(video_file.error));
    if (o.log && !output_check(&log_file, o.log))
        bad_input("cannot write '%s': %s", o.log, std::strerror(log_file.error));
    if (o.log && output_same(video_file, log_file))
        bad_input("the log cannot be the video file");
    if (o.directory && chdir(o.directory) != 0)
        bad_input("cannot work in '%s': %s", o.directory, std::strerror(errno));
    struct stat datas;
    if (stat("datas", &datas) != 0 || !S_ISDIR(datas.st_mode))
        bad_input("no datas/ folder in '%s' (see -C)", o.directory ? o.directory : ".");
    if (!output_open(&video_file))
        bad_input("cannot write '%s': %s", o.out, std::strerror(video_file.error));
    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);
    std::signal(SIGHUP, on_signal);

    std::string log_rows;
    double seconds_taken = 0;
    int ok = capture(o, &log_rows, &seconds_taken);
    close_encoder();
    if (video_file.error)
        ok = cannot_write(video_file);
    ok = ok && place_files(o, log_rows);
    struct stat st;
    if (ok && fstat(video_file.fd, &st) == 0) {
        const double frames = double(frame_count(o));
        std::printf("%s: %.0f frames at %d per second, %dx%d, %.3f s of sound, %.1f MB; %.2fx real time "
                    "(%.1f frames per second)\n",
                    o.out, frames, o.fps, o.width, o.height, o.seconds, double(st.st_size) / 1e6,
                    o.seconds / seconds_taken, frames / seconds_taken);
    }
    output_discard(&video_file);
    output_discard(&log_file);
    // The engine, the scene and the surface end with the process, as the
    // program's do. An output that cannot be written, a full disk
    // included, is status 2 like a bad argument.
    if (ok)
        return 0;
    return video_file.error || log_file.error ? 2 : 1;
}
