// platform/gl_attributes.h: the pixel format the program asks of every GL
// surface. Inside platform/ only; UI thread.
#pragma once

// Asks SDL for a legacy (compatibility) context, double buffered, 8 bits a
// colour channel (32-bit colour), a 16-bit depth buffer. Call before the
// surface is created.
void platform_gl_set_attributes();

struct PlatformPixelFormat;
// 1 when a window's pixel format request is one SDL can be asked for: an
// RGBA GL drawable of at most 32 bits of colour and of depth
// (gl_context.cpp, the same on every system).
bool gl_format_request_valid(const PlatformPixelFormat* format);
