// content/tracks/piece_drift.cpp: track 11, "Drift": slow and floating, in Ab
// lydian, a barcarolle in 6/8 (66 BPM in the module's count; the dotted
// quarters rock at 44). Long pads that swell, bells with a far echo, a sub
// under them; the lead is a breathy triangle flute that glides between
// long notes with a slow vibrato.
// Form: A (pads and bells), B (the flute, brushes and a soft kick), A' (A
// with a pulsing shimmer), B, A', outro: B and A' come back whole. The sub
// enters at bar 3, the bells at bar 2. Ends on a fade; the first row
// restores the volume. Generator thread only.
#include "content/tracks/kit.h"
#include "content/tracks/pieces.h"

Song piece_drift()
{
    enum { pad0 = 0, sub = 3, bell = 4, bell_echo = 5, lead = 6, brush = 7, kick = 8, shimmer = 9 };
    Composer c;
    composer_start(c, "Drift", 10, 66, 6, 0xd21f700b);
    set_panning(c, {16, 32, 48, 32, 24, 44, 32, 40, 32, 38});
    // Mastered (measure-tracks): RMS near -21 dBFS, peaks below -6 dBFS, since
    // the echo and the flanger may each double a sample.
    c.song.mix_volume = 31;

    int pad_ins = kit_ensemble(c, "slow pad", Timbre::saw, 2, {0, 1, -1, 2}, env_adsr(110, 30, 52, 120), 150);
    int shimmer_ins = kit_ensemble(c, "shimmer", Timbre::triangle, 0, {0, 1, 3}, env_swell(40, 48, 24, 0), 200);
    int sub_ins = kit_tone(c, "sub", Timbre::sine, 0, env_adsr(20, 20, 56, 60), 200);
    int bell_ins = kit_fm(c, "bell", 4, 520, 600, env_pluck(2, 80, 120), 80);
    int lead_ins = kit_tone(c, "breath flute", Timbre::triangle, 0, env_adsr(24, 20, 54, 60), 200);
    int brush_ins = kit_shaker(c, 160);
    set_auto_vibrato(c, lead_ins, 5, 10, 80);
    int kick_ins = kit_kick(c, 90, 40, 500, 0);

    constexpr int bar = 12, block = 8 * bar;  // two dotted beats of six rows
    Key key = key_lydian(56);  // Ab-4
    const char* changes = "Abmaj9*2 Bb6*2 Fm9*2 Dbmaj7*2";
    const int a_at = 0, b_at = block, a2_at = 2 * block, outro_at = 5 * block;

    Motif chime = make_motif(c.rng, "x-----x-----x-----------", 3);
    Motif glide = make_motif(c.rng, "x-----------~-----------x-----~-----------....", 2);

    // A: pads, the sub, bells in sparse figures.
    for (int at : {a_at, a2_at}) {
        std::vector<Span> chords = progression(changes, at, bar, block);
        pad_chords(c, pad0, 3, pad_ins, chords, at, at + block, 55, 72, 44, false);
        bass_line(c, sub, sub_ins, chords, at + (at == a_at ? 2 * bar : 0), at == a_at ? 6 * bar : block,
                  "R-----------------------", 1, 32, 52);
        for (int b = 1; b < 8; b += 2)
            play_motif(c, bell, bell_ins, b % 4 == 1 ? chime : motif_reversed(chime), key, chords, at + b * bar, 1, 9,
                       68, 86, 42, 0);
        echo_channel(c, bell, bell_echo, at, at + block, 6, 50, 12);
        if (at == a2_at) pad_chords(c, shimmer, 1, shimmer_ins, chords, at, at + block, 75, 87, 30);
    }
    // The pad voices drift: a slow fall and return of pitch in A'.
    fill_effect(c, pad0 + 1, a2_at + 4 * bar, a2_at + 5 * bar, Effect::portamento_down, 0x01);
    fill_effect(c, pad0 + 1, a2_at + 5 * bar, a2_at + 6 * bar, Effect::portamento_up, 0x01);

    // B: the flute glides between long notes over brushes in six.
    std::vector<Span> chords = progression(changes, b_at, bar, block);
    pad_chords(c, pad0, 3, pad_ins, chords, b_at, b_at + block, 55, 72, 40, false);
    bass_line(c, sub, sub_ins, chords, b_at, block, "R-----------------------", 1, 32, 52);
    for (int b = 0; b < 8; b += 4)
        play_motif(c, lead, lead_ins, b ? motif_inverted(glide) : glide, key, chords, b_at + b * bar, 1, 7, 51, 68, 44,
                   0x24);
    drum_line(c, brush, brush_ins, b_at, block, "x.....o...o.", 1, 32);
    drum_line(c, kick, kick_ins, b_at, block, "X...........", 1, 44);

    copy_rows(c, b_at, block, 3 * block);
    copy_rows(c, a2_at, block, 4 * block);

    // Outro: the last chord swells and fades.
    std::vector<Span> last = progression("Abmaj9", outro_at, bar, 4 * bar);
    pad_chords(c, pad0, 3, pad_ins, last, outro_at, outro_at + 4 * bar - 1, 55, 72, 44);
    put_note(c, outro_at, bell, 80, bell_ins, 40);
    mark_section(c, outro_at);
    fade_out(c, outro_at + bar, outro_at + 4 * bar);
    set_length(c, outro_at + 4 * bar);
    return composer_finish(c, 4 * bar, false);
}
