// content/tracks/piece_stone.cpp: track 5, "Stone": heavy half-time piece in
// D phrygian at 76 BPM, 4/4 with the snare on three. The lead is a driven
// fifth (a power chord played as a melody) that bends into its notes over
// chugging power chords, a deep kick and a dark choir.
// Form: intro, riff, verse, riff, breakdown, verse, riff, outro: the riff
// and the verse come back whole. The toms enter in the intro's second bar
// and the riff at bar 5. Ends on a fade; the first row restores the volume.
// Generator thread only.
#include "content/tracks/kit.h"
#include "content/tracks/pieces.h"

Song piece_stone()
{
    enum { kick = 0, snare = 1, crash = 2, tom = 3, power_l = 4, power_r = 5, sub = 6, lead = 7,
           lead_echo = 8, choir0 = 9 };
    Composer c;
    composer_start(c, "Stone", 12, 76, 6, 0x570e0005);
    set_panning(c, {32, 32, 40, 28, 6, 58, 32, 30, 44, 16, 32, 48});
    // Mastered (measure-tracks): RMS near -21 dBFS, peaks below -6 dBFS, since
    // the echo and the flanger may each double a sample.
    c.song.mix_volume = 12;

    int kick_ins = kit_kick(c, 90, 38, 500, 7000);
    int snare_ins = kit_snare(c, 160, 150, 40000, 420);
    int crash_ins = kit_cymbal(c, 1400);
    int tom_ins = kit_tom(c, 90, 500);
    int power_a = kit_power(c, "power", 900, env_adsr(0, 30, 50, 10), 0);
    int power_b = kit_power(c, "power wide", 1300, env_adsr(0, 30, 50, 10), 0);
    int sub_ins = kit_tone(c, "sub", Timbre::sine, 0, env_adsr(0, 20, 56, 10), 0);
    int lead_ins = kit_power(c, "fifths lead", 700, env_adsr(10, 30, 52, 40), 200);
    int choir_ins = kit_ensemble(c, "choir", Timbre::triangle, 0, {0, 1, -1, 2}, env_adsr(80, 20, 56, 90), 250);

    constexpr int bar = 16, block = 8 * bar;
    Key key = key_phrygian(62);  // D-5
    const char* chug_a = "R-.RR-.RR-.RA-.R";
    const char* chug_b = "R.RRR.RR.RRRO-A.";

    // Intro (4 bars): the choir, toms from the second bar, single power hits.
    std::vector<Span> dark = progression("Dm Bb Gm A7sus4", 0, bar, 4 * bar);
    pad_chords(c, choir0, 3, choir_ins, dark, 0, 4 * bar, 50, 67, 40);
    drum_line(c, tom, tom_ins, bar, 3 * bar, "X.......x.o.....X.......x.x.x.x.", 1, 52, note_c5 - 7);
    for (int b = 0; b < 4; b += 2) {
        put_note(c, b * bar, power_l, 38, power_a, 44);
        put_note(c, b * bar, power_r, 38, power_b, 40);
    }
    put_note(c, 3 * bar, crash, note_c5, crash_ins, 40);

    // The riff, the verse (the riff under the lead) and the breakdown, each
    // eight bars, written once where they first play.
    const int riff_at = 4 * bar, verse_at = riff_at + block, breakdown_at = verse_at + 2 * block;
    auto riff_block = [&](int at, const char* chug, const char* kicks) {
        std::vector<Span> riff = progression("D5*2 F5 Eb5 D5*2 C5 Eb5", at, bar, block);
        bass_line(c, power_l, power_a, riff, at, block, chug, 1, 38, 54);
        bass_line(c, power_r, power_b, riff, at, block, chug, 1, 38, 50);
        drum_line(c, kick, kick_ins, at, block, kicks, 1, 64);
        drum_line(c, snare, snare_ins, at, block, "........X.......", 1, 60);
        drum_line(c, crash, crash_ins, at, block, "X...............x...............", 2, 44);
        bass_line(c, sub, sub_ins, riff, at, block, "R-------R---R---", 1, 26, 56);
        drum_fill(c, tom, tom_ins, at + 7 * bar + 8, 8, 2, note_c5, note_c5 - 10, 60);
        return riff;
    };
    riff_block(riff_at, chug_a, "X.....X.X.......");
    std::vector<Span> riff = riff_block(verse_at, chug_b, "X.X...X.X.X...X.");
    Motif cry = make_motif(c.rng, "x-------~-------x---x---~-------", 2);
    Motif moan = make_motif(c.rng, "x---------------~-------x-------", 3);
    for (int b = 0; b < 8; b += 2)
        play_motif(c, lead, lead_ins, b % 4 ? moan : cry, key, riff, verse_at + b * bar, 1, 7, 50, 69, 48, 0x36);
    put_off(c, verse_at + block - 1, lead);
    echo_channel(c, lead, lead_echo, verse_at, verse_at + block, 6, 40);

    std::vector<Span> dark8 = progression("Dm*2 Bb*2 Gm Eb*2 A7sus4", breakdown_at, bar, block);
    drum_line(c, kick, kick_ins, breakdown_at, block, "X...............", 1, 56);
    drum_line(c, snare, snare_ins, breakdown_at + 4 * bar, 4 * bar, "................X...............", 1, 50);
    pad_chords(c, choir0, 3, choir_ins, dark8, breakdown_at, breakdown_at + block, 50, 67, 44);
    drum_roll(c, tom, tom_ins, breakdown_at + 7 * bar, bar, 2, 24, 60, note_c5 - 7);
    bass_line(c, sub, sub_ins, dark8, breakdown_at, block, "R---------------", 1, 26, 56);
    for (int b = 0; b < 8; b += 2)
        play_motif(c, lead, lead_ins, motif_inverted(cry), key, dark8, breakdown_at + b * bar, 1, 9, 50, 72, 50, 0x46);
    put_off(c, breakdown_at + block - 1, lead);
    echo_channel(c, lead, lead_echo, breakdown_at, breakdown_at + block, 6, 40);

    // Riff, verse, riff, breakdown, verse, riff.
    copy_rows(c, riff_at, block, verse_at + block);
    copy_rows(c, verse_at, block, breakdown_at + block);
    copy_rows(c, riff_at, block, breakdown_at + 2 * block);

    // Outro: one last chord rings while the drums break off and it fades.
    const int end = breakdown_at + 3 * block;
    put_note(c, end, power_l, 38, power_a, 60);
    put_note(c, end, power_r, 38, power_b, 56);
    put_note(c, end, crash, note_c5, crash_ins, 60);
    put_note(c, end, kick, note_c5, kick_ins, 64);
    put_note(c, end, sub, 26, sub_ins, 60);
    pad_chords(c, choir0, 3, choir_ins, progression("Dm", end, bar, 4 * bar), end, end + 4 * bar - 1, 50, 67, 44);
    mark_section(c, end);
    fade_out(c, end + bar, end + 4 * bar);
    set_length(c, end + 4 * bar);
    return composer_finish(c, 64, false);
}
