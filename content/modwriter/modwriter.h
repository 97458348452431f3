// content/modwriter/modwriter.h: turns an in-memory song into IT or XM
// module file bytes. Pure functions, any thread.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// Notes count semitones from C-0 = 0; C-5 = 60 plays a sample at its base
// rate. 0 in a cell means "no note", so C-0 itself cannot be written.
constexpr uint8_t note_none = 0;
constexpr uint8_t note_c5 = 60;
constexpr uint8_t note_cut = 254;   // stops the voice at once
constexpr uint8_t note_off = 255;   // releases sustain and starts the fadeout
constexpr uint8_t no_volume = 255;  // empty volume column

// Our own effect vocabulary; each encoder maps it to its format's command.
// Parameters follow the classic tracker meaning noted beside each one.
enum class Effect : uint8_t {
    none,
    arpeggio,           // xy: semitones of the 2nd and 3rd note (non-zero)
    portamento_up,      // xx: slide speed
    portamento_down,    // xx: slide speed
    tone_portamento,    // xx: speed towards the cell's note
    vibrato,            // xy: speed, depth
    vibrato_volume_slide,  // xy as volume_slide, vibrato continues
    tremolo,            // xy: speed, depth
    volume_slide,       // xy: x up or y down per tick, nibbles 1..14
    set_panning,        // xx: 0 left .. 255 right
    sample_offset,      // xx: start at xx * 256 frames
    retrigger,          // xy: volume change x, every y ticks
    note_cut,           // x: cut after x ticks
    note_delay,         // x: start the note after x ticks
    set_global_volume,  // xx: 0..128 (halved for XM's 0..64)
    global_volume_slide,  // xy: x up or y down per tick
    position_jump,      // xx: order index to continue at
    pattern_break,      // xx: row of the next order to continue at
    set_speed,          // xx: ticks per row, 1..31
    set_tempo,          // xx: beats per minute, 32..255
};

enum class LoopMode : uint8_t { none, forward, ping_pong };

// One PCM sample. frames holds signed values; 8-bit samples use -128..127.
struct Sample {
    std::string name;
    std::vector<int16_t> frames;
    bool sixteen_bit = true;
    LoopMode loop = LoopMode::none;
    uint32_t loop_start = 0;      // frames
    uint32_t loop_end = 0;        // frames, one past the last looped frame
    uint32_t base_rate = 8363;    // Hz at which C-5 plays the sample
    uint8_t volume = 64;          // default volume, 0..64
    int panning = -1;             // 0..64, or -1 to leave the channel's
};

struct EnvelopePoint {
    uint16_t tick;
    uint8_t value;  // 0..64
};

// At most 12 points (the XM limit); ticks strictly increase.
struct Envelope {
    std::vector<EnvelopePoint> points;  // empty: envelope off
    int sustain = -1;                   // point index, or -1
    int loop_start = -1, loop_end = -1; // point indices, or -1
};

enum class NewNoteAction : uint8_t { cut, keep, note_off, fade };

// An instrument plays one sample over the whole keyboard.
struct Instrument {
    std::string name;
    int sample = 1;                  // 1-based index into Song::samples
    Envelope volume_envelope;
    uint16_t fadeout = 0;            // XM units: 0..4095 volume per tick / 65536
    NewNoteAction new_note = NewNoteAction::cut;  // IT only; XM always cuts
    // Auto-vibrato (IT stores it with the sample this instrument plays).
    uint8_t vibrato_type = 0;        // 0 sine, 1 ramp, 2 square
    uint8_t vibrato_depth = 0;       // 0..15 is subtle, 32 is wide
    uint8_t vibrato_rate = 0;        // speed, 0..63
    uint8_t vibrato_sweep = 0;       // ticks to reach full depth (0: at once)
};

struct Cell {
    uint8_t note = note_none;
    uint8_t instrument = 0;         // 1-based; with no instruments, a sample
    uint8_t volume = no_volume;     // 0..64
    Effect effect = Effect::none;
    uint8_t param = 0;
};

struct Pattern {
    int rows = 64;                  // 1..200
    std::vector<Cell> cells;        // rows * Song::channels, row-major
};

struct Song {
    std::string name;               // the title: IT keeps 25 characters, XM 20
    // Lines separated by '\n'. IT stores it as the song message; XM has no
    // message, so each line becomes the name of an extra instrument without
    // samples (22 characters each), where players show credits.
    std::string message;
    int channels = 4;               // 1..64 (XM: 1..32)
    int speed = 6;                  // ticks per row
    int tempo = 125;                // a tick lasts 2.5 / tempo seconds
    int global_volume = 128;        // 0..128 (IT only: XM songs start at full)
    int mix_volume = 48;            // IT mixing volume 0..128 (XM has none)
    std::vector<uint8_t> channel_panning;  // 0..64 per channel; empty: centre
    std::vector<Sample> samples;
    std::vector<Instrument> instruments;  // empty: IT sample mode
    std::vector<Pattern> patterns;
    std::vector<uint8_t> orders;    // pattern indices, played in turn
};

// Sizes a pattern for the song's channel count, all cells empty.
Pattern make_pattern(const Song& song, int rows);
// The cell at (row, channel); no bounds check beyond an assert.
Cell& pattern_cell(Pattern& pattern, int channels, int row, int channel);

// File bytes, or an empty vector when the song breaks a format limit.
std::vector<uint8_t> it_encode(const Song& song);
std::vector<uint8_t> xm_encode(const Song& song);
