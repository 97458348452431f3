// content/modwriter/modwriter.cpp: the IT and XM encoders. Pure functions over
// the caller's Song; no state, any thread.
#include "content/modwriter/modwriter.h"

#include <cassert>

namespace {

struct Writer {
    std::vector<uint8_t> bytes;
};

void put8(Writer& w, int v) { w.bytes.push_back(uint8_t(v)); }

void put16(Writer& w, int v)
{
    put8(w, v & 0xff);
    put8(w, (v >> 8) & 0xff);
}

void put32(Writer& w, uint32_t v)
{
    put16(w, int(v & 0xffff));
    put16(w, int(v >> 16));
}

// Fixed-width text, NUL-padded; long text is cut.
void put_text(Writer& w, const std::string& s, size_t width)
{
    for (size_t i = 0; i < width; i++)
        put8(w, i < s.size() ? uint8_t(s[i]) : 0);
}

void patch16(Writer& w, size_t at, int v)
{
    w.bytes[at] = uint8_t(v & 0xff);
    w.bytes[at + 1] = uint8_t((v >> 8) & 0xff);
}

void patch32(Writer& w, size_t at, uint32_t v)
{
    patch16(w, at, int(v & 0xffff));
    patch16(w, at + 2, int(v >> 16));
}

int clamp_int(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

// Checks shared by both encoders.
bool song_is_sane(const Song& song, int max_channels, int max_rows)
{
    if (song.channels < 1 || song.channels > max_channels) return false;
    if (song.orders.empty() || song.orders.size() > 255) return false;
    if (song.patterns.empty() || song.patterns.size() > 240) return false;
    if (song.speed < 1 || song.speed > 31 || song.tempo < 32 || song.tempo > 255) return false;
    for (uint8_t o : song.orders)
        if (o >= song.patterns.size()) return false;
    for (const Pattern& p : song.patterns)
        if (p.rows < 1 || p.rows > max_rows ||
            p.cells.size() != size_t(p.rows) * size_t(song.channels))
            return false;
    for (const Sample& s : song.samples) {
        if (s.loop != LoopMode::none &&
            (s.loop_start >= s.loop_end || s.loop_end > s.frames.size()))
            return false;
        if (s.base_rate == 0) return false;
    }
    for (const Instrument& ins : song.instruments) {
        if (ins.sample < 1 || size_t(ins.sample) > song.samples.size()) return false;
        const Envelope& e = ins.volume_envelope;
        if (e.points.size() > 12) return false;
        for (size_t i = 1; i < e.points.size(); i++)
            if (e.points[i].tick <= e.points[i - 1].tick) return false;
        int n = int(e.points.size());
        if (e.sustain >= n || e.loop_start >= n || e.loop_end >= n) return false;
        if ((e.loop_start < 0) != (e.loop_end < 0) || e.loop_start > e.loop_end) return false;
    }
    return true;
}

// ---- IT ----

struct ItCommand {
    int command;  // 1 = A .. 26 = Z, 0 = none
    int param;
};

ItCommand it_command(Effect e, int p)
{
    switch (e) {
    case Effect::none: return {0, 0};
    case Effect::set_speed: return {1, p};
    case Effect::position_jump: return {2, p};
    case Effect::pattern_break: return {3, p};
    case Effect::volume_slide: return {4, p};
    case Effect::portamento_down: return {5, p};
    case Effect::portamento_up: return {6, p};
    case Effect::tone_portamento: return {7, p};
    case Effect::vibrato: return {8, p};
    case Effect::arpeggio: return {10, p};
    case Effect::vibrato_volume_slide: return {11, p};
    case Effect::sample_offset: return {15, p};
    case Effect::retrigger: return {17, p};
    case Effect::tremolo: return {18, p};
    case Effect::note_cut: return {19, 0xc0 | (p & 15)};
    case Effect::note_delay: return {19, 0xd0 | (p & 15)};
    case Effect::set_tempo: return {20, p};
    case Effect::set_global_volume: return {22, clamp_int(p, 0, 128)};
    case Effect::global_volume_slide: return {23, p};
    case Effect::set_panning: return {24, p};
    }
    return {0, 0};
}

// IT patterns are always packed: per cell a channel byte with the
// mask-follows bit, the mask, then the fields the mask names; 0 ends a row.
// We never use the "same as last" bits, which keeps decoding trivial.
void it_put_pattern(Writer& w, const Song& song, const Pattern& p)
{
    size_t header = w.bytes.size();
    put16(w, 0);  // packed length, patched below
    put16(w, p.rows);
    put32(w, 0);
    size_t start = w.bytes.size();
    for (int row = 0; row < p.rows; row++) {
        for (int ch = 0; ch < song.channels; ch++) {
            const Cell& c = p.cells[size_t(row) * size_t(song.channels) + size_t(ch)];
            ItCommand cmd = it_command(c.effect, c.param);
            int mask = 0;
            if (c.note != note_none) mask |= 1;
            if (c.instrument != 0) mask |= 2;
            if (c.volume != no_volume) mask |= 4;
            if (cmd.command != 0) mask |= 8;
            // Readers count an IT module's channels from the highest one
            // named in its patterns, so the first row of each pattern names
            // the last channel even when it is empty.
            bool mark_last = row == 0 && ch == song.channels - 1;
            if (mask == 0 && !mark_last) continue;
            if (mask == 0) mask = 8;  // an empty command: command 0 is "none"
            put8(w, (ch + 1) | 0x80);
            put8(w, mask);
            if (mask & 1) put8(w, c.note >= note_cut ? c.note : clamp_int(c.note, 0, 119));
            if (mask & 2) put8(w, c.instrument);
            if (mask & 4) put8(w, clamp_int(c.volume, 0, 64));
            if (mask & 8) {
                put8(w, cmd.command);
                put8(w, cmd.param);
            }
        }
        put8(w, 0);
    }
    patch16(w, header, int(w.bytes.size() - start));
}

void it_put_envelope(Writer& w, const Envelope& e)
{
    int flags = 0;
    if (!e.points.empty()) flags |= 1;
    if (e.loop_start >= 0) flags |= 2;
    if (e.sustain >= 0) flags |= 4;
    put8(w, flags);
    put8(w, int(e.points.size()));
    put8(w, e.loop_start < 0 ? 0 : e.loop_start);
    put8(w, e.loop_end < 0 ? 0 : e.loop_end);
    put8(w, e.sustain < 0 ? 0 : e.sustain);
    put8(w, e.sustain < 0 ? 0 : e.sustain);
    for (size_t i = 0; i < 25; i++) {
        if (i < e.points.size()) {
            put8(w, clamp_int(e.points[i].value, 0, 64));
            put16(w, e.points[i].tick);
        } else {
            put8(w, 0);
            put16(w, 0);
        }
    }
    put8(w, 0);
}

// An unused envelope block (panning, pitch): off, one point at zero.
void it_put_empty_envelope(Writer& w)
{
    put8(w, 0);
    put8(w, 2);
    for (int i = 0; i < 4; i++) put8(w, 0);
    for (int i = 0; i < 25; i++) {
        put8(w, 0);
        put16(w, i == 1 ? 100 : 0);
    }
    put8(w, 0);
}

void it_put_instrument(Writer& w, const Instrument& ins)
{
    put8(w, 'I'); put8(w, 'M'); put8(w, 'P'); put8(w, 'I');
    put_text(w, "", 12);
    put8(w, 0);
    put8(w, int(ins.new_note));
    put8(w, 0);  // duplicate check off
    put8(w, 0);
    put16(w, clamp_int(ins.fadeout >> 5, 0, 256));
    put8(w, 0);    // pitch-pan separation
    put8(w, 60);   // pitch-pan centre
    put8(w, 128);  // instrument global volume
    put8(w, 32 | 128);  // bit 7: no default pan, the channel's stays
    put8(w, 0);    // random volume
    put8(w, 0);    // random pan
    put16(w, 0x0214);
    put8(w, 1);    // samples used
    put8(w, 0);
    put_text(w, ins.name, 26);
    put8(w, 0);    // filter cut-off off
    put8(w, 0);    // filter resonance off
    put8(w, 0);    // MIDI channel
    put8(w, 0xff); // MIDI program: none
    put16(w, 0xffff);
    for (int note = 0; note < 120; note++) {
        put8(w, note);
        put8(w, ins.sample);
    }
    it_put_envelope(w, ins.volume_envelope);
    it_put_empty_envelope(w);
    it_put_empty_envelope(w);
    put32(w, 0);  // pads the record to its 554 bytes
}

// IT keeps auto-vibrato on the sample: it comes from the first
// instrument that plays the sample, if any.
void it_put_sample_header(Writer& w, const Sample& s, const Instrument* player, size_t& data_offset_at)
{
    put8(w, 'I'); put8(w, 'M'); put8(w, 'P'); put8(w, 'S');
    put_text(w, "", 12);
    put8(w, 0);
    put8(w, 64);  // sample global volume
    int flags = s.frames.empty() ? 0 : 1;
    if (s.sixteen_bit) flags |= 2;
    if (s.loop != LoopMode::none) flags |= 16;
    if (s.loop == LoopMode::ping_pong) flags |= 64;
    put8(w, flags);
    put8(w, clamp_int(s.volume, 0, 64));
    put_text(w, s.name, 26);
    put8(w, 1);  // signed data
    put8(w, s.panning < 0 ? 32 : 128 | clamp_int(s.panning, 0, 64));
    put32(w, uint32_t(s.frames.size()));
    put32(w, s.loop == LoopMode::none ? 0 : s.loop_start);
    put32(w, s.loop == LoopMode::none ? 0 : s.loop_end);
    put32(w, s.base_rate);
    put32(w, 0);
    put32(w, 0);
    data_offset_at = w.bytes.size();
    put32(w, 0);
    put8(w, player ? clamp_int(player->vibrato_rate, 0, 64) : 0);
    put8(w, player ? clamp_int(player->vibrato_depth, 0, 64) : 0);
    // IT's "rate" is how much depth (in 1/256) grows per tick, XM's sweep
    // the ticks to full depth; 0 in IT would mean no vibrato at all.
    int sweep = player ? player->vibrato_sweep : 0;
    int depth = player ? player->vibrato_depth : 0;
    put8(w, depth == 0 ? 0 : sweep == 0 ? 255 : clamp_int(depth * 256 / sweep, 1, 255));
    put8(w, player ? clamp_int(player->vibrato_type, 0, 3) : 0);
}

void put_sample_frames(Writer& w, const Sample& s, bool delta)
{
    int previous = 0;
    for (int16_t f : s.frames) {
        int v = s.sixteen_bit ? f : clamp_int(f, -128, 127);
        int out = delta ? v - previous : v;
        previous = v;
        if (s.sixteen_bit)
            put16(w, out & 0xffff);
        else
            put8(w, out & 0xff);
    }
}

// ---- XM ----

struct XmCommand {
    int type;
    int param;
    bool present;
};

XmCommand xm_command(Effect e, int p)
{
    switch (e) {
    case Effect::none: return {0, 0, false};
    case Effect::arpeggio: return {0x0, p, true};
    case Effect::portamento_up: return {0x1, p, true};
    case Effect::portamento_down: return {0x2, p, true};
    case Effect::tone_portamento: return {0x3, p, true};
    case Effect::vibrato: return {0x4, p, true};
    case Effect::vibrato_volume_slide: return {0x6, p, true};
    case Effect::tremolo: return {0x7, p, true};
    case Effect::set_panning: return {0x8, p, true};
    case Effect::sample_offset: return {0x9, p, true};
    case Effect::volume_slide: return {0xa, p, true};
    case Effect::position_jump: return {0xb, p, true};
    case Effect::pattern_break: return {0xd, ((p / 10) << 4) | (p % 10), true};
    case Effect::note_cut: return {0xe, 0xc0 | (p & 15), true};
    case Effect::note_delay: return {0xe, 0xd0 | (p & 15), true};
    case Effect::set_speed: return {0xf, clamp_int(p, 1, 31), true};
    case Effect::set_tempo: return {0xf, clamp_int(p, 32, 255), true};
    case Effect::set_global_volume: return {0x10, clamp_int(p, 0, 128) / 2, true};
    case Effect::global_volume_slide: return {0x11, p, true};
    case Effect::retrigger: return {0x1b, p, true};
    }
    return {0, 0, false};
}

void xm_put_pattern(Writer& w, const Song& song, const Pattern& p)
{
    put32(w, 9);  // pattern header length
    put8(w, 0);   // packing type
    put16(w, p.rows);
    size_t size_at = w.bytes.size();
    put16(w, 0);
    size_t start = w.bytes.size();
    for (int row = 0; row < p.rows; row++) {
        for (int ch = 0; ch < song.channels; ch++) {
            const Cell& c = p.cells[size_t(row) * size_t(song.channels) + size_t(ch)];
            XmCommand cmd = xm_command(c.effect, c.param);
            int note = 0;
            if (c.note == note_off || c.note == note_cut)
                note = 97;  // XM has only key-off
            else if (c.note != note_none)
                note = clamp_int(int(c.note) - 11, 1, 96);  // C-5 here is XM's C-4
            int flags = 0x80;
            if (note) flags |= 1;
            if (c.instrument) flags |= 2;
            if (c.volume != no_volume) flags |= 4;
            if (cmd.present && cmd.type) flags |= 8;
            if (cmd.present && cmd.param) flags |= 16;
            put8(w, flags);
            if (flags & 1) put8(w, note);
            if (flags & 2) put8(w, c.instrument);
            if (flags & 4) put8(w, 0x10 + clamp_int(c.volume, 0, 64));
            if (flags & 8) put8(w, cmd.type);
            if (flags & 16) put8(w, cmd.param);
        }
    }
    patch16(w, size_at, int(w.bytes.size() - start));
}

// log2(v) for v >= 1 as a Q16 fixed-point number, by repeated squaring:
// integer arithmetic only, so every machine writes the same tuning.
int64_t log2_q16(uint64_t v)
{
    int64_t shift = 0;
    while (v >= (uint64_t(1) << 32)) {
        v >>= 1;
        shift++;
    }
    while (v < (uint64_t(1) << 31)) {
        v <<= 1;
        shift--;
    }
    // Now the input is (v / 2^31) * 2^(shift + 31), with v / 2^31 in [1, 2).
    int64_t fraction = 0;
    for (int bit = 15; bit >= 0; bit--) {
        v = (v * v) >> 31;
        if (v >= (uint64_t(1) << 32)) {
            v >>= 1;
            fraction |= int64_t(1) << bit;
        }
    }
    return (shift + 31) * 65536 + fraction;
}

// An XM sample's relative note and finetune (1/128 semitone) that make
// XM's C-4 play at base_rate, the pitch IT gives C-5.
void xm_tuning(uint32_t base_rate, int& relative_note, int& finetune)
{
    // log2(rate / 8363) in Q16, both scaled up so the integers stay large.
    int64_t l = log2_q16(uint64_t(base_rate) << 20) - log2_q16(uint64_t(8363) << 20);
    // 1536 = 12 semitones * 128 finetune steps per octave.
    int64_t steps = (l * 1536 + (l >= 0 ? 32768 : -32768)) / 65536;
    int64_t rel = (steps + (steps >= 0 ? 64 : -64)) / 128;
    relative_note = clamp_int(int(rel), -96, 95);
    finetune = clamp_int(int(steps - rel * 128), -128, 127);
}

void xm_put_envelope_points(Writer& w, const Envelope& e)
{
    for (size_t i = 0; i < 12; i++) {
        if (i < e.points.size()) {
            put16(w, e.points[i].tick);
            put16(w, clamp_int(e.points[i].value, 0, 64));
        } else {
            put16(w, 0);
            put16(w, 0);
        }
    }
}

void xm_put_instrument(Writer& w, const Instrument& ins, const Sample& s)
{
    put32(w, 263);
    put_text(w, ins.name, 22);
    put8(w, 0);
    put16(w, 1);   // one sample
    put32(w, 40);  // sample header size
    for (int i = 0; i < 96; i++) put8(w, 0);  // every key plays sample 0
    const Envelope& e = ins.volume_envelope;
    xm_put_envelope_points(w, e);
    xm_put_envelope_points(w, Envelope{});
    put8(w, int(e.points.size()));
    put8(w, 0);
    put8(w, e.sustain < 0 ? 0 : e.sustain);
    put8(w, e.loop_start < 0 ? 0 : e.loop_start);
    put8(w, e.loop_end < 0 ? 0 : e.loop_end);
    put8(w, 0);
    put8(w, 0);
    put8(w, 0);
    int type = 0;
    if (!e.points.empty()) type |= 1;
    if (e.sustain >= 0) type |= 2;
    if (e.loop_start >= 0) type |= 4;
    put8(w, type);
    put8(w, 0);  // panning envelope off
    put8(w, ins.vibrato_type);
    put8(w, ins.vibrato_sweep);
    put8(w, ins.vibrato_depth);
    put8(w, ins.vibrato_rate);
    put16(w, clamp_int(ins.fadeout, 0, 4095));
    for (int i = 0; i < 22; i++) put8(w, 0);

    int bytes_per_frame = s.sixteen_bit ? 2 : 1;
    int relative_note = 0, finetune = 0;
    xm_tuning(s.base_rate, relative_note, finetune);
    put32(w, uint32_t(s.frames.size() * size_t(bytes_per_frame)));
    bool looped = s.loop != LoopMode::none;
    put32(w, looped ? s.loop_start * uint32_t(bytes_per_frame) : 0);
    put32(w, looped ? (s.loop_end - s.loop_start) * uint32_t(bytes_per_frame) : 0);
    put8(w, clamp_int(s.volume, 0, 64));
    put8(w, finetune & 0xff);
    int kind = s.loop == LoopMode::forward ? 1 : s.loop == LoopMode::ping_pong ? 2 : 0;
    if (s.sixteen_bit) kind |= 16;
    put8(w, kind);
    put8(w, s.panning < 0 ? 128 : clamp_int(s.panning * 4, 0, 255));
    put8(w, relative_note & 0xff);
    put8(w, 0);  // delta-coded PCM
    put_text(w, s.name, 22);
    put_sample_frames(w, s, true);
}

}  // namespace

Pattern make_pattern(const Song& song, int rows)
{
    Pattern p;
    p.rows = rows;
    p.cells.assign(size_t(rows) * size_t(song.channels), Cell{});
    return p;
}

Cell& pattern_cell(Pattern& pattern, int channels, int row, int channel)
{
    assert(row >= 0 && row < pattern.rows && channel >= 0 && channel < channels);
    return pattern.cells[size_t(row) * size_t(channels) + size_t(channel)];
}

std::vector<uint8_t> it_encode(const Song& song)
{
    if (!song_is_sane(song, 64, 200)) return {};
    bool use_instruments = !song.instruments.empty();
    Writer w;
    put8(w, 'I'); put8(w, 'M'); put8(w, 'P'); put8(w, 'M');
    put_text(w, song.name, 26);
    put16(w, 0x1004);  // row highlights: 4 and 16
    int order_count = int(song.orders.size()) + 1;  // the 255 end marker
    put16(w, order_count);
    put16(w, int(song.instruments.size()));
    put16(w, int(song.samples.size()));
    put16(w, int(song.patterns.size()));
    // Compatible-with 2.14 selects the format's later semantics (the new
    // instrument records, the effects as players of today read them); a
    // player decides its playback quirks from these two fields, and a
    // created-with equal to it claims no other writer whose quirks a
    // player would then imitate.
    put16(w, 0x0214);  // created-with version
    put16(w, 0x0214);  // compatible-with version
    put16(w, 1 | 8 | (use_instruments ? 4 : 0));  // stereo, linear slides
    put16(w, song.message.empty() ? 0 : 1);  // special: a song message follows
    put8(w, clamp_int(song.global_volume, 0, 128));
    put8(w, clamp_int(song.mix_volume, 0, 128));
    put8(w, song.speed);
    put8(w, song.tempo);
    put8(w, 128);  // stereo separation
    put8(w, 0);
    // The message's lines end in CR, the text in NUL; its offset is
    // patched once the tables are laid out.
    std::string message = song.message.substr(0, 7999);
    for (char& ch : message)
        if (ch == '\n') ch = '\r';
    put16(w, message.empty() ? 0 : int(message.size()) + 1);
    size_t message_offset_at = w.bytes.size();
    put32(w, 0);
    put32(w, 0);
    for (int ch = 0; ch < 64; ch++) {
        int pan = ch < int(song.channel_panning.size()) ? song.channel_panning[size_t(ch)] : 32;
        // Channels past the song's count are marked disabled.
        put8(w, ch < song.channels ? clamp_int(pan, 0, 64) : 128 | 32);
    }
    for (int ch = 0; ch < 64; ch++) put8(w, 64);
    for (uint8_t o : song.orders) put8(w, o);
    put8(w, 255);

    size_t instrument_table = w.bytes.size();
    for (size_t i = 0; i < song.instruments.size(); i++) put32(w, 0);
    size_t sample_table = w.bytes.size();
    for (size_t i = 0; i < song.samples.size(); i++) put32(w, 0);
    size_t pattern_table = w.bytes.size();
    for (size_t i = 0; i < song.patterns.size(); i++) put32(w, 0);
    if (!message.empty()) {
        patch32(w, message_offset_at, uint32_t(w.bytes.size()));
        put_text(w, message, message.size() + 1);
    }

    for (size_t i = 0; i < song.instruments.size(); i++) {
        patch32(w, instrument_table + 4 * i, uint32_t(w.bytes.size()));
        it_put_instrument(w, song.instruments[i]);
    }
    std::vector<size_t> data_offset_at(song.samples.size());
    for (size_t i = 0; i < song.samples.size(); i++) {
        patch32(w, sample_table + 4 * i, uint32_t(w.bytes.size()));
        const Instrument* player = nullptr;
        for (const Instrument& ins : song.instruments)
            if (size_t(ins.sample) == i + 1) {
                player = &ins;
                break;
            }
        it_put_sample_header(w, song.samples[i], player, data_offset_at[i]);
    }
    for (size_t i = 0; i < song.patterns.size(); i++) {
        patch32(w, pattern_table + 4 * i, uint32_t(w.bytes.size()));
        it_put_pattern(w, song, song.patterns[i]);
    }
    for (size_t i = 0; i < song.samples.size(); i++) {
        patch32(w, data_offset_at[i], uint32_t(w.bytes.size()));
        put_sample_frames(w, song.samples[i], false);
    }
    return w.bytes;
}

std::vector<uint8_t> xm_encode(const Song& song)
{
    if (!song_is_sane(song, 32, 256)) return {};
    // XM plays samples only through instruments: wrap each bare sample.
    std::vector<Instrument> instruments = song.instruments;
    if (instruments.empty())
        for (size_t i = 0; i < song.samples.size(); i++) {
            Instrument ins;
            ins.name = song.samples[i].name;
            ins.sample = int(i) + 1;
            instruments.push_back(ins);
        }
    std::vector<std::string> credits;
    for (size_t from = 0; !song.message.empty() && from <= song.message.size();) {
        size_t end = song.message.find('\n', from);
        if (end == std::string::npos) end = song.message.size();
        credits.push_back(song.message.substr(from, end - from));
        from = end + 1;
    }
    if (instruments.size() + credits.size() > 128) return {};

    Writer w;
    put_text(w, "Extended Module: ", 17);
    put_text(w, song.name, 20);
    put8(w, 0x1a);
    put_text(w, "musicdisk modwriter", 20);
    put16(w, 0x0104);
    put32(w, 276);  // header size from this field on
    put16(w, int(song.orders.size()));
    put16(w, 0);    // restart position
    put16(w, song.channels);
    put16(w, int(song.patterns.size()));
    put16(w, int(instruments.size() + credits.size()));
    put16(w, 1);    // linear frequency table
    put16(w, song.speed);
    put16(w, song.tempo);
    for (size_t i = 0; i < 256; i++) put8(w, i < song.orders.size() ? song.orders[i] : 0);
    for (const Pattern& p : song.patterns) xm_put_pattern(w, song, p);
    for (const Instrument& ins : instruments)
        xm_put_instrument(w, ins, song.samples[size_t(ins.sample) - 1]);
    // The credit lines: instruments of no samples, whose header ends at
    // the sample count.
    for (const std::string& line : credits) {
        put32(w, 29);
        put_text(w, line, 22);
        put8(w, 0);
        put16(w, 0);
    }
    return w.bytes;
}
