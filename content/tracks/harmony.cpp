// content/tracks/harmony.cpp: keys, chords, progressions and voice
// leading for the pieces. Pure functions; any thread.
#include "content/tracks/harmony.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <utility>

int pitch_class(int note) { return ((note % 12) + 12) % 12; }

bool chord_has(const Chord& chord, int note)
{
    int pc = pitch_class(note - chord.root);
    for (int t : chord.tones)
        if (pitch_class(t) == pc) return true;
    return false;
}

namespace {

Key make_key(int root, std::initializer_list<int> steps)
{
    Key k{root, {}};
    int i = 0;
    for (int s : steps) k.steps[i++] = s;
    return k;
}

}  // namespace

Key key_major(int root) { return make_key(root, {0, 2, 4, 5, 7, 9, 11}); }
Key key_minor(int root) { return make_key(root, {0, 2, 3, 5, 7, 8, 10}); }
Key key_dorian(int root) { return make_key(root, {0, 2, 3, 5, 7, 9, 10}); }
Key key_phrygian(int root) { return make_key(root, {0, 1, 3, 5, 7, 8, 10}); }
Key key_lydian(int root) { return make_key(root, {0, 2, 4, 6, 7, 9, 11}); }

int degree_note(const Key& k, int degree)
{
    int octave = degree >= 0 ? degree / 7 : -((-degree + 6) / 7);
    int index = degree - octave * 7;
    return k.root + 12 * octave + k.steps[index];
}

Chord chord_named(const char* name)
{
    static const int letters[7] = {9, 11, 0, 2, 4, 5, 7};  // A..G
    Chord chord;
    const char* p = name;
    chord.root = (*p >= 'A' && *p <= 'G') ? letters[*p - 'A'] : 0;
    p++;
    if (*p == '#') {
        chord.root = (chord.root + 1) % 12;
        p++;
    } else if (*p == 'b') {
        chord.root = (chord.root + 11) % 12;
        p++;
    }
    struct Quality {
        const char* suffix;
        std::vector<int> tones;
    };
    static const Quality qualities[] = {
        {"maj9", {0, 4, 7, 11, 14}}, {"maj7", {0, 4, 7, 11}}, {"m7b5", {0, 3, 6, 10}},
        {"7sus4", {0, 5, 7, 10}},    {"add9", {0, 4, 7, 14}}, {"sus2", {0, 2, 7}},
        {"sus4", {0, 5, 7}},         {"dim", {0, 3, 6}},      {"aug", {0, 4, 8}},
        {"m9", {0, 3, 7, 10, 14}},   {"m7", {0, 3, 7, 10}},   {"m6", {0, 3, 7, 9}},
        {"m", {0, 3, 7}},            {"9", {0, 4, 7, 10, 14}}, {"7", {0, 4, 7, 10}},
        {"6", {0, 4, 7, 9}},         {"5", {0, 7}},           {"", {0, 4, 7}},
    };
    for (const Quality& q : qualities)
        if (std::strcmp(p, q.suffix) == 0) {
            chord.tones = q.tones;
            return chord;
        }
    chord.tones = {0, 4, 7};
    return chord;
}

std::vector<Span> progression(const char* text, int start, int bar_rows, int total_rows)
{
    std::vector<std::pair<Chord, int>> chords;
    const char* p = text;
    while (*p) {
        while (*p == ' ') p++;
        if (!*p) break;
        char name[16] = {};
        int n = 0;
        while (*p && *p != ' ' && *p != '*' && n < 15) name[n++] = *p++;
        int bars = 1;
        if (*p == '*') {
            p++;
            bars = std::atoi(p);
            while (*p >= '0' && *p <= '9') p++;
        }
        chords.push_back({chord_named(name), bars < 1 ? 1 : bars});
    }
    std::vector<Span> spans;
    if (chords.empty()) return spans;
    int row = start;
    for (size_t i = 0; row < start + total_rows; i = (i + 1) % chords.size()) {
        int rows = chords[i].second * bar_rows;
        if (row + rows > start + total_rows) rows = start + total_rows - row;
        spans.push_back({chords[i].first, row, rows});
        row += rows;
    }
    return spans;
}

const Span& span_at(const std::vector<Span>& spans, int row)
{
    for (const Span& s : spans)
        if (row < s.start + s.rows) return s;
    return spans.back();
}

int chord_tone_above(const Chord& chord, int low, int index)
{
    // Walk up from low collecting chord tones.
    int found = -1;
    for (int note = low; note < low + 60; note++)
        if (chord_has(chord, note) && ++found == index) return note;
    return low;
}

namespace {

// How well a set of notes (ascending) sounds the chord: what is missing
// or doubled, and tight clusters, cost.
int voicing_cost(const Chord& chord, const std::vector<int>& notes)
{
    bool has[12] = {};
    int cost = 0, distinct = 0;
    for (size_t i = 0; i < notes.size(); i++) {
        int pc = pitch_class(notes[i] - chord.root);
        if (has[pc]) cost += 6;
        else distinct++;
        has[pc] = true;
        if (i > 0 && notes[i] - notes[i - 1] <= 2) cost += 5;  // seconds rub
    }
    const std::vector<int>& t = chord.tones;
    if (t.size() > 1 && !has[pitch_class(t[1])]) cost += 20;  // the third (or sus tone)
    if (t.size() > 3 && notes.size() >= 3 && !has[pitch_class(t[3])]) cost += 8;  // the seventh
    if (!has[0] && (notes.size() >= t.size() || t.size() <= 3)) cost += 6;
    int want = int(t.size() < notes.size() ? t.size() : notes.size());
    cost += 8 * (want - distinct > 0 ? want - distinct : 0);
    return cost;
}

}  // namespace

std::vector<int> voice_lead(const Chord& chord, const std::vector<int>& previous, int voices, int low, int high)
{
    // Try every ascending choice of chord notes in range and keep the one
    // that sounds the chord best with the least motion from the previous
    // voicing (or, first time, the most compact one near the bottom).
    std::vector<int> candidates;
    for (int n = low; n <= high; n++)
        if (chord_has(chord, n)) candidates.push_back(n);
    std::vector<int> best, pick(size_t(voices), 0);
    int best_cost = 1 << 30;
    bool follow = previous.size() == size_t(voices);
    auto search = [&](auto&& self, int voice, size_t from) -> void {
        if (voice == voices) {
            int cost = voicing_cost(chord, pick) * 4;
            if (follow)
                for (int v = 0; v < voices; v++) cost += std::abs(pick[size_t(v)] - previous[size_t(v)]) * 3;
            else
                cost += (pick.back() - pick.front()) + (pick.front() - low);
            if (cost < best_cost) {
                best_cost = cost;
                best = pick;
            }
            return;
        }
        for (size_t i = from; i < candidates.size(); i++) {
            pick[size_t(voice)] = candidates[i];
            self(self, voice + 1, i + 1);
        }
    };
    search(search, 0, 0);
    if (best.empty())  // range too narrow for distinct notes: stack upward
        for (int i = 0; i < voices; i++) best.push_back(chord_tone_above(chord, low, i));
    return best;
}
