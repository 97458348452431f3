// tests/tools/render_video_test.cpp: render-video run as a program in the
// build tree. Its file is decoded with FFmpeg's libraries; the sound must
// equal render-wav's bit for bit, each logged level must follow from the
// decoded sound at the frame's instant, and each frame must be what
// render-frame draws from its log row.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <gtest/gtest.h>
#include <png.h>
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Samples = std::vector<int16_t>;  // interleaved stereo
using Pixels = std::vector<uint8_t>;   // RGB, top row first

// A fresh empty folder of this process.
std::string make_folder(const std::string& name)
{
    std::string path = testing::TempDir() + "render_video_test_" + std::to_string(getpid()) + "_" + name;
    mkdir(path.c_str(), 0755);
    return path;
}

std::vector<std::string> folder_entries(const std::string& path)
{
    std::vector<std::string> names;
    if (DIR* d = opendir(path.c_str())) {
        while (dirent* e = readdir(d))
            if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, ".."))
                names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}

void remove_folder(const std::string& path)
{
    for (const std::string& name : folder_entries(path))
        std::remove((path + "/" + name).c_str());
    rmdir(path.c_str());
}

std::string read_bytes(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

struct Outcome {
    int status;       // exit status, -1 when it did not exit
    std::string err;  // what it wrote on standard error
};

// Runs program with args from the build tree (where datas/ is).
Outcome run(const char* program, const std::string& args)
{
    std::string err_path = testing::TempDir() + "render_video_test_" + std::to_string(getpid()) + "_stderr";
    int status = std::system((std::string(program) + " " + args + " >/dev/null 2>" + err_path).c_str());
    Outcome r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_bytes(err_path)};
    std::remove(err_path.c_str());
    return r;
}

// render-wav's samples for args (a module, options) after its 44-byte header.
Samples render_wav(const std::string& folder, const std::string& args)
{
    std::string wav = folder + "/sound.wav";
    EXPECT_EQ(run(RENDER_WAV, args.substr(0, args.find(' ')) + " " + wav + args.substr(args.find(' '))).status, 0)
        << args;
    std::string b = read_bytes(wav);
    std::remove(wav.c_str());
    Samples s(b.size() < 44 ? 0 : (b.size() - 44) / 2);
    std::memcpy(s.data(), b.data() + 44, s.size() * 2);
    return s;
}

// What render-frame draws for one log row, top row first.
Pixels render_frame(const std::string& folder, const std::vector<std::string>& row, int width, int height)
{
    const std::string png = folder + "/frame.png";
    const unsigned ms = unsigned(std::stoul(row[1]));
    char args[256];
    std::snprintf(args, sizeof args, "%s --time %u.%03u --level-left %s --level-right %s --tint %s --background %s --size %dx%d",
                  png.c_str(), ms / 1000, ms % 1000, row[2].c_str(), row[3].c_str(), row[4].c_str(), row[5].c_str(),
                  width, height);
    EXPECT_EQ(run(RENDER_FRAME, args).status, 0) << args;
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    Pixels p;
    if (png_image_begin_read_from_file(&image, png.c_str())) {
        image.format = PNG_FORMAT_RGB;
        p.resize(PNG_IMAGE_SIZE(image));
        png_image_finish_read(&image, nullptr, p.data(), 0, nullptr);
    }
    std::remove(png.c_str());
    return p;
}

// The rows of a --log file, header first, each split at its tabs.
std::vector<std::vector<std::string>> read_log(const std::string& path)
{
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(read_bytes(path));
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> fields;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');)
            fields.push_back(cell);
        rows.push_back(fields);
    }
    return rows;
}

struct Media {
    bool ok = false;
    std::string video_codec, pixel_format, audio_codec;
    int width = 0, height = 0, sample_rate = 0, channels = 0;
    AVRational frame_rate{0, 1};
    AVColorSpace matrix = AVCOL_SPC_UNSPECIFIED;
    AVColorRange range = AVCOL_RANGE_UNSPECIFIED;
    // 4:2:0 frames as their Y, Cb and Cr planes, one after the other, the
    // codec's own samples; any other kind converted to RGB.
    std::vector<Pixels> frames;
    Samples sound;
};

// Packed RGB (full range) as 4:2:0 planes with the matrix and range of the
// stream: the frame in the codec's own terms.
Pixels to_yuv420(const Pixels& rgb, int width, int height, AVColorSpace matrix, AVColorRange range)
{
    SwsContext* c = sws_getContext(width, height, AV_PIX_FMT_RGB24, width, height, AV_PIX_FMT_YUV420P, SWS_BILINEAR,
                                   nullptr, nullptr, nullptr);
    const int* coefficients = sws_getCoefficients(matrix);
    // swscale's range flags: 1 full, 0 limited.
    sws_setColorspaceDetails(c, coefficients, 1, coefficients, range == AVCOL_RANGE_JPEG, 0, 1 << 16, 1 << 16);
    const size_t luma = size_t(width) * height, chroma = luma / 4;
    Pixels out(luma + 2 * chroma);
    uint8_t* planes[3] = {out.data(), out.data() + luma, out.data() + luma + chroma};
    const int strides[3] = {width, width / 2, width / 2};
    const uint8_t* in[1] = {rgb.data()};
    const int in_stride[1] = {width * 3};
    sws_scale(c, in, in_stride, 0, height, planes, strides);
    sws_freeContext(c);
    return out;
}

void take_frames(AVCodecContext* codec, AVFrame* frame, Media* m)
{
    while (avcodec_receive_frame(codec, frame) == 0) {
        if (codec->codec_type == AVMEDIA_TYPE_AUDIO) {
            if (frame->format == AV_SAMPLE_FMT_S16 && frame->ch_layout.nb_channels == 2) {
                const int16_t* s = reinterpret_cast<const int16_t*>(frame->data[0]);
                m->sound.insert(m->sound.end(), s, s + 2 * frame->nb_samples);
            }
            continue;
        }
        Pixels p;
        if (frame->format == AV_PIX_FMT_YUV420P) {
            for (int plane = 0; plane < 3; ++plane) {
                const int w = plane ? frame->width / 2 : frame->width, h = plane ? frame->height / 2 : frame->height;
                for (int y = 0; y < h; ++y) {
                    const uint8_t* row = frame->data[plane] + size_t(y) * frame->linesize[plane];
                    p.insert(p.end(), row, row + w);
                }
            }
        } else {
            SwsContext* to_rgb = sws_getContext(frame->width, frame->height, AVPixelFormat(frame->format),
                                                frame->width, frame->height, AV_PIX_FMT_RGB24, SWS_BILINEAR,
                                                nullptr, nullptr, nullptr);
            p.resize(size_t(frame->width) * frame->height * 3);
            uint8_t* out[1] = {p.data()};
            const int stride[1] = {frame->width * 3};
            sws_scale(to_rgb, frame->data, frame->linesize, 0, frame->height, out, stride);
            sws_freeContext(to_rgb);
        }
        m->frames.push_back(std::move(p));
    }
}

// Every frame and sample of a file, through FFmpeg's demuxer and decoders.
Media decode(const std::string& path)
{
    Media m;
    AVFormatContext* file = nullptr;
    if (avformat_open_input(&file, path.c_str(), nullptr, nullptr) < 0)
        return m;
    avformat_find_stream_info(file, nullptr);
    AVCodecContext* codecs[2] = {};
    int streams[2] = {av_find_best_stream(file, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0),
                      av_find_best_stream(file, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0)};
    if (std::string(file->iformat->name).find("matroska") == std::string::npos || streams[0] < 0 || streams[1] < 0) {
        avformat_close_input(&file);
        return m;
    }
    for (int k = 0; k < 2; ++k) {
        const AVCodecParameters* par = file->streams[streams[k]]->codecpar;
        codecs[k] = avcodec_alloc_context3(avcodec_find_decoder(par->codec_id));
        avcodec_parameters_to_context(codecs[k], par);
        avcodec_open2(codecs[k], nullptr, nullptr);
    }
    const AVCodecParameters* video = file->streams[streams[0]]->codecpar;
    const AVCodecParameters* audio = file->streams[streams[1]]->codecpar;
    m.video_codec = avcodec_get_name(video->codec_id);
    m.pixel_format = av_get_pix_fmt_name(AVPixelFormat(video->format));
    m.width = video->width;
    m.height = video->height;
    m.frame_rate = file->streams[streams[0]]->avg_frame_rate;
    m.matrix = video->color_space;
    m.range = video->color_range;
    m.audio_codec = avcodec_get_name(audio->codec_id);
    m.sample_rate = audio->sample_rate;
    m.channels = audio->ch_layout.nb_channels;

    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    while (av_read_frame(file, packet) == 0) {
        for (int k = 0; k < 2; ++k)
            if (packet->stream_index == streams[k] && avcodec_send_packet(codecs[k], packet) == 0)
                take_frames(codecs[k], frame, &m);
        av_packet_unref(packet);
    }
    for (AVCodecContext* c : codecs) {
        avcodec_send_packet(c, nullptr);
        take_frames(c, frame, &m);
        avcodec_free_context(&c);
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avformat_close_input(&file);
    m.ok = true;
    return m;
}

double psnr(const Pixels& a, const Pixels& b)
{
    if (a.size() != b.size() || a.empty())
        return 0;
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i)
        sum += double(int(a[i]) - int(b[i])) * (int(a[i]) - int(b[i]));
    return sum == 0 ? INFINITY : 10 * std::log10(255.0 * 255.0 * double(a.size()) / sum);
}

// Where two sample sequences first differ, or -1 when they are equal.
long first_difference(const Samples& a, const Samples& b)
{
    if (a == b)
        return -1;
    auto [x, y] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    return long(x - a.begin());
}

// The engine's level after mixing sound up to frame `until`, for a module
// put in the mix at frame `from`, worked out from the sound alone: the peak
// of each side since the start of the fourth-newest whole 220-frame segment.
uint32_t level_at(const Samples& sound, size_t from, size_t until)
{
    const size_t whole = (until - from) / 220;
    int left = 0, right = 0;
    for (size_t f = from + 220 * (whole > 4 ? whole - 4 : 0); f < until; ++f) {
        left = std::max(left, std::abs(int(sound[2 * f])));
        right = std::max(right, std::abs(int(sound[2 * f + 1])));
    }
    return uint32_t(left) | uint32_t(right) << 16;
}

}  // namespace

TEST(RenderVideo, KeysTakeEffectAtTheirSampleAndEveryFrameFollowsTheEngine)
{
    const std::string d = make_folder("keys");
    // A fine quality, so that the codec's loss stays small beside the change
    // from one frame to the next.
    const std::string args = " --seconds 3 --at 2:F3 --at 1:KP4 --seed 7 --crf 10 --log ";
    const Outcome r = run(RENDER_VIDEO, d + "/a.mkv" + args + d + "/a.tsv");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "") << "no progress bar when standard error is a file";
    const Media m = decode(d + "/a.mkv");
    ASSERT_TRUE(m.ok);
    EXPECT_EQ(m.video_codec, "h264");
    EXPECT_EQ(m.pixel_format, "yuv420p");
    EXPECT_EQ(m.width, 640);
    EXPECT_EQ(m.height, 480);
    EXPECT_EQ(av_cmp_q(m.frame_rate, AVRational{60, 1}), 0);
    EXPECT_EQ(m.frames.size(), 180u);
    EXPECT_EQ(m.audio_codec, "flac");
    EXPECT_EQ(m.sample_rate, 44100);
    EXPECT_EQ(m.channels, 2);
    ASSERT_EQ(m.sound.size(), 2u * 3 * 44100);

    // Track 1 loops up to frame 44100 exactly; there keypad 4 starts track
    // 5 from its beginning, and from frame 88200 it plays through the echo.
    Samples want = render_wav(d, "datas/1-ambre.it --loop --seconds 1");
    Samples fifth = render_wav(d, "datas/5-STONE.IT --seconds 2 --at 1:install_echo");
    want.insert(want.end(), fifth.begin(), fifth.end());
    EXPECT_EQ(first_difference(m.sound, want), -1);

    // One row per frame: render-frame's millisecond clock, the engine's
    // level at the frame's instant, and the tint the key drew from the seed.
    const auto rows = read_log(d + "/a.tsv");
    ASSERT_EQ(rows.size(), 181u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{"frame", "ms", "left", "right", "tint", "background"}));
    std::srand(7);
    int r0 = std::rand() % 255, g0 = std::rand() % 255, b0 = std::rand() % 255;
    const std::string drawn = std::to_string(r0) + "," + std::to_string(g0) + "," + std::to_string(b0);
    int loud = 0;
    for (size_t i = 0; i < 180; ++i) {
        const auto& row = rows[i + 1];
        ASSERT_EQ(row.size(), 6u) << i;
        const size_t instant = i * 735, start = i < 60 ? 0 : 44100;
        const uint32_t level = level_at(m.sound, start, instant);
        EXPECT_EQ(row[0], std::to_string(i));
        EXPECT_EQ(row[1], std::to_string(std::lround(i * 1000.0 / 60))) << i;
        EXPECT_EQ(row[2], std::to_string(level & 0xffff)) << i;
        EXPECT_EQ(row[3], std::to_string(level >> 16)) << i;
        EXPECT_EQ(row[4], i < 60 ? "255,255,255" : drawn) << i;
        EXPECT_EQ(row[5], "0") << i;
        loud += level > 1000;
    }
    EXPECT_GT(loud, 150) << "the music plays";

    // The same command again gives the same file, byte for byte.
    ASSERT_EQ(run(RENDER_VIDEO, d + "/b.mkv" + args + d + "/b.tsv").status, 0);
    EXPECT_TRUE(read_bytes(d + "/a.mkv") == read_bytes(d + "/b.mkv"));
    EXPECT_EQ(read_bytes(d + "/a.tsv"), read_bytes(d + "/b.tsv"));

    // Frames redrawn by render-frame from their rows, around the key too,
    // match what was decoded within the codec's loss: compared in the
    // codec's own terms, as 4:2:0 planes with the stream's colour matrix.
    EXPECT_EQ(m.matrix, AVCOL_SPC_SMPTE170M);
    EXPECT_EQ(m.range, AVCOL_RANGE_MPEG);
    for (size_t i : {0, 59, 60, 61, 179}) {
        const Pixels redrawn = to_yuv420(render_frame(d, rows[i + 1], 640, 480), 640, 480, m.matrix, m.range);
        const double db = psnr(redrawn, m.frames[i]);
        EXPECT_GT(db, 35.0) << "frame " << i;
        if (i > 0) {
            EXPECT_LT(psnr(redrawn, m.frames[i - 1]), db - 3) << "frame " << i << " is not its neighbour";
        }
    }
    remove_folder(d);
}

TEST(RenderVideo, EffectKeysSoundIsRenderWavOfTheLoopingFirstTrack)
{
    // Another frame rate cuts the mixing into other pieces: the sound stays.
    const std::string d = make_folder("effects");
    const Outcome r = run(RENDER_VIDEO, d + "/e.mkv --seconds 3 --at 1:F3 --at 2:F5 --fps 25 --size 320x240 --crf 30");
    ASSERT_EQ(r.status, 0) << r.err;
    const Media m = decode(d + "/e.mkv");
    ASSERT_TRUE(m.ok);
    EXPECT_EQ(m.frames.size(), 75u);
    EXPECT_EQ(m.width, 320);
    EXPECT_EQ(m.height, 240);
    EXPECT_EQ(av_cmp_q(m.frame_rate, AVRational{25, 1}), 0);
    const Samples want =
        render_wav(d, "datas/1-ambre.it --loop --seconds 3 --at 1:install_echo --at 2:install_flanger");
    ASSERT_EQ(want.size(), 2u * 3 * 44100);
    EXPECT_EQ(first_difference(m.sound, want), -1);
    EXPECT_NE(first_difference(want, render_wav(d, "datas/1-ambre.it --loop --seconds 3")), -1);
    remove_folder(d);
}

TEST(RenderVideo, LosslessFramesAreExactlyRenderFramesPictures)
{
    // Keypad minus plays track 12, which shows the other background.
    const std::string d = make_folder("lossless");
    const Outcome r = run(RENDER_VIDEO, d + "/l.mkv --lossless --seconds 1 --fps 30 --size 320x240 "
                                        "--at 0.5:KP_SUBTRACT --log " + d + "/l.tsv");
    ASSERT_EQ(r.status, 0) << r.err;
    const Media m = decode(d + "/l.mkv");
    ASSERT_TRUE(m.ok);
    EXPECT_EQ(m.video_codec, "h264");
    ASSERT_EQ(m.frames.size(), 30u);
    const auto rows = read_log(d + "/l.tsv");
    ASSERT_EQ(rows.size(), 31u);
    EXPECT_EQ(rows[15][5], "0");
    EXPECT_EQ(rows[16][5], "1");
    for (size_t i : {0, 14, 15, 29})
        EXPECT_TRUE(render_frame(d, rows[i + 1], 320, 240) == m.frames[i]) << "frame " << i;
    remove_folder(d);
}

TEST(RenderVideo, BadInputGetsOneLineStatusTwoAndNoFile)
{
    const char* cases[] = {
        "OUT --at 1:KP10",  "OUT --at 1:ESCAPE",  "OUT --at 1:f1",        "OUT --at F1",
        "OUT --at -1:F1",   "OUT --at 30:F1",     "OUT --seconds 3 --at 3:F1", "OUT --at 31:KP1",
        "OUT --size 0x480", "OUT --size 640x0",   "OUT --size 4098x480",  "OUT --size 641x480",
        "OUT --size 640",   "OUT --size 640x480x2", "OUT --fps 0",        "OUT --fps 241",
        "OUT --seconds 0",  "OUT --seconds -1",   "OUT --seconds nan",    "OUT --seconds 3601",
        "OUT --crf 52",     "OUT --preset fastest", "OUT --seed -1",      "OUT --seed 4294967296",
        "OUT --frobnicate", "OUT --seconds",      "OUT EXTRA",            "",
        "DIR/no/such/folder/out.mkv", "DIR",      "OUT --log DIR/no/such/log.tsv", "OUT -C DIR/nowhere",
        "OUT --log OUT",
    };
    const std::string d = make_folder("bad");
    for (std::string args : cases) {
        for (size_t at; (at = args.find("OUT")) != std::string::npos;)
            args.replace(at, 3, d + "/out.mkv");
        for (size_t at; (at = args.find("DIR")) != std::string::npos;)
            args.replace(at, 3, d);
        const Outcome r = run(RENDER_VIDEO, args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.err.rfind("render-video: ", 0), 0u) << args << ": " << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << args << ": " << r.err;
        EXPECT_EQ(folder_entries(d), std::vector<std::string>{}) << args;
    }
    remove_folder(d);
}

TEST(RenderVideo, ACaptureThatFailsMidwayLeavesNoFile)
{
    // Without the disk's files: status 1, nothing written.
    const std::string d = make_folder("midway"), empty = make_folder("empty");
    const Outcome r = run(RENDER_VIDEO, d + "/out.mkv --seconds 1 --log " + d + "/out.tsv -C " + empty);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("datas"), std::string::npos) << r.err;
    EXPECT_EQ(folder_entries(d), std::vector<std::string>{});

    // Interrupted once its file is being written.
    pid_t pid = fork();
    if (pid == 0) {
        std::freopen("/dev/null", "w", stderr);
        const std::string out = d + "/out.mkv";
        execl(RENDER_VIDEO, RENDER_VIDEO, out.c_str(), "--seconds", "600", static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(pid, 0);
    for (int tries = 0; tries < 600 && folder_entries(d).empty(); ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(folder_entries(d).size(), 1u);
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_EQ(folder_entries(d), std::vector<std::string>{});
    remove_folder(d);
    remove_folder(empty);
}
