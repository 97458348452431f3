// content/tracks/harmony.h: keys, chords, progressions and voice
// leading, the harmony the pieces' parts follow. Pure functions; any thread.
#pragma once
#include <vector>

struct Key {
    int root;         // note number of the tonic (60 = C-5)
    int steps[7];     // semitones of the scale above the tonic
};
Key key_major(int root);
Key key_minor(int root);
Key key_dorian(int root);
Key key_phrygian(int root);
Key key_lydian(int root);
// Note of a scale degree (0 = tonic; negative and beyond 6 change octave).
int degree_note(const Key& k, int degree);

struct Chord {
    int root;                 // pitch class 0..11
    std::vector<int> tones;   // semitones above the root, 0 first
};
// A note's place in its octave, 0..11, for negative notes too.
int pitch_class(int note);
// Whether note (any octave) is one of the chord's tones.
bool chord_has(const Chord& chord, int note);
// Parses names such as "C", "F#m7", "Bbmaj7", "Dsus4", "E5", "Gm9", "A7sus4".
Chord chord_named(const char* name);

// A chord held over rows [start, start + rows).
struct Span {
    Chord chord;
    int start;
    int rows;
};
// "Dm7 G7 Cmaj7*2" read as chords of bar_rows each (*n: n bars),
// repeated from start until total rows are covered.
std::vector<Span> progression(const char* text, int start, int bar_rows, int total_rows);
// The span sounding at row (the last one past the end).
const Span& span_at(const std::vector<Span>& spans, int row);
// Nearest note of the chord at or above low.
int chord_tone_above(const Chord& chord, int low, int index);
// Voices a chord near the previous voicing (smallest total motion),
// inside [low, high]. previous empty: close position from low.
std::vector<int> voice_lead(const Chord& chord, const std::vector<int>& previous, int voices, int low, int high);
