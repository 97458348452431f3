// content/tracks/piece_lumen.cpp: track 10, "Lumen": bright, uplifting dance
// piece in E major at 124 BPM, straight four-on-the-floor: offbeat hats and
// bass, electric piano chords, a plucked arpeggio with echo; the lead is a
// wide detuned supersaw.
// Form: intro, build, verse, chorus, verse, break, verse, chorus, outro:
// verse and chorus come back whole. The kick and bass arrive at bar 9.
// Ends on a fade; the first row restores the volume. Generator thread only.
#include "content/tracks/kit.h"
#include "content/tracks/pieces.h"

Song piece_lumen()
{
    enum { kick = 0, clap = 1, open_hat = 2, hat = 3, bass = 4, keys0 = 5, arp = 8, arp_echo = 9,
           lead = 10, lead_echo = 11 };
    Composer c;
    composer_start(c, "Lumen", 12, 124, 6, 0x1c3e010a);
    set_panning(c, {32, 32, 40, 24, 32, 20, 32, 44, 26, 40, 32, 14});
    // Mastered (measure-tracks): RMS near -21 dBFS, peaks below -6 dBFS, since
    // the echo and the flanger may each double a sample.
    c.song.mix_volume = 31;

    int kick_ins = kit_kick(c, 130, 46, 300, 6000);
    int clap_ins = kit_clap(c, 240);
    int open_ins = kit_hat(c, 220, 60);
    int hat_ins = kit_hat(c, 50, 10);
    int bass_ins = kit_tone(c, "bright bass", Timbre::saw, 6, env_adsr(0, 10, 44, 6), 0);
    int keys_ins = kit_fm(c, "e-piano", 1, 600, 300, env_adsr(0, 50, 36, 30), 300);
    int pluck_ins = kit_pluck(c, "pluck", 65000, env_pluck(1, 14, 30), 64);
    int lead_ins = kit_ensemble(c, "supersaw", Timbre::saw, 10, {0, 2, -2, 5, -5}, env_adsr(2, 20, 52, 24), 300);

    constexpr int bar = 16;
    const int total = 72 * bar;
    Key key = key_major(64);  // E-5
    std::vector<Span> verse = progression("Amaj7 B6 G#m7 C#m7", 0, bar, total);
    std::vector<Span> chorus = progression("E B C#m9 Aadd9", 0, bar, total);
    auto chords_for = [&](int b) -> const std::vector<Span>& { return (b / 8) % 2 ? chorus : verse; };

    Motif hook = make_motif(c.rng, "x-x-x-x---x-x-----x-x-x-x---x---", 2);
    Motif lift = make_motif(c.rng, "x---x---x-x-x---~-------x-x-----", 3);

    for (int b : {0, 8, 16, 24, 40}) {
        int at = b * bar;
        const std::vector<Span>& ch = chords_for(b);
        bool intro = b < 8, build = b == 8, brk = b == 40;
        bool main = !intro && !build && !brk;
        chord_stabs(c, keys0, 3, keys_ins, ch, at, 8 * bar, main ? "x--x--x---x--x--" : "x-------x-------", 1, 59, 76, 40);
        arpeggio(c, arp, pluck_ins, ch, at, 8 * bar, "0.1.2.3.2.4.3.1.", 1, 64, brk ? 44 : 38);
        if (!intro) {
            drum_line(c, kick, kick_ins, at, brk ? 0 : 8 * bar, "X...X...X...X...", 1, 62);
            bass_line(c, bass, bass_ins, ch, at, brk ? 0 : 8 * bar, "..R...R...R.O.R.", 1, 40, 52);
        }
        if (main) {
            drum_line(c, clap, clap_ins, at, 8 * bar, "....X.......X...", 1, 50);
            drum_line(c, open_hat, open_ins, at, 8 * bar, "..x...x...x...x.", 1, 34);
            drum_line(c, hat, hat_ins, at, 8 * bar, "x.o.x.oox.o.x.oo", 1, 30);
            for (int k = 0; k < 8; k += 4) {
                play_motif(c, lead, lead_ins, hook, key, ch, at + k * bar, 1, 7, 56, 76, 44, 0x34);
                play_motif(c, lead, lead_ins, (b / 8) % 2 ? lift : motif_inverted(hook), key, ch,
                           at + (k + 2) * bar, 1, 9, 56, 76, 42, 0x34);
            }
        }
        if (main) drum_fill(c, clap, clap_ins, at + 8 * bar - 4, 4, 1, note_c5, note_c5, 48);
        if (build) drum_roll(c, clap, clap_ins, at + 4 * bar, 4 * bar, 2, 16, 60);
        if (brk) {
            drum_roll(c, clap, clap_ins, at + 6 * bar, bar, 2, 20, 40);
            drum_roll(c, clap, clap_ins, at + 7 * bar, bar, 1, 40, 62);
            put_off(c, at, lead);
        }
    }
    for (int b : {0, 8, 16, 24, 40}) {
        echo_channel(c, arp, arp_echo, b * bar, (b + 8) * bar, 3, 45);
        echo_channel(c, lead, lead_echo, b * bar, (b + 8) * bar, 6, 35);
    }
    copy_rows(c, 16 * bar, 8 * bar, 32 * bar);
    copy_rows(c, 16 * bar, 8 * bar, 48 * bar);
    copy_rows(c, 24 * bar, 8 * bar, 56 * bar);

    // Outro: chords and arpeggio over the kick, fading out.
    int at = 64 * bar;
    chord_stabs(c, keys0, 3, keys_ins, verse, at, 8 * bar, "x-------x-------", 1, 59, 76, 40);
    arpeggio(c, arp, pluck_ins, verse, at, 8 * bar, "0.1.2.3.2.4.3.1.", 1, 64, 38);
    drum_line(c, kick, kick_ins, at, 4 * bar, "X...X...X...X...", 1, 60);
    put_off(c, at, lead);
    echo_channel(c, arp, arp_echo, at, total, 3, 45);
    mark_section(c, at);
    fade_out(c, at + 2 * bar, total);
    set_length(c, total);
    return composer_finish(c, 64, false);
}
