// visuals/icon.h: the disk's icon, drawn from the frame's own pieces. UI
// thread, GL context current, the four pictures loaded (init_scene_from).
#pragma once

// A square icon of size x size pixels: the wire dodecahedron over a few of
// the tunnel's rings in tint (red, green, blue, 0 to 255) on the nebula, its
// lines thickened with the size so that it still reads at 16 x 16. Ends with
// the buffer swap of device_context, as a frame does.
void draw_icon(int size, const int tint[3]);
