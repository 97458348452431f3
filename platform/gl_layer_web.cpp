// platform/gl_layer_web.cpp: the fixed-function GL the disk draws with
// (platform/web/GL/gl.h), made of WebGL 2: immediate mode, two matrix
// stacks of one level, display lists, smooth and wide lines, RGB read-back.
// UI thread, the context current.
#include <GLES3/gl3.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Vertex {
    float position[4];  // object space, or clip space for drawn lines
    float tex[2];
    float colour[4];
    float across;       // pixels from a line's middle
};

struct Batch {
    GLenum mode;
    std::vector<Vertex> vertices;
};

struct Matrix {
    float m[16];  // column-major, as GL keeps it
};

constexpr Matrix identity = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
constexpr GLenum gl_quads = 0x0007, gl_polygon = 0x0009, gl_projection = 0x1701, gl_line_smooth = 0x0B20;
constexpr GLenum gl_texture_2d = 0x0DE1;

Matrix projection = identity, modelview = identity;
Matrix* current_matrix = &modelview;
Vertex current = {{0, 0, 0, 1}, {0, 0}, {1, 1, 1, 1}, 0};
GLenum begun_mode;
std::vector<Vertex> begun;
bool texturing, line_smooth;
float line_width = 1;
GLint viewport[4];
GLint pack_alignment = 4;
std::vector<std::vector<Batch>> lists;  // list n is lists[n - 1]
GLuint compiling;                       // the list being compiled, or 0
bool executing;                         // GL_COMPILE_AND_EXECUTE

GLuint program, vertex_array, vertex_buffer;
GLint u_matrix, u_textured, u_half_width;
std::vector<Vertex> drawn;  // reused between draws

const char* vertex_shader = R"(#version 300 es
in vec4 a_position; in vec2 a_tex; in vec4 a_colour; in float a_across;
uniform mat4 u_matrix;
out vec2 v_tex; out vec4 v_colour; out float v_across;
void main() {
    gl_Position = u_matrix * a_position;
    v_tex = a_tex; v_colour = a_colour; v_across = a_across;
})";

// Texture modulate, as fixed function does; a smooth line's coverage goes
// into alpha, which only blending turns into a soft edge.
const char* fragment_shader = R"(#version 300 es
precision highp float;
in vec2 v_tex; in vec4 v_colour; in float v_across;
uniform sampler2D u_texture; uniform int u_textured; uniform float u_half_width;
out vec4 colour;
void main() {
    vec4 c = v_colour;
    if (u_textured != 0) c *= texture(u_texture, v_tex);
    if (u_half_width > 0.0) {
        float coverage = clamp(u_half_width - abs(v_across), 0.0, 1.0);
        if (coverage <= 0.0) discard;
        c.a *= coverage;
    }
    colour = c;
})";

GLuint compile(GLenum kind, const char* source)
{
    GLuint shader = glCreateShader(kind);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    return shader;
}

bool ready()
{
    if (program)
        return true;
    program = glCreateProgram();
    glAttachShader(program, compile(GL_VERTEX_SHADER, vertex_shader));
    glAttachShader(program, compile(GL_FRAGMENT_SHADER, fragment_shader));
    glBindAttribLocation(program, 0, "a_position");
    glBindAttribLocation(program, 1, "a_tex");
    glBindAttribLocation(program, 2, "a_colour");
    glBindAttribLocation(program, 3, "a_across");
    glLinkProgram(program);
    glUseProgram(program);
    u_matrix = glGetUniformLocation(program, "u_matrix");
    u_textured = glGetUniformLocation(program, "u_textured");
    u_half_width = glGetUniformLocation(program, "u_half_width");
    glUniform1i(glGetUniformLocation(program, "u_texture"), 0);
    glGenVertexArrays(1, &vertex_array);
    glBindVertexArray(vertex_array);
    glGenBuffers(1, &vertex_buffer);
    glBindBuffer(GL_ARRAY_BUFFER, vertex_buffer);
    const GLsizei stride = sizeof(Vertex);
    glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(Vertex, position)));
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(Vertex, tex)));
    glVertexAttribPointer(2, 4, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(Vertex, colour)));
    glVertexAttribPointer(3, 1, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(Vertex, across)));
    for (GLuint i = 0; i < 4; ++i)
        glEnableVertexAttribArray(i);
    glGetIntegerv(GL_VIEWPORT, viewport);
    return true;
}

Matrix multiply(const Matrix& a, const Matrix& b)
{
    Matrix r;
    for (int column = 0; column < 4; ++column)
        for (int row = 0; row < 4; ++row) {
            float sum = 0;
            for (int k = 0; k < 4; ++k)
                sum += a.m[k * 4 + row] * b.m[column * 4 + k];
            r.m[column * 4 + row] = sum;
        }
    return r;
}

void transform(const Matrix& m, const float in[4], float out[4])
{
    for (int row = 0; row < 4; ++row)
        out[row] = m.m[row] * in[0] + m.m[4 + row] * in[1] + m.m[8 + row] * in[2] + m.m[12 + row] * in[3];
}

void submit(GLenum primitive, const Matrix& matrix, float half_width)
{
    glUseProgram(program);
    glBindVertexArray(vertex_array);
    glBindBuffer(GL_ARRAY_BUFFER, vertex_buffer);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(drawn.size() * sizeof(Vertex)), drawn.data(), GL_STREAM_DRAW);
    glUniformMatrix4fv(u_matrix, 1, GL_FALSE, matrix.m);
    glUniform1i(u_textured, texturing ? 1 : 0);
    glUniform1f(u_half_width, half_width);
    glDrawArrays(primitive, 0, GLsizei(drawn.size()));
}

// A wide or smooth line as a quad in window space, since WebGL draws lines
// one pixel wide and hard: the line's width plus a pixel of fading edge
// when smooth, half a pixel longer at each end.
void push_line_quad(const Vertex& a, const Vertex& b, const Matrix& mvp, float half_extent)
{
    float ca[4], cb[4];
    transform(mvp, a.position, ca);
    transform(mvp, b.position, cb);
    if (ca[3] <= 0 || cb[3] <= 0)
        return;
    const float half_w = viewport[2] * 0.5f, half_h = viewport[3] * 0.5f;
    const float ax = ca[0] / ca[3] * half_w, ay = ca[1] / ca[3] * half_h;
    const float bx = cb[0] / cb[3] * half_w, by = cb[1] / cb[3] * half_h;
    float dx = bx - ax, dy = by - ay;
    const float length = std::sqrt(dx * dx + dy * dy);
    if (length == 0)
        return;
    dx /= length;
    dy /= length;
    const float cap = line_smooth ? 0.5f : 0.0f;
    const float nx = -dy * half_extent, ny = dx * half_extent;
    auto corner = [&](const Vertex& v, const float* clip, float x, float y, float side) {
        Vertex out = v;
        out.position[0] = x / half_w;
        out.position[1] = y / half_h;
        out.position[2] = clip[2] / clip[3];
        out.position[3] = 1;
        out.across = side * half_extent;
        drawn.push_back(out);
    };
    const float sx = ax - dx * cap, sy = ay - dy * cap, ex = bx + dx * cap, ey = by + dy * cap;
    corner(a, ca, sx + nx, sy + ny, 1);
    corner(a, ca, sx - nx, sy - ny, -1);
    corner(b, cb, ex + nx, ey + ny, 1);
    corner(b, cb, ex + nx, ey + ny, 1);
    corner(a, ca, sx - nx, sy - ny, -1);
    corner(b, cb, ex - nx, ey - ny, -1);
}

void draw_batch(GLenum mode, const std::vector<Vertex>& v)
{
    if (v.empty() || !ready())
        return;
    const Matrix mvp = multiply(projection, modelview);
    drawn.clear();
    const size_t n = v.size();
    if (mode == GL_LINES || mode == GL_LINE_STRIP || mode == GL_LINE_LOOP) {
        const size_t step = mode == GL_LINES ? 2 : 1;
        const size_t segments = mode == GL_LINES ? n / 2 : mode == GL_LINE_STRIP ? n - 1 : n;
        const bool native = !line_smooth && line_width <= 1;
        const float half_extent = line_width * 0.5f + (line_smooth ? 0.5f : 0.0f);
        for (size_t i = 0; i < segments && n >= 2; ++i) {
            const Vertex& a = v[i * step];
            const Vertex& b = v[(i * step + 1) % n];
            if (native) {
                drawn.push_back(a);
                drawn.push_back(b);
            } else {
                push_line_quad(a, b, mvp, half_extent);
            }
        }
        if (native)
            submit(GL_LINES, mvp, 0);
        else
            submit(GL_TRIANGLES, identity, line_smooth ? line_width * 0.5f + 0.5f : 0);
        return;
    }
    if (mode == gl_quads) {
        for (size_t q = 0; q + 3 < n; q += 4)
            for (size_t k : {0, 1, 2, 0, 2, 3})
                drawn.push_back(v[q + k]);
    } else if (mode == gl_polygon || mode == GL_TRIANGLE_FAN) {
        for (size_t i = 1; i + 1 < n; ++i) {
            drawn.push_back(v[0]);
            drawn.push_back(v[i]);
            drawn.push_back(v[i + 1]);
        }
    } else if (mode == GL_TRIANGLES) {
        drawn = v;
    }
    submit(GL_TRIANGLES, mvp, 0);
}

void apply(const Matrix& m)
{
    *current_matrix = multiply(*current_matrix, m);
}

}  // namespace

void platform_gl_begin(GLenum mode)
{
    begun_mode = mode;
    begun.clear();
}

void platform_gl_end()
{
    if (compiling)
        lists[compiling - 1].push_back(Batch{begun_mode, begun});
    if (!compiling || executing)
        draw_batch(begun_mode, begun);
    begun.clear();
}

void platform_gl_vertex3f(GLfloat x, GLfloat y, GLfloat z)
{
    Vertex v = current;
    v.position[0] = x;
    v.position[1] = y;
    v.position[2] = z;
    begun.push_back(v);
}

void platform_gl_vertex3dv(const double* v)
{
    platform_gl_vertex3f(float(v[0]), float(v[1]), float(v[2]));
}

void platform_gl_normal3dv(const double*)
{
    // Nothing the disk draws is lit.
}

void platform_gl_tex_coord2f(GLfloat s, GLfloat t)
{
    current.tex[0] = s;
    current.tex[1] = t;
}

void platform_gl_color4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a)
{
    // GL clamps colours given as floats.
    const float c[4] = {r, g, b, a};
    for (int i = 0; i < 4; ++i)
        current.colour[i] = c[i] < 0 ? 0 : c[i] > 1 ? 1 : c[i];
}

void platform_gl_color4ub(GLubyte r, GLubyte g, GLubyte b, GLubyte a)
{
    current.colour[0] = r / 255.0f;
    current.colour[1] = g / 255.0f;
    current.colour[2] = b / 255.0f;
    current.colour[3] = a / 255.0f;
}

void platform_gl_matrix_mode(GLenum mode)
{
    current_matrix = mode == gl_projection ? &projection : &modelview;
}

void platform_gl_load_identity()
{
    *current_matrix = identity;
}

void platform_gl_rotatef(GLfloat degrees, GLfloat x, GLfloat y, GLfloat z)
{
    const float length = std::sqrt(x * x + y * y + z * z);
    if (length == 0)
        return;
    x /= length;
    y /= length;
    z /= length;
    const float radians = degrees * float(M_PI / 180.0);
    const float c = std::cos(radians), s = std::sin(radians), k = 1 - c;
    const Matrix r = {{x * x * k + c, y * x * k + z * s, x * z * k - y * s, 0,
                       x * y * k - z * s, y * y * k + c, y * z * k + x * s, 0,
                       x * z * k + y * s, y * z * k - x * s, z * z * k + c, 0,
                       0, 0, 0, 1}};
    apply(r);
}

void platform_gl_frustum(double l, double r, double b, double t, double n, double f)
{
    const Matrix m = {{float(2 * n / (r - l)), 0, 0, 0,
                       0, float(2 * n / (t - b)), 0, 0,
                       float((r + l) / (r - l)), float((t + b) / (t - b)), float(-(f + n) / (f - n)), -1,
                       0, 0, float(-2 * f * n / (f - n)), 0}};
    apply(m);
}

void platform_gl_ortho(double l, double r, double b, double t, double n, double f)
{
    const Matrix m = {{float(2 / (r - l)), 0, 0, 0,
                       0, float(2 / (t - b)), 0, 0,
                       0, 0, float(-2 / (f - n)), 0,
                       float(-(r + l) / (r - l)), float(-(t + b) / (t - b)), float(-(f + n) / (f - n)), 1}};
    apply(m);
}

void platform_gl_enable(GLenum cap)
{
    if (cap == gl_texture_2d)
        texturing = true;
    else if (cap == gl_line_smooth)
        line_smooth = true;
    else
        glEnable(cap);
}

void platform_gl_disable(GLenum cap)
{
    if (cap == gl_texture_2d)
        texturing = false;
    else if (cap == gl_line_smooth)
        line_smooth = false;
    else
        glDisable(cap);
}

void platform_gl_hint(GLenum, GLenum)
{
    // The only hint asked for is the line smoothing's, always at its best here.
}

void platform_gl_line_width(GLfloat width)
{
    if (width > 0)
        line_width = width;
}

void platform_gl_blend_func(GLenum source, GLenum destination)
{
    glBlendFunc(source, destination);
}

void platform_gl_depth_func(GLenum func)
{
    glDepthFunc(func);
}

void platform_gl_color_mask(GLboolean r, GLboolean g, GLboolean b, GLboolean a)
{
    glColorMask(r, g, b, a);
}

void platform_gl_polygon_offset(GLfloat factor, GLfloat units)
{
    glPolygonOffset(factor, units);
}

void platform_gl_clear(GLbitfield mask)
{
    glClear(mask);
}

void platform_gl_clear_color(GLfloat r, GLfloat g, GLfloat b, GLfloat a)
{
    glClearColor(r, g, b, a);
}

void platform_gl_viewport(GLint x, GLint y, GLsizei width, GLsizei height)
{
    ready();
    glViewport(x, y, width, height);
    viewport[0] = x;
    viewport[1] = y;
    viewport[2] = width;
    viewport[3] = height;
}

void platform_gl_gen_textures(GLsizei n, GLuint* names)
{
    glGenTextures(n, names);
}

void platform_gl_bind_texture(GLenum target, GLuint name)
{
    glBindTexture(target, name);
}

void platform_gl_tex_parameteri(GLenum target, GLenum name, GLint value)
{
    glTexParameteri(target, name, value);
}

// GL 1.0's component counts 3 and 4 are WebGL's unsized RGB and RGBA.
void platform_gl_tex_image2d(GLenum target, GLint level, GLint internal_format, GLsizei width, GLsizei height,
                             GLint border, GLenum format, GLenum type, const void* pixels)
{
    if (internal_format == 3)
        internal_format = GL_RGB;
    else if (internal_format == 4)
        internal_format = GL_RGBA;
    glTexImage2D(target, level, internal_format, width, height, border, format, type, pixels);
}

GLint platform_glu_build_2d_mipmaps(GLenum target, GLint internal_format, GLsizei width, GLsizei height,
                                    GLenum format, GLenum type, const void* pixels)
{
    platform_gl_tex_image2d(target, 0, internal_format, width, height, 0, format, type, pixels);
    glGenerateMipmap(target);
    return 0;
}

void platform_gl_pixel_storei(GLenum name, GLint value)
{
    if (name == GL_PACK_ALIGNMENT)
        pack_alignment = value;
    glPixelStorei(name, value);
}

void platform_gl_read_buffer(GLenum)
{
    // WebGL reads the frame being drawn, the back buffer.
}

// WebGL reads RGBA bytes only: RGB is packed from them.
void platform_gl_read_pixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type,
                             void* pixels)
{
    if (format != GL_RGB || type != GL_UNSIGNED_BYTE) {
        glReadPixels(x, y, width, height, format, type, pixels);
        return;
    }
    if (width <= 0 || height <= 0)
        return;
    std::vector<uint8_t> rgba(size_t(width) * size_t(height) * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    glPixelStorei(GL_PACK_ALIGNMENT, pack_alignment);
    const size_t align = size_t(pack_alignment);
    const size_t row_bytes = (size_t(width) * 3 + align - 1) / align * align;
    uint8_t* out = static_cast<uint8_t*>(pixels);
    for (GLsizei row = 0; row < height; ++row)
        for (GLsizei i = 0; i < width; ++i)
            std::memcpy(out + size_t(row) * row_bytes + size_t(i) * 3, &rgba[(size_t(row) * width + i) * 4], 3);
}

GLuint platform_gl_gen_lists(GLsizei range)
{
    if (range != 1)
        return 0;
    lists.emplace_back();
    return GLuint(lists.size());
}

void platform_gl_new_list(GLuint list, GLenum mode)
{
    if (compiling || list == 0 || list > lists.size())
        return;
    lists[list - 1].clear();
    compiling = list;
    executing = mode == 0x1301;  // GL_COMPILE_AND_EXECUTE
}

void platform_gl_end_list()
{
    compiling = 0;
}

void platform_gl_call_list(GLuint list)
{
    if (list == 0 || list > lists.size())
        return;
    for (const Batch& b : lists[list - 1])
        draw_batch(b.mode, b.vertices);
}
