// content/tracks/piece_frob.cpp: track 7, "Frob", the one XM: a playful chip
// tune in C major at 150 BPM with a shuffle (rows alternate long and
// short). The lead is a thin 12% pulse with vibrato and slides; chords
// played as fast arpeggio effects, a stepped triangle bass, noise drums.
// Form: intro, A, A, B (the bridge), A' (busier, with a counter line), B,
// A', ending: every section but the intro and the end comes back whole.
// The hats come in at bar 3. Generator thread only.
#include "content/tracks/kit.h"
#include "content/tracks/pieces.h"

namespace {

// The chord as a tracker arpeggio: root note held, the effect flicks
// through the third and the fifth every tick.
void arpeggio_chords(Composer& c, int channel, int instrument, const std::vector<Span>& spans,
                     int start, int rows, int volume)
{
    for (const Span& s : spans) {
        if (s.start < start || s.start >= start + rows) continue;
        int third = s.chord.tones.size() > 1 ? s.chord.tones[1] : 4;
        int fifth = s.chord.tones.size() > 2 ? s.chord.tones[2] : 7;
        put_note(c, s.start, channel, 60 + s.chord.root, instrument, volume);
        fill_effect(c, channel, s.start, s.start + s.rows, Effect::arpeggio, (third << 4) | (fifth & 15));
    }
}

}  // namespace

Song piece_frob()
{
    enum { lead = 0, chords = 1, bass = 2, kick = 3, snare = 4, hat = 5, lead_echo = 6, counter = 7 };
    Composer c;
    composer_start(c, "Frob", 8, 150, 6, 0xf20b0007);
    set_panning(c, {28, 40, 32, 32, 30, 44, 12, 20});
    // Mastered (measure-tracks): RMS near -21 dBFS, peaks below -6 dBFS, since
    // the echo and the flanger may each double a sample. XM has no mixing
    // volume; the first row sets this global volume.
    c.song.global_volume = 69;

    int lead_ins = kit_pulse(c, "pulse 12", 12, env_adsr(0, 8, 48, 6), 800);
    int chord_ins = kit_pulse(c, "pulse 25", 25, env_adsr(0, 16, 36, 6), 800);
    int counter_ins = kit_pulse(c, "pulse 50", 50, env_pluck(1, 10, 16), 0);
    int bass_ins = kit_chip_triangle(c, "triangle", env_adsr(0, 4, 60, 2), 0);
    int kick_ins = kit_kick(c, 180, 50, 160, 9000);
    int snare_ins = kit_chip_noise(c, "noise snare", 160, 40);
    int hat_ins = kit_chip_noise(c, "noise hat", 40, 8);

    constexpr int bar = 16;
    const int total = 78 * bar;
    Key key = key_major(60);  // C-5
    std::vector<Span> verse = progression("C Am F G", 0, bar, total);

    Motif hop = make_motif(c.rng, "x.x.x-x.x---x.x.x.x.x-x-x-----..", 3);
    Motif skip = make_motif(c.rng, "x-x-x.x.~---x.x.x-x-x.x.~-------", 2);
    Motif tag = make_motif(c.rng, "x.x.x.x.x.x.x.x.x-------x-------", 2);

    auto groove = [&](int at, int bars, bool busy, const std::vector<Span>& chords_here) {
        drum_line(c, kick, kick_ins, at, bars * bar, busy ? "X.....x.X.x....." : "X.......X.......", 1, 60);
        drum_line(c, snare, snare_ins, at, bars * bar, "....X.......X..o", 1, 50);
        drum_line(c, hat, hat_ins, at, bars * bar, busy ? "x.xox.xox.xox.xo" : "x.x.x.x.x.x.x.x.", 1, 36);
        bass_line(c, bass, bass_ins, chords_here, at, bars * bar, busy ? "R.RO.R5.R.RO.A5." : "R.R.O.R.R.R.O.5.", 1, 36, 56);
        arpeggio_chords(c, chords, chord_ins, chords_here, at, bars * bar, 30);
    };

    // Intro: arpeggio chords and hats, the bass joins.
    arpeggio_chords(c, chords, chord_ins, verse, 0, 4 * bar, 30);
    drum_line(c, hat, hat_ins, 2 * bar, 2 * bar, "x.x.x.x.x.x.x.x.", 1, 30);
    bass_line(c, bass, bass_ins, verse, 2 * bar, 2 * bar, "R.R.O.R.R.R.O.5.", 1, 36, 50);

    // A, B (the bridge) and A' (busy, with the counter line) are written
    // where they first play; the others are copies.
    int at = 4 * bar;
    for (int part = 0; part < 6; part++) {
        if (part == 1 || part >= 4) {
            at += 12 * bar;
            continue;
        }
        bool bridge_part = part == 2;
        std::vector<Span> local = progression(bridge_part ? "F G Em Am Dm G C C" : "C Am F G", at, bar, 12 * bar);
        groove(at, 12, part >= 2, local);
        for (int b = 0; b < 12; b += 4) {
            const Motif& m1 = bridge_part ? skip : hop;
            play_motif(c, lead, lead_ins, m1, key, local, at + b * bar, 1, 7, 60, 79, 50, 0x46);
            play_motif(c, lead, lead_ins, b == 8 ? tag : skip, key, local, at + (b + 2) * bar, 1, 9, 60, 79, 48, 0x46);
        }
        if (part >= 3)
            arpeggio(c, counter, counter_ins, local, at, 12 * bar, "0.1.2.1.0.2.4.2.", 1, 55, 30);
        at += 12 * bar;
    }
    // Playful touches: pitch dives on the snare before each new part.
    for (int b : {15, 39, 51}) {
        drum_fill(c, snare, snare_ins, b * bar + 12, 4, 1, note_c5, note_c5, 56);
        fill_effect(c, snare, b * bar + 12, b * bar + 16, Effect::portamento_down, 0x20);
    }
    for (int part : {0, 2, 3})
        echo_channel(c, lead, lead_echo, (4 + 12 * part) * bar, (16 + 12 * part) * bar, 3, 40, 12);
    swing(c, 0, at, 7, 5);
    copy_rows(c, 4 * bar, 12 * bar, 16 * bar);
    copy_rows(c, 28 * bar, 12 * bar, 52 * bar);
    copy_rows(c, 40 * bar, 12 * bar, 64 * bar);

    // The end: a last cadence and a quick run up, then a cut.
    std::vector<Span> last = progression("F G C", at, bar / 2, bar * 2);
    chord_stabs(c, chords, 1, chord_ins, last, at, bar, "x.x.x.x.x.x.x.x.", 1, 60, 72, 40);
    arpeggio(c, lead, lead_ins, last, at, bar, "0123456789", 1, 60, 50);
    put_note(c, at + bar, lead, 84, lead_ins, 56);
    fill_effect(c, lead, at + bar + 2, at + 2 * bar, Effect::vibrato, 0x68);
    put_note(c, at + bar, bass, 36, bass_ins, 60);
    put_note(c, at + bar, kick, note_c5, kick_ins, 64);
    put_note(c, at + bar, chords, 60, chord_ins, 40);
    fill_effect(c, chords, at + bar, at + 2 * bar, Effect::arpeggio, 0x47);
    for (int ch : {lead, bass, chords}) put_effect(c, at + 2 * bar - 1, ch, Effect::note_cut, 3);
    swing(c, at, at + 2 * bar, 7, 5);
    mark_section(c, at);
    set_length(c, at + 2 * bar);
    return composer_finish(c, 64, false);
}
