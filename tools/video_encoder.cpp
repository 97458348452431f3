// tools/video_encoder.cpp: render-video's encoder over FFmpeg's
// libraries: x264 for the pictures, FLAC for the sound, the Matroska muxer
// writing through our own I/O into the output file. Opened and closed by
// main; in between, the encoding thread alone calls it.
#include "tools/video_encoder.h"

#include "player/engine.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// Set up by encoder_open; afterwards the encoding thread's alone.
OutputFile* video_file;  // where the muxer writes
int frame_width, frame_height;
AVFormatContext* muxer;
AVCodecContext* video_codec;
AVCodecContext* audio_codec;
AVStream* video_stream;
AVStream* audio_stream;
AVFrame* video_frame;
AVFrame* audio_frame;
AVPacket* packet;
int audio_filled;            // frames waiting in audio_frame
int64_t audio_pts;           // the first frame of audio_frame, in samples

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
    return video_file->error ? 0 : av_failed(what, error);
}

// The muxer's writes go to the video's descriptor; Matroska seeks back to
// fill in sizes and the cues. The buffer is auto: FFmpeg 7 made it const.
AVIOContext* open_video_io()
{
    constexpr int buffer_size = 1 << 16;
    uint8_t* buffer = static_cast<uint8_t*>(av_malloc(buffer_size));
    auto write = [](void*, auto* bytes, int size) -> int {
        return output_write(video_file, bytes, size_t(size)) ? size : AVERROR(video_file->error);
    };
    auto seek = [](void*, int64_t offset, int whence) -> int64_t {
        struct stat st;
        if (whence & AVSEEK_SIZE)
            return fstat(int(video_file->handle), &st) == 0 ? int64_t(st.st_size) : AVERROR(errno);
        const off_t at = lseek(int(video_file->handle), offset, whence & ~AVSEEK_FORCE);
        return at < 0 ? AVERROR(errno) : int64_t(at);
    };
    AVIOContext* io = buffer ? avio_alloc_context(buffer, buffer_size, 1, nullptr, nullptr, write, seek) : nullptr;
    if (!io)
        av_free(buffer);
    return io;
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

AVCodecContext* open_codec(const AVCodec* codec, AVDictionary** settings,
                           void (*fill)(AVCodecContext*, const VideoSettings&), const VideoSettings& s,
                           AVStream** stream)
{
    AVCodecContext* c = avcodec_alloc_context3(codec);
    if (!c)
        return nullptr;
    fill(c, s);
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

void fill_video(AVCodecContext* c, const VideoSettings& s)
{
    c->width = s.width;
    c->height = s.height;
    c->time_base = {1, s.fps};
    c->framerate = {s.fps, 1};
    c->gop_size = 4 * s.fps;  // a key frame every 4 s to seek to
    if (s.lossless) {
        c->pix_fmt = AV_PIX_FMT_RGB24;
    } else {
        c->pix_fmt = AV_PIX_FMT_YUV420P;
        c->color_range = AVCOL_RANGE_MPEG;
        c->colorspace = AVCOL_SPC_SMPTE170M;  // the matrix to_yuv420 converts with
        c->color_primaries = AVCOL_PRI_BT709;
        c->color_trc = AVCOL_TRC_IEC61966_2_1;
        c->chroma_sample_location = AVCHROMA_LOC_CENTER;  // to_yuv420's 2 x 2 means
    }
}

// RGBA, bottom row first, to limited-range BT.601 4:2:0, top row first, in
// the integer form of the matrix most decoders invert; each colour sample is
// the mean of its 2 x 2 pixels. Our own rather than swscale's: written to
// vectorise, it costs about half of swscale's conversion from packed RGB,
// and gives the same bytes on every processor.
void to_yuv420(const uint8_t* rgba, AVFrame* f)
{
    const size_t row = size_t(frame_width) * 4;
    for (int y = 0; y < frame_height; y += 2) {
        const uint8_t* upper = rgba + size_t(frame_height - 1 - y) * row;
        const uint8_t* lower = upper - row;
        uint8_t* luma = f->data[0] + size_t(y) * f->linesize[0];
        for (const uint8_t* p : {upper, lower}) {
            for (int x = 0; x < frame_width; ++x)
                luma[x] = uint8_t(((66 * p[4 * x] + 129 * p[4 * x + 1] + 25 * p[4 * x + 2] + 128) >> 8) + 16);
            luma += f->linesize[0];
        }
        uint8_t* cb = f->data[1] + size_t(y / 2) * f->linesize[1];
        uint8_t* cr = f->data[2] + size_t(y / 2) * f->linesize[2];
        for (int x = 0; x < frame_width / 2; ++x) {
            const uint8_t* a = upper + 8 * x;
            const uint8_t* b = lower + 8 * x;
            const int r = a[0] + a[4] + b[0] + b[4], g = a[1] + a[5] + b[1] + b[5], bl = a[2] + a[6] + b[2] + b[6];
            cb[x] = uint8_t(((-38 * r - 74 * g + 112 * bl + 512) >> 10) + 128);
            cr[x] = uint8_t(((112 * r - 94 * g - 18 * bl + 512) >> 10) + 128);
        }
    }
}

// RGBA, bottom row first, to packed RGB, top row first, for libx264rgb.
void to_rgb(const uint8_t* rgba, AVFrame* f)
{
    for (int y = 0; y < frame_height; ++y) {
        const uint8_t* p = rgba + size_t(frame_height - 1 - y) * frame_width * 4;
        uint8_t* out = f->data[0] + size_t(y) * f->linesize[0];
        for (int x = 0; x < frame_width; ++x, p += 4, out += 3) {
            out[0] = p[0];
            out[1] = p[1];
            out[2] = p[2];
        }
    }
}

void fill_audio(AVCodecContext* c, const VideoSettings&)
{
    c->sample_fmt = AV_SAMPLE_FMT_S16;
    c->sample_rate = int(ENGINE_RATE);
    c->time_base = {1, int(ENGINE_RATE)};
    av_channel_layout_default(&c->ch_layout, 2);
}

}  // namespace

int encoder_open(OutputFile* file, const VideoSettings& s)
{
    video_file = file;
    frame_width = s.width;
    frame_height = s.height;
    int error = avformat_alloc_output_context2(&muxer, nullptr, "matroska", nullptr);
    if (error < 0)
        return av_failed("matroska", error);
    muxer->flags |= AVFMT_FLAG_BITEXACT | AVFMT_FLAG_CUSTOM_IO;

    // libx264rgb codes the RGB planes themselves: at qp 0 every pixel
    // comes back exactly. Plain libx264 codes 4:2:0, which every player plays.
    const AVCodec* h264 = avcodec_find_encoder_by_name(s.lossless ? "libx264rgb" : "libx264");
    const AVCodec* flac = avcodec_find_encoder(AV_CODEC_ID_FLAC);
    if (!h264 || !flac) {
        std::fprintf(stderr, "render-video: this FFmpeg has no %s encoder\n", !h264 ? "H.264 (libx264)" : "FLAC");
        return 0;
    }
    AVDictionary* settings = nullptr;
    av_dict_set(&settings, "preset", s.preset, 0);
    // One thread, this one: llvmpipe already draws on every core, so more
    // x264 threads only add their own upkeep. One thread also gives the same
    // file on any machine.
    av_dict_set(&settings, "threads", "1", 0);
    // ultrafast leaves out the 8x8 transform and the deblocking filter,
    // which take a tenth off the file at the same PSNR for an eighth more
    // of x264's time (a fortieth of the capture's). The 4x4 intra modes,
    // B-frames or CABAC would take off 3% to 10% more for a seventh to
    // three quarters more of x264's time.
    if (!s.lossless && !std::strcmp(s.preset, "ultrafast"))
        av_dict_set(&settings, "x264-params", "8x8dct=1:partitions=i8x8:deblock=1", 0);
    if (s.lossless)
        av_dict_set(&settings, "qp", "0", 0);
    else
        av_dict_set_int(&settings, "crf", s.crf, 0);
    video_codec = open_codec(h264, &settings, fill_video, s, &video_stream);
    av_dict_free(&settings);
    if (!video_codec)
        return 0;
    video_stream->avg_frame_rate = {s.fps, 1};
    audio_codec = open_codec(flac, nullptr, fill_audio, s, &audio_stream);
    if (!audio_codec)
        return 0;

    video_frame = av_frame_alloc();
    audio_frame = av_frame_alloc();
    packet = av_packet_alloc();
    if (!video_frame || !audio_frame || !packet)
        return av_failed("memory", AVERROR(ENOMEM));
    video_frame->format = video_codec->pix_fmt;
    video_frame->width = s.width;
    video_frame->height = s.height;
    audio_frame->format = AV_SAMPLE_FMT_S16;
    audio_frame->nb_samples = audio_codec->frame_size;
    av_channel_layout_copy(&audio_frame->ch_layout, &audio_codec->ch_layout);
    if ((error = av_frame_get_buffer(video_frame, 0)) < 0 || (error = av_frame_get_buffer(audio_frame, 0)) < 0)
        return av_failed("memory", error);
    if (!(muxer->pb = open_video_io()))
        return av_failed("memory", AVERROR(ENOMEM));
    if ((error = avformat_write_header(muxer, nullptr)) < 0)
        return write_failed("writing the header", error);
    return 1;
}

int encoder_picture(const uint8_t* rgba, int64_t pts)
{
    int error = av_frame_make_writable(video_frame);
    if (error < 0)
        return av_failed("memory", error);
    if (video_codec->pix_fmt == AV_PIX_FMT_YUV420P)
        to_yuv420(rgba, video_frame);
    else
        to_rgb(rgba, video_frame);
    video_frame->pts = pts;
    return encode(video_codec, video_stream, video_frame);
}

int encoder_sound(const int16_t* samples, size_t frames)
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

int encoder_finish()
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

void encoder_close()
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
    muxer = nullptr;
}
