// tools/render_wav.cpp: render-wav, plays a module through the engine with
// no device and writes what the mixer produced as a WAV file, block by block
// as it is mixed, running effect commands at chosen times. One thread: it is both the UI and the mixer.
// Its usage is what render-wav --help prints.
#include "platform/output_file.h"
#include "player/effects.h"
#include "player/engine.h"
#include "tools/arguments.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr size_t block_frames = 1024;  // the block the mixer runs at
constexpr double max_seconds = 3600.0;
// The most a WAV's 32-bit lengths can count.
constexpr size_t max_wav_frames = (UINT32_MAX - 36) / 4;

struct Command {
    const char* name;
    void (*run)(uint32_t channel);
};

const Command commands[] = {
    {"install_pan_sweep", install_pan_sweep}, {"remove_pan_sweep", remove_pan_sweep},
    {"install_echo", install_echo},           {"remove_echo", remove_echo},
    {"install_flanger", install_flanger},     {"remove_flanger", remove_flanger},
};

struct Timed {
    size_t sample;  // runs once exactly this many frames are mixed
    const Command* command;
    double seconds;
};

// The one statement of the usage: the README and the manual page show it
// too, and a test holds them to it.
void print_usage(FILE* to)
{
    std::fprintf(to, "usage: render-wav MODULE OUT.wav [--seconds S] [--loop] [--at SECONDS:COMMAND]...\n"
                     "commands:");
    for (const Command& c : commands)
        std::fprintf(to, " %s", c.name);
    std::fprintf(to, "\n");
}

// One line on standard error; status 2, that of a wrong command line.
int usage(const char* why)
{
    std::fprintf(stderr, "render-wav: %s\n", why);
    return 2;
}

// The 44-byte header of 16-bit stereo PCM at ENGINE_RATE, data_bytes long.
void wav_header(uint8_t* out, uint32_t data_bytes)
{
    auto put = [&out](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            *out++ = uint8_t(v >> (8 * i));
    };
    auto tag = [&out](const char* four) {
        std::memcpy(out, four, 4);
        out += 4;
    };
    tag("RIFF");
    put(36 + data_bytes, 4);
    tag("WAVE");
    tag("fmt ");
    put(16, 4);
    put(1, 2);  // PCM
    put(2, 2);  // channels
    put(ENGINE_RATE, 4);
    put(ENGINE_RATE * 4, 4);  // bytes per second
    put(4, 2);                // bytes per frame
    put(16, 2);               // bits per sample
    tag("data");
    put(data_bytes, 4);
}

// The file goes out block by block as the mixer makes it; the header,
// whose lengths are known only at the end, is written over its place last.
OutputFile wav_file;
int peak_left, peak_right;

// Appends frames of interleaved stereo to the file, little-endian.
int write_frames(const int16_t* samples, size_t frames)
{
    uint8_t bytes[4 * block_frames];
    for (size_t i = 0; i < 2 * frames; i += 2) {
        peak_left = std::max(peak_left, std::abs(int(samples[i])));
        peak_right = std::max(peak_right, std::abs(int(samples[i + 1])));
        for (size_t k = 0; k < 2; ++k) {
            bytes[2 * (i + k)] = uint8_t(samples[i + k]);
            bytes[2 * (i + k) + 1] = uint8_t(uint16_t(samples[i + k]) >> 8);
        }
    }
    return output_write(&wav_file, bytes, 4 * frames);
}

// One line naming the file and the reason; status 2, as for a bad argument.
int cannot_write()
{
    std::fprintf(stderr, "render-wav: cannot write '%s': %s\n", wav_file.path.c_str(), output_reason(wav_file));
    output_discard(&wav_file);
    return 2;
}

// Reads a module that is not a regular file, up to the engine's 64 MiB: a
// pipe may never end. 1, or 0 after saying why.
int read_stream(const char* path, std::vector<uint8_t>* bytes)
{
    constexpr size_t max_bytes = 64u << 20;
    FILE* f = std::fopen(path, "rb");
    if (!f) {
        std::fprintf(stderr, "render-wav: cannot open '%s': %s\n", path, std::strerror(errno));
        return 0;
    }
    uint8_t block[65536];
    size_t got;
    // One byte past the limit tells a stream that is too long.
    while (bytes->size() <= max_bytes && (got = std::fread(block, 1, sizeof block, f)) > 0)
        bytes->insert(bytes->end(), block, block + got);
    const bool failed = std::ferror(f);
    std::fclose(f);
    if (failed)
        std::fprintf(stderr, "render-wav: cannot read '%s'\n", path);
    else if (bytes->size() > max_bytes)
        std::fprintf(stderr, "render-wav: '%s' holds more than 64 MiB, more than any module\n", path);
    return !failed && bytes->size() <= max_bytes;
}

}  // namespace

int main(int argc, char** argv)
{
    const char* module_path = nullptr;
    const char* wav_path = nullptr;
    double seconds = -1;
    bool loop = false;
    std::vector<Timed> timed;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--seconds") {
            if (i + 1 >= argc || !parse_seconds(argv[++i], max_seconds, &seconds))
                return usage("--seconds needs a number of seconds from 0 to 3600");
        } else if (arg == "--loop") {
            loop = true;
        } else if (arg == "--at") {
            if (i + 1 >= argc)
                return usage("--at needs SECONDS:COMMAND");
            const std::string at_arg = argv[++i];
            double at = 0;
            const char* name;
            const Command* found = parse_at(at_arg.c_str(), max_seconds, commands, &at, &name);
            if (!name)
                return usage(("bad --at '" + at_arg + "': want SECONDS:COMMAND").c_str());
            if (!found)
                return usage(("unknown command '" + std::string(name) + "'").c_str());
            // The frame nearest the time, as render-video presses its keys.
            timed.push_back({size_t(std::llround(at * ENGINE_RATE)), found, at});
        } else if (int status = tool_other_argument("render-wav", argv[i], print_usage); status >= 0) {
            return status;
        } else if (!module_path) {
            module_path = argv[i];
        } else if (!wav_path) {
            wav_path = argv[i];
        } else {
            return usage(("unexpected argument '" + arg + "'").c_str());
        }
    }
    if (!module_path || !wav_path)
        return usage("needs a module and an output file (see render-wav --help)");
    if (loop && seconds < 0)
        return usage("--loop plays forever: give --seconds too");
    // Commands at the same frame run in the order given.
    std::stable_sort(timed.begin(), timed.end(), [](const Timed& a, const Timed& b) { return a.sample < b.sample; });
    // The output and the input before any work: refused now rather than
    // after the render.
    output_exit_on_signals("render-wav");
    if (!output_check(&wav_file, wav_path))
        return cannot_write();
    if (tool_input_missing("render-wav", module_path)) {
        output_discard(&wav_file);
        return 2;
    }
    uint8_t header[44];
    wav_header(header, 0);
    if (!output_open(&wav_file) || !output_write(&wav_file, header, 44))
        return cannot_write();

    if (!audio_init(0, ENGINE_RATE, 0, nullptr)) {
        std::fprintf(stderr, "render-wav: the engine did not start\n");
        return 1;
    }
    // The engine takes only regular files by name: a pipe given here (a
    // shell's <(...), /dev/stdin) is read by us and handed over in memory.
    const uint32_t load_flags = loop ? MUSIC_LOOP | MUSIC_RAMP : MUSIC_RAMP;
    uint32_t channel = 0;
    std::error_code status_error;
    const auto type = std::filesystem::status(tool_path(module_path), status_error).type();
    if (type == std::filesystem::file_type::regular || type == std::filesystem::file_type::not_found) {
        channel = music_load(0, module_path, 0, 0, load_flags);
    } else {
        std::vector<uint8_t> bytes;
        if (!read_stream(module_path, &bytes)) {
            audio_shutdown();
            return 1;
        }
        channel = music_load(1, reinterpret_cast<const char*>(bytes.data()), 0, uint32_t(bytes.size()), load_flags);
    }
    if (!channel) {
        std::fprintf(stderr, "render-wav: cannot load '%s' as a module\n", module_path);
        audio_shutdown();
        return 1;
    }
    music_play_ex(channel, 0, -1, 1);

    // Without --seconds: until the module ends, in whole blocks.
    size_t total_frames = seconds < 0 ? max_wav_frames : size_t(std::llround(seconds * ENGINE_RATE));
    int16_t block[2 * block_frames];
    size_t next = 0, frames = 0;
    int written = 1;
    while (written && frames < total_frames) {
        if (seconds < 0 && !channel_is_active(channel))
            break;
        // A block is cut short where a command falls inside it.
        const size_t block_end = std::min(frames + block_frames, total_frames);
        for (size_t at = frames; at < block_end;) {
            while (next < timed.size() && timed[next].sample <= at)
                timed[next++].command->run(channel);
            size_t until = next < timed.size() ? std::min(block_end, timed[next].sample) : block_end;
            audio_render(block + 2 * (at - frames), until - at);
            at = until;
        }
        written = write_frames(block, block_end - frames);
        frames = block_end;
    }
    if (written && seconds < 0 && frames == max_wav_frames && channel_is_active(channel))
        std::fprintf(stderr, "render-wav: cut at %zu frames, the most a WAV file holds\n", frames);
    for (; written && next < timed.size(); ++next)
        std::fprintf(stderr, "render-wav: %s at %g s is past the end; not run\n", timed[next].command->name,
                     timed[next].seconds);
    audio_shutdown();

    wav_header(header, uint32_t(frames * 4));
    if (!written || !output_write_at(&wav_file, header, 44, 0) || !output_stage(&wav_file) ||
        !output_commit(&wav_file))
        return cannot_write();
    output_discard(&wav_file);
    std::printf("%s: %zu frames (%.3f s) at %u Hz, peak left %d, right %d (of 32768)\n", wav_path, frames,
                double(frames) / ENGINE_RATE, ENGINE_RATE, peak_left, peak_right);
    return 0;
}
