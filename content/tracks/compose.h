// content/tracks/compose.h: the composition toolkit the twelve pieces
// share: a timeline of rows to write notes on, and helpers for drum lines,
// bass lines, pads, arpeggios, motifs and echoes over the chords and keys
// of harmony.h. Generator thread only; every piece owns its own Composer.
#pragma once
#include "content/modwriter/modwriter.h"
#include "content/tracks/harmony.h"
#include "content/tracks/synth.h"

#include <string>
#include <vector>

// A piece under construction: one long grid of rows x channels, cut into
// patterns at the end.
struct Composer {
    Song song;
    std::vector<Cell> grid;  // rows * song.channels
    int rows = 0;
    Rng rng{1};
    int effects_channel = -1;  // tried first for song-wide effects, -1: none
    std::vector<int> sections;  // rows where patterns start afresh (copy_rows marks them)
};

void composer_start(Composer& c, const char* name, int channels, int tempo, int speed, uint32_t seed);
// Adds a sample and an instrument playing it; returns the instrument number.
int add_instrument(Composer& c, Sample sample, Envelope envelope = {}, uint16_t fadeout = 0,
                   NewNoteAction new_note = NewNoteAction::cut);
// Gives an instrument a gentle auto-vibrato that fades in over sweep ticks.
void set_auto_vibrato(Composer& c, int instrument, int depth, int rate, int sweep);
// Sets the channels' stereo positions, 0 (left) .. 64 (right).
void set_panning(Composer& c, const std::vector<uint8_t>& pans);

Cell& cell_at(Composer& c, int row, int channel);  // grows the grid
void set_length(Composer& c, int rows);             // grows the grid to rows
void put_note(Composer& c, int row, int channel, int note, int instrument, int volume);
void put_off(Composer& c, int row, int channel);  // key release
void put_effect(Composer& c, int row, int channel, Effect effect, int param);
// Puts a song-wide effect (tempo, speed, jump) on a channel whose effect
// column is free on that row: effects_channel first, then from the last
// channel down.
void put_global_effect(Composer& c, int row, Effect effect, int param);
// Fills the effect column of rows [from, to) where it is free.
void fill_effect(Composer& c, int channel, int from, int to, Effect effect, int param);
// Fades the whole song out over rows [from, to) by global volume slides.
void fade_out(Composer& c, int from, int to);

// A section coming back: rows [from, from + rows) of every channel copied
// over [to, to + rows). Both ranges start patterns afresh, so the section
// comes back as the same patterns; write a variation after the copy.
void copy_rows(Composer& c, int from, int rows, int to);

// Marks row as the start of a section: patterns are cut from it afresh.
void mark_section(Composer& c, int row);

// Cuts the grid into patterns of pattern_rows from each section's start
// (the last of a section may be shorter),
// shares identical patterns and lists the orders. The first row sets the
// song's speed, tempo and global volume again, so a player that wraps to
// the start after a fade or a tempo change plays the same piece twice.
// With loop, the last row jumps back to order 0; without, the order list
// simply ends.
Song composer_finish(Composer& c, int pattern_rows, bool loop);

// Envelopes in ticks. adsr holds at the sustain level until the key is
// released; pluck falls to silence on its own.
Envelope env_adsr(int attack, int decay, int sustain_level, int release);
Envelope env_pluck(int hold, int decay, int tail);
// Volume rises and falls between low and 64 with the period in ticks,
// for tremolo-like pads; loops until the fadeout ends it.
Envelope env_swell(int attack, int period, int low, int release);

// ---- parts ----

// One drum voice: a step pattern, one character a step of step_rows rows:
// 'X' accent, 'x' normal, 'o' ghost, '.' nothing. Repeats over
// [start, start + rows). volume scales 'X' (64 = full); unaccented hits
// vary a little, as a player's would.
void drum_line(Composer& c, int channel, int instrument, int start, int rows, const char* steps,
               int step_rows, int volume, int note = note_c5);

// A bass line over the chords: 'R' root, 'r' root an octave down, 'O'
// octave up, '3', '5', '7' chord tones, 'A' chromatic approach to the next
// chord's root, '-' hold, '.' release. base is the lowest root allowed.
void bass_line(Composer& c, int channel, int instrument, const std::vector<Span>& spans,
               int start, int rows, const char* steps, int step_rows, int base, int volume);

// Chords on consecutive channels first_channel.., one voice each, voice
// led; a voice sounds again only when its note changes. Released at end
// unless release is false (a loop that carries on into its start).
void pad_chords(Composer& c, int first_channel, int voices, int instrument,
                const std::vector<Span>& spans, int start, int end, int low, int high, int volume,
                bool release = true);

// Chord stabs on consecutive channels: 'x' strikes the voice-led chord,
// '.' releases it, anything else lets it ring.
void chord_stabs(Composer& c, int first_channel, int voices, int instrument,
                 const std::vector<Span>& spans, int start, int rows, const char* steps,
                 int step_rows, int low, int high, int volume);

// A roll: one hit every step_rows over [start, start + rows), the volume
// moving from volume_from to volume_to (a build-up or a fade).
void drum_roll(Composer& c, int channel, int instrument, int start, int rows, int step_rows,
               int volume_from, int volume_to, int note = note_c5);

// A fill into the next section: hits every step_rows over [start,
// start + rows), the pitch moving from note_from to note_to (falling toms)
// and the volume rising to volume.
void drum_fill(Composer& c, int channel, int instrument, int start, int rows, int step_rows,
               int note_from, int note_to, int volume);

// Shuffle: rows alternate between long and short speeds over [from, to).
void swing(Composer& c, int from, int to, int long_speed, int short_speed);

// Arpeggio over the chord tones voiced upward from low: each character a
// step, '0'..'9' a tone index, '.' rest, '-' hold.
void arpeggio(Composer& c, int channel, int instrument, const std::vector<Span>& spans,
              int start, int rows, const char* steps, int step_rows, int low, int volume);

// A motif: a rhythm ('x' note, '~' note reached by a glide, '-' hold, '.'
// release) and the scale-degree moves between its notes.
struct Motif {
    std::string rhythm;
    std::vector<int> moves;
};
Motif make_motif(Rng& rng, const char* rhythm, int max_move);
// Plays the motif from start_degree; notes on chord-beat steps snap to
// the chord. Long notes get vibrato. Returns the last degree played.
int play_motif(Composer& c, int channel, int instrument, const Motif& m, const Key& k,
               const std::vector<Span>& spans, int start, int step_rows, int start_degree,
               int low, int high, int volume, int vibrato);
// Turns a motif upside down (moves negated) or back to front.
Motif motif_inverted(const Motif& m);
Motif motif_reversed(const Motif& m);

// Copies the notes of rows [from, to) of one channel to another, delayed
// and quieter (volume_percent), as an echo or a canon voice; transpose in
// semitones. Nothing lands at or past row to.
void echo_channel(Composer& c, int src, int dst, int from, int to, int delay_rows, int volume_percent,
                  int transpose = 0);
