// tools/content/tracks/piece_ambre.cpp: track 1, "ambre": warm ambient in D major
// at 80 BPM. It is the start-up track, played in a loop, so its last bar
// leads back into its first (A7sus4 resolving to Dmaj7) and nothing fades.
// Generator thread only.
#include "tools/content/tracks/kit.h"
#include "tools/content/tracks/pieces.h"

Motif theme_ambre()
{
    Rng rng{0x0a3be11};
    return make_motif(rng, "x---x-x-----x---x-----x-x---x---", 3);
}

Song piece_ambre()
{
    enum { pad0 = 0, bass = 3, bell = 4, bell_echo = 5, kick = 6, shaker = 7, arp = 8, arp_echo = 9 };
    Composer c;
    composer_start(c, "ambre", 10, 80, 6, 0xa3b1e001);
    set_panning(c, {18, 32, 46, 32, 26, 44, 32, 42, 38, 22});
    c.song.mix_volume = 48;

    int pad_ins = kit_ensemble(c, "amber pad", Timbre::saw, 3, {0, 1, -1, 2, -3},
                               env_swell(48, 128, 40, 0), 300);
    int bass_ins = kit_tone(c, "warm sub", Timbre::triangle, 0, env_adsr(6, 30, 52, 40), 400);
    int bell_ins = kit_fm(c, "bell", 3, 700, 500, env_pluck(2, 50, 90), 120);
    int kick_ins = kit_kick(c, 110, 42, 420, 0);
    int shaker_ins = kit_shaker(c, 110);
    int glass_ins = kit_fm(c, "glass", 2, 320, 160, env_pluck(1, 16, 40), 300);

    constexpr int bar = 16, bars = 32, total = bar * bars;
    Key key = key_major(62);  // D-5
    std::vector<Span> chords = progression("Dmaj7*2 Bm7*2 Gmaj7*2 A7sus4*2", 0, bar, total);

    // The pad and the bass run through the whole loop; the pad is never
    // released, so the wrap to the start keeps sounding.
    pad_chords(c, pad0, 3, pad_ins, chords, 0, total, 57, 74, 44, false);
    bass_line(c, bass, bass_ins, chords, 0, 8 * bar, "R---------------R-------5-------", 1, 31, 50);
    bass_line(c, bass, bass_ins, chords, 8 * bar, 16 * bar, "R-------R---5---R-------O---5---", 1, 31, 54);
    bass_line(c, bass, bass_ins, chords, 24 * bar, 8 * bar, "R---------------R-------5-------", 1, 31, 50);

    // The bells sing a two-bar motif, varied by the chords under it.
    Motif a = theme_ambre();
    Motif b = make_motif(c.rng, "x-x-x---x-------x---x-x-x-------", 2);
    for (int at : {2, 6})
        play_motif(c, bell, bell_ins, a, key, chords, at * bar, 1, 2, 62, 81, 40, 0);
    for (int i = 0; i < 4; i++) {
        const Motif& m = i % 2 ? b : a;
        play_motif(c, bell, bell_ins, m, key, chords, (16 + 2 * i) * bar, 1, i == 3 ? 4 : 2, 62, 86, 50, 0);
    }
    play_motif(c, bell, bell_ins, motif_inverted(a), key, chords, 24 * bar, 1, 4, 62, 81, 44, 0);
    play_motif(c, bell, bell_ins, b, key, chords, 28 * bar, 1, 2, 62, 81, 40, 0);
    echo_channel(c, bell, bell_echo, 0, total, 6, 45, 12);

    // A heartbeat and a shaker carry the middle of the loop.
    drum_line(c, kick, kick_ins, 8 * bar, 20 * bar, "X.....x.........", 1, 48);
    drum_line(c, shaker, shaker_ins, 8 * bar, 4 * bar, "....x.......x...", 1, 30);
    drum_line(c, shaker, shaker_ins, 12 * bar, 16 * bar, "..x...x...x...xo", 1, 34);

    // Glass arpeggio, eighth notes, with a dotted echo.
    arpeggio(c, arp, glass_ins, chords, 8 * bar, 8 * bar, "0123", 2, 62, 26);
    arpeggio(c, arp, glass_ins, chords, 16 * bar, 8 * bar, "01234321", 2, 62, 34);
    arpeggio(c, arp, glass_ins, chords, 24 * bar, 6 * bar, "0123", 2, 62, 24);
    echo_channel(c, arp, arp_echo, 8 * bar, total, 3, 50, 12);

    set_length(c, total);
    return composer_finish(c, 64, true);
}
