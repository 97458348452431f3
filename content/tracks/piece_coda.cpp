// content/tracks/piece_coda.cpp: track 12, "Coda": the finale, from C minor
// to C major at 112 BPM, a march-like 4/4. Strings and timpani open, the
// lead is an ensemble brass taking the theme; the bells recall track 1 and
// the harp the canon subject of track 4, and a last slowing cadence ends
// on a C major chord.
// Form: intro, theme (its eight bars twice), memories, theme again, build,
// climax (its eight bars twice, in major), ending. The drums and brass
// enter at bar 9. Generator thread only.
#include "content/tracks/kit.h"
#include "content/tracks/pieces.h"

Song piece_coda()
{
    enum { kick = 0, snare = 1, hat = 2, crash = 3, timpani = 4, bass = 5, strings0 = 6, brass = 9,
           brass_echo = 10, bells = 11, arp = 12, harp = 13 };
    Composer c;
    composer_start(c, "Coda", 14, 112, 6, 0xc0da000c);
    set_panning(c, {32, 32, 42, 36, 28, 32, 14, 32, 50, 30, 44, 40, 22, 46});
    // Mastered (measure-tracks): RMS near -21 dBFS, peaks below -6 dBFS, since
    // the echo and the flanger may each double a sample.
    c.song.mix_volume = 28;

    int kick_ins = kit_kick(c, 120, 44, 360, 5000);
    int snare_ins = kit_snare(c, 180, 130, 48000, 300);
    int hat_ins = kit_hat(c, 60, 12);
    int crash_ins = kit_cymbal(c, 1500);
    int timpani_ins = kit_tom(c, 65, 700);
    int bass_ins = kit_tone(c, "cello bass", Timbre::saw, 5, env_adsr(4, 20, 50, 20), 200);
    int strings_ins = kit_ensemble(c, "strings", Timbre::saw, 6, {0, 1, -1, 2, -2}, env_adsr(30, 20, 54, 50), 200);
    int brass_ins = kit_ensemble(c, "brass", Timbre::saw, 9, {0, 1, -1}, env_adsr(8, 16, 52, 24), 300);
    int bell_ins = kit_fm(c, "bell", 3, 700, 500, env_pluck(2, 50, 90), 120);
    set_auto_vibrato(c, strings_ins, 4, 14, 60);  // players' vibrato, after the attack
    set_auto_vibrato(c, brass_ins, 3, 18, 30);
    int arp_ins = kit_fm(c, "celesta", 2, 300, 100, env_pluck(1, 14, 24), 0);
    int harp_ins = kit_pluck(c, "harp", 65200, env_pluck(2, 40, 60), 64);

    constexpr int bar = 16;
    Key minor = key_minor(60);  // C-5
    Key major = key_major(60);
    int row = 0;

    // Intro: strings and timpani, C minor.
    std::vector<Span> intro = progression("Cm Ab Eb Bb", row, bar, 8 * bar);
    pad_chords(c, strings0, 3, strings_ins, intro, row, row + 8 * bar, 55, 72, 40, false);
    bass_line(c, bass, bass_ins, intro, row, 8 * bar, "R-------5-------", 1, 36, 46);
    drum_line(c, timpani, timpani_ins, row, 8 * bar, "X.......x.x.x.x.X...............", 1, 50, note_c5 - 5);
    put_note(c, row + 7 * bar, crash, note_c5, crash_ins, 40);
    row += 8 * bar;

    // Theme: the brass over drums, the strings carry on.
    std::vector<Span> theme = progression("Cm Ab Fm G7 Cm Ab Bb Eb", row, bar, 16 * bar);
    Motif call = make_motif(c.rng, "x-----x-x-x-x---x-------x-x-----", 2);
    Motif answer = make_motif(c.rng, "x---x---x-x-----~-------x-------", 3);
    pad_chords(c, strings0, 3, strings_ins, theme, row, row + 16 * bar, 55, 72, 38, false);
    bass_line(c, bass, bass_ins, theme, row, 16 * bar, "R---R-5-R---O-5-", 1, 36, 50);
    drum_line(c, kick, kick_ins, row, 16 * bar, "X.......X.x.....", 1, 58);
    drum_line(c, snare, snare_ins, row, 16 * bar, "....X.......X...", 1, 52);
    drum_line(c, hat, hat_ins, row, 16 * bar, "x.x.x.x.x.x.x.xo", 1, 32);
    for (int b = 0; b < 16; b += 4) {
        play_motif(c, brass, brass_ins, call, minor, theme, row + b * bar, 1, 7, 52, 72, 46, 0x44);
        play_motif(c, brass, brass_ins, answer, minor, theme, row + (b + 2) * bar, 1, 9, 52, 72, 44, 0x44);
    }
    for (int b = 4; b <= 16; b += 4) drum_fill(c, snare, snare_ins, row + b * bar - 4, 4, 1, note_c5, note_c5, 50);
    put_off(c, row + 16 * bar - 1, brass);
    copy_rows(c, row, 8 * bar, row + 8 * bar);
    const int theme_at = row;
    row += 16 * bar;

    // Memories: the bells play track 1's motif, the harp track 4's subject,
    // over a quieter groove.
    std::vector<Span> memory = progression("Ab Eb Fm Bb", row, bar, 16 * bar);
    pad_chords(c, strings0, 3, strings_ins, memory, row, row + 16 * bar, 55, 72, 34, false);
    bass_line(c, bass, bass_ins, memory, row, 16 * bar, "R-------R---5---", 1, 36, 46);
    drum_line(c, kick, kick_ins, row + 8 * bar, 8 * bar, "X.......x.......", 1, 50);
    drum_line(c, hat, hat_ins, row, 16 * bar, "..x...x...x...x.", 1, 28);
    Motif ambre = theme_ambre();
    Motif mirror = theme_mirror();
    for (int b = 0; b < 8; b += 2)
        play_motif(c, bells, bell_ins, ambre, minor, memory, row + b * bar, 1, 9, 67, 86, 44, 0);
    for (int b = 8; b < 16; b += 2)
        play_motif(c, harp, harp_ins, b % 4 ? motif_inverted(mirror) : mirror, minor, memory,
                   row + b * bar, 1, 7, 60, 84, 48, 0);
    arpeggio(c, arp, arp_ins, memory, row + 8 * bar, 8 * bar, "0123432101234321", 1, 72, 26);
    row += 16 * bar;
    // The theme comes back whole.
    copy_rows(c, theme_at, 16 * bar, row);
    row += 16 * bar;

    // Build: arpeggio and rising timpani into the major key.
    std::vector<Span> build = progression("Fm Ab Bb Bb", row, bar, 8 * bar);
    pad_chords(c, strings0, 3, strings_ins, build, row, row + 8 * bar, 55, 72, 42, false);
    arpeggio(c, arp, arp_ins, build, row, 8 * bar, "0123432101234321", 1, 65, 36);
    bass_line(c, bass, bass_ins, build, row, 8 * bar, "R.R.R.R.R.R.R.R.", 1, 36, 50);
    drum_line(c, kick, kick_ins, row, 6 * bar, "X...X...X...X...", 1, 56);
    drum_roll(c, snare, snare_ins, row + 4 * bar, 2 * bar, 2, 20, 44);
    drum_roll(c, snare, snare_ins, row + 6 * bar, 2 * bar, 1, 44, 64);
    drum_roll(c, timpani, timpani_ins, row + 6 * bar, 2 * bar, 2, 30, 60, note_c5 - 5);
    row += 8 * bar;

    // Climax in C major: everyone.
    std::vector<Span> climax = progression("C G Am F C G F G", row, bar, 16 * bar);
    pad_chords(c, strings0, 3, strings_ins, climax, row, row + 16 * bar, 60, 76, 44, false);
    bass_line(c, bass, bass_ins, climax, row, 16 * bar, "R-R-5-R-R-O-5-A-", 1, 36, 54);
    drum_line(c, kick, kick_ins, row, 16 * bar, "X.......X.x.X...", 1, 62);
    drum_line(c, snare, snare_ins, row, 16 * bar, "....X.......X..o", 1, 56);
    drum_line(c, hat, hat_ins, row, 16 * bar, "x.xox.xox.xox.xo", 1, 34);
    drum_line(c, crash, crash_ins, row, 16 * bar, "X...............................................................", 1, 44);
    arpeggio(c, arp, arp_ins, climax, row, 16 * bar, "0123432101234321", 1, 72, 28);
    for (int b = 0; b < 16; b += 4) {
        play_motif(c, brass, brass_ins, call, major, climax, row + b * bar, 1, 9, 55, 76, 50, 0x44);
        play_motif(c, brass, brass_ins, b == 12 ? motif_inverted(answer) : answer, major, climax,
                   row + (b + 2) * bar, 1, 11, 55, 76, 48, 0x44);
    }
    for (int b = 0; b < 16; b += 2)
        play_motif(c, bells, bell_ins, ambre, major, climax, row + b * bar, 1, 11, 72, 91, 30, 0);
    for (int b = 8; b <= 16; b += 8)
        drum_fill(c, timpani, timpani_ins, row + b * bar - 8, 8, 2, note_c5, note_c5 - 7, 60);
    copy_rows(c, row, 8 * bar, row + 8 * bar);
    row += 16 * bar;
    put_off(c, row, brass);
    mark_section(c, row);

    // Ending: a slowing plagal cadence and the last chord.
    std::vector<Span> end = progression("F Fm C*6", row, bar, 8 * bar);
    int tempos[] = {104, 92, 80, 72};
    for (int b = 0; b < 4; b++) put_global_effect(c, row + b * bar, Effect::set_tempo, tempos[b]);
    pad_chords(c, strings0, 3, strings_ins, end, row, row + 7 * bar, 60, 76, 48);
    bass_line(c, bass, bass_ins, end, row, 7 * bar, "R---------------", 1, 36, 54);
    drum_roll(c, timpani, timpani_ins, row + bar, bar, 1, 30, 60, note_c5 - 5);
    put_note(c, row + 2 * bar, crash, note_c5, crash_ins, 56);
    put_note(c, row + 2 * bar, kick, note_c5, kick_ins, 64);
    put_note(c, row + 2 * bar, timpani, note_c5 - 5, timpani_ins, 64);
    chord_stabs(c, brass, 1, brass_ins, end, row + 2 * bar, 5 * bar, "X-------------------------------", 1, 60, 72, 50);
    arpeggio(c, harp, harp_ins, end, row + 2 * bar, bar, "0123456789", 1, 60, 44);
    put_off(c, row + 7 * bar, brass);
    put_off(c, row + 7 * bar, bass);
    row += 8 * bar;
    set_length(c, row);
    return composer_finish(c, 64, false);
}
