// tests/tools/render/render_video_test.cpp: render-video run as a program in the
// build tree, its file decoded with FFmpeg's libraries: the sound must be
// render-wav's bit for bit, each log row must follow from the decoded sound
// at the frame's instant, and each frame must be render-frame's for its row.
// Also: the README and the manual pages show each tool's --help.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include "tests/tools/render/tool_process.h"

#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iterator>
#include <numeric>
#include <regex>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

using Samples = std::vector<int16_t>;  // interleaved stereo
using Bytes = std::vector<uint8_t>;

// This process's folder; each test starts with it holding an empty out/.
const std::string d = testing::TempDir() + "render_video_test_" + std::to_string(getpid());

void clear_folder()
{
    fs::remove_all(d);
    fs::create_directories(d + "/out");
}

// Runs a command in the build tree (where datas/ is): its exit status (-1
// when it did not exit) and standard error.
std::pair<int, std::string> run(const std::string& command)
{
    return run_tool(command, d + "/err");
}

// The log a capture must write, heading first: per frame, the clock as render-frame takes it, the
// engine's level from the decoded sound (each side's peak since the start of the fourth-newest whole
// 220-frame segment of the playing module), the tint and the background. A track key at sample
// `key` starts another module and brings `tint`.
std::vector<std::string> model_log(const Samples& sound, int fps, int frames, size_t key, const std::string& tint)
{
    std::vector<std::string> lines = {"frame\tms\tleft\tright\ttint\tbackground\n"};
    for (int i = 0; i < frames; ++i) {
        const size_t until = size_t(std::lround(i * 44100.0 / fps)), from = until < key ? 0 : key;
        const size_t whole = (until - from) / 220;
        int peak[2] = {};
        for (size_t f = from + 220 * (whole > 4 ? whole - 4 : 0); f < until; ++f)
            for (int side : {0, 1})
                peak[side] = std::max(peak[side], std::abs(int(sound[2 * f + side])));
        lines.push_back(std::to_string(i) + "\t" + std::to_string(std::lround(i * 1000.0 / fps)) + "\t" +
                        std::to_string(peak[0]) + "\t" + std::to_string(peak[1]) + "\t" +
                        (until < key ? "255,255,255" : tint) + "\t0\n");
    }
    return lines;
}

// What render-frame draws for a log line: RGB, top row first, or empty.
Bytes redraw(const std::string& line, int width, int height)
{
    std::istringstream row(line);
    const std::vector<std::string> r{std::istream_iterator<std::string>(row), {}};  // frame, ms, left, right, ...
    const std::string png = d + "/frame.png", args = png + " --time " + std::to_string(std::stoi(r[1]) / 1000.0) +
        " --level-left " + r[2] + " --level-right " + r[3] + " --tint " + r[4] + " --background " + r[5] +
        " --size " + std::to_string(width) + "x" + std::to_string(height);
    EXPECT_EQ(run(RENDER_FRAME " " + args).first, 0) << args;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    Bytes rgb;
    if (png_image_begin_read_from_file(&image, png.c_str())) {
        image.format = PNG_FORMAT_RGB;
        rgb.resize(PNG_IMAGE_SIZE(image));
        png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr);
    }
    return rgb.size() == size_t(width) * height * 3 ? rgb : Bytes();
}

// Converts packed planes (as Media keeps them) between RGB and a pixel
// format with swscale, as a player does: BT.601's matrix and limited range
// for 4:2:0, the colour spread back out bilinearly.
Bytes convert(const Bytes& in, int width, int height, AVPixelFormat from, AVPixelFormat to)
{
    Bytes out(av_image_get_buffer_size(to, width, height, 1));
    if (in.size() != size_t(av_image_get_buffer_size(from, width, height, 1)))
        return {};
    SwsContext* c = sws_getContext(width, height, from, width, height, to,
                                   SWS_BILINEAR | SWS_FULL_CHR_H_INT | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
    const int* bt601 = sws_getCoefficients(SWS_CS_ITU601);
    sws_setColorspaceDetails(c, bt601, from != AV_PIX_FMT_YUV420P, bt601, to != AV_PIX_FMT_YUV420P, 0, 1 << 16,
                             1 << 16);
    uint8_t* out_planes[4];
    int out_strides[4];
    const uint8_t* in_planes[4];
    int in_strides[4];
    av_image_fill_arrays(out_planes, out_strides, out.data(), to, width, height, 1);
    av_image_fill_arrays(const_cast<uint8_t**>(in_planes), in_strides, in.data(), from, width, height, 1);
    sws_scale(c, in_planes, in_strides, 0, height, out_planes, out_strides);
    sws_freeContext(c);
    return out;
}

// What render-frame draws for a log line, in the planes of the video's
// pixel format.
Bytes render_frame(const std::string& line, int width, int height, AVPixelFormat pixels)
{
    return convert(redraw(line, width, height), width, height, AV_PIX_FMT_RGB24, pixels);
}

struct Media {
    std::string streams;  // "container: codec pixels WxH rate matrix range; codec rate channels;"
    AVPixelFormat pixels = AV_PIX_FMT_NONE;
    std::vector<Bytes> frames;  // the codec's own samples, plane after plane
    Samples sound;
};

void take_frames(AVCodecContext* codec, AVFrame* f, Media* m)
{
    while (avcodec_receive_frame(codec, f) == 0) {
        const int16_t* s = reinterpret_cast<const int16_t*>(f->data[0]);
        if (codec->codec_type == AVMEDIA_TYPE_AUDIO && f->format == AV_SAMPLE_FMT_S16 && f->ch_layout.nb_channels == 2)
            m->sound.insert(m->sound.end(), s, s + 2 * f->nb_samples);
        if (codec->codec_type != AVMEDIA_TYPE_VIDEO)
            continue;
        m->pixels = AVPixelFormat(f->format);
        Bytes planes(av_image_get_buffer_size(m->pixels, f->width, f->height, 1));
        av_image_copy_to_buffer(planes.data(), int(planes.size()), f->data, f->linesize, m->pixels, f->width,
                                f->height, 1);
        m->frames.push_back(std::move(planes));
    }
}

// Every frame and sample of a file, through FFmpeg's own decoders.
Media decode(const std::string& path)
{
    Media m;
    AVFormatContext* file = nullptr;
    if (avformat_open_input(&file, path.c_str(), nullptr, nullptr) < 0)
        return m;
    avformat_find_stream_info(file, nullptr);
    m.streams = std::string(file->iformat->name) + ":";
    std::vector<AVCodecContext*> codecs;
    for (unsigned k = 0; k < file->nb_streams; ++k) {
        const AVStream* s = file->streams[k];
        const AVCodecParameters* par = s->codecpar;
        codecs.push_back(avcodec_alloc_context3(avcodec_find_decoder(par->codec_id)));
        avcodec_parameters_to_context(codecs[k], par);
        avcodec_open2(codecs[k], nullptr, nullptr);
        char text[128];
        if (par->codec_type == AVMEDIA_TYPE_VIDEO)
            std::snprintf(text, sizeof text, " %s %s %dx%d %d/%d %s %s;", avcodec_get_name(par->codec_id),
                          av_get_pix_fmt_name(AVPixelFormat(par->format)), par->width, par->height,
                          s->avg_frame_rate.num, s->avg_frame_rate.den, av_color_space_name(par->color_space),
                          av_color_range_name(par->color_range));
        else
            std::snprintf(text, sizeof text, " %s %d %d;", avcodec_get_name(par->codec_id), par->sample_rate,
                          par->ch_layout.nb_channels);
        m.streams += text;
    }
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    while (av_read_frame(file, packet) == 0) {
        if (avcodec_send_packet(codecs[packet->stream_index], packet) == 0)
            take_frames(codecs[packet->stream_index], frame, &m);
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

// render-wav's samples for a module and options.
Samples render_wav(const std::string& module, const std::string& options)
{
    EXPECT_EQ(run(RENDER_WAV " " + module + " " + d + "/s.wav " + options).first, 0) << options;
    return decode(d + "/s.wav").sound;
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

// text's words, one space between.
std::string words(const std::string& text)
{
    std::istringstream in(text);
    std::string word, joined;
    while (in >> word)
        joined += (joined.empty() ? "" : " ") + word;
    return joined;
}

// The synopsis of a tool's --help: its usage line and the lines that carry
// it on, without "usage: ".
std::string help_synopsis(const std::string& tool)
{
    EXPECT_EQ(std::system((tool + " --help >" + d + "/help").c_str()), 0) << tool;
    std::istringstream lines(read_text(d + "/help"));
    std::string synopsis, line;
    while (std::getline(lines, line) && (synopsis.empty() ? line.rfind("usage: ", 0) == 0 : line[0] == ' '))
        synopsis += line + " ";
    return words(synopsis.substr(synopsis.empty() ? 0 : 7));
}

// A manual page's synopsis as plain text: .B and .I give their words, .RB,
// .IR and the like run theirs together.
std::string man_synopsis(std::string page)
{
    page = std::regex_replace(page, std::regex(R"(\\-)"), "-");
    std::istringstream lines(page.substr(std::min(page.find(".SH SYNOPSIS\n"), page.size())));
    std::string line, text;
    std::getline(lines, line);  // the heading
    while (std::getline(lines, line) && line.rfind(".SH", 0) != 0) {
        std::istringstream macro(line);
        std::string name, argument, joined;
        macro >> name;
        while (macro >> std::quoted(argument))
            joined += argument + (name.size() == 2 ? " " : "");
        text += joined + " ";
    }
    return words(text);
}

}  // namespace

TEST(RenderTools, ReadmeAndManualPagesShowTheSynopsisOfHelp)
{
    // --help owns each tool's usage; the copies for readers must keep up.
    clear_folder();
    const std::string readme = words(read_text(SOURCE_DIR "/README.md"));
    struct Case {
        std::string name;
        const char* program;
    };
    for (const Case& c : {Case{"render-video", RENDER_VIDEO}, Case{"render-wav", RENDER_WAV},
                          Case{"render-frame", RENDER_FRAME}, Case{"make-datas", MAKE_DATAS}}) {
        const std::string synopsis = help_synopsis(c.program);
        EXPECT_TRUE(readme.find("`" + synopsis + "`") != std::string::npos) << c.name << " in the README: " << synopsis;
        const std::string page = read_text(SOURCE_DIR "/packaging/man/" + c.name + ".1");
        EXPECT_EQ(man_synopsis(page), synopsis) << c.name << "'s manual page";
    }
    fs::remove_all(d);
}

TEST(RenderVideo, EffectKeysSoundIsRenderWavsAndEachFrameIsItsLogRow)
{
    // At crf 10 the codec's loss stays small beside the change between frames.
    clear_folder();
    ASSERT_EQ(run(RENDER_VIDEO " " + d + "/a.mkv --seconds 3 --at 1:F3 --at 2:F5 --crf 10 --log " + d + "/a.tsv"),
              std::make_pair(0, std::string())) << "no progress bar when standard error is a file";
    const Media m = decode(d + "/a.mkv");
    EXPECT_EQ(m.streams, "matroska,webm: h264 yuv420p 640x480 60/1 smpte170m tv; flac 44100 2;");
    ASSERT_EQ(m.frames.size(), 180u);
    ASSERT_EQ(m.sound.size(), 2u * 3 * 44100);
    const Samples wav = render_wav("datas/1-ambre.it", "--loop --seconds 3 --at 1:install_echo --at 2:install_flanger");
    EXPECT_EQ(first_difference(m.sound, wav), -1);

    // Frames redrawn from their rows, around a key too, match the decoded
    // ones within the codec's loss, and not their neighbours.
    const std::vector<std::string> log = model_log(m.sound, 60, 180, SIZE_MAX, "");
    EXPECT_EQ(read_text(d + "/a.tsv"), std::accumulate(log.begin(), log.end(), std::string()));
    for (size_t i : {0, 60, 179}) {
        const Bytes redrawn = render_frame(log[i + 1], 640, 480, m.pixels);
        EXPECT_GT(psnr(redrawn, m.frames[i]), 35.0) << i;
        EXPECT_LT(psnr(redrawn, m.frames[i ? i - 1 : 1]), psnr(redrawn, m.frames[i]) - 3) << i;
    }
    fs::remove_all(d);
}

TEST(RenderVideo, TheDefaultsKeep25DbOverRgbOnAverageAndGiveOneFile)
{
    // The default quality as a player shows it: every 10th frame of a
    // default capture (from the 5th, past the key frame), decoded and turned
    // back into RGB, against render-frame's redraw of its row, 25 dB on
    // average at the least. The same command again gives the same file,
    // byte for byte.
    clear_folder();
    const std::string args = " --seconds 2 --log ";
    ASSERT_EQ(run(RENDER_VIDEO " " + d + "/a.mkv" + args + d + "/a.tsv"), std::make_pair(0, std::string()));
    const Media m = decode(d + "/a.mkv");
    ASSERT_EQ(m.pixels, AV_PIX_FMT_YUV420P);
    ASSERT_EQ(m.frames.size(), 120u);
    std::istringstream rows(read_text(d + "/a.tsv"));
    std::vector<std::string> log;
    for (std::string row; std::getline(rows, row);)
        log.push_back(row);
    ASSERT_EQ(log.size(), 121u);
    double sum = 0;
    for (size_t i = 5; i < 120; i += 10) {
        const double db = psnr(redraw(log[i + 1], 640, 480),
                               convert(m.frames[i], 640, 480, AV_PIX_FMT_YUV420P, AV_PIX_FMT_RGB24));
        EXPECT_GT(db, 20.0) << i;
        sum += db;
    }
    EXPECT_GE(sum / 12, 25.0);

    ASSERT_EQ(run(RENDER_VIDEO " " + d + "/b.mkv" + args + d + "/b.tsv").first, 0);
    EXPECT_TRUE(read_text(d + "/a.mkv") == read_text(d + "/b.mkv"));
    fs::remove_all(d);
}

TEST(RenderVideo, ATrackKeyBetweenFramesPlaysFromItsSampleAndLosslessFramesAreExact)
{
    // Keypad 4 at 1.01 s, between frames 25 and 26: track 1 loops up to
    // sample 44541, then track 5 plays from its beginning under a tint
    // drawn from the seed. The sound runs on past the last frame's instant
    // to 2.01 s. The same command again gives the same file.
    clear_folder();
    const std::string args = " --seconds 2.01 --at 1.01:KP4 --seed 7 --fps 25 --size 320x240 --lossless --log ";
    ASSERT_EQ(run(RENDER_VIDEO " " + d + "/a.mkv" + args + d + "/a.tsv"), std::make_pair(0, std::string()));
    const Media m = decode(d + "/a.mkv");
    EXPECT_EQ(m.streams, "matroska,webm: h264 gbrp 320x240 25/1 gbr pc; flac 44100 2;");
    ASSERT_EQ(m.frames.size(), 51u);
    Samples want = render_wav("datas/1-ambre.it", "--loop --seconds 1.01");
    const Samples fifth = render_wav("datas/5-STONE.IT", "--seconds 1");
    want.insert(want.end(), fifth.begin(), fifth.end());
    EXPECT_EQ(first_difference(m.sound, want), -1);

    std::srand(7);
    const int red = std::rand() % 255, green = std::rand() % 255, blue = std::rand() % 255;  // in this order
    const std::string drawn = std::to_string(red) + "," + std::to_string(green) + "," + std::to_string(blue);
    const std::vector<std::string> log = model_log(m.sound, 25, 51, 44541, drawn);
    EXPECT_EQ(read_text(d + "/a.tsv"), std::accumulate(log.begin(), log.end(), std::string()));
    for (size_t i : {0, 25, 26, 50})
        EXPECT_TRUE(render_frame(log[i + 1], 320, 240, m.pixels) == m.frames[i]) << i;

    // Again over older files, under another umask: they are replaced, and
    // get the permissions of a new file.
    std::ofstream(d + "/b.mkv") << "old";
    fs::permissions(d + "/b.mkv", fs::perms::owner_read | fs::perms::owner_write);
    std::ofstream(d + "/b.tsv") << "old";
    ASSERT_EQ(run("umask 027; " RENDER_VIDEO " " + d + "/b.mkv" + args + d + "/b.tsv").first, 0);
    EXPECT_TRUE(read_text(d + "/a.mkv") == read_text(d + "/b.mkv"));
    EXPECT_EQ(read_text(d + "/a.tsv"), read_text(d + "/b.tsv"));
    for (const char* name : {"/b.mkv", "/b.tsv"})
        EXPECT_EQ(int(fs::status(d + name).permissions()), 0640) << name;
    fs::remove_all(d);
}

TEST(RenderVideo, BadInputOrAnOutputThatCannotBeWrittenIsStatus2AndLeavesNoFile)
{
    // Each check of the arguments and the files once: one line, status 2.
    // Run in a folder whose datas/ holds every file empty, so that a check
    // left out ends at start-up, status 1, instead of in a capture.
    clear_folder();
    fs::create_directories(d + "/nodisk/datas");
    for (const fs::directory_entry& e : fs::directory_iterator("datas"))
        std::ofstream(d + "/nodisk/datas/" + e.path().filename().string());
    const std::string out = d + "/out/out.mkv";
    for (std::string args : {"OUT --at 1:KP10", "OUT --at F1", "OUT --at -1:F1", "OUT --seconds 3 --at 3:F1",
                             "OUT --size 0x480", "OUT --size 4098x480", "OUT --size 641x480", "OUT --size 640",
                             "OUT --fps 241", "OUT --seconds 0.00001", "OUT --seconds nan", "OUT --seconds 3601",
                             "OUT --seconds 0x10", "OUT --seconds 1e1",
                             "OUT --crf 52", "OUT --preset fastest", "OUT --seed 4294967296",
                             "OUT --seconds", "OUT EXTRA", "", "DIR/no/such/out.mkv", "DIR", "OUT --log OUT",
                             "OUT --log DIR/no/such/log.tsv", "OUT -C DIR/nowhere", "OUT -C DIR"}) {
        args = std::regex_replace(std::regex_replace(args, std::regex("OUT"), out), std::regex("DIR"), d + "/out");
        const auto [status, err] = run(RENDER_VIDEO " -C " + d + "/nodisk " + args);
        EXPECT_EQ(status, 2) << args << ": " << err;
        EXPECT_EQ(err.rfind("render-video: ", 0), 0u) << args << ": " << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << args << ": " << err;
        EXPECT_TRUE(fs::is_empty(d + "/out")) << args;
    }

    // A disk that fills mid-capture, as a file size limit makes it: a write
    // past the limit fails with EFBIG where a full disk gives ENOSPC. Unlike
    // a small tmpfs, which needs a user namespace, a limit can be set by any
    // user anywhere. Its signal is left as it is: render-video ignores it.
    const std::string limited = "prlimit --fsize=1000000 " RENDER_VIDEO " " + out + " --seconds 1 --lossless --log ";
    EXPECT_EQ(run(limited + d + "/out/log.tsv"), std::make_pair(2, "render-video: cannot write '" + out +
                                                                       "': File too large\n"));
    EXPECT_TRUE(fs::is_empty(d + "/out")) << "a full disk";

    // With the disk's files there but unreadable: status 1, nothing left.
    EXPECT_EQ(run(RENDER_VIDEO " " + out + " --seconds 1 --log " + out + ".tsv -C " + d + "/nodisk").first, 1);
    EXPECT_TRUE(fs::is_empty(d + "/out")) << "no disk";
    fs::remove_all(d);
}

TEST(RenderVideo, ACaptureCutShortLeavesTheFolderAsItWas)
{
    // Signalled once its file has grown (lossless: it grows soonest), even
    // with both cores busy: interrupted, it ends with status 1 and an older
    // file of its name stays; killed, it has no say and still leaves
    // nothing, not even a temporary file.
    struct Case {
        const char* name;
        int signal;
        int status;
        const char* old;  // the output's content before, and after
    };
    const std::string out = d + "/out/out.mkv";
    for (Case c : {Case{"interrupted", SIGINT, 1, "old"}, Case{"killed", SIGKILL, 128 + SIGKILL, ""}}) {
        clear_folder();
        if (*c.old)
            std::ofstream(out) << c.old;
        const std::string args = " --seconds 600 --lossless --log " + d + "/out/log.tsv";
        const pid_t pid = start_tool(RENDER_VIDEO " " + out + args, d + "/err");
        EXPECT_TRUE(wait_until(pid, [&] { return holds_file_in(pid, d + "/out", 0); }))
            << c.name << ": " << read_text(d + "/err");
        kill(pid, c.signal);
        EXPECT_EQ(finish_tool(pid), c.status) << c.name << ": " << read_text(d + "/err");
        EXPECT_EQ(listing(d + "/out"), *c.old ? "out.mkv" : "") << c.name;
        EXPECT_EQ(read_text(out), c.old) << c.name;
    }

    // Unable to put its log in place at the end (held while the log's name
    // becomes a folder): status 2, and no video without its log.
    clear_folder();
    const pid_t pid = start_tool(RENDER_VIDEO " " + out + " --seconds 1 --log " + d + "/out/log.tsv", d + "/err");
    EXPECT_TRUE(wait_until(pid, [&] { return holds_file_in(pid, d + "/out", -1); })) << read_text(d + "/err");
    kill(pid, SIGSTOP);
    int stopped = 0;
    waitpid(pid, &stopped, WUNTRACED);
    fs::create_directory(d + "/out/log.tsv");
    kill(pid, SIGCONT);
    EXPECT_EQ(finish_tool(pid), 2) << read_text(d + "/err");
    EXPECT_EQ(listing(d + "/out"), "log.tsv") << "only the folder made in its way";
    fs::remove_all(d);
}
