// tools/content/tracks/piece_mirror.cpp: track 4, "MIRROR": a canon in E minor at
// 92 BPM over a four-bar ground. The subject is answered an octave lower
// four bars later, then by its own inversion, then heard backwards; all
// three meet at the end. Plays once. Generator thread only.
#include "tools/content/tracks/kit.h"
#include "tools/content/tracks/pieces.h"

Motif theme_mirror()
{
    Rng rng{0x3177a04};
    return make_motif(rng, "x-x-x---x-x-x-x-x---x-x-x-------", 2);
}

Song piece_mirror()
{
    enum { voice1 = 0, voice2 = 1, voice3 = 2, bass = 3, organ0 = 4, kick = 7, shaker = 8, voice1_echo = 9 };
    Composer c;
    composer_start(c, "MIRROR", 10, 92, 6, 0x3177a004);
    set_panning(c, {22, 42, 32, 32, 18, 32, 46, 32, 40, 48});
    c.song.mix_volume = 80;

    int harp_ins = kit_pluck(c, "harpsichord", 65100, env_pluck(2, 40, 60), 64);
    int low_ins = kit_pluck(c, "lute", 65300, env_pluck(2, 60, 60), 64);
    int bass_ins = kit_tone(c, "gamba", Timbre::saw, 3, env_adsr(2, 20, 44, 12), 200);
    int organ_ins = kit_ensemble(c, "organ", Timbre::organ, 0, {0, 1}, env_adsr(24, 8, 56, 24), 300);
    int kick_ins = kit_kick(c, 100, 48, 300, 1500);
    int shaker_ins = kit_shaker(c, 80);

    constexpr int bar = 16, half = 8;
    const int total = 44 * bar;
    Key key = key_minor(64);  // E-5
    // The ground: two chords a bar, four bars, so a voice entering four
    // bars later meets the same harmony.
    std::vector<Span> ground = progression("Em Am D G C Am B7 Em", 0, half, total);

    bass_line(c, bass, bass_ins, ground, 0, 40 * bar, "R---5---R---O---", 1, 40, 46);
    bass_line(c, bass, bass_ins, ground, 40 * bar, 4 * bar, "R-------R-------", 1, 40, 46);

    Motif subject = theme_mirror();
    Motif answer = make_motif(c.rng, "x---x-x-x-x-x---x-x-x---x-------", 2);
    Motif inverse = motif_inverted(subject);
    Motif backwards = motif_reversed(subject);

    // Voice 1 states the subject and goes on with free counterpoint.
    const int low = 64, high = 88;
    for (int at = 0; at < 36; at += 4) {
        bool free_part = at % 8 == 4;
        play_motif(c, voice1, harp_ins, free_part ? answer : subject, key, ground, at * bar, 1,
                   free_part ? 9 : 7, low, high, 50, 0);
        play_motif(c, voice1, harp_ins, free_part ? subject : answer, key, ground, (at + 2) * bar, 1,
                   free_part ? 7 : 9, low, high, 48, 0);
    }
    // Voice 2 follows four bars later, an octave down (a strict canon).
    echo_channel(c, voice1, voice2, 0, 36 * bar, 4 * bar, 92, -12);
    // Voice 3 answers with the subject upside down, then backwards.
    for (int at = 12; at < 20; at += 2)
        play_motif(c, voice3, low_ins, inverse, key, ground, at * bar, 1, 4, 55, 76, 46, 0);
    for (int at = 20; at < 28; at += 2)
        play_motif(c, voice3, low_ins, backwards, key, ground, at * bar, 1, 2, 55, 76, 46, 0);
    for (int at = 28; at < 36; at += 2)
        play_motif(c, voice3, low_ins, at % 4 ? backwards : inverse, key, ground, at * bar, 1, 4, 55, 76, 48, 0);
    echo_channel(c, voice1, voice1_echo, 16 * bar, 36 * bar, 6, 35, 12);

    // The organ holds the ground from the third entry; light percussion in
    // the second half.
    pad_chords(c, organ0, 3, organ_ins, ground, 12 * bar, 40 * bar, 52, 67, 34);
    drum_line(c, shaker, shaker_ins, 20 * bar, 16 * bar, "..x...x...x.x.x.", 1, 30);
    drum_line(c, kick, kick_ins, 24 * bar, 12 * bar, "X.......x.......", 1, 50);

    // Coda: the ground slows into a major chord that rings out.
    std::vector<Span> coda = progression("Am*2 B7*1 E*2", 36 * bar, bar, 8 * bar);
    pad_chords(c, organ0, 3, organ_ins, coda, 36 * bar, 42 * bar, 52, 68, 38);
    arpeggio(c, voice1, harp_ins, coda, 36 * bar, 4 * bar, "0123210123432101", 1, 64, 46);
    chord_stabs(c, voice1, 3, harp_ins, coda, 40 * bar, 2 * bar, "X-------------------------------", 1, 64, 80, 54);
    put_off(c, 42 * bar, bass);
    put_off(c, 43 * bar, voice1);
    set_length(c, total);
    return composer_finish(c, 64, false);
}
