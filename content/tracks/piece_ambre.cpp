// content/tracks/piece_ambre.cpp: track 1, "Ambre": warm ambient in D major
// at 80 BPM, an unhurried 4/4. The lead is an FM bell singing a two-bar
// motif over a swelling pad. It is the start-up track, played in a loop, so
// its last bar leads back into its first and nothing fades.
// Form: intro (pad and bass), A (the bells), B (heartbeat, shaker, glass
// arpeggio), A, C (the bells' answer, the arpeggio climbing), B, and round
// again. The bells enter at bar 5, the heartbeat at bar 13.
// Generator thread only.
#include "content/tracks/kit.h"
#include "content/tracks/pieces.h"

Motif theme_ambre()
{
    Rng rng{0x0a3be11};
    return make_motif(rng, "x---x-x-----x---x-----x-x---x---", 3);
}

Song piece_ambre()
{
    enum { pad0 = 0, bass = 3, bell = 4, bell_echo = 5, kick = 6, shaker = 7, arp = 8, arp_echo = 9 };
    Composer c;
    composer_start(c, "Ambre", 10, 80, 6, 0xa3b1e001);
    set_panning(c, {18, 32, 46, 32, 26, 44, 32, 42, 38, 22});
    // Mastered (measure-tracks): RMS near -21 dBFS, peaks below -6 dBFS, since
    // the echo and the flanger may each double a sample.
    c.song.mix_volume = 25;

    int pad_ins = kit_ensemble(c, "amber pad", Timbre::saw, 3, {0, 1, -1, 2, -3},
                               env_swell(48, 128, 40, 0), 300);
    int bass_ins = kit_tone(c, "warm sub", Timbre::triangle, 0, env_adsr(6, 30, 52, 40), 400);
    int bell_ins = kit_fm(c, "bell", 3, 700, 500, env_pluck(2, 50, 90), 120);
    int kick_ins = kit_kick(c, 110, 42, 420, 0);
    int shaker_ins = kit_shaker(c, 110);
    int glass_ins = kit_fm(c, "glass", 2, 320, 160, env_pluck(1, 16, 40), 300);

    constexpr int bar = 16, block = 8 * bar;
    const int a_at = 4 * bar, b_at = a_at + block, c_at = a_at + 3 * block, total = a_at + 5 * block;
    Key key = key_major(62);  // D-5
    // The intro leads into the sections' Dmaj7, and each section's A7sus4
    // into the next, the last into the intro.
    std::vector<Span> chords = progression("Gmaj7*2 A7sus4*2", 0, bar, a_at);
    for (const Span& s : progression("Dmaj7*2 Bm7*2 Gmaj7*2 A7sus4*2", a_at, bar, total - a_at)) chords.push_back(s);

    // The pad is never released, so the wrap to the start keeps sounding.
    pad_chords(c, pad0, 3, pad_ins, chords, 0, total, 57, 74, 44, false);
    bass_line(c, bass, bass_ins, chords, 0, b_at, "R---------------R-------5-------", 1, 31, 50);
    bass_line(c, bass, bass_ins, chords, b_at, block, "R-------R---5---R-------O---5---", 1, 31, 54);
    bass_line(c, bass, bass_ins, chords, c_at, block, "R-------R---5---R-------O---5---", 1, 31, 54);

    // A: the bells sing the two-bar motif, varied by the chords under it.
    Motif a = theme_ambre();
    Motif b = make_motif(c.rng, "x-x-x---x-------x---x-x-x-------", 2);
    for (int at : {0, 4})
        play_motif(c, bell, bell_ins, a, key, chords, a_at + at * bar, 1, 2, 62, 81, 40, 0);
    play_motif(c, bell, bell_ins, b, key, chords, a_at + 6 * bar, 1, 2, 62, 81, 38, 0);
    // B: a heartbeat, a shaker and the glass arpeggio, the bells inverted.
    drum_line(c, kick, kick_ins, b_at, block, "X.....x.........", 1, 48);
    drum_line(c, shaker, shaker_ins, b_at, 4 * bar, "....x.......x...", 1, 30);
    drum_line(c, shaker, shaker_ins, b_at + 4 * bar, 4 * bar, "..x...x...x...xo", 1, 34);
    arpeggio(c, arp, glass_ins, chords, b_at, block, "0123", 2, 62, 26);
    play_motif(c, bell, bell_ins, motif_inverted(a), key, chords, b_at, 1, 4, 62, 81, 40, 0);
    // C: the answer, higher, over a climbing arpeggio.
    for (int i = 0; i < 4; i++)
        play_motif(c, bell, bell_ins, i % 2 ? b : a, key, chords, c_at + 2 * i * bar, 1, i == 3 ? 4 : 2, 62, 86, 50, 0);
    drum_line(c, kick, kick_ins, c_at, block, "X.....x.........", 1, 48);
    drum_line(c, shaker, shaker_ins, c_at, block, "..x...x...x...xo", 1, 34);
    arpeggio(c, arp, glass_ins, chords, c_at, block, "01234321", 2, 62, 34);
    for (int at : {a_at, b_at, c_at}) {
        echo_channel(c, bell, bell_echo, at, at + block, 6, 45, 12);
        echo_channel(c, arp, arp_echo, at, at + block, 3, 50, 12);
    }
    copy_rows(c, a_at, block, b_at + block);
    copy_rows(c, b_at, block, c_at + block);
    mark_section(c, a_at);

    set_length(c, total);
    return composer_finish(c, 64, true);
}
