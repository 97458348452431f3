// content/modwriter/test_modules.cpp: builds the engine's fixture modules
// with the writer. Pure functions, any thread.
#include "content/modwriter/test_modules.h"

#include "content/modwriter/modwriter.h"
#include "content/sine.h"

namespace {

constexpr int cycle_frames = 100;

Sample tone_sample(ToneWave wave, int amplitude)
{
    Sample s;
    s.name = wave == ToneWave::sine ? "sine" : "square";
    s.sixteen_bit = true;
    s.loop = LoopMode::forward;
    s.loop_start = 0;
    s.loop_end = cycle_frames;
    s.base_rate = tone_frequency_hz * cycle_frames;
    for (int i = 0; i < cycle_frames; i++) {
        int v;
        if (wave == ToneWave::square)
            v = i < cycle_frames / 2 ? amplitude : -amplitude;
        else
            v = int(int64_t(sine_q15(uint32_t(int64_t(i) * 65536 / cycle_frames) << 16)) * amplitude / 32768);
        s.frames.push_back(int16_t(v));
    }
    return s;
}

int rows_for(double seconds)
{
    double r = seconds * test_module_rows_per_second + 0.5;
    return r < 1 ? 1 : int(r);
}

// A song of `seconds` in patterns of at most 100 rows, played in order.
Song timed_song(double seconds, int channels)
{
    Song song;
    song.name = "fixture";
    song.channels = channels;
    song.speed = 5;
    song.tempo = 125;
    int rows = rows_for(seconds);
    while (rows > 0) {
        int n = rows < 100 ? rows : 100;
        song.orders.push_back(uint8_t(song.patterns.size()));
        song.patterns.push_back(make_pattern(song, n));
        rows -= n;
    }
    return song;
}

std::vector<uint8_t> encode(const Song& song, ModuleFormat format)
{
    return format == ModuleFormat::xm ? xm_encode(song) : it_encode(song);
}

}  // namespace

std::vector<uint8_t> make_tone_module(double seconds, const ToneOptions& options)
{
    int channels = options.channels < 1 ? 1 : options.channels;
    int amplitude = options.amplitude < 1 ? 1 : options.amplitude > 32767 ? 32767 : options.amplitude;
    Song song = timed_song(seconds, channels);
    song.samples.push_back(tone_sample(options.wave, amplitude));
    for (int ch = 0; ch < channels; ch++) {
        Cell& c = pattern_cell(song.patterns[0], channels, 0, ch);
        c.note = note_c5;
        c.instrument = 1;
        c.volume = uint8_t(options.volume < 0 ? 0 : options.volume > 64 ? 64 : options.volume);
    }
    return encode(song, options.format);
}

std::vector<uint8_t> make_silent_module(double seconds, ModuleFormat format)
{
    Song song = timed_song(seconds, 1);
    song.samples.push_back(tone_sample(ToneWave::square, 16384));
    return encode(song, format);
}

std::vector<uint8_t> make_looping_module(double seconds, ModuleFormat format)
{
    Song song = timed_song(seconds, 1);
    song.samples.push_back(tone_sample(ToneWave::square, 16384));
    Cell& first = pattern_cell(song.patterns[0], 1, 0, 0);
    first.note = note_c5;
    first.instrument = 1;
    Pattern& last = song.patterns.back();
    Cell& jump = pattern_cell(last, 1, last.rows - 1, 0);
    jump.effect = Effect::position_jump;
    jump.param = 0;
    return encode(song, format);
}
