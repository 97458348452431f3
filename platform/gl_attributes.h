// platform/gl_attributes.h: the pixel format the program asks of every GL
// surface. Inside platform/ only; UI thread.
#pragma once

// Asks SDL for a legacy (compatibility) context, double buffered, 8 bits a
// colour channel (32-bit colour), a 16-bit depth buffer. Call before the
// surface is created.
void platform_gl_set_attributes();
