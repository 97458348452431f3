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
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

using Samples = std::vector<int16_t>;  // interleaved stereo
using Bytes = std::vector<uint8_t>;
using Row = std::vector<std::string>;  // one --log row, split at its tabs

std::string make_folder(const std::string& name)
{
    fs::path p = fs::path(testing::TempDir()) / ("render_video_test_" + std::to_string(getpid()) + "_" + name);
    fs::remove_all(p);
    fs::create_directories(p);
    return p.string();
}

std::vector<std::string> entries(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    return names;
}

std::string read_text(const std::string& path)
{
    std::stringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

struct Outcome {
    int status;       // exit status, -1 when it did not exit
    std::string err;  // standard error
};

// Runs program with args in the build tree (where datas/ is).
Outcome run(const char* program, const std::string& args)
{
    const std::string err = testing::TempDir() + "render_video_test_" + std::to_string(getpid()) + "_stderr";
    int status = std::system((std::string(program) + " " + args + " >/dev/null 2>" + err).c_str());
    Outcome o{WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_text(err)};
    fs::remove(err);
    return o;
}

// render-wav's samples for "MODULE OPTIONS...".
Samples render_wav(const std::string& folder, const std::string& args)
{
    const std::string wav = folder + "/sound.wav", module = args.substr(0, args.find(' '));
    EXPECT_EQ(run(RENDER_WAV, module + " " + wav + args.substr(module.size())).status, 0) << args;
    const std::string b = read_text(wav);
    Samples s(b.size() < 44 ? 0 : (b.size() - 44) / 2);
    std::memcpy(s.data(), b.data() + 44, s.size() * 2);
    return s;
}

// What render-frame draws for a log row: RGB, top row first.
Bytes render_frame(const std::string& folder, const Row& row, const std::string& size)
{
    const std::string png = folder + "/frame.png";
    const unsigned ms = unsigned(std::stoul(row[1]));
    char args[256];
    std::snprintf(args, sizeof args, "%s --time %u.%03u --level-left %s --level-right %s --tint %s --background %s --size %s",
                  png.c_str(), ms / 1000, ms % 1000, row[2].c_str(), row[3].c_str(), row[4].c_str(), row[5].c_str(),
                  size.c_str());
    EXPECT_EQ(run(RENDER_FRAME, args).status, 0) << args;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    Bytes rgb;
    if (png_image_begin_read_from_file(&image, png.c_str())) {
        image.format = PNG_FORMAT_RGB;
        rgb.resize(PNG_IMAGE_SIZE(image));
        png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr);
    }
    return rgb;
}

std::vector<Row> read_log(const std::string& path)
{
    std::vector<Row> rows;
    std::istringstream lines(read_text(path));
    for (std::string line; std::getline(lines, line);) {
        Row row;
        std::istringstream cells(line);
        for (std::string cell; std::getline(cells, cell, '\t');)
            row.push_back(cell);
        rows.push_back(row);
    }
    return rows;
}

struct Media {
    std::string video;  // "codec pixel-format WxH rate", e.g. "h264 yuv420p 640x480 60/1"
    std::string audio;  // "codec rate channels"
    AVColorSpace matrix = AVCOL_SPC_UNSPECIFIED;
    AVColorRange range = AVCOL_RANGE_UNSPECIFIED;
    std::vector<Bytes> frames;  // the codec's own samples, plane after plane
    Samples sound;
};

void take_frames(AVCodecContext* codec, AVFrame* f, Media* m)
{
    while (avcodec_receive_frame(codec, f) == 0) {
        if (codec->codec_type == AVMEDIA_TYPE_AUDIO) {
            const int16_t* s = reinterpret_cast<const int16_t*>(f->data[0]);
            if (f->format == AV_SAMPLE_FMT_S16 && f->ch_layout.nb_channels == 2)
                m->sound.insert(m->sound.end(), s, s + 2 * f->nb_samples);
            continue;
        }
        const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(AVPixelFormat(f->format));
        Bytes planes;
        for (int p = 0; p < 3; ++p) {
            const int w = p ? AV_CEIL_RSHIFT(f->width, d->log2_chroma_w) : f->width;
            const int h = p ? AV_CEIL_RSHIFT(f->height, d->log2_chroma_h) : f->height;
            for (int y = 0; y < h; ++y)
                planes.insert(planes.end(), f->data[p] + size_t(y) * f->linesize[p], f->data[p] + size_t(y) * f->linesize[p] + w);
        }
        m->frames.push_back(std::move(planes));
    }
}

// Every frame and sample of a Matroska file, through FFmpeg's own decoders.
Media decode(const std::string& path)
{
    Media m;
    AVFormatContext* file = nullptr;
    if (avformat_open_input(&file, path.c_str(), nullptr, nullptr) < 0 ||
        std::string(file->iformat->name).find("matroska") == std::string::npos)
        return m;
    avformat_find_stream_info(file, nullptr);
    int streams[2] = {av_find_best_stream(file, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0),
                      av_find_best_stream(file, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0)};
    AVCodecContext* codecs[2] = {};
    for (int k = 0; k < 2 && streams[0] >= 0 && streams[1] >= 0; ++k) {
        const AVCodecParameters* par = file->streams[streams[k]]->codecpar;
        codecs[k] = avcodec_alloc_context3(avcodec_find_decoder(par->codec_id));
        avcodec_parameters_to_context(codecs[k], par);
        avcodec_open2(codecs[k], nullptr, nullptr);
        if (k == 0) {
            const AVRational rate = file->streams[streams[0]]->avg_frame_rate;
            m.video = std::string(avcodec_get_name(par->codec_id)) + " " + av_get_pix_fmt_name(AVPixelFormat(par->format)) +
                      " " + std::to_string(par->width) + "x" + std::to_string(par->height) + " " +
                      std::to_string(rate.num) + "/" + std::to_string(rate.den);
            m.matrix = par->color_space;
            m.range = par->color_range;
        } else {
            m.audio = std::string(avcodec_get_name(par->codec_id)) + " " + std::to_string(par->sample_rate) + " " +
                      std::to_string(par->ch_layout.nb_channels);
        }
    }
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    while (codecs[1] && av_read_frame(file, packet) == 0) {
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
    return m;
}

// A redrawn RGB frame (full range) in the codec's terms: 4:2:0 planes with
// the stream's matrix and range, or the G, B and R planes of RGB video.
Bytes as_coded(const Bytes& rgb, int width, int height, const Media& m)
{
    const size_t luma = size_t(width) * height;
    const bool rgb_planes = m.video.find(" gbrp ") != std::string::npos;
    Bytes out(rgb_planes ? 3 * luma : luma + luma / 2);
    if (rgb_planes) {
        for (size_t i = 0; i < luma && rgb.size() == 3 * luma; ++i)
            out[i] = rgb[3 * i + 1], out[luma + i] = rgb[3 * i + 2], out[2 * luma + i] = rgb[3 * i];
        return out;
    }
    SwsContext* c = sws_getContext(width, height, AV_PIX_FMT_RGB24, width, height, AV_PIX_FMT_YUV420P, SWS_BILINEAR,
                                   nullptr, nullptr, nullptr);
    const int* matrix = sws_getCoefficients(m.matrix);
    sws_setColorspaceDetails(c, matrix, 1, matrix, m.range == AVCOL_RANGE_JPEG, 0, 1 << 16, 1 << 16);
    uint8_t* planes[3] = {out.data(), out.data() + luma, out.data() + luma + luma / 4};
    const int strides[3] = {width, width / 2, width / 2}, in_stride[1] = {width * 3};
    const uint8_t* in[1] = {rgb.data()};
    if (rgb.size() == 3 * luma)
        sws_scale(c, in, in_stride, 0, height, planes, strides);
    sws_freeContext(c);
    return out;
}

double psnr(const Bytes& a, const Bytes& b)
{
    double sum = 0;
    for (size_t i = 0; i < a.size() && a.size() == b.size(); ++i)
        sum += double(a[i] - b[i]) * (a[i] - b[i]);
    return a.size() != b.size() ? 0 : sum == 0 ? INFINITY : 10 * std::log10(65025.0 * double(a.size()) / sum);
}

// Where two sample sequences first differ, or -1.
long first_difference(const Samples& a, const Samples& b)
{
    return a == b ? -1 : long(std::mismatch(a.begin(), a.end(), b.begin(), b.end()).first - a.begin());
}

// The engine's level after mixing sound up to frame `until`, for a module
// put in the mix at frame `from`, from the sound alone: the peak of each
// side since the start of the fourth-newest whole 220-frame segment.
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
    // A fine quality, so that the codec's loss stays small beside the
    // change from one frame to the next.
    const std::string d = make_folder("keys"), args = " --seconds 3 --at 2:F3 --at 1:KP4 --seed 7 --crf 10 --log ";
    const Outcome r = run(RENDER_VIDEO, d + "/a.mkv" + args + d + "/a.tsv");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "") << "no progress bar when standard error is a file";
    const Media m = decode(d + "/a.mkv");
    EXPECT_EQ(m.video, "h264 yuv420p 640x480 60/1");
    EXPECT_EQ(m.audio, "flac 44100 2");
    ASSERT_EQ(m.frames.size(), 180u);
    ASSERT_EQ(m.sound.size(), 2u * 3 * 44100);

    // Track 1 loops up to frame 44100 exactly; there keypad 4 starts track
    // 5 from its beginning, and from frame 88200 it plays through the echo.
    Samples want = render_wav(d, "datas/1-ambre.it --loop --seconds 1");
    const Samples fifth = render_wav(d, "datas/5-STONE.IT --seconds 2 --at 1:install_echo");
    want.insert(want.end(), fifth.begin(), fifth.end());
    EXPECT_EQ(first_difference(m.sound, want), -1);

    // One row per frame: render-frame's millisecond clock, the engine's
    // level at the frame's instant, the tint the key drew from the seed.
    const std::vector<Row> rows = read_log(d + "/a.tsv");
    ASSERT_EQ(rows.size(), 181u);
    EXPECT_EQ(rows[0], (Row{"frame", "ms", "left", "right", "tint", "background"}));
    std::srand(7);
    std::string drawn;
    for (const char* sep : {"", ",", ","})  // red, green, blue, in this order
        drawn += sep + std::to_string(std::rand() % 255);
    for (size_t i = 0; i < 180; ++i) {
        const uint32_t level = level_at(m.sound, i < 60 ? 0 : 44100, i * 735);
        const Row want_row = {std::to_string(i), std::to_string(std::lround(i * 1000.0 / 60)),
                              std::to_string(level & 0xffff), std::to_string(level >> 16),
                              i < 60 ? "255,255,255" : drawn, "0"};
        EXPECT_EQ(rows[i + 1], want_row);
    }
    EXPECT_GT(std::stoi(rows[59][2]) + std::stoi(rows[179][3]), 2000) << "the music plays";

    // Frames redrawn from their rows, around the key too, match the decoded
    // ones within the codec's loss, and not their neighbours.
    EXPECT_EQ(m.matrix, AVCOL_SPC_SMPTE170M);
    EXPECT_EQ(m.range, AVCOL_RANGE_MPEG);
    for (size_t i : {0, 59, 60, 61, 179}) {
        const Bytes redrawn = as_coded(render_frame(d, rows[i + 1], "640x480"), 640, 480, m);
        EXPECT_GT(psnr(redrawn, m.frames[i]), 35.0) << i;
        EXPECT_LT(psnr(redrawn, m.frames[i ? i - 1 : 1]), psnr(redrawn, m.frames[i]) - 3) << i;
    }

    // The same command again gives the same file, byte for byte.
    ASSERT_EQ(run(RENDER_VIDEO, d + "/b.mkv" + args + d + "/b.tsv").status, 0);
    EXPECT_TRUE(read_text(d + "/a.mkv") == read_text(d + "/b.mkv"));
    EXPECT_EQ(read_text(d + "/a.tsv"), read_text(d + "/b.tsv"));
    fs::remove_all(d);
}

TEST(RenderVideo, EffectKeysSoundIsRenderWavsAndLosslessFramesAreExact)
{
    // Another frame rate cuts the mixing into other pieces: the sound stays.
    const std::string d = make_folder("effects");
    const Outcome r = run(RENDER_VIDEO, d + "/e.mkv --seconds 3 --at 1:F3 --at 2:F5 --fps 25 --size 320x240 --lossless "
                                            "--log " + d + "/e.tsv");
    ASSERT_EQ(r.status, 0) << r.err;
    const Media m = decode(d + "/e.mkv");
    EXPECT_EQ(m.video, "h264 gbrp 320x240 25/1");
    ASSERT_EQ(m.frames.size(), 75u);
    const Samples want = render_wav(d, "datas/1-ambre.it --loop --seconds 3 --at 1:install_echo --at 2:install_flanger");
    ASSERT_EQ(want.size(), 2u * 3 * 44100);
    EXPECT_EQ(first_difference(m.sound, want), -1);
    EXPECT_NE(first_difference(want, render_wav(d, "datas/1-ambre.it --loop --seconds 3")), -1);
    const std::vector<Row> rows = read_log(d + "/e.tsv");
    for (size_t i : {0, 25, 74})
        EXPECT_TRUE(as_coded(render_frame(d, rows[i + 1], "320x240"), 320, 240, m) == m.frames[i]) << i;
    fs::remove_all(d);
}

TEST(RenderVideo, BadInputGetsOneLineStatusTwoAndNoFile)
{
    const std::string d = make_folder("bad");
    for (std::string args : {
             "OUT --at 1:KP10", "OUT --at 1:ESCAPE", "OUT --at 1:f1", "OUT --at F1", "OUT --at -1:F1",
             "OUT --at 30:F1", "OUT --seconds 3 --at 3:F1", "OUT --size 0x480", "OUT --size 640x0",
             "OUT --size 4098x480", "OUT --size 641x480", "OUT --size 640", "OUT --fps 0", "OUT --fps 241",
             "OUT --seconds 0", "OUT --seconds 0.00001", "OUT --seconds nan", "OUT --seconds 3601", "OUT --crf 52", "OUT --preset fastest",
             "OUT --seed -1", "OUT --seed 4294967296", "OUT --frobnicate", "OUT --seconds", "OUT EXTRA", "",
             "DIR/no/such/folder/out.mkv", "DIR", "OUT --log DIR/no/such/log.tsv", "OUT -C DIR/nowhere",
             "OUT --log OUT"}) {
        for (size_t at; (at = args.find("OUT")) != std::string::npos;)
            args.replace(at, 3, d + "/out.mkv");
        for (size_t at; (at = args.find("DIR")) != std::string::npos;)
            args.replace(at, 3, d);
        const Outcome r = run(RENDER_VIDEO, args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_TRUE(r.err.rfind("render-video: ", 0) == 0 && std::count(r.err.begin(), r.err.end(), '\n') == 1)
            << args << ": " << r.err;
        EXPECT_EQ(entries(d), std::vector<std::string>{}) << args;
    }
    fs::remove_all(d);
}

TEST(RenderVideo, ACaptureThatFailsMidwayLeavesNoFile)
{
    // Without the disk's files: status 1, nothing written.
    const std::string d = make_folder("midway"), empty = make_folder("empty");
    const Outcome r = run(RENDER_VIDEO, d + "/out.mkv --seconds 1 --log " + d + "/out.tsv -C " + empty);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("datas"), std::string::npos) << r.err;
    EXPECT_EQ(entries(d), std::vector<std::string>{});

    // Interrupted while its file is being written.
    const std::string out = d + "/out.mkv";
    pid_t pid = fork();
    if (pid == 0) {
        std::freopen("/dev/null", "w", stderr);
        execl(RENDER_VIDEO, RENDER_VIDEO, out.c_str(), "--seconds", "600", static_cast<char*>(nullptr));
        _exit(127);
    }
    for (int tries = 0; tries < 600 && (entries(d).empty() || fs::file_size(d + "/" + entries(d)[0]) == 0); ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(entries(d).size(), 1u);
    kill(pid, SIGINT);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_EQ(entries(d), std::vector<std::string>{});
    fs::remove_all(d);
    fs::remove_all(empty);
}
