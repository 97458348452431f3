// tools/content/tracks/piece_stone.cpp: track 5, "STONE": heavy half-time piece in
// D phrygian at 76 BPM. Driven power chords in both ears, a deep kick and
// a big snare on three, a slow lead that bends into its notes, and a dark
// choir. Plays once. Generator thread only.
#include "tools/content/tracks/kit.h"
#include "tools/content/tracks/pieces.h"

Song piece_stone()
{
    enum { kick = 0, snare = 1, crash = 2, tom = 3, power_l = 4, power_r = 5, sub = 6, lead = 7,
           lead_echo = 8, choir0 = 9 };
    Composer c;
    composer_start(c, "STONE", 12, 76, 6, 0x570e0005);
    set_panning(c, {32, 32, 40, 28, 6, 58, 32, 30, 44, 16, 32, 48});
    c.song.mix_volume = 26;

    int kick_ins = kit_kick(c, 90, 38, 500, 7000);
    int snare_ins = kit_snare(c, 160, 150, 40000, 420);
    int crash_ins = kit_cymbal(c, 1400);
    int tom_ins = kit_tom(c, 90, 500);
    int power_a = kit_power(c, "power", 900, env_adsr(0, 30, 50, 10), 0);
    int power_b = kit_power(c, "power wide", 1300, env_adsr(0, 30, 50, 10), 0);
    int sub_ins = kit_tone(c, "sub", Timbre::sine, 0, env_adsr(0, 20, 56, 10), 0);
    int lead_ins = kit_tone(c, "bent lead", Timbre::saw, 6, env_adsr(10, 30, 52, 40), 200);
    int choir_ins = kit_ensemble(c, "choir", Timbre::triangle, 0, {0, 1, -1, 2}, env_adsr(80, 20, 56, 90), 250);

    constexpr int bar = 16;
    const int total = 44 * bar;
    Key key = key_phrygian(62);  // D-5
    std::vector<Span> riff = progression("D5*2 F5 Eb5 D5*2 C5 Eb5", 0, bar, total);
    std::vector<Span> dark = progression("Dm*2 Bb*2 Gm Eb*2 A7sus4", 0, bar, total);

    const char* chug_a = "R-.RR-.RR-.RA-.R";
    const char* chug_b = "R.RRR.RR.RRRO-A.";

    // Intro: the choir, toms like distant thunder, single power hits.
    pad_chords(c, choir0, 3, choir_ins, dark, 0, 8 * bar, 50, 67, 40);
    drum_line(c, tom, tom_ins, 2 * bar, 6 * bar, "X.......x.o.....X.......x.x.x.x.", 1, 52, note_c5 - 7);
    for (int b = 0; b < 8; b += 2) {
        put_note(c, b * bar, power_l, 38, power_a, 44);
        put_note(c, b * bar, power_r, 38, power_b, 40);
    }
    put_note(c, 7 * bar, crash, note_c5, crash_ins, 40);

    // Riff A, then the verse with the lead, the breakdown, riff B.
    for (int part = 0; part < 4; part++) {
        int at = (8 + part * 8) * bar;
        bool breakdown = part == 2;
        const char* chug = part == 3 ? chug_b : chug_a;
        if (!breakdown) {
            bass_line(c, power_l, power_a, riff, at, 8 * bar, chug, 1, 38, 54);
            bass_line(c, power_r, power_b, riff, at, 8 * bar, chug, 1, 38, 50);
            drum_line(c, kick, kick_ins, at, 8 * bar, part == 3 ? "X.X...X.X.X...X." : "X.....X.X.......", 1, 64);
            drum_line(c, snare, snare_ins, at, 8 * bar, "........X.......", 1, 60);
            drum_line(c, crash, crash_ins, at, 8 * bar, "X...............x...............", 2, 44);
        } else {
            drum_line(c, kick, kick_ins, at, 8 * bar, "X...............", 1, 56);
            drum_line(c, snare, snare_ins, at + 4 * bar, 4 * bar, "................X...............", 1, 50);
            pad_chords(c, choir0, 3, choir_ins, dark, at, at + 8 * bar, 50, 67, 44);
            drum_roll(c, tom, tom_ins, at + 7 * bar, bar, 2, 24, 60, note_c5 - 7);
        }
        bass_line(c, sub, sub_ins, riff, at, 8 * bar, breakdown ? "R---------------" : "R-------R---R---", 1, 26, 56);
        if (!breakdown) drum_fill(c, tom, tom_ins, at + 7 * bar + 8, 8, 2, note_c5, note_c5 - 10, 60);
    }

    // The lead bends (glides) into long notes over the verse and breakdown.
    Motif cry = make_motif(c.rng, "x-------~-------x---x---~-------", 2);
    Motif moan = make_motif(c.rng, "x---------------~-------x-------", 3);
    for (int at = 16; at < 32; at += 2)
        play_motif(c, lead, lead_ins, (at / 2) % 2 ? moan : cry, key, riff, at * bar, 1, 7, 50, 69, 48, 0x36);
    for (int at = 32; at < 40; at += 2)
        play_motif(c, lead, lead_ins, motif_inverted(cry), key, riff, at * bar, 1, 9, 50, 72, 50, 0x46);
    put_off(c, 40 * bar, lead);
    echo_channel(c, lead, lead_echo, 0, total, 6, 40);

    // Outro: one last chord rings while the drums break off and it fades.
    put_note(c, 40 * bar, power_l, 38, power_a, 60);
    put_note(c, 40 * bar, power_r, 38, power_b, 56);
    put_note(c, 40 * bar, crash, note_c5, crash_ins, 60);
    put_note(c, 40 * bar, kick, note_c5, kick_ins, 64);
    put_note(c, 40 * bar, sub, 26, sub_ins, 60);
    pad_chords(c, choir0, 3, choir_ins, progression("Dm", 40 * bar, bar, 4 * bar), 40 * bar, 44 * bar - 1, 50, 67, 44);
    fade_out(c, 41 * bar, total);
    set_length(c, total);
    return composer_finish(c, 64, false);
}
