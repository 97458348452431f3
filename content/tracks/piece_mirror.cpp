// content/tracks/piece_mirror.cpp: track 4, "Mirror": a canon in E minor in
// 3/4, a minuet at 92 BPM over an eight-bar ground, one chord a bar. The
// lead is a harpsichord stating the subject; a lute answers it an octave
// lower two bars later, then with the subject upside down.
// Form: A (subject and canon), A' (the organ and the inverted voice join),
// B (the subject backwards, in G), A', B' (B with a kick and shaker), A',
// coda: A' and B come back whole. The canon's answer enters at bar 3.
// Generator thread only.
#include "content/tracks/kit.h"
#include "content/tracks/pieces.h"

Motif theme_mirror()
{
    Rng rng{0x3177a04};
    return make_motif(rng, "x---x-x-x---x-x-x-x-x-------", 2);
}

Song piece_mirror()
{
    enum { voice1 = 0, voice2 = 1, voice3 = 2, bass = 3, organ0 = 4, kick = 7, shaker = 8, voice1_echo = 9 };
    Composer c;
    composer_start(c, "Mirror", 10, 92, 6, 0x3177a004);
    set_panning(c, {22, 42, 32, 32, 18, 32, 46, 32, 40, 48});
    // Mastered (measure-tracks): RMS near -21 dBFS, peaks below -6 dBFS, since
    // the echo and the flanger may each double a sample.
    c.song.mix_volume = 48;

    int harp_ins = kit_pluck(c, "harpsichord", 65100, env_pluck(2, 40, 60), 64);
    int low_ins = kit_pluck(c, "lute", 65300, env_pluck(2, 60, 60), 64);
    int bass_ins = kit_tone(c, "gamba", Timbre::saw, 3, env_adsr(2, 20, 44, 12), 200);
    int organ_ins = kit_ensemble(c, "organ", Timbre::organ, 0, {0, 1}, env_adsr(24, 8, 56, 24), 300);
    int kick_ins = kit_kick(c, 100, 48, 300, 1500);
    int shaker_ins = kit_shaker(c, 80);

    constexpr int bar = 12, block = 8 * bar;  // three beats of four rows
    Key key = key_minor(64);  // E-5
    const int a_at = 0, a2_at = block, b_at = 2 * block, coda_at = 7 * block;

    Motif subject = theme_mirror();
    Motif answer = make_motif(c.rng, "x---x-x-x-x-x---x-x-x-------", 2);
    Motif inverse = motif_inverted(subject);
    Motif backwards = motif_reversed(subject);
    const int low = 64, high = 88;

    // A and A': the ground in E minor; voice 1 states the subject and goes
    // on freely, voice 2 follows two bars later an octave down.
    for (int at : {a_at, a2_at}) {
        std::vector<Span> ground = progression("Em Am D G C Am B7 Em", at, bar, block);
        bass_line(c, bass, bass_ins, ground, at, block, "R---5---O---", 1, 40, 46);
        for (int b = 0; b < 8; b += 4) {
            play_motif(c, voice1, harp_ins, subject, key, ground, at + b * bar, 1, 7, low, high, 50, 0);
            play_motif(c, voice1, harp_ins, answer, key, ground, at + (b + 2) * bar, 1, 9, low, high, 48, 0);
        }
        echo_channel(c, voice1, voice2, at, at + block, 2 * bar, 92, -12);
        if (at == a2_at) {
            for (int b = 0; b < 8; b += 2)
                play_motif(c, voice3, low_ins, inverse, key, ground, at + b * bar, 1, 4, 55, 76, 46, 0);
            pad_chords(c, organ0, 3, organ_ins, ground, at, at + block, 52, 67, 34);
            echo_channel(c, voice1, voice1_echo, at, at + block, 6, 35, 12);
        }
    }

    // B: in G, the subject backwards over a walking bass.
    std::vector<Span> relative = progression("G D Em Bm C G Am B7", b_at, bar, block);
    bass_line(c, bass, bass_ins, relative, b_at, block, "R---3---5---", 1, 40, 46);
    pad_chords(c, organ0, 3, organ_ins, relative, b_at, b_at + block, 52, 67, 30);
    for (int b = 0; b < 8; b += 2) {
        play_motif(c, voice1, harp_ins, b % 4 ? subject : backwards, key, relative, b_at + b * bar, 1, 9, low, high, 48, 0);
        play_motif(c, voice3, low_ins, b % 4 ? backwards : inverse, key, relative, b_at + b * bar, 1, 2, 55, 76, 44, 0);
    }
    echo_channel(c, voice1, voice2, b_at, b_at + block, bar, 70, -12);

    // A', B, A', B' (B with light percussion), A'.
    copy_rows(c, a2_at, block, 3 * block);
    copy_rows(c, b_at, block, 4 * block);
    copy_rows(c, a2_at, block, 5 * block);
    copy_rows(c, b_at, block, 6 * block);
    drum_line(c, shaker, shaker_ins, 6 * block, block, "..x...x...x.", 1, 30);
    drum_line(c, kick, kick_ins, 6 * block, block, "X...........", 1, 46);
    copy_rows(c, a2_at, block, coda_at);

    // Coda: the ground slows into a major chord that rings out.
    const int end = coda_at + block;
    std::vector<Span> coda = progression("Am B7 E*2", end, bar, 4 * bar);
    pad_chords(c, organ0, 3, organ_ins, coda, end, end + 4 * bar - 2, 52, 68, 38);
    arpeggio(c, voice1, harp_ins, coda, end, 2 * bar, "012321", 2, 64, 46);
    chord_stabs(c, voice1, 3, harp_ins, coda, end + 2 * bar, 2 * bar, "X-----------------------", 1, 64, 80, 54);
    put_note(c, end, bass, 45, bass_ins, 46);
    put_note(c, end + bar, bass, 47, bass_ins, 46);
    put_note(c, end + 2 * bar, bass, 40, bass_ins, 46);
    put_off(c, end + 4 * bar - 2, bass);
    for (int b = 0; b < 3; b++) put_global_effect(c, end + b * bar, Effect::set_tempo, 84 - 8 * b);
    mark_section(c, end);
    set_length(c, end + 4 * bar);
    return composer_finish(c, 4 * bar, false);
}
