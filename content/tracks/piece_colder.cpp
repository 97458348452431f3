// content/tracks/piece_colder.cpp: track 2, "Colder": cold, minimal piece in
// E phrygian at 104 BPM, straight 4/4. An icy pluck figure with a
// dotted-eighth echo, a deep kick, ticking hats; the lead is a glassy
// triangle whose phrase turns upside down in the bridge.
// Form: intro, verse, chorus, verse, chorus, bridge, chorus, outro. The kick
// and bass arrive at bar 5 and stay under every verse and chorus.
// Ends on a fade; the first row restores the volume. Generator thread only.
#include "content/tracks/kit.h"
#include "content/tracks/pieces.h"

Song piece_colder()
{
    enum { kick = 0, click = 1, hat = 2, bass = 3, pluck = 4, pluck_echo = 5, pad0 = 6, lead = 8, crack = 9 };
    Composer c;
    composer_start(c, "Colder", 10, 104, 6, 0xc01d0002);
    set_panning(c, {32, 40, 24, 32, 40, 20, 14, 50, 30, 36});
    // Mastered (measure-tracks): RMS near -21 dBFS, peaks below -6 dBFS, since
    // the echo and the flanger may each double a sample.
    c.song.mix_volume = 34;

    int kick_ins = kit_kick(c, 70, 36, 380, 2500);
    int click_ins = kit_hat(c, 30, 6);
    int hat_ins = kit_hat(c, 70, 14);
    int crack_ins = kit_snare(c, 240, 60, 52000, 200);
    int bass_ins = kit_tone(c, "cold bass", Timbre::square, 5, env_adsr(0, 14, 36, 6), 0);
    int pluck_ins = kit_fm(c, "ice", 5, 520, 140, env_pluck(1, 20, 40), 0);
    int pad_ins = kit_ensemble(c, "frost", Timbre::triangle, 0, {0, 1, -2}, env_adsr(96, 32, 50, 120), 200);
    int lead_ins = kit_tone(c, "glass lead", Timbre::triangle, 0, env_adsr(6, 24, 50, 30), 300);

    constexpr int bar = 16, block = 8 * bar;
    Key key = key_phrygian(64);  // E-5
    const char* changes = "Em*2 Fmaj7*2 Em*2 Dsus2 Cmaj7";
    const int verse_at = 4 * bar, chorus_at = verse_at + block, bridge_at = chorus_at + 3 * block;
    const int outro_at = bridge_at + 3 * block;

    // Intro: the pluck figure and the click alone.
    std::vector<Span> intro = progression(changes, 0, bar, 4 * bar);
    arpeggio(c, pluck, pluck_ins, intro, 0, 4 * bar, "0..2..1.3..2..1.", 1, 64, 44);
    drum_line(c, click, click_ins, 0, 4 * bar, "..x...x...x...xo", 1, 30);
    echo_channel(c, pluck, pluck_echo, 0, 4 * bar, 3, 45);

    // The ground every section stands on.
    auto ground = [&](int at, bool drums) {
        std::vector<Span> chords = progression(changes, at, bar, block);
        arpeggio(c, pluck, pluck_ins, chords, at, block, "0..2..1.3..2..1.", 1, 64, 44);
        drum_line(c, click, click_ins, at, block, "..x...x...x...xo", 1, 30);
        if (drums) {
            drum_line(c, kick, kick_ins, at, block, "X.......X..x....", 1, 60);
            bass_line(c, bass, bass_ins, chords, at, block, "R.R.R.R.R.R.5.R.", 1, 40, 48);
            drum_line(c, hat, hat_ins, at, block, "x.o.x.o.x.o.x.oo", 1, 40);
        }
        return chords;
    };
    Motif call = make_motif(c.rng, "x-----x-x-------x-----x---x-----", 2);
    Motif answer = make_motif(c.rng, "x---x---x-----x-x-------------..", 2);
    const int vib = 0x34;

    // Verse: the groove, the lead's call low and quiet.
    std::vector<Span> v = ground(verse_at, true);
    for (int b = 0; b < 8; b += 4)
        play_motif(c, lead, lead_ins, call, key, v, verse_at + b * bar, 1, 7, 59, 76, 40, vib);
    put_off(c, verse_at + block - 1, lead);
    // Chorus: pads, the crack, call and answer an octave up.
    std::vector<Span> ch = ground(chorus_at, true);
    pad_chords(c, pad0, 2, pad_ins, ch, chorus_at, chorus_at + block - 1, 64, 79, 36);
    drum_line(c, crack, crack_ins, chorus_at, block, "............X...............X.X.", 1, 46);
    for (int b = 0; b < 8; b += 4) {
        play_motif(c, lead, lead_ins, call, key, ch, chorus_at + b * bar, 1, 14, 64, 81, 46, vib);
        play_motif(c, lead, lead_ins, answer, key, ch, chorus_at + (b + 2) * bar, 1, 16, 64, 81, 44, vib);
    }
    put_off(c, chorus_at + block - 1, lead);
    // Bridge: no kick, the phrase upside down and backwards.
    std::vector<Span> br = ground(bridge_at, false);
    pad_chords(c, pad0, 2, pad_ins, br, bridge_at, bridge_at + 2 * block - 1, 64, 79, 40);
    ground(bridge_at + block, false);
    drum_line(c, hat, hat_ins, bridge_at + block, block, "x...x...x...x.xo", 1, 34);
    for (int b = 0; b < 16; b += 4) {
        play_motif(c, lead, lead_ins, motif_inverted(call), key, br, bridge_at + b * bar, 1, 9, 59, 76, 40, vib);
        play_motif(c, lead, lead_ins, motif_reversed(answer), key, br, bridge_at + (b + 2) * bar, 1, 7, 59, 76, 38, vib);
    }
    put_off(c, bridge_at + 2 * block - 1, lead);
    for (int at : {verse_at, chorus_at, bridge_at, bridge_at + block})
        echo_channel(c, pluck, pluck_echo, at, at + block, 3, 45);

    copy_rows(c, verse_at, block, chorus_at + block);
    copy_rows(c, chorus_at, block, chorus_at + 2 * block);
    copy_rows(c, chorus_at, block, outro_at - block);

    // Outro: the pluck slows to two notes a bar and fades.
    std::vector<Span> last = progression(changes, outro_at, bar, 4 * bar);
    arpeggio(c, pluck, pluck_ins, last, outro_at, 4 * bar, "0.......2.......", 1, 64, 36);
    echo_channel(c, pluck, pluck_echo, outro_at, outro_at + 4 * bar, 3, 45);
    mark_section(c, outro_at);
    fade_out(c, outro_at, outro_at + 4 * bar);
    set_length(c, outro_at + 4 * bar);
    return composer_finish(c, 64, false);
}
