// content/tracks/compose.cpp: the shared composition toolkit. Generator
// thread only; all state lives in the caller's Composer.
#include "content/tracks/compose.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

int clamp(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

}  // namespace

void composer_start(Composer& c, const char* name, int channels, int tempo, int speed, uint32_t seed)
{
    c = Composer{};
    c.song.name = name;
    c.song.channels = channels;
    c.song.tempo = tempo;
    c.song.speed = speed;
    c.song.mix_volume = 64;
    c.rng.state = seed ? seed : 1;
}

int add_instrument(Composer& c, Sample sample, Envelope envelope, uint16_t fadeout, NewNoteAction new_note)
{
    c.song.samples.push_back(std::move(sample));
    Instrument ins;
    ins.name = c.song.samples.back().name;
    ins.sample = int(c.song.samples.size());
    ins.volume_envelope = std::move(envelope);
    ins.fadeout = fadeout;
    ins.new_note = new_note;
    c.song.instruments.push_back(ins);
    return int(c.song.instruments.size());
}

void set_auto_vibrato(Composer& c, int instrument, int depth, int rate, int sweep)
{
    Instrument& ins = c.song.instruments[size_t(instrument - 1)];
    ins.vibrato_depth = uint8_t(clamp(depth, 0, 32));
    ins.vibrato_rate = uint8_t(clamp(rate, 0, 63));
    ins.vibrato_sweep = uint8_t(clamp(sweep, 0, 255));
}

void set_panning(Composer& c, const std::vector<uint8_t>& pans) { c.song.channel_panning = pans; }

Cell& cell_at(Composer& c, int row, int channel)
{
    if (row >= c.rows) {
        c.rows = row + 1;
        c.grid.resize(size_t(c.rows) * size_t(c.song.channels));
    }
    return c.grid[size_t(row) * size_t(c.song.channels) + size_t(channel)];
}

void set_length(Composer& c, int rows)
{
    if (rows > c.rows) cell_at(c, rows - 1, 0);
}

void put_note(Composer& c, int row, int channel, int note, int instrument, int volume)
{
    Cell& cell = cell_at(c, row, channel);
    cell.note = uint8_t(clamp(note, 1, 119));
    cell.instrument = uint8_t(instrument);
    cell.volume = uint8_t(clamp(volume, 0, 64));
}

void put_off(Composer& c, int row, int channel)
{
    Cell& cell = cell_at(c, row, channel);
    if (cell.note == note_none) cell.note = note_off;
}

void put_effect(Composer& c, int row, int channel, Effect effect, int param)
{
    Cell& cell = cell_at(c, row, channel);
    cell.effect = effect;
    cell.param = uint8_t(param);
}

void put_global_effect(Composer& c, int row, Effect effect, int param)
{
    if (c.effects_channel >= 0 && cell_at(c, row, c.effects_channel).effect == Effect::none) {
        put_effect(c, row, c.effects_channel, effect, param);
        return;
    }
    for (int ch = c.song.channels - 1; ch >= 0; ch--) {
        Cell& cell = cell_at(c, row, ch);
        if (cell.effect == Effect::none) {
            cell.effect = effect;
            cell.param = uint8_t(param);
            return;
        }
    }
    // Every column busy: the song-wide effect matters more than a nuance.
    put_effect(c, row, c.song.channels - 1, effect, param);
}

void fill_effect(Composer& c, int channel, int from, int to, Effect effect, int param)
{
    for (int row = from; row < to; row++) {
        Cell& cell = cell_at(c, row, channel);
        if (cell.effect == Effect::none) {
            cell.effect = effect;
            cell.param = uint8_t(param);
        }
    }
}

void fade_out(Composer& c, int from, int to)
{
    // Slides of 1 per tick on rows spread evenly over the span, so the fade
    // takes the whole span whatever its length.
    int per_row = c.song.speed - 1 > 0 ? c.song.speed - 1 : 1;
    int slide_rows = (c.song.global_volume + per_row - 1) / per_row;
    int span = to - from;
    if (span <= 0) return;
    if (slide_rows >= span) {
        int per_tick = clamp((c.song.global_volume + span * per_row - 1) / (span * per_row), 1, 14);
        for (int row = from; row < to; row++) put_global_effect(c, row, Effect::global_volume_slide, per_tick);
        return;
    }
    for (int i = 0; i < slide_rows; i++)
        put_global_effect(c, from + i * span / slide_rows, Effect::global_volume_slide, 1);
}

void mark_section(Composer& c, int row)
{
    for (int r : c.sections)
        if (r == row) return;
    c.sections.push_back(row);
}

void copy_rows(Composer& c, int from, int rows, int to)
{
    // The marks inside the section come along, so both copies are cut alike.
    std::vector<int> inside;
    for (int r : c.sections)
        if (r > from && r < from + rows) inside.push_back(r - from + to);
    for (int r : {from, from + rows, to, to + rows}) mark_section(c, r);
    for (int r : inside) mark_section(c, r);
    set_length(c, to + rows);
    const size_t width = size_t(c.song.channels);
    for (int r = 0; r < rows; r++)
        for (size_t ch = 0; ch < width; ch++)
            c.grid[size_t(to + r) * width + ch] = c.grid[size_t(from + r) * width + ch];
}

namespace {

bool row_has_effect(Composer& c, int row, Effect effect)
{
    for (int ch = 0; ch < c.song.channels; ch++)
        if (cell_at(c, row, ch).effect == effect) return true;
    return false;
}

}  // namespace

Song composer_finish(Composer& c, int pattern_rows, bool loop)
{
    // A player wrapping to the start keeps the end's global volume and
    // tempo unless the first row says them again.
    if (!row_has_effect(c, 0, Effect::set_global_volume))
        put_global_effect(c, 0, Effect::set_global_volume, c.song.global_volume);
    if (!row_has_effect(c, 0, Effect::set_tempo)) put_global_effect(c, 0, Effect::set_tempo, c.song.tempo);
    if (!row_has_effect(c, 0, Effect::set_speed)) put_global_effect(c, 0, Effect::set_speed, c.song.speed);
    Song song = c.song;
    if (loop) put_global_effect(c, c.rows - 1, Effect::position_jump, 0);
    song.patterns.clear();
    song.orders.clear();
    std::vector<int> marks = c.sections;
    marks.push_back(c.rows);
    std::sort(marks.begin(), marks.end());
    size_t next_mark = 0;
    for (int start = 0; start < c.rows;) {
        while (marks[next_mark] <= start) next_mark++;
        int limit = marks[next_mark] < c.rows ? marks[next_mark] : c.rows;
        int rows = limit - start < pattern_rows ? limit - start : pattern_rows;
        Pattern p = make_pattern(song, rows);
        for (int r = 0; r < rows; r++)
            for (int ch = 0; ch < song.channels; ch++)
                p.cells[size_t(r) * size_t(song.channels) + size_t(ch)] =
                    c.grid[size_t(start + r) * size_t(song.channels) + size_t(ch)];
        size_t index = song.patterns.size();
        for (size_t i = 0; i < song.patterns.size(); i++) {
            const Pattern& q = song.patterns[i];
            if (q.rows == p.rows &&
                std::memcmp(q.cells.data(), p.cells.data(), p.cells.size() * sizeof(Cell)) == 0) {
                index = i;
                break;
            }
        }
        if (index == song.patterns.size()) song.patterns.push_back(p);
        song.orders.push_back(uint8_t(index));
        start += rows;
    }
    return song;
}

Envelope env_adsr(int attack, int decay, int sustain_level, int release)
{
    Envelope e;
    int t = 0;
    e.points.push_back({0, uint8_t(attack > 0 ? 0 : 64)});
    if (attack > 0) e.points.push_back({uint16_t(t += attack), 64});
    e.points.push_back({uint16_t(t += decay > 0 ? decay : 1), uint8_t(sustain_level)});
    e.sustain = int(e.points.size()) - 1;
    e.points.push_back({uint16_t(t += release > 0 ? release : 1), 0});
    return e;
}

Envelope env_pluck(int hold, int decay, int tail)
{
    Envelope e;
    e.points = {{0, 64},
                {uint16_t(hold > 0 ? hold : 1), 64},
                {uint16_t((hold > 0 ? hold : 1) + decay), 20},
                {uint16_t((hold > 0 ? hold : 1) + decay + tail), 0}};
    return e;
}

Envelope env_swell(int attack, int period, int low, int release)
{
    Envelope e;
    int t = attack > 0 ? attack : 1;
    e.points = {{0, 0},
                {uint16_t(t), 64},
                {uint16_t(t + period / 2), uint8_t(low)},
                {uint16_t(t + period), 64},
                {uint16_t(t + period + (release > 0 ? release : 1)), 0}};
    // A loop and no sustain point: the swell goes on while the key is held
    // and the instrument's fadeout ends it after the release.
    e.loop_start = 1;
    e.loop_end = 3;
    return e;
}

void drum_line(Composer& c, int channel, int instrument, int start, int rows, const char* steps,
               int step_rows, int volume, int note)
{
    int n = int(std::strlen(steps));
    if (n == 0) return;
    for (int step = 0; step * step_rows < rows; step++) {
        char ch = steps[step % n];
        int v = ch == 'X' ? volume : ch == 'x' ? volume * 3 / 4 : ch == 'o' ? volume * 2 / 5 : -1;
        if (v > 0 && ch != 'X') v += rng_range(c.rng, -3, 3);
        if (v >= 0) put_note(c, start + step * step_rows, channel, note, instrument, v);
    }
}

void bass_line(Composer& c, int channel, int instrument, const std::vector<Span>& spans,
               int start, int rows, const char* steps, int step_rows, int base, int volume)
{
    int n = int(std::strlen(steps));
    if (n == 0) return;
    for (int step = 0; step * step_rows < rows; step++) {
        int row = start + step * step_rows;
        const Span& s = span_at(spans, row);
        int root = base + pitch_class(s.chord.root - base);
        auto tone = [&](int i) {
            return root + (i < int(s.chord.tones.size()) ? s.chord.tones[size_t(i)] : 12);
        };
        int note = -1;
        switch (steps[step % n]) {
        case 'R': note = root; break;
        case 'r': note = root - 12 >= base - 12 ? root - 12 : root; break;
        case 'O': note = root + 12; break;
        case '3': note = tone(1); break;
        case '5': note = s.chord.tones.size() > 2 ? tone(2) : root + 7; break;
        case '7': note = s.chord.tones.size() > 3 ? tone(3) : root + 12; break;
        case 'A': {
            const Span& next = span_at(spans, s.start + s.rows);
            int next_root = base + pitch_class(next.chord.root - base);
            note = next_root - 1;
            break;
        }
        case '.': put_off(c, row, channel); break;
        default: break;
        }
        if (note >= 0) put_note(c, row, channel, note, instrument, volume);
    }
}

void pad_chords(Composer& c, int first_channel, int voices, int instrument,
                const std::vector<Span>& spans, int start, int end, int low, int high, int volume,
                bool release)
{
    std::vector<int> previous;
    for (const Span& s : spans) {
        if (s.start + s.rows <= start || s.start >= end) continue;
        int row = s.start < start ? start : s.start;
        std::vector<int> notes = voice_lead(s.chord, previous, voices, low, high);
        for (int v = 0; v < voices; v++)
            if (previous.empty() || notes[size_t(v)] != previous[size_t(v)] || row == start)
                put_note(c, row, first_channel + v, notes[size_t(v)], instrument, volume);
        previous = notes;
    }
    if (release)
        for (int v = 0; v < voices; v++) put_off(c, end, first_channel + v);
}

void chord_stabs(Composer& c, int first_channel, int voices, int instrument,
                 const std::vector<Span>& spans, int start, int rows, const char* steps,
                 int step_rows, int low, int high, int volume)
{
    int n = int(std::strlen(steps));
    if (n == 0) return;
    std::vector<int> previous;
    for (int step = 0; step * step_rows < rows; step++) {
        int row = start + step * step_rows;
        char ch = steps[step % n];
        if (ch == 'x' || ch == 'X') {
            previous = voice_lead(span_at(spans, row).chord, previous, voices, low, high);
            int v = ch == 'X' ? volume : volume * 3 / 4;
            for (int i = 0; i < voices; i++) put_note(c, row, first_channel + i, previous[size_t(i)], instrument, v);
        } else if (ch == '.') {
            for (int i = 0; i < voices; i++) put_off(c, row, first_channel + i);
        }
    }
}

void drum_roll(Composer& c, int channel, int instrument, int start, int rows, int step_rows,
               int volume_from, int volume_to, int note)
{
    int steps = rows / (step_rows > 0 ? step_rows : 1);
    for (int i = 0; i < steps; i++) {
        int v = volume_from + (volume_to - volume_from) * i / (steps > 1 ? steps - 1 : 1);
        put_note(c, start + i * step_rows, channel, note, instrument, v);
    }
}

void drum_fill(Composer& c, int channel, int instrument, int start, int rows, int step_rows,
               int note_from, int note_to, int volume)
{
    int steps = rows / (step_rows > 0 ? step_rows : 1);
    for (int i = 0; i < steps; i++) {
        int last = steps > 1 ? steps - 1 : 1;
        int note = note_from + (note_to - note_from) * i / last;
        int v = volume * (2 * last + i) / (3 * last);
        put_note(c, start + i * step_rows, channel, note, instrument, v);
    }
}

void swing(Composer& c, int from, int to, int long_speed, int short_speed)
{
    for (int row = from; row < to; row++)
        put_global_effect(c, row, Effect::set_speed, (row - from) % 2 ? short_speed : long_speed);
}

void arpeggio(Composer& c, int channel, int instrument, const std::vector<Span>& spans,
              int start, int rows, const char* steps, int step_rows, int low, int volume)
{
    int n = int(std::strlen(steps));
    if (n == 0) return;
    for (int step = 0; step * step_rows < rows; step++) {
        int row = start + step * step_rows;
        char ch = steps[step % n];
        if (ch >= '0' && ch <= '9') {
            const Span& s = span_at(spans, row);
            // Accent the first step of every group a little.
            int v = step % n == 0 ? volume : volume * 7 / 8;
            put_note(c, row, channel, chord_tone_above(s.chord, low, ch - '0'), instrument, v);
        } else if (ch == '.') {
            put_off(c, row, channel);
        }
    }
}

Motif make_motif(Rng& rng, const char* rhythm, int max_move)
{
    Motif m;
    m.rhythm = rhythm;
    int notes = 0;
    for (char ch : m.rhythm)
        if (ch == 'x' || ch == '~') notes++;
    int last = 0;
    for (int i = 0; i < notes; i++) {
        // Mostly steps, sometimes a leap, rarely the same note twice; after
        // a leap, turn back (the way singers recover from one).
        int move;
        int r = rng_range(rng, 0, 9);
        if (std::abs(last) >= 3)
            move = last > 0 ? -rng_range(rng, 1, 2) : rng_range(rng, 1, 2);
        else if (r < 6)
            move = rng_range(rng, 0, 1) ? 1 : -1;
        else if (r < 9)
            move = (rng_range(rng, 0, 1) ? 1 : -1) * rng_range(rng, 2, max_move < 2 ? 2 : max_move);
        else
            move = 0;
        m.moves.push_back(move);
        last = move;
    }
    return m;
}

Motif motif_inverted(const Motif& m)
{
    Motif r = m;
    for (int& mv : r.moves) mv = -mv;
    return r;
}

Motif motif_reversed(const Motif& m)
{
    // Read the rhythm as (start character, length) runs and lay the runs
    // out back to front, so each note still begins its own run.
    std::vector<std::pair<char, int>> runs;
    for (size_t i = 0; i < m.rhythm.size();) {
        size_t j = i + 1;
        while (j < m.rhythm.size() && m.rhythm[j] == '-') j++;
        runs.push_back({m.rhythm[i], int(j - i)});
        i = j;
    }
    Motif r;
    for (size_t i = runs.size(); i-- > 0;) {
        r.rhythm += runs[i].first;
        r.rhythm.append(size_t(runs[i].second - 1), '-');
    }
    for (size_t i = m.moves.size(); i-- > 0;) r.moves.push_back(-m.moves[i]);
    return r;
}

int play_motif(Composer& c, int channel, int instrument, const Motif& m, const Key& k,
               const std::vector<Span>& spans, int start, int step_rows, int start_degree,
               int low, int high, int volume, int vibrato)
{
    int degree = start_degree;
    size_t move = 0;
    int n = int(m.rhythm.size());
    for (int step = 0; step < n; step++) {
        char ch = m.rhythm[size_t(step)];
        int row = start + step * step_rows;
        if (ch == '.') {
            put_off(c, row, channel);
            continue;
        }
        if (ch != 'x' && ch != '~') continue;
        degree += move < m.moves.size() ? m.moves[move++] : 0;
        // Keep inside the range by folding octaves.
        while (degree_note(k, degree) > high) degree -= 7;
        while (degree_note(k, degree) < low) degree += 7;
        int note = degree_note(k, degree);
        const Span& s = span_at(spans, row);
        bool last_note = m.rhythm.find_first_of("x~", size_t(step) + 1) == std::string::npos;
        if ((step % 4 == 0 || last_note) && !chord_has(s.chord, note)) {
            // Strong step or the phrase's last note: move to the nearest
            // chord tone of the scale, so phrases land on the harmony.
            for (int d = 1; d <= 3; d++) {
                if (chord_has(s.chord, degree_note(k, degree + d)) && degree_note(k, degree + d) <= high) {
                    degree += d;
                    break;
                }
                if (chord_has(s.chord, degree_note(k, degree - d)) && degree_note(k, degree - d) >= low) {
                    degree -= d;
                    break;
                }
            }
            note = degree_note(k, degree);
        }
        int length = 1;
        while (step + length < n && m.rhythm[size_t(step + length)] == '-') length++;
        if (ch == '~' && step > 0 && cell_at(c, row, channel).effect == Effect::none) {
            Cell& cell = cell_at(c, row, channel);
            cell.note = uint8_t(note);
            cell.instrument = 0;
            cell.volume = uint8_t(volume);
            cell.effect = Effect::tone_portamento;
            cell.param = 0x20;
            fill_effect(c, channel, row + 1, row + 2, Effect::tone_portamento, 0);
        } else {
            put_note(c, row, channel, note, instrument, volume);
        }
        // Vibrato on held notes once they have settled.
        if (vibrato && length * step_rows >= 4)
            fill_effect(c, channel, row + 2, row + length * step_rows, Effect::vibrato, vibrato);
    }
    return degree;
}

void echo_channel(Composer& c, int src, int dst, int from, int to, int delay_rows, int volume_percent,
                  int transpose)
{
    for (int row = from; row + delay_rows < to; row++) {
        Cell s = cell_at(c, row, src);
        if (s.note == note_none) continue;
        Cell& d = cell_at(c, row + delay_rows, dst);
        if (s.note == note_off || s.note == note_cut) {
            if (d.note == note_none) d.note = s.note;
            continue;
        }
        d.note = uint8_t(clamp(s.note + transpose, 1, 119));
        d.instrument = s.instrument;
        int v = s.volume == no_volume ? 64 : s.volume;
        d.volume = uint8_t(clamp(v * volume_percent / 100, 0, 64));
        if (s.effect == Effect::tone_portamento) {
            d.effect = s.effect;
            d.param = s.param;
        }
    }
}
