// tools/render/video_encoder.cpp: render-video's encoder over FFmpeg's
// libraries: x264 for the pictures, FLAC for the sound, the Matroska muxer
// writing through our own I/O into the output file. Opened and closed by
// main; in between, the encoding thread alone calls it.
#include "tools/render/video_encoder.h"

#include "player/engine.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
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
SwsContext* to_yuv;
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
            return fstat(video_file->fd, &st) == 0 ? int64_t(st.st_size) : AVERROR(errno);
        const off_t at = lseek(video_file->fd, offset, whence & ~AVSEEK_FORCE);
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
        c->colorspace = AVCOL_SPC_SMPTE170M;  // the matrix swscale converts with
        c->color_primaries = AVCOL_PRI_BT709;
        c->color_trc = AVCOL_TRC_IEC61966_2_1;
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
    // Two frame threads, not x264's one and a half a core: llvmpipe draws on
    // every core, and a fixed count keeps the file the same on any machine.
    av_dict_set(&settings, "threads", "2", 0);
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
    if (!s.lossless) {
        to_yuv = sws_getContext(s.width, s.height, AV_PIX_FMT_RGB24, s.width, s.height, AV_PIX_FMT_YUV420P,
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

int encoder_picture(const uint8_t* rgb, int64_t pts)
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
    sws_freeContext(to_yuv);
    muxer = nullptr;
    to_yuv = nullptr;
}
