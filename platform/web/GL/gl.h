// platform/web/GL/gl.h: the part of OpenGL 1.1 the disk draws with, as the
// browser build has it: platform/'s own layer over WebGL 2
// (gl_layer_web.cpp), since the browser has no fixed-function GL. Stands in
// for the system's <GL/gl.h> on the web only. UI thread, context current.
#pragma once
#include <cstdint>

typedef unsigned int GLenum;
typedef unsigned int GLuint;
typedef int GLint;
typedef int GLsizei;
typedef unsigned int GLbitfield;
typedef unsigned char GLboolean;
typedef unsigned char GLubyte;
typedef float GLfloat;
typedef double GLdouble;
typedef void GLvoid;

constexpr GLboolean GL_FALSE = 0;
constexpr GLboolean GL_TRUE = 1;
constexpr GLenum GL_LINES = 0x0001;
constexpr GLenum GL_LINE_LOOP = 0x0002;
constexpr GLenum GL_LINE_STRIP = 0x0003;
constexpr GLenum GL_TRIANGLES = 0x0004;
constexpr GLenum GL_TRIANGLE_FAN = 0x0006;
constexpr GLenum GL_QUADS = 0x0007;
constexpr GLenum GL_POLYGON = 0x0009;
constexpr GLenum GL_COMPILE = 0x1300;
constexpr GLenum GL_COMPILE_AND_EXECUTE = 0x1301;
constexpr GLenum GL_MODELVIEW = 0x1700;
constexpr GLenum GL_PROJECTION = 0x1701;
constexpr GLenum GL_LINE_SMOOTH = 0x0B20;
constexpr GLenum GL_DEPTH_TEST = 0x0B71;
constexpr GLenum GL_BLEND = 0x0BE2;
constexpr GLenum GL_TEXTURE_2D = 0x0DE1;
constexpr GLenum GL_POLYGON_OFFSET_FILL = 0x8037;
constexpr GLenum GL_LINE_SMOOTH_HINT = 0x0C52;
constexpr GLenum GL_NICEST = 0x1102;
constexpr GLenum GL_LEQUAL = 0x0203;
constexpr GLenum GL_LESS = 0x0201;
constexpr GLenum GL_ZERO = 0;
constexpr GLenum GL_ONE = 1;
constexpr GLenum GL_SRC_ALPHA = 0x0302;
constexpr GLenum GL_ONE_MINUS_SRC_ALPHA = 0x0303;
constexpr GLbitfield GL_DEPTH_BUFFER_BIT = 0x0100;
constexpr GLbitfield GL_COLOR_BUFFER_BIT = 0x4000;
constexpr GLenum GL_BACK = 0x0405;
constexpr GLenum GL_UNPACK_ALIGNMENT = 0x0CF5;
constexpr GLenum GL_PACK_ALIGNMENT = 0x0D05;
constexpr GLenum GL_UNSIGNED_BYTE = 0x1401;
constexpr GLenum GL_RGB = 0x1907;
constexpr GLenum GL_RGBA = 0x1908;
constexpr GLenum GL_NEAREST = 0x2600;
constexpr GLenum GL_LINEAR = 0x2601;
constexpr GLenum GL_TEXTURE_MAG_FILTER = 0x2800;
constexpr GLenum GL_TEXTURE_MIN_FILTER = 0x2801;
constexpr GLenum GL_TEXTURE_WRAP_S = 0x2802;
constexpr GLenum GL_TEXTURE_WRAP_T = 0x2803;

// The calls keep their GL names in the code that draws; here they become
// the layer's, so that nothing clashes with WebGL's own functions of the
// same names.
#define glBegin platform_gl_begin
#define glEnd platform_gl_end
#define glVertex3f platform_gl_vertex3f
#define glVertex3dv platform_gl_vertex3dv
#define glNormal3dv platform_gl_normal3dv
#define glTexCoord2f platform_gl_tex_coord2f
#define glColor4f platform_gl_color4f
#define glColor4ub platform_gl_color4ub
#define glMatrixMode platform_gl_matrix_mode
#define glLoadIdentity platform_gl_load_identity
#define glRotatef platform_gl_rotatef
#define glFrustum platform_gl_frustum
#define glOrtho platform_gl_ortho
#define glEnable platform_gl_enable
#define glDisable platform_gl_disable
#define glHint platform_gl_hint
#define glLineWidth platform_gl_line_width
#define glBlendFunc platform_gl_blend_func
#define glDepthFunc platform_gl_depth_func
#define glColorMask platform_gl_color_mask
#define glPolygonOffset platform_gl_polygon_offset
#define glClear platform_gl_clear
#define glClearColor platform_gl_clear_color
#define glViewport platform_gl_viewport
#define glGenTextures platform_gl_gen_textures
#define glBindTexture platform_gl_bind_texture
#define glTexParameteri platform_gl_tex_parameteri
#define glTexImage2D platform_gl_tex_image2d
#define glPixelStorei platform_gl_pixel_storei
#define glReadBuffer platform_gl_read_buffer
#define glReadPixels platform_gl_read_pixels
#define glGenLists platform_gl_gen_lists
#define glNewList platform_gl_new_list
#define glEndList platform_gl_end_list
#define glCallList platform_gl_call_list

void platform_gl_begin(GLenum mode);
void platform_gl_end();
void platform_gl_vertex3f(GLfloat x, GLfloat y, GLfloat z);
void platform_gl_vertex3dv(const GLdouble* v);
void platform_gl_normal3dv(const GLdouble* v);
void platform_gl_tex_coord2f(GLfloat s, GLfloat t);
void platform_gl_color4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a);
void platform_gl_color4ub(GLubyte r, GLubyte g, GLubyte b, GLubyte a);
void platform_gl_matrix_mode(GLenum mode);
void platform_gl_load_identity();
void platform_gl_rotatef(GLfloat degrees, GLfloat x, GLfloat y, GLfloat z);
void platform_gl_frustum(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble near, GLdouble far);
void platform_gl_ortho(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble near, GLdouble far);
void platform_gl_enable(GLenum cap);
void platform_gl_disable(GLenum cap);
void platform_gl_hint(GLenum target, GLenum mode);
void platform_gl_line_width(GLfloat width);
void platform_gl_blend_func(GLenum source, GLenum destination);
void platform_gl_depth_func(GLenum func);
void platform_gl_color_mask(GLboolean r, GLboolean g, GLboolean b, GLboolean a);
void platform_gl_polygon_offset(GLfloat factor, GLfloat units);
void platform_gl_clear(GLbitfield mask);
void platform_gl_clear_color(GLfloat r, GLfloat g, GLfloat b, GLfloat a);
void platform_gl_viewport(GLint x, GLint y, GLsizei width, GLsizei height);
void platform_gl_gen_textures(GLsizei n, GLuint* names);
void platform_gl_bind_texture(GLenum target, GLuint name);
void platform_gl_tex_parameteri(GLenum target, GLenum name, GLint value);
void platform_gl_tex_image2d(GLenum target, GLint level, GLint internal_format, GLsizei width, GLsizei height,
                             GLint border, GLenum format, GLenum type, const GLvoid* pixels);
void platform_gl_pixel_storei(GLenum name, GLint value);
void platform_gl_read_buffer(GLenum mode);
void platform_gl_read_pixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type,
                             GLvoid* pixels);
GLuint platform_gl_gen_lists(GLsizei range);
void platform_gl_new_list(GLuint list, GLenum mode);
void platform_gl_end_list();
void platform_gl_call_list(GLuint list);
