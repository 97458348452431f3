// visuals/textures.h: the four picture textures the frame binds by slot and
// the spare blank texture. UI thread, GL context current.
#pragma once
#include <GL/gl.h>

// The pictures in datas/ by slot - 1: backgrounds 1 and 2, the tunnel's
// texture, the overlay. The one place that names them; the tools that
// write them read them here.
constexpr const char* picture_files[4] = {"velvane1.bmp", "velvane2.bmp", "rotomap.bmp", "menu.bmp"};

// Entry slot - 1 holds slot's texture (1, 2 backgrounds, 3 tunnel, 4
// overlay), 0 while its picture has not been read. Written by load_texture;
// read by the frame. UI thread only.
extern GLuint textures[4];
// The spare texture, never bound by a frame. Stored by start-up. UI thread.
extern GLuint blank_texture;

// Black clear colour, texturing on, and the four pictures of datas/ into
// slots 1 to 4, all four tried even after a failure. 1 when all four became
// textures, else 0.
int init_scene();
// As init_scene, with the pictures read from folder instead of datas/ (tools).
int init_scene_from(const char* folder);
// Reads picture_path and uploads it into slot (1 to 4): a full mipmap chain,
// then level 0 again from the unscaled picture, linear filters, the first
// row at t = 0. Any width; top-down files come out upright too. Leaves the
// texture bound. 1, or 0 (no name generated) when the picture cannot be read.
int load_texture(int slot, const char* picture_path);
// A new 128 x 128 RGBA texture of zeros, left bound; 0 when its buffer
// cannot be had.
GLuint make_blank_texture();
