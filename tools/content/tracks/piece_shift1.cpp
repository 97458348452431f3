// tools/content/tracks/piece_shift1.cpp: track 3, "Shift1": a 7/8 groove in A
// dorian at 130 BPM, first of the shifting series. The bar's 2+2+3 accents
// turn into 3+2+2, then the hats run in fours against the sevens.
// Plays once. Generator thread only.
#include "tools/content/tracks/kit.h"
#include "tools/content/tracks/pieces.h"

Song piece_shift1()
{
    enum { kick = 0, snare = 1, hat = 2, bass = 3, keys0 = 4, lead = 7, lead_echo = 8, perc = 9 };
    Composer c;
    composer_start(c, "Shift1", 10, 130, 6, 0x5a1f7001);
    set_panning(c, {32, 30, 40, 32, 22, 32, 42, 30, 44, 24});
    c.song.mix_volume = 52;

    int kick_ins = kit_kick(c, 150, 48, 260, 6000);
    int snare_ins = kit_snare(c, 190, 110, 46000, 220);
    int hat_ins = kit_hat(c, 60, 12);
    int perc_ins = kit_tom(c, 160, 260);
    int bass_ins = kit_tone(c, "round bass", Timbre::saw, 4, env_adsr(0, 16, 44, 8), 0);
    int keys_ins = kit_fm(c, "tine", 1, 420, 380, env_adsr(0, 40, 34, 24), 400, 56);
    int lead_ins = kit_tone(c, "reed lead", Timbre::saw, 7, env_adsr(3, 20, 48, 20), 400);

    constexpr int bar = 14;  // seven eighths of two rows
    const int total = 72 * bar;
    Key key = key_dorian(57);
    std::vector<Span> chords = progression("Am9*2 D9*2 Fmaj7 G6 Am7*2", 0, bar, total);

    // Grooves: 2+2+3 first, 3+2+2 in the middle, back at the end.
    const char* kick_a = "X...x...X.....";
    const char* snare_a = "....X......X..";
    const char* kick_b = "X.....X...X...";
    const char* snare_b = "......X.....X.";
    const char* bass_a = "R-.R-.5-.R.O-.";
    const char* bass_b = "R--.R-5-.R-O.5";

    chord_stabs(c, keys0, 3, keys_ins, chords, 0, 8 * bar, "x---.-x---.-x-", 1, 57, 74, 40);
    drum_line(c, hat, hat_ins, 4 * bar, 4 * bar, "x.o.x.o.x.o.o.", 1, 34);

    drum_line(c, kick, kick_ins, 8 * bar, 24 * bar, kick_a, 1, 60);
    drum_line(c, snare, snare_ins, 8 * bar, 24 * bar, snare_a, 1, 52);
    drum_line(c, hat, hat_ins, 8 * bar, 24 * bar, "x.o.x.o.x.o.o.", 1, 40);
    bass_line(c, bass, bass_ins, chords, 8 * bar, 24 * bar, bass_a, 1, 45, 52);
    chord_stabs(c, keys0, 3, keys_ins, chords, 8 * bar, 24 * bar, "x-.x-.x--.x-.-", 1, 57, 74, 40);

    drum_line(c, kick, kick_ins, 32 * bar, 24 * bar, kick_b, 1, 60);
    drum_line(c, snare, snare_ins, 32 * bar, 24 * bar, snare_b, 1, 52);
    // Hats in fours against the bar of seven: they meet again every 4 bars.
    drum_line(c, hat, hat_ins, 40 * bar, 16 * bar, "x.o.", 1, 40);
    drum_line(c, hat, hat_ins, 32 * bar, 8 * bar, "x.o.x.o.x.o.o.", 1, 38);
    drum_line(c, perc, perc_ins, 40 * bar, 16 * bar, "......x.....x.x.", 1, 34, note_c5 - 5);
    bass_line(c, bass, bass_ins, chords, 32 * bar, 24 * bar, bass_b, 1, 45, 54);
    chord_stabs(c, keys0, 3, keys_ins, chords, 32 * bar, 24 * bar, "x--.x-x--.x-.-", 1, 57, 76, 42);

    drum_line(c, kick, kick_ins, 56 * bar, 12 * bar, kick_a, 1, 60);
    drum_line(c, snare, snare_ins, 56 * bar, 12 * bar, snare_a, 1, 50);
    drum_line(c, hat, hat_ins, 56 * bar, 12 * bar, "x.o.x.o.x.o.o.", 1, 38);
    bass_line(c, bass, bass_ins, chords, 56 * bar, 12 * bar, bass_a, 1, 45, 50);
    chord_stabs(c, keys0, 3, keys_ins, chords, 56 * bar, 16 * bar, "x-.x-.x--.x-.-", 1, 57, 74, 38);
    drum_roll(c, perc, perc_ins, 67 * bar, bar, 1, 20, 50, note_c5 - 5);
    // Tom fills close every eight bars of groove.
    for (int b = 16; b <= 64; b += 8) drum_fill(c, perc, perc_ins, b * bar - 6, 6, 2, note_c5 + 2, note_c5 - 7, 46);
    chord_stabs(c, keys0, 3, keys_ins, chords, 70 * bar, 2 * bar, "x---------------------------", 1, 57, 74, 44);

    // The lead: two-bar phrases over 28 steps.
    Motif m1 = make_motif(c.rng, "x-x-x---x-x-x-----x-x-x-----", 2);
    Motif m2 = make_motif(c.rng, "x---x-x~----x-x---x---x-----", 3);
    for (int at = 16; at < 32; at += 4) {
        play_motif(c, lead, lead_ins, m1, key, chords, at * bar, 1, 7, 57, 76, 44, 0x44);
        play_motif(c, lead, lead_ins, m2, key, chords, (at + 2) * bar, 1, 9, 57, 76, 42, 0x44);
    }
    for (int at = 40; at < 56; at += 4) {
        play_motif(c, lead, lead_ins, motif_inverted(m1), key, chords, at * bar, 1, 11, 57, 78, 44, 0x44);
        play_motif(c, lead, lead_ins, m2, key, chords, (at + 2) * bar, 1, 9, 57, 78, 42, 0x44);
    }
    play_motif(c, lead, lead_ins, m1, key, chords, 60 * bar, 1, 7, 57, 76, 40, 0x44);
    put_off(c, 64 * bar, lead);
    echo_channel(c, lead, lead_echo, 0, total, 3, 40);

    set_length(c, total);
    return composer_finish(c, 7 * bar, false);
}
