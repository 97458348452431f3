// content/tracks/piece_shift2.cpp: track 6, "Shift 2": second of the
// shifting series, in C# minor around 120 BPM. Bars of five with a shuffle
// (rows alternate long and short), a straight middle part in six-eight, and
// back. The lead is a whistle (a pure sine) over marimba and organ.
// Form: intro, A, B (the whistle's hook, twice), C (six-eight, each four
// bars twice), B again, a fading close. The kick and bass enter at bar 5.
// Ends on a fade; the first row restores the volume. Generator thread only.
#include "content/tracks/kit.h"
#include "content/tracks/pieces.h"

Song piece_shift2()
{
    enum { kick = 0, rim = 1, shaker = 2, bass = 3, marimba = 4, marimba_echo = 5, organ0 = 6, lead = 9 };
    Composer c;
    composer_start(c, "Shift 2", 10, 120, 6, 0x5a1f7006);
    set_panning(c, {32, 38, 44, 32, 24, 42, 18, 32, 46, 34});
    // Mastered (measure-tracks): RMS near -21 dBFS, peaks below -6 dBFS, since
    // the echo and the flanger may each double a sample.
    c.song.mix_volume = 30;
    c.effects_channel = kick;  // the shuffle's speed changes, off the lead's column

    int kick_ins = kit_kick(c, 130, 46, 280, 4000);
    int rim_ins = kit_snare(c, 420, 200, 60000, 90);
    int clap_ins = kit_clap(c, 260);
    int shaker_ins = kit_shaker(c, 70);
    int bass_ins = kit_tone(c, "finger bass", Timbre::triangle, 0, env_pluck(2, 30, 30), 0);
    int marimba_ins = kit_fm(c, "marimba", 4, 260, 60, env_pluck(1, 18, 30), 0);
    int organ_ins = kit_ensemble(c, "soft organ", Timbre::organ, 0, {0, 2}, env_adsr(20, 10, 50, 30), 300);
    int lead_ins = kit_tone(c, "whistle", Timbre::sine, 0, env_adsr(8, 10, 56, 20), 300);

    Key key = key_minor(61);  // C#-5
    int row = 0;

    // Part one: 5/4 (20 rows), shuffled.
    constexpr int five = 20;
    const int part1 = 16 * five;
    std::vector<Span> chords1 = progression("C#m9 Amaj7 F#m9 G#7sus4", row, five, part1);
    swing(c, row, row + part1, 7, 5);
    arpeggio(c, marimba, marimba_ins, chords1, row, part1, "0.2.1.3.2.0.2.1.4.2.", 1, 61, 44);
    drum_line(c, shaker, shaker_ins, row, part1, "x.o.x.o.x.o.x.o.x.oo", 1, 34);
    drum_line(c, kick, kick_ins, row + 4 * five, part1 - 4 * five, "X.....X...X.....x...", 1, 58);
    drum_line(c, rim, rim_ins, row + 4 * five, part1 - 4 * five, "....x.....x...x...x.", 1, 40);
    bass_line(c, bass, bass_ins, chords1, row + 4 * five, part1 - 4 * five, "R--.R-5-.R-O-.R-5-A.", 1, 37, 54);
    pad_chords(c, organ0, 3, organ_ins, chords1, row + 8 * five, row + part1, 56, 71, 30);
    echo_channel(c, marimba, marimba_echo, row, row + part1, 3, 40, 12);
    Motif hook = make_motif(c.rng, "x-x---x-x-x-----x---x-x---x-x-x---------", 2);
    for (int b = 8; b < 16; b += 2)
        play_motif(c, lead, lead_ins, hook, key, chords1, row + b * five, 1, 9, 61, 81, 44, 0x34);
    copy_rows(c, row + 8 * five, 4 * five, row + 12 * five);
    const int hook_at = row + 8 * five;
    row += part1;

    // Part two: six-eight (12 rows of eighths in twos), straight.
    constexpr int six = 12;
    const int part2 = 16 * six;
    put_global_effect(c, row, Effect::set_speed, 6);
    std::vector<Span> chords2 = progression("Amaj7 B6 G#m7 C#m9", row, six, part2);
    arpeggio(c, marimba, marimba_ins, chords2, row, part2, "0.2.4.3.1.2.", 1, 61, 44);
    drum_line(c, kick, kick_ins, row, part2, "X.....x.....", 1, 56);
    drum_line(c, rim, rim_ins, row, part2, "......x.....", 1, 42);
    drum_line(c, shaker, shaker_ins, row, part2, "x.ox.ox.ox.o", 1, 32);
    drum_line(c, rim, clap_ins, row + 8 * six, 8 * six, "......X.....", 1, 46);
    bass_line(c, bass, bass_ins, chords2, row, part2, "R-.R-.5-.O-.", 1, 37, 52);
    pad_chords(c, organ0, 3, organ_ins, chords2, row, row + part2, 56, 71, 32);
    echo_channel(c, marimba, marimba_echo, row, row + part2, 3, 40, 12);
    Motif sway = make_motif(c.rng, "x-----x-x-x-x-----x---------", 2);
    sway.rhythm = "x-----x-x-x-x-----x-----";
    for (int b = 0; b < 16; b += 2)
        play_motif(c, lead, lead_ins, b % 4 ? motif_inverted(sway) : sway, key, chords2, row + b * six, 1, 7, 61, 81, 42, 0x34);
    copy_rows(c, row, 4 * six, row + 4 * six);
    copy_rows(c, row + 8 * six, 4 * six, row + 12 * six);
    row += part2;

    // Part three: back to the shuffled fives, everything together.
    const int part3 = 16 * five;
    std::vector<Span> chords3 = progression("C#m9 Amaj7 F#m9 G#7sus4", row, five, part3);
    swing(c, row, row + part3, 7, 5);
    arpeggio(c, marimba, marimba_ins, chords3, row, part3 - 2 * five, "0.2.1.3.2.0.2.1.4.2.", 1, 61, 46);
    drum_line(c, shaker, shaker_ins, row, part3 - 2 * five, "x.o.x.o.x.o.x.o.x.oo", 1, 36);
    drum_line(c, kick, kick_ins, row, part3 - 2 * five, "X.....X...X.....x...", 1, 60);
    drum_line(c, rim, rim_ins, row, part3 - 2 * five, "....x.....X...x...x.", 1, 44);
    bass_line(c, bass, bass_ins, chords3, row, part3 - 2 * five, "R--.R-5-.R-O-.R-5-A.", 1, 37, 54);
    pad_chords(c, organ0, 3, organ_ins, chords3, row, row + part3 - 1, 56, 71, 32);
    for (int b = 0; b < 12; b += 2)
        play_motif(c, lead, lead_ins, b % 4 ? motif_inverted(hook) : hook, key, chords3, row + b * five, 1, 9, 61, 83, 46, 0x34);
    put_off(c, row + 12 * five, lead);
    echo_channel(c, marimba, marimba_echo, row, row + part3, 3, 40, 12);
    // Its first eight bars are B again.
    copy_rows(c, hook_at, 8 * five, row);
    fade_out(c, row + 13 * five, row + part3);
    row += part3;
    set_length(c, row);
    return composer_finish(c, 4 * five, false);
}
