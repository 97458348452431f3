// tools/content/pictures/pictures.h: the four pictures the disk ships with, made by
// code. Any thread.
#pragma once

// Writes "velvane1.bmp", "velvane2.bmp" (backgrounds), "rotomap.bmp" (the
// tunnel's texture) and "menu.bmp" (the overlay) into dir, which must
// exist. The same bytes on every run and machine. 1, or 0 on failure.
int pictures_write_all(const char* dir);
