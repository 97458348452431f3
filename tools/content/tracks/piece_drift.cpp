// tools/content/tracks/piece_drift.cpp: track 11, "DRIFT": slow and floating, in Ab
// lydian at 66 BPM. Long pads that swell, a high pad pulsing by its own
// envelope, bells with echo, a sine lead gliding between long notes, soft
// brushes. Plays once. Generator thread only.
#include "tools/content/tracks/kit.h"
#include "tools/content/tracks/pieces.h"

Song piece_drift()
{
    enum { pad0 = 0, sub = 3, bell = 4, bell_echo = 5, lead = 6, brush = 7, kick = 8, shimmer = 9 };
    Composer c;
    composer_start(c, "DRIFT", 10, 66, 6, 0xd21f700b);
    set_panning(c, {16, 32, 48, 32, 24, 44, 32, 40, 32, 38});
    c.song.mix_volume = 60;

    int pad_ins = kit_ensemble(c, "slow pad", Timbre::saw, 2, {0, 1, -1, 2}, env_adsr(110, 30, 52, 120), 150);
    int shimmer_ins = kit_ensemble(c, "shimmer", Timbre::triangle, 0, {0, 1, 3}, env_swell(40, 48, 24, 0), 200);
    int sub_ins = kit_tone(c, "sub", Timbre::sine, 0, env_adsr(20, 20, 56, 60), 200);
    int bell_ins = kit_fm(c, "bell", 4, 520, 600, env_pluck(2, 80, 120), 80);
    int lead_ins = kit_tone(c, "sine lead", Timbre::triangle, 0, env_adsr(24, 20, 54, 60), 200);
    int brush_ins = kit_shaker(c, 160);
    set_auto_vibrato(c, lead_ins, 5, 10, 80);
    int kick_ins = kit_kick(c, 90, 40, 500, 0);

    constexpr int bar = 16;
    const int total = 36 * bar;
    Key key = key_lydian(56);  // Ab-4
    std::vector<Span> chords = progression("Abmaj9*2 Bb6*2 Fm9*2 Dbmaj7*2", 0, bar, total);

    pad_chords(c, pad0, 3, pad_ins, chords, 0, 34 * bar, 55, 72, 44);
    bass_line(c, sub, sub_ins, chords, 4 * bar, 28 * bar, "R-------------------------------", 1, 32, 52);
    pad_chords(c, shimmer, 1, shimmer_ins, chords, 8 * bar, 16 * bar, 75, 87, 30);
    pad_chords(c, shimmer, 1, shimmer_ins, chords, 24 * bar, 32 * bar, 75, 87, 32);

    // The pad voices drift: a slow fall and return of pitch now and then.
    for (int b = 6; b < 30; b += 8) {
        fill_effect(c, pad0 + 1, b * bar + 4, b * bar + 12, Effect::portamento_down, 0x01);
        fill_effect(c, pad0 + 1, b * bar + 12, b * bar + 20, Effect::portamento_up, 0x01);
    }

    // Bells in sparse figures, echoed far.
    Motif chime = make_motif(c.rng, "x-----x-----x---------x---------", 3);
    for (int at = 2; at < 32; at += 4)
        play_motif(c, bell, bell_ins, at % 8 == 2 ? chime : motif_reversed(chime), key, chords,
                   at * bar, 1, 9, 68, 86, 42, 0);
    echo_channel(c, bell, bell_echo, 0, total, 6, 50, 12);

    // The lead glides between long notes in the middle part.
    Motif glide = make_motif(c.rng, "x---------------~---------------x-------~-------------------....", 2);
    for (int at = 12; at < 28; at += 4)
        play_motif(c, lead, lead_ins, at % 8 == 4 ? motif_inverted(glide) : glide, key, chords,
                   at * bar, 1, 7, 51, 68, 44, 0x24);

    // Brushes and a soft heartbeat.
    drum_line(c, brush, brush_ins, 8 * bar, 20 * bar, "x...o...x...o.o.", 1, 32);
    drum_line(c, kick, kick_ins, 12 * bar, 16 * bar, "X.........x.....", 1, 46);

    fade_out(c, 32 * bar, total);
    set_length(c, total);
    return composer_finish(c, 64, false);
}
