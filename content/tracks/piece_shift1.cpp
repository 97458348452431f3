// content/tracks/piece_shift1.cpp: track 3, "Shift 1": a 7/8 groove in A
// dorian at 130 BPM, first of the shifting series. The bar's 2+2+3 accents
// turn into 3+2+2 in the middle, where the hats run in fours against the
// sevens. The lead is a reedy saw with vibrato.
// Form: intro, A, B, A, C, B, outro: the groove A and the song B (A with
// the lead) come back whole. Hats join at bar 5, the groove at bar 9.
// Generator thread only.
#include "content/tracks/kit.h"
#include "content/tracks/pieces.h"

Song piece_shift1()
{
    enum { kick = 0, snare = 1, hat = 2, bass = 3, keys0 = 4, lead = 7, lead_echo = 8, perc = 9 };
    Composer c;
    composer_start(c, "Shift 1", 10, 130, 6, 0x5a1f7001);
    set_panning(c, {32, 30, 40, 32, 22, 32, 42, 30, 44, 24});
    // Mastered (measure-tracks): RMS near -21 dBFS, peaks below -6 dBFS, since
    // the echo and the flanger may each double a sample.
    c.song.mix_volume = 29;

    int kick_ins = kit_kick(c, 150, 48, 260, 6000);
    int snare_ins = kit_snare(c, 190, 110, 46000, 220);
    int hat_ins = kit_hat(c, 60, 12);
    int perc_ins = kit_tom(c, 160, 260);
    int bass_ins = kit_tone(c, "round bass", Timbre::saw, 4, env_adsr(0, 16, 44, 8), 0);
    int keys_ins = kit_fm(c, "tine", 1, 420, 380, env_adsr(0, 40, 34, 24), 400, 56);
    int lead_ins = kit_tone(c, "reed lead", Timbre::saw, 7, env_adsr(3, 20, 48, 20), 400);

    constexpr int bar = 14, block = 8 * bar;  // seven eighths of two rows
    Key key = key_dorian(57);
    const char* changes = "Am9*2 D9*2 Fmaj7 G6 Am7*2";
    const char* kick_a = "X...x...X.....";
    const char* snare_a = "....X......X..";
    const char* bass_a = "R-.R-.5-.R.O-.";
    const int a_at = block, b_at = 2 * block, c_at = 4 * block, outro_at = 6 * block;

    // Intro: the keys alone, hats from bar 5.
    std::vector<Span> intro = progression(changes, 0, bar, block);
    chord_stabs(c, keys0, 3, keys_ins, intro, 0, block, "x---.-x---.-x-", 1, 57, 74, 40);
    drum_line(c, hat, hat_ins, 4 * bar, 4 * bar, "x.o.x.o.x.o.o.", 1, 34);

    // A: the 2+2+3 groove; B: the same with the lead.
    auto groove_a = [&](int at) {
        std::vector<Span> chords = progression(changes, at, bar, block);
        drum_line(c, kick, kick_ins, at, block, kick_a, 1, 60);
        drum_line(c, snare, snare_ins, at, block, snare_a, 1, 52);
        drum_line(c, hat, hat_ins, at, block, "x.o.x.o.x.o.o.", 1, 40);
        bass_line(c, bass, bass_ins, chords, at, block, bass_a, 1, 45, 52);
        chord_stabs(c, keys0, 3, keys_ins, chords, at, block, "x-.x-.x--.x-.-", 1, 57, 74, 40);
        drum_fill(c, perc, perc_ins, at + block - 6, 6, 2, note_c5 + 2, note_c5 - 7, 46);
        return chords;
    };
    groove_a(a_at);
    std::vector<Span> b_chords = groove_a(b_at);
    Motif m1 = make_motif(c.rng, "x-x-x---x-x-x-----x-x-x-----", 2);
    Motif m2 = make_motif(c.rng, "x---x-x~----x-x---x---x-----", 3);
    for (int b = 0; b < 8; b += 4) {
        play_motif(c, lead, lead_ins, m1, key, b_chords, b_at + b * bar, 1, 7, 57, 76, 44, 0x44);
        play_motif(c, lead, lead_ins, m2, key, b_chords, b_at + (b + 2) * bar, 1, 9, 57, 76, 42, 0x44);
    }
    put_off(c, b_at + block - 1, lead);
    echo_channel(c, lead, lead_echo, b_at, b_at + block, 3, 40);

    // C: 3+2+2, hats in fours against the seven (they meet every 4 bars).
    std::vector<Span> cc = progression(changes, c_at, bar, block);
    drum_line(c, kick, kick_ins, c_at, block, "X.....X...X...", 1, 60);
    drum_line(c, snare, snare_ins, c_at, block, "......X.....X.", 1, 52);
    drum_line(c, hat, hat_ins, c_at, block, "x.o.", 1, 40);
    drum_line(c, perc, perc_ins, c_at, block, "......x.....x.x.", 1, 34, note_c5 - 5);
    bass_line(c, bass, bass_ins, cc, c_at, block, "R--.R-5-.R-O.5", 1, 45, 54);
    chord_stabs(c, keys0, 3, keys_ins, cc, c_at, block, "x--.x-x--.x-.-", 1, 57, 76, 42);
    for (int b = 0; b < 8; b += 4) {
        play_motif(c, lead, lead_ins, motif_inverted(m1), key, cc, c_at + b * bar, 1, 11, 57, 78, 44, 0x44);
        play_motif(c, lead, lead_ins, m2, key, cc, c_at + (b + 2) * bar, 1, 9, 57, 78, 42, 0x44);
    }
    put_off(c, c_at + block - 1, lead);
    echo_channel(c, lead, lead_echo, c_at, c_at + block, 3, 40);

    copy_rows(c, a_at, block, 3 * block);
    copy_rows(c, b_at, block, 5 * block);

    // Outro: the keys, a rising roll and the last chord.
    std::vector<Span> last = progression(changes, outro_at, bar, 4 * bar);
    chord_stabs(c, keys0, 3, keys_ins, last, outro_at, 2 * bar, "x-.x-.x--.x-.-", 1, 57, 74, 38);
    drum_roll(c, perc, perc_ins, outro_at + bar, bar, 1, 20, 50, note_c5 - 5);
    chord_stabs(c, keys0, 3, keys_ins, last, outro_at + 2 * bar, 2 * bar, "x---------------------------", 1, 57, 74, 44);
    put_note(c, outro_at + 2 * bar, kick, note_c5, kick_ins, 60);
    mark_section(c, outro_at);
    set_length(c, outro_at + 4 * bar);
    return composer_finish(c, 4 * bar, false);
}
