// platform/web/GL/glu.h: the one GLU call the disk makes, on the browser
// build's GL layer (gl_layer_web.cpp). UI thread, context current.
#pragma once
#include <GL/gl.h>

#define gluBuild2DMipmaps platform_glu_build_2d_mipmaps

// Level 0 as given and the rest of the chain from it: WebGL 2 mipmaps any
// size, so nothing is scaled to powers of two first. 0 on success.
GLint platform_glu_build_2d_mipmaps(GLenum target, GLint internal_format, GLsizei width, GLsizei height,
                                    GLenum format, GLenum type, const void* pixels);
