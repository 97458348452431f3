// content/pictures/pictures.h: the four pictures the disk ships with, made by
// code. Any thread.
#pragma once

// Writes the two backgrounds, the tunnel's texture and the overlay into
// dir, which must exist, under the names visuals/textures.h gives them
// (picture_files). The same bytes on every run and machine. 1, or 0 on
// failure.
int pictures_write_all(const char* dir);
