// content/tracks/pieces.h: one composing function per piece, each building
// its whole song from the toolkit. Generator thread only.
#pragma once
#include "content/modwriter/modwriter.h"
#include "content/tracks/compose.h"

Song piece_ambre();    // 1: ambient, loops seamlessly
Song piece_colder();   // 2: cold and minimal
Song piece_shift1();   // 3: 7/8 groove, first of the shifting series
Song piece_mirror();   // 4: canon with inversion and retrograde
Song piece_stone();    // 5: heavy, half-time
Song piece_shift2();   // 6: 5/4 with shuffle
Song piece_frob();     // 7: playful chip tune (the XM)
Song piece_wobble();   // 8: wobble bass
Song piece_shift3();   // 9: changing metres and tempo
Song piece_lumen();    // 10: bright
Song piece_drift();    // 11: drifting, slow
Song piece_coda();     // 12: finale

// Themes that come back in the finale.
Motif theme_ambre();   // the bells' two-bar motif of track 1
Motif theme_mirror();  // the canon subject of track 4
