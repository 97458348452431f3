// content/tracks/piece_shift3.cpp: track 9, "Shift 3": last of the shifting
// series, in F minor. The metre moves 4/4, 3/4, 5/8, 7/8 and back to 4/4
// while the tempo climbs from 120 to 144 BPM under a running arpeggio,
// then slows for the end. The lead is a hollow square wave.
// Form: intro, A (4/4), B (3/4), A, C (5/8), A, D (7/8), A' (4/4, faster and
// busier), ending: A comes back whole between the odd metres, a rondo.
// Drums enter at bar 5. Generator thread only.
#include "content/tracks/kit.h"
#include "content/tracks/pieces.h"

Song piece_shift3()
{
    enum { kick = 0, snare = 1, hat = 2, bass = 3, arp = 4, arp_echo = 5, pad0 = 6, lead = 9 };
    Composer c;
    composer_start(c, "Shift 3", 10, 120, 6, 0x5a1f7009);
    set_panning(c, {32, 32, 42, 32, 24, 44, 18, 32, 46, 30});
    // Mastered (measure-tracks): RMS near -21 dBFS, peaks below -6 dBFS, since
    // the echo and the flanger may each double a sample.
    c.song.mix_volume = 25;

    int kick_ins = kit_kick(c, 160, 44, 300, 8000);
    int snare_ins = kit_snare(c, 210, 120, 50000, 260);
    int hat_ins = kit_hat(c, 60, 12);
    int bass_ins = kit_tone(c, "saw bass", Timbre::saw, 10, env_adsr(0, 12, 44, 6), 0);
    int arp_ins = kit_fm(c, "bright arp", 2, 500, 90, env_pluck(1, 12, 20), 0);
    int pad_ins = kit_ensemble(c, "wide pad", Timbre::saw, 4, {0, 1, -1, 3, -2}, env_adsr(40, 20, 50, 60), 250);
    int lead_ins = kit_tone(c, "square lead", Timbre::square, 9, env_adsr(2, 16, 50, 20), 300);

    Key key = key_minor(65);  // F-5
    struct Part {
        int bar_rows, bars, tempo;
        const char *chords, *kick, *snare, *hat, *bass, *arp;
    };
    const Part parts[] = {
        {16, 12, 120, "Fm Db Eb Cm", "X.......X.x.....", "....X.......X...", "x.x.x.x.x.x.x.x.",
         "R.RO.R5.R.RO.R5.", "0123212301232123"},
        {12, 12, 126, "Fm Bbm C7 Fm", "X.......x...", "....X...X...", "x.x.x.x.x.x.",
         "R.RO.5R.RO.5", "012321012343"},
        {10, 12, 132, "Db Eb Fm Fm", "X.....X...", "....X....o", "x.x.x.x.x.",
         "R.RO.R.5O.", "0123401234"},
        {14, 12, 138, "Fm Db Ab Eb", "X...X...X.....", "....X......X..", "x.x.x.x.x.x.x.",
         "R-.R-.5-.R.O-.", "01230123012343"},
        {16, 12, 144, "Fm Db Eb Cm", "X.......X.x.X...", "....X.......X.xo", "x.xox.xox.xox.xo",
         "R.RORR5.R.RO.A5.", "0123432101234321"},
    };
    int row = 0;
    Motif m = make_motif(c.rng, "x-x-x---x-x-x---x---x-x-x-----", 2);
    int degree = 7;
    const int a_at = 4 * 16, a_rows = 8 * 16;
    for (const Part& p : parts) {
        if (&p == &parts[2] || &p == &parts[3]) {
            // The rondo's return: A, at its own tempo.
            copy_rows(c, a_at, a_rows, row);
            row += a_rows;
        }
        int rows = p.bar_rows * (row == 0 ? p.bars : 8);
        put_global_effect(c, row, Effect::set_tempo, p.tempo);
        std::vector<Span> chords = progression(p.chords, row, p.bar_rows, rows);
        bool first = row == 0;
        arpeggio(c, arp, arp_ins, chords, row, rows, p.arp, 1, 65, 42);
        pad_chords(c, pad0, 3, pad_ins, chords, row, row + rows, 56, 72, 30, false);
        int drums_from = first ? row + 4 * p.bar_rows : row;
        drum_line(c, kick, kick_ins, drums_from, row + rows - drums_from, p.kick, 1, 60);
        drum_line(c, snare, snare_ins, drums_from, row + rows - drums_from, p.snare, 1, 54);
        drum_line(c, hat, hat_ins, first ? row : row, rows, p.hat, 1, 36);
        bass_line(c, bass, bass_ins, chords, drums_from, row + rows - drums_from, p.bass, 1, 41, 52);
        // The lead spans the bar changes: the same motif over each metre.
        for (int at = row + (first ? 4 * p.bar_rows : 0); at + 30 <= row + rows; at += 32)
            degree = play_motif(c, lead, lead_ins, m, key, chords, at, 1, degree > 12 ? 7 : degree, 53, 77, 44, 0x44);
        put_off(c, row + rows - 1, lead);
        echo_channel(c, arp, arp_echo, row, row + rows, 3, 40);
        if (row == 0) put_global_effect(c, a_at, Effect::set_tempo, p.tempo);
        mark_section(c, row);
        row += rows;
    }

    // Ending: four slowing bars on the tonic, then the final chord.
    std::vector<Span> end = progression("Db Eb Fm*2", row, 16, 64);
    int tempos[] = {132, 120, 108, 96};
    for (int b = 0; b < 4; b++) put_global_effect(c, row + b * 16, Effect::set_tempo, tempos[b]);
    arpeggio(c, arp, arp_ins, end, row, 48, "0123432101234321", 1, 65, 40);
    pad_chords(c, pad0, 3, pad_ins, end, row, row + 62, 56, 72, 40);
    drum_line(c, kick, kick_ins, row, 48, "X.......X.......", 1, 56);
    drum_roll(c, snare, snare_ins, row + 32, 16, 1, 20, 60);
    bass_line(c, bass, bass_ins, end, row, 64, "R-------R-------", 1, 41, 54);
    put_note(c, row + 48, kick, note_c5, kick_ins, 64);
    put_note(c, row + 48, lead, 77, lead_ins, 50);
    fill_effect(c, lead, row + 50, row + 64, Effect::vibrato, 0x46);
    put_off(c, row + 62, lead);
    put_off(c, row + 62, bass);
    set_length(c, row + 64);
    return composer_finish(c, 64, false);
}
