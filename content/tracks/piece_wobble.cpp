// content/tracks/piece_wobble.cpp: track 8, "Wobble": half-time bass music
// in F minor at 140 BPM, 4/4 with the snare on three. The bass's filter
// sweeps inside its sample; retriggering it on the beat with sweeps of
// different speeds makes the wobble rhythm. The lead is a brassy FM horn.
// Form: intro (pad, riser, the horn's call), build, drop, drop, break,
// drop, drop with the horn, drop, outro: the drop comes back whole three
// times. Hats and kick start the build at bar 9, the riser swells from bar
// 5. Ends on a fade; the first row restores the volume.
// Generator thread only.
#include "content/tracks/kit.h"
#include "content/tracks/pieces.h"

Song piece_wobble()
{
    enum { kick = 0, snare = 1, hat = 2, wob = 3, sub = 4, stab0 = 5, lead = 8, fx = 9 };
    Composer c;
    composer_start(c, "Wobble", 10, 140, 6, 0x30bb1e08);
    set_panning(c, {32, 32, 42, 32, 32, 18, 32, 46, 28, 36});
    // Mastered (measure-tracks): RMS near -21 dBFS, peaks below -6 dBFS, since
    // the echo and the flanger may each double a sample.
    c.song.mix_volume = 25;

    int kick_ins = kit_kick(c, 140, 40, 420, 9000);
    int snare_ins = kit_snare(c, 200, 140, 56000, 320);
    int hat_ins = kit_hat(c, 50, 10);
    int crash_ins = kit_cymbal(c, 900);
    // A beat lasts 4 rows of 107 ms; the sweeps are set for F-2.
    int wob_quarter = kit_wobble(c, "wob 1/4", 320, 120, 1400, env_adsr(0, 4, 60, 4));
    int wob_eighth = kit_wobble(c, "wob 1/8", 160, 150, 1800, env_adsr(0, 4, 60, 4));
    int wob_triplet = kit_wobble(c, "wob 1/12", 107, 150, 2200, env_adsr(0, 4, 60, 4));
    int sub_ins = kit_tone(c, "sub", Timbre::sine, 0, env_adsr(0, 10, 60, 6), 0);
    int stab_ins = kit_ensemble(c, "stab", Timbre::saw, 5, {0, 3, -3}, env_pluck(0, 12, 20), 0);
    int pad_ins = kit_ensemble(c, "dark pad", Timbre::saw, 2, {0, 1, -1, 2}, env_adsr(64, 20, 54, 80), 200);
    int lead_ins = kit_fm(c, "horn", 1, 900, 400, env_adsr(4, 20, 50, 20), 300);
    int riser_ins = add_instrument(c, to_sample("riser", noise(4096, c.rng), 30000, 22050,
                                                LoopMode::forward, 0, 0, false),
                                   env_adsr(0, 1, 64, 10), 0);

    constexpr int bar = 16;
    const int total = 68 * bar;
    Key key = key_minor(65);  // F-5
    std::vector<Span> chords = progression("Fm*2 Db*2 Ab Eb*2 C7", 0, bar, total);

    // Intro: dark pad, a noise riser swelling, the lead's first phrase.
    pad_chords(c, stab0, 3, pad_ins, chords, 0, 8 * bar, 56, 72, 40);
    put_note(c, 4 * bar, fx, 72, riser_ins, 4);
    fill_effect(c, fx, 4 * bar + 1, 8 * bar, Effect::volume_slide, 0x10);
    put_note(c, 8 * bar, fx, note_c5, crash_ins, 50);
    put_off(c, 8 * bar, stab0);

    // Build: hats and a snare roll rising.
    drum_line(c, hat, hat_ins, 8 * bar, 8 * bar, "x.x.x.x.x.x.x.x.", 1, 34);
    drum_line(c, kick, kick_ins, 8 * bar, 6 * bar, "X.........X.....", 1, 56);
    drum_roll(c, snare, snare_ins, 12 * bar, 2 * bar, 4, 20, 40);
    drum_roll(c, snare, snare_ins, 14 * bar, bar, 2, 40, 54);
    drum_roll(c, snare, snare_ins, 15 * bar, bar, 1, 54, 64);
    chord_stabs(c, stab0, 3, stab_ins, chords, 8 * bar, 8 * bar, "x.......x...x...", 1, 60, 76, 40);

    // The wobble: per beat, which sweep plays (q, e, t) or a rest.
    auto drop = [&](int at, int bars, const char* plan) {
        drum_line(c, kick, kick_ins, at, bars * bar, "X.........X.....X.......X.x.....", 1, 64);
        drum_line(c, snare, snare_ins, at, bars * bar, "........X.......", 1, 62);
        drum_line(c, hat, hat_ins, at, bars * bar, "x.xox.x.x.xox.xx", 1, 38);
        int n = int(std::string(plan).size());
        for (int beat = 0; beat < bars * 4; beat++) {
            int row = at + beat * 4;
            char p = plan[beat % n];
            const Span& s = span_at(chords, row);
            int note = 29 + ((s.chord.root - 5 + 12) % 12);  // F-2 upwards
            if (note > 35) note -= 12;
            int ins = p == 'q' ? wob_quarter : p == 'e' ? wob_eighth : p == 't' ? wob_triplet : 0;
            if (ins) {
                put_note(c, row, wob, note, ins, 60);
                put_note(c, row, sub, note + 12, sub_ins, 50);
            } else if (p == '.') {
                put_off(c, row, wob);
                put_off(c, row, sub);
            }
        }
        put_note(c, at, fx, note_c5, crash_ins, 54);
    };
    drop(16 * bar, 16, "qqeqqe.eqqeetttq");
    // Break: pad, lead, stabs.
    pad_chords(c, stab0, 3, pad_ins, chords, 32 * bar, 40 * bar, 56, 72, 44);
    drum_line(c, hat, hat_ins, 36 * bar, 4 * bar, "..x...x...x...x.", 1, 30);
    drum_roll(c, snare, snare_ins, 38 * bar, 2 * bar, 2, 24, 60);
    drop(40 * bar, 24, "eeqeeet.tttqeqee");

    Motif call = make_motif(c.rng, "x-----x-x-----x---x---x---------", 2);
    Motif reply = make_motif(c.rng, "x---x---x-x-----~-------x-------", 3);
    for (int at = 0; at < 8; at += 4) {
        play_motif(c, lead, lead_ins, call, key, chords, at * bar, 1, 7, 53, 72, 36, 0x46);
        play_motif(c, lead, lead_ins, reply, key, chords, (at + 2) * bar, 1, 9, 53, 72, 34, 0x46);
    }
    for (int at = 32; at < 40; at += 4) {
        play_motif(c, lead, lead_ins, call, key, chords, at * bar, 1, 7, 53, 74, 46, 0x46);
        play_motif(c, lead, lead_ins, reply, key, chords, (at + 2) * bar, 1, 9, 53, 74, 44, 0x46);
    }
    for (int at = 48; at < 64; at += 4) {
        play_motif(c, lead, lead_ins, motif_inverted(call), key, chords, at * bar, 1, 9, 58, 77, 40, 0x46);
        play_motif(c, lead, lead_ins, reply, key, chords, (at + 2) * bar, 1, 11, 58, 77, 38, 0x46);
    }
    put_off(c, 64 * bar, lead);
    // The first drop's eight bars open the second drop and close it.
    for (int at : {24, 40, 56}) copy_rows(c, 16 * bar, 8 * bar, at * bar);

    // Outro: stabs and the pad over a last kick pattern, fading.
    chord_stabs(c, stab0, 3, stab_ins, chords, 64 * bar, 4 * bar, "x.......x...x...", 1, 60, 76, 40);
    drum_line(c, kick, kick_ins, 64 * bar, 4 * bar, "X.........X.....", 1, 56);
    put_off(c, 64 * bar, wob);
    put_off(c, 64 * bar, sub);
    mark_section(c, 64 * bar);
    fade_out(c, 65 * bar, total);
    set_length(c, total);
    return composer_finish(c, 64, false);
}
