// visuals/dodecahedron.cpp: the wire dodecahedron, computed on the CPU in
// double precision, compiled once into a display list and replayed after.
// UI thread only; nothing here is re-entrant.
#include "visuals/dodecahedron.h"

#include "image/bmp_reader.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

struct ShapeList {
    GLuint list;
    double* values;   // the parameters the list was built for, before scaling
    int count;
    ShapeList* next;  // the next older entry of the same kind
};

// Entries are never removed: their lists stay valid as long as the context.
static ShapeList* shape_lists[shape_kind_count];

static double dodecahedron_vertices[20][3];  // rewritten by every build

static const int dodecahedron_faces[12][5] = {
    {0, 1, 9, 16, 5},    {1, 0, 3, 18, 7},   {1, 7, 11, 10, 9},  {11, 7, 18, 19, 6},
    {8, 17, 16, 9, 10},  {2, 14, 15, 6, 19}, {2, 13, 12, 4, 14}, {2, 19, 18, 3, 13},
    {3, 0, 5, 12, 13},   {6, 15, 8, 10, 11}, {4, 17, 8, 15, 14}, {4, 12, 5, 16, 17},
};


struct TransformLevel {
    double forward[4][4];
    double normal[3][3];
};
static TransformLevel transform_stack[transform_levels] = {
    {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}},
};
static int transform_depth;

void wire_dodecahedron(double radius)
{
    GLuint list = find_shape_list(shape_kind_dodecahedron, &radius, 1);
    if (list) {
        glCallList(list);
        return;
    }
    static const double centre[3] = {0, 0, 0};
    double* values = static_cast<double*>(std::malloc(sizeof(double)));
    if (values) {
        values[0] = radius;
        list = new_shape_list(shape_kind_dodecahedron, values, 1);
    }
    // Without a list the shape is still drawn; the next call tries again.
    if (list)
        glNewList(list, GL_COMPILE_AND_EXECUTE);
    build_dodecahedron(centre, radius * dodecahedron_size_factor, GL_LINE_LOOP);
    if (list)
        glEndList();
}

GLuint find_shape_list(int kind, const double* values, int count)
{
    if (kind < 0 || kind >= shape_kind_count)
        return 0;
    for (ShapeList* s = shape_lists[kind]; s; s = s->next) {
        if (s->count < count)
            continue;
        int i = 0;
        while (i < count && s->values[i] == values[i])
            ++i;
        if (i == count)
            return s->list;
    }
    return 0;
}

GLuint new_shape_list(int kind, double* values, int count)
{
    ShapeList* s = nullptr;
    if (kind >= 0 && kind < shape_kind_count)
        s = static_cast<ShapeList*>(std::malloc(sizeof(ShapeList)));
    GLuint list = s ? glGenLists(1) : 0;
    if (!list) {
        std::free(s);
        std::free(values);
        return 0;
    }
    *s = ShapeList{list, values, count, shape_lists[kind]};
    shape_lists[kind] = s;
    return list;
}

void build_dodecahedron(const double centre[3], double size, GLenum primitive)
{
    fill_dodecahedron_vertices();
    m_pushmatrix();
    m_translate(centre[0], centre[1], centre[2]);
    m_scalexyz(size, size, size);
    for (const int* f : dodecahedron_faces)
        draw_face(f[0], f[1], f[2], f[3], f[4], primitive);
    m_popmatrix();
}

void fill_dodecahedron_vertices()
{
    const double a = std::sqrt(2.0 / (3.0 + std::sqrt(5.0)));
    const double b = 1.0 + std::sqrt(6.0 / (3.0 + std::sqrt(5.0)) - 2.0 + 2.0 * a);
    const double table[20][3] = {
        {-a, 0, b}, {a, 0, b},   {-1, -1, -1}, {-1, -1, 1}, {-1, 1, -1}, {-1, 1, 1}, {1, -1, -1},
        {1, -1, 1}, {1, 1, -1},  {1, 1, 1},    {b, a, 0},   {b, -a, 0},  {-b, a, 0}, {-b, -a, 0},
        {-a, 0, -b}, {a, 0, -b}, {0, b, a},    {0, b, -a},  {0, -b, a},  {0, -b, -a},
    };
    std::memcpy(dodecahedron_vertices, table, sizeof table);
}

void draw_face(int a, int b, int c, int d, int e, GLenum primitive)
{
    const double(*v)[3] = dodecahedron_vertices;
    double e1[3], e2[3], n[3], p[5][3], normal[3];
    vec_sub(v[a], v[b], e1);
    vec_sub(v[b], v[c], e2);
    vec_cross(e1, e2, n);
    normalize(n);
    m_mappointnormal(v[a], p[0], n, normal);
    m_mappoint(v[b], p[1]);
    m_mappoint(v[c], p[2]);
    m_mappoint(v[d], p[3]);
    m_mappoint(v[e], p[4]);
    glBegin(primitive);
    glNormal3dv(normal);
    for (const double* q : p)
        glVertex3dv(q);
    glEnd();
}

void m_pushmatrix()
{
    if (transform_depth >= transform_levels - 1)
        report_error("m_pushmatrix: stack overflow\n");
    transform_stack[transform_depth + 1] = transform_stack[transform_depth];
    ++transform_depth;
}

void m_popmatrix()
{
    if (transform_depth <= 0)
        report_error("m_popmatrix: stack underflow\n");
    --transform_depth;
}

void m_translate(double x, double y, double z)
{
    double(*m)[4] = transform_stack[transform_depth].forward;
    for (int j = 0; j < 4; ++j)
        m[3][j] = x * m[0][j] + y * m[1][j] + z * m[2][j] + m[3][j];
}

void m_scalexyz(double sx, double sy, double sz)
{
    TransformLevel& t = transform_stack[transform_depth];
    for (int j = 0; j < 3; ++j) {
        t.forward[0][j] *= sx;
        t.forward[1][j] *= sy;
        t.forward[2][j] *= sz;
        t.normal[0][j] /= sx;
        t.normal[1][j] /= sy;
        t.normal[2][j] /= sz;
    }
}

void m_mappoint(const double in[3], double out[3])
{
    const double(*m)[4] = transform_stack[transform_depth].forward;
    double q[3];
    for (int j = 0; j < 3; ++j)
        q[j] = in[0] * m[0][j] + in[1] * m[1][j] + in[2] * m[2][j] + m[3][j];
    std::memcpy(out, q, sizeof q);
}

void m_mappointnormal(const double in[3], double out[3], const double normal_in[3], double normal_out[3])
{
    const double(*r)[3] = transform_stack[transform_depth].normal;
    double m[3];
    for (int j = 0; j < 3; ++j)
        m[j] = normal_in[0] * r[0][j] + normal_in[1] * r[1][j] + normal_in[2] * r[2][j];
    m_mappoint(in, out);
    std::memcpy(normal_out, m, sizeof m);
    normalize(normal_out);
}

void vec_sub(const double a[3], const double b[3], double out[3])
{
    for (int i = 0; i < 3; ++i)
        out[i] = a[i] - b[i];
}

void vec_cross(const double a[3], const double b[3], double out[3])
{
    double c[3] = {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
    std::memcpy(out, c, sizeof c);
}

void normalize(double v[3])
{
    double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (!(length > 0.0))  // not-a-number counts as zero
        report_error("normalize: zero length vector");
    double inverse = 1.0 / length;
    for (int i = 0; i < 3; ++i)
        v[i] *= inverse;
}

void report_error(const char* message)
{
    show_error_box(message);
    std::exit(1);
}
