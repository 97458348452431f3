// tools/render_video.cpp: render-video, the disk captured offline into a
// Matroska file (H.264 video, FLAC sound). The program's own parts run with
// only the clock and the audio device driven from here: the engine on
// device 0 is pulled exactly to each frame's instant, start-up's first
// track plays, every scripted key goes through window_proc at its exact
// sample, and each frame is drawn by draw_scene into a hidden surface. The
// main thread is the UI thread and the mixer at once; a second thread
// hands each frame to the encoder (video_encoder.h) while the next one is
// drawn. Its usage is what render-video --help prints.
#include "app/music_disk.h"
#include "platform/gl_surface.h"
#include "platform/message_box.h"
#include "platform/messages.h"
#include "platform/output_file.h"
#include "player/engine.h"
#include "player/track_list.h"
#include "tools/arguments.h"
#include "tools/video_encoder.h"
#include "visuals/scene.h"
#include "visuals/textures.h"

extern "C" {
#include <libavutil/log.h>
}

#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cmath>
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
constexpr int default_crf = 23;
// x264's speed presets, fastest first.
const char* const presets[] = {"ultrafast", "superfast", "veryfast", "faster", "fast",
                               "medium",    "slow",      "slower",   "veryslow"};
// On two cores llvmpipe's drawing keeps both nearly busy, so whatever the
// encoder spends comes off the frame rate. ultrafast (with the 8x8
// transform, video_encoder.cpp) at crf 23 keeps 25 dB over RGB, averaged
// over every frame of 30 s, in about 19 Mbit/s at the least cost; 12 Mbit/s
// at that PSNR takes x264's medium preset, nearly three times the
// processor time a frame.
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

// Written by the encoding thread (through the encoder) while it runs, by
// main otherwise.
OutputFile video_file;
OutputFile log_file;  // main only, and written only at the end

// One video frame's worth of work, handed from the drawing thread to the
// encoding thread: the sound mixed since the previous batch, then the frame.
struct Batch {
    std::vector<int16_t> sound;  // interleaved stereo
    std::vector<uint8_t> rgba;   // bottom row first; unused when last
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

// --- arguments ----------------------------------------------------------------

// No file left behind, status 2: the end after the one line of bad input.
[[noreturn]] void refuse()
{
    output_discard(&video_file);
    output_discard(&log_file);
    std::exit(2);
}

// One line on standard error, then refuse().
[[noreturn]] void bad_input(const char* format, ...)
{
    std::va_list args;
    va_start(args, format);
    std::fputs("render-video: ", stderr);
    std::vfprintf(stderr, format, args);
    std::fputc('\n', stderr);
    va_end(args);
    refuse();
}

// The one statement of the usage: the README and the manual page show it
// too, and a test holds them to it.
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
        if (arg == "--seconds") {
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
            double seconds = 0;
            const char* name;
            const KeyName* key = parse_at(v, max_seconds, key_names, &seconds, &name);
            if (!name)
                bad_input("bad --at '%s': want SECONDS:KEY", v);
            if (!key)
                bad_input("unknown key '%s' in --at '%s': keys are KP0-KP9, KP_ADD, KP_SUBTRACT, F1-F6", name, v);
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
        } else if (int status = tool_other_argument("render-video", argv[i], print_usage); status >= 0) {
            std::exit(status);  // nothing is open yet
        } else if (!o.out) {
            o.out = argv[i];
        } else {
            bad_input("unexpected argument '%s': one output file only", arg.c_str());
        }
    }
    if (!o.out)
        bad_input("needs an output file (see render-video --help)");
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
    std::fprintf(stderr, "render-video: cannot write '%s': %s\n", f.path.c_str(), output_reason(f));
    return 0;
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
        unlinkat(int(video_file.folder_handle), video_file.name.c_str(), 0);
        return cannot_write(log_file);
    }
    return 1;
}

// --- the disk ----------------------------------------------------------------------

// The swap hook: the finished frame into the batch being filled. RGBA is
// llvmpipe's cheapest read-back (0.16 ms a 640 x 480 frame, against 0.18
// for packed RGB and 0.25 for BGRA) and the easiest to convert.
void read_frame()
{
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, frame_width, frame_height, GL_RGBA, GL_UNSIGNED_BYTE, frame_target);
}

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
        // Read before the slot is handed back: the drawing thread refills
        // it at once, the last batch's flag included.
        const Batch& b = batches[n % batch_count];
        const bool last = b.last;
        int ok = encoder_sound(b.sound.data(), b.sound.size() / 2);
        ok = ok && (last ? encoder_finish() : encoder_picture(b.rgba.data(), b.pts));
        {
            std::lock_guard<std::mutex> lock(handoff);
            ++batches_done;
            encoder_failed = !ok;
        }
        handoff_changed.notify_all();
        if (!ok || last)
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
                      in.level & 0xffff, in.level >> 16, in.tint[0] & 0xff, in.tint[1] & 0xff, in.tint[2] & 0xff,
                      in.background);
        *log_rows += row;
        b->rgba.resize(size_t(o.width) * o.height * 4);
        frame_target = b->rgba.data();
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
    if (!encoder_open(&video_file, {o.width, o.height, o.fps, o.lossless, o.crf, o.preset}))
        return 0;

    platform_set_swap_hook(read_frame);
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
    // The GL library allocates and frees a frame-sized block on every frame
    // (the read-back, the swap). glibc gives blocks that large back to the
    // kernel at once, and each frame then takes some 300 page faults to get
    // them back zeroed, over a millisecond of processor time. Freed memory
    // kept in the process, they cost nothing.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    // A signal ends the capture wherever it is, a load stuck on a pipe
    // included, and leaves older files as they were.
    output_exit_on_signals("render-video");
    // Before -C, since relative names count from where we are; and before
    // any work, so that an output we may not replace is refused at once.
    if (!output_check(&video_file, o.out))
        bad_input("cannot write '%s': %s", o.out, output_reason(video_file));
    if (o.log && !output_check(&log_file, o.log))
        bad_input("cannot write '%s': %s", o.log, output_reason(log_file));
    if (o.log && output_same(video_file, log_file))
        bad_input("the log cannot be the video file");
    if (o.directory && chdir(o.directory) != 0)
        bad_input("cannot work in '%s': %s", o.directory, std::strerror(errno));
    struct stat datas;
    if (stat("datas", &datas) != 0 || !S_ISDIR(datas.st_mode))
        bad_input("no datas/ folder in '%s' (see -C)", o.directory ? o.directory : ".");
    // Every file a key may ask for, not only those of start-up: a capture
    // would otherwise fail or go silent halfway. Each is named as from
    // where the command was given.
    const std::string shown = o.directory ? std::string(o.directory) + "/" : "";
    for (const char* picture : picture_files)
        if (tool_input_missing("render-video", datas_folder + std::string(picture), shown + datas_folder + picture))
            refuse();
    for (const Track& track : track_list)
        if (tool_input_missing("render-video", track.file, shown + track.file))
            refuse();
    if (!output_open(&video_file))
        bad_input("cannot write '%s': %s", o.out, output_reason(video_file));

    std::string log_rows;
    double seconds_taken = 0;
    int ok = capture(o, &log_rows, &seconds_taken);
    encoder_close();
    if (video_file.error)
        ok = cannot_write(video_file);
    ok = ok && place_files(o, log_rows);
    struct stat st;
    if (ok && fstat(int(video_file.handle), &st) == 0) {
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
