// tools/content/tracks/piece_colder.cpp: track 2, "colder": cold minimal piece in
// E phrygian at 104 BPM. An icy pluck figure with a long echo, a deep kick,
// ticking hats and a glassy lead; thin pads enter late. Plays once.
// Generator thread only.
#include "tools/content/tracks/kit.h"
#include "tools/content/tracks/pieces.h"

Song piece_colder()
{
    enum { kick = 0, click = 1, hat = 2, bass = 3, pluck = 4, pluck_echo = 5, pad0 = 6, lead = 8, crack = 9 };
    Composer c;
    composer_start(c, "colder", 10, 104, 6, 0xc01d0002);
    set_panning(c, {32, 40, 24, 32, 40, 20, 14, 50, 30, 36});
    c.song.mix_volume = 56;

    int kick_ins = kit_kick(c, 70, 36, 380, 2500);
    int click_ins = kit_hat(c, 30, 6);
    int hat_ins = kit_hat(c, 70, 14);
    int crack_ins = kit_snare(c, 240, 60, 52000, 200);
    int bass_ins = kit_tone(c, "cold bass", Timbre::square, 5, env_adsr(0, 14, 36, 6), 0);
    int pluck_ins = kit_fm(c, "ice", 5, 520, 140, env_pluck(1, 20, 40), 0);
    int pad_ins = kit_ensemble(c, "frost", Timbre::triangle, 0, {0, 1, -2}, env_adsr(96, 32, 50, 120), 200);
    int lead_ins = kit_tone(c, "glass lead", Timbre::triangle, 0, env_adsr(6, 24, 50, 30), 300);

    constexpr int bar = 16;
    Key key = key_phrygian(64);  // E-5
    const int total = 56 * bar;
    std::vector<Span> chords = progression("Em*2 Fmaj7*2 Em*2 Dsus2 Cmaj7", 0, bar, total);

    // The pluck figure runs from start to end, with a dotted-eighth echo.
    arpeggio(c, pluck, pluck_ins, chords, 0, 52 * bar, "0..2..1.3..2..1.", 1, 64, 44);
    arpeggio(c, pluck, pluck_ins, chords, 52 * bar, 4 * bar, "0.......2.......", 1, 64, 36);
    echo_channel(c, pluck, pluck_echo, 0, total, 3, 45);
    drum_line(c, click, click_ins, 0, 48 * bar, "..x...x...x...xo", 1, 30);

    // Build: kick, bass and hats.
    for (int at : {8, 40}) {
        int len = at == 8 ? 24 : 12;
        drum_line(c, kick, kick_ins, at * bar, len * bar, "X.......X..x....", 1, 60);
        bass_line(c, bass, bass_ins, chords, at * bar, len * bar, "R.R.R.R.R.R.5.R.", 1, 40, 48);
        drum_line(c, hat, hat_ins, (at + 4) * bar, (len - 4) * bar, "x.o.x.o.x.o.x.oo", 1, 40);
    }
    drum_line(c, crack, crack_ins, 16 * bar, 16 * bar, "............X...............X.X.", 1, 44);
    drum_line(c, crack, crack_ins, 40 * bar, 12 * bar, "............X...............X.X.", 1, 48);

    // Pads from the main part on.
    pad_chords(c, pad0, 2, pad_ins, chords, 16 * bar, 52 * bar, 64, 79, 36);

    // The lead: a four-bar phrase (motif, answer) heard twice, then the
    // break turns it upside down, the return lifts it an octave.
    Motif call = make_motif(c.rng, "x-----x-x-------x-----x---x-----", 2);
    Motif answer = make_motif(c.rng, "x---x---x-----x-x-------------..", 2);
    const int vib = 0x34;
    for (int at = 16; at < 32; at += 4) {
        play_motif(c, lead, lead_ins, call, key, chords, at * bar, 1, 7, 59, 76, 46, vib);
        play_motif(c, lead, lead_ins, answer, key, chords, (at + 2) * bar, 1, 9, 59, 76, 44, vib);
    }
    for (int at = 32; at < 40; at += 4) {
        play_motif(c, lead, lead_ins, motif_inverted(call), key, chords, at * bar, 1, 9, 59, 76, 40, vib);
        play_motif(c, lead, lead_ins, motif_reversed(answer), key, chords, (at + 2) * bar, 1, 7, 59, 76, 38, vib);
    }
    for (int at = 40; at < 52; at += 4) {
        play_motif(c, lead, lead_ins, call, key, chords, at * bar, 1, 14, 64, 81, 46, vib);
        play_motif(c, lead, lead_ins, answer, key, chords, (at + 2) * bar, 1, 16, 64, 81, 44, vib);
    }
    put_off(c, 52 * bar, lead);

    fade_out(c, 52 * bar, total);
    set_length(c, total);
    return composer_finish(c, 64, false);
}
