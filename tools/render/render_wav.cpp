// tools/render/render_wav.cpp: render-wav, plays a module through the engine with
// no device and writes what the mixer produced as a WAV file, running effect
// commands at chosen times. One thread: it is both the UI and the mixer.
// Its usage is what render-wav --help prints.
#include "player/effects.h"
#include "player/engine.h"
#include "tools/arguments.h"
#include "tools/write_file.h"

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

int usage(const char* why)
{
    std::fprintf(stderr, "render-wav: %s\n", why);
    print_usage(stderr);
    return 2;
}

void put_u16(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void put_u32(std::vector<uint8_t>& out, uint32_t v)
{
    put_u16(out, v & 0xffff);
    put_u16(out, v >> 16);
}

int write_wav(const char* path, const std::vector<int16_t>& samples)
{
    uint32_t data_bytes = uint32_t(samples.size() * 2);
    std::vector<uint8_t> out;
    out.reserve(44 + data_bytes);
    out.insert(out.end(), {'R', 'I', 'F', 'F'});
    put_u32(out, 36 + data_bytes);
    out.insert(out.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put_u32(out, 16);
    put_u16(out, 1);  // PCM
    put_u16(out, 2);  // channels
    put_u32(out, ENGINE_RATE);
    put_u32(out, ENGINE_RATE * 4);  // bytes per second
    put_u16(out, 4);                // bytes per frame
    put_u16(out, 16);               // bits per sample
    out.insert(out.end(), {'d', 'a', 't', 'a'});
    put_u32(out, data_bytes);
    for (int16_t s : samples)
        put_u16(out, uint16_t(s));
    return write_whole_file(path, out);
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
        if (arg == "--help" || arg == "-h") {
            print_usage(stdout);
            return 0;
        } else if (arg == "--seconds") {
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
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usage(("unknown option '" + arg + "'").c_str());
        } else if (!module_path) {
            module_path = argv[i];
        } else if (!wav_path) {
            wav_path = argv[i];
        } else {
            return usage(("unexpected argument '" + arg + "'").c_str());
        }
    }
    if (!module_path || !wav_path)
        return usage("needs a module and an output file");
    if (loop && seconds < 0)
        return usage("--loop plays forever: give --seconds too");
    // Commands at the same frame run in the order given.
    std::stable_sort(timed.begin(), timed.end(), [](const Timed& a, const Timed& b) { return a.sample < b.sample; });

    if (!audio_init(0, ENGINE_RATE, 0, nullptr)) {
        std::fprintf(stderr, "render-wav: the engine did not start\n");
        return 1;
    }
    // The engine takes only regular files by name: a pipe given here (a
    // shell's <(...), /dev/stdin) is read by us and handed over in memory.
    const uint32_t load_flags = loop ? MUSIC_LOOP | MUSIC_RAMP : MUSIC_RAMP;
    uint32_t channel = 0;
    std::error_code status_error;
    const auto type = std::filesystem::status(module_path, status_error).type();
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
    size_t total_frames = seconds < 0 ? SIZE_MAX : size_t(std::llround(seconds * ENGINE_RATE));
    std::vector<int16_t> samples;
    size_t next = 0;
    for (size_t done = 0; done < total_frames;) {
        if (seconds < 0 && !channel_is_active(channel))
            break;
        // A block is cut short where a command falls inside it.
        const size_t block_end = std::min(done + block_frames, total_frames);
        for (size_t at = done; at < block_end;) {
            while (next < timed.size() && timed[next].sample <= at)
                timed[next++].command->run(channel);
            size_t until = next < timed.size() ? std::min(block_end, timed[next].sample) : block_end;
            samples.resize(samples.size() + 2 * (until - at));
            audio_render(samples.data() + samples.size() - 2 * (until - at), until - at);
            at = until;
        }
        done = block_end;
    }
    for (; next < timed.size(); ++next)
        std::fprintf(stderr, "render-wav: %s at %g s is past the end; not run\n", timed[next].command->name,
                     timed[next].seconds);
    audio_shutdown();

    if (!write_wav(wav_path, samples)) {
        std::fprintf(stderr, "render-wav: cannot write '%s'\n", wav_path);
        return 1;
    }
    int peak_left = 0, peak_right = 0;
    for (size_t i = 0; i < samples.size(); i += 2) {
        peak_left = std::max(peak_left, std::abs(int(samples[i])));
        peak_right = std::max(peak_right, std::abs(int(samples[i + 1])));
    }
    size_t frames = samples.size() / 2;
    std::printf("%s: %zu frames (%.3f s) at %u Hz, peak left %d, right %d (of 32768)\n", wav_path, frames,
                double(frames) / ENGINE_RATE, ENGINE_RATE, peak_left, peak_right);
    return 0;
}
