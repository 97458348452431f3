// visuals/dodecahedron.h: the wire dodecahedron, the display-list cache that
// keeps it, and the small transform stack it is built through. UI thread,
// GL context current, outside any display-list compilation.
#pragma once
#include <GL/gl.h>

constexpr int shape_kind_dodecahedron = 8;
constexpr int shape_kind_count = 9;       // cache chains; kind 8 is the only one in use
constexpr int transform_levels = 10;      // depths 0 to 9
// A radius's build size: 1 / 1.73 rather than 1 / sqrt(3), so the corners
// land a hair outside the radius.
constexpr double dodecahedron_size_factor = 0.5780346820809249;

// Draws twelve closed pentagon outlines about the origin, corners about
// radius * 1.0012 out. The first call for a radius compiles and draws its
// list at once; later calls with the very same double replay it.
void wire_dodecahedron(double radius);

// The list kept for kind and exactly these count values, newest first; 0
// when none matches (or kind is out of range).
GLuint find_shape_list(int kind, const double* values, int count);
// A new list name at the head of kind's chain; the entry takes ownership of
// values (a malloc block). 0 when no entry or no list name could be had, and
// then values is freed.
GLuint new_shape_list(int kind, double* values, int count);

// Issues the shape's GL commands: twelve faces of primitive, each one normal
// and five vertices, scaled by size about centre.
void build_dodecahedron(const double centre[3], double size, GLenum primitive);
// Rewrites the twenty-corner table (corners sqrt(3) from the centre).
void fill_dodecahedron_vertices();
// One face of the table: the normal from its first three corners, mapped
// through the top level, then the five mapped corners.
void draw_face(int a, int b, int c, int d, int e, GLenum primitive);

// The transform stack: a forward matrix (rows are the images of x, y, z and
// the translation; points are row vectors) and its normal matrix (inverse
// transpose of the upper 3 x 3) per level. Overflow and underflow end the
// process through report_error.
void m_pushmatrix();
void m_popmatrix();
void m_translate(double x, double y, double z);
void m_scalexyz(double sx, double sy, double sz);
// Maps through the top level; in and out may be the same vector.
void m_mappoint(const double in[3], double out[3]);
// As m_mappoint, and the normal through the normal matrix, made unit length.
void m_mappointnormal(const double in[3], double out[3], const double normal_in[3], double normal_out[3]);

void vec_sub(const double a[3], const double b[3], double out[3]);    // a - b
void vec_cross(const double a[3], const double b[3], double out[3]);  // a x b
// Makes v unit length; a zero (or not-a-number) length ends the process.
void normalize(double v[3]);

// Shows message in an "Error" box while error_popups is on, then ends the
// process with status 1 (exit handlers still run).
[[noreturn]] void report_error(const char* message);
