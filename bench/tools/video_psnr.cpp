// bench/tools/video_psnr.cpp: how close a render-video capture is to
// the frames it logged. Every Nth frame (29th by default, out of step with
// the key frames; from the (N/2)th on, to miss the first) is redrawn by
// render-frame from its row of the log and held, over RGB, against the
// decoded frame as a player shows it: FFmpeg's decoder, then swscale's
// bilinear colour upsampling with the stream's BT.601 limited range. Prints
// the mean, the lowest and the overall PSNR (from the summed squared error)
// of those frames. Needs an X display for render-frame.
//
//     video_psnr VIDEO.mkv FRAMES.tsv RENDER-FRAME [EVERY]   (default every 29th)
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

struct Sum {
    double mean_db = 0, low_db = INFINITY, squared = 0, values = 0;
    int frames = 0;
};

// render-frame's picture for one log row, top row first, or empty.
Bytes redraw(const std::string& render_frame, const std::string& row, int width, int height)
{
    std::istringstream fields(row);
    std::string frame, ms, left, right, tint, background;
    fields >> frame >> ms >> left >> right >> tint >> background;
    char png[64];
    std::snprintf(png, sizeof png, "/tmp/video_psnr_%d.png", int(getpid()));
    const std::string command = render_frame + " " + png + " --time " + std::to_string(std::stod(ms) / 1000) +
        " --level-left " + left + " --level-right " + right + " --tint " + tint + " --background " + background +
        " --size " + std::to_string(width) + "x" + std::to_string(height);
    Bytes rgb;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (std::system(command.c_str()) == 0 && png_image_begin_read_from_file(&image, png)) {
        image.format = PNG_FORMAT_RGB;
        rgb.resize(PNG_IMAGE_SIZE(image));
        if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr) || image.width != unsigned(width) ||
            image.height != unsigned(height))
            rgb.clear();
    }
    std::remove(png);
    return rgb;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4 || argc > 5) {
        std::fprintf(stderr, "usage: video_psnr VIDEO.mkv FRAMES.tsv RENDER-FRAME [EVERY]\n");
        return 2;
    }
    const int every = argc == 5 ? std::atoi(argv[4]) : 29;
    std::vector<std::string> rows;
    std::ifstream log(argv[2]);
    for (std::string line; std::getline(log, line);)
        rows.push_back(line);  // rows[0] is the heading, rows[i + 1] frame i

    AVFormatContext* file = nullptr;
    if (every < 1 || avformat_open_input(&file, argv[1], nullptr, nullptr) < 0 ||
        avformat_find_stream_info(file, nullptr) < 0) {
        std::fprintf(stderr, "video_psnr: cannot read '%s'\n", argv[1]);
        return 1;
    }
    const int stream = av_find_best_stream(file, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (stream < 0)
        return 1;
    const AVCodecParameters* par = file->streams[stream]->codecpar;
    AVCodecContext* codec = avcodec_alloc_context3(avcodec_find_decoder(par->codec_id));
    avcodec_parameters_to_context(codec, par);
    if (avcodec_open2(codec, nullptr, nullptr) < 0)
        return 1;
    const int width = par->width, height = par->height;
    SwsContext* to_rgb = nullptr;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    Bytes shown(size_t(width) * height * 3);
    Sum sum;
    int decoded = 0, failed = 0;
    auto take = [&] {
        while (avcodec_receive_frame(codec, frame) == 0) {
            const int i = decoded++;
            if (i % every != every / 2 || size_t(i) + 1 >= rows.size())
                continue;
            if (!to_rgb) {
                to_rgb = sws_getContext(width, height, AVPixelFormat(frame->format), width, height,
                                        AV_PIX_FMT_RGB24, SWS_BILINEAR | SWS_FULL_CHR_H_INT | SWS_ACCURATE_RND,
                                        nullptr, nullptr, nullptr);
                const int* bt601 = sws_getCoefficients(SWS_CS_ITU601);
                const bool limited = frame->color_range != AVCOL_RANGE_JPEG;
                sws_setColorspaceDetails(to_rgb, bt601, limited ? 0 : 1, bt601, 1, 0, 1 << 16, 1 << 16);
            }
            uint8_t* out[1] = {shown.data()};
            const int stride[1] = {width * 3};
            sws_scale(to_rgb, frame->data, frame->linesize, 0, height, out, stride);
            const Bytes drawn = redraw(argv[3], rows[size_t(i) + 1], width, height);
            if (drawn.size() != shown.size()) {
                ++failed;
                continue;
            }
            double squared = 0;
            for (size_t k = 0; k < drawn.size(); ++k)
                squared += double(int(drawn[k]) - shown[k]) * (int(drawn[k]) - shown[k]);
            const double db = squared == 0 ? 99 : 10 * std::log10(65025.0 * double(drawn.size()) / squared);
            sum.mean_db += db;
            sum.low_db = std::min(sum.low_db, db);
            sum.squared += squared;
            sum.values += double(drawn.size());
            ++sum.frames;
        }
    };
    while (av_read_frame(file, packet) == 0) {
        // A decoder with its output full takes the packet again once drained.
        while (packet->stream_index == stream && avcodec_send_packet(codec, packet) == AVERROR(EAGAIN))
            take();
        take();
        av_packet_unref(packet);
    }
    avcodec_send_packet(codec, nullptr);
    take();
    if (failed || sum.frames == 0) {
        std::fprintf(stderr, "video_psnr: %d frames not redrawn\n", failed);
        return 1;
    }
    std::printf("PSNR over RGB of %d frames (every %d of %d): mean %.2f dB, lowest %.2f dB, overall %.2f dB\n",
                sum.frames, every, decoded, sum.mean_db / sum.frames, sum.low_db,
                10 * std::log10(65025.0 * sum.values / sum.squared));
    return 0;
}
