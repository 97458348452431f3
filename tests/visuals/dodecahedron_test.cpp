// Tests for visuals/dodecahedron: the first call's edges (GL feedback)
// against the solid's own measures, replays and the cache by their pixels,
// face 1's normal through the stack, and the three fatal errors in child
// processes.
#include "visuals/dodecahedron.h"

#include "image/bmp_reader.h"
#include "offscreen.h"
#include "platform/message_box.h"

#include <array>
#include <cmath>
#include <map>

static Pixels draw_in_box(double radius)
{
    glClear(GL_COLOR_BUFFER_BIT);
    glColor3f(1, 1, 1);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-30, 30, -30, 30, -150, 150);
    wire_dodecahedron(radius);
    return read_back();
}

TEST(Dodecahedron, FirstCallDrawsARegularSolidOfTheRadius)
{
    // Feedback of the first call only: Mesa 22's llvmpipe mishandles replayed
    // line-loop lists in feedback mode.
    ASSERT_TRUE(use_offscreen_gl());
    std::vector<GLfloat> w(8192);
    glFeedbackBuffer(GLsizei(w.size()), GL_3D, w.data());
    glRenderMode(GL_FEEDBACK);
    draw_in_box(25.0);
    ASSERT_EQ(glRenderMode(GL_RENDER), 12 * 5 * 7) << "twelve loops of five edges";
    std::vector<std::array<double, 3>> e;   // the edges' ends, in the box's units
    for (size_t v = 1; v < 420; v += v % 7 == 1 ? 3 : 4)   // a token, then two ends of x, y, z
        e.push_back({(w[v] / 320.0 - 1) * 30, (w[v + 1] / 240.0 - 1) * 30, (1 - 2.0 * w[v + 2]) * 150});
    // Corners sqrt(3) / 1.73 of the radius out, edges 2A of the size long.
    const double size = 25.0 / 1.73, a = std::sqrt(2 / (3 + std::sqrt(5.0)));
    std::map<std::array<long, 3>, int> corners;
    for (size_t i = 0; i < e.size(); ++i) {
        EXPECT_NEAR(std::hypot(e[i][0] - e[i ^ 1][0], e[i][1] - e[i ^ 1][1], e[i][2] - e[i ^ 1][2]), 2 * a * size, 2e-3);
        EXPECT_NEAR(std::hypot(e[i][0], e[i][1], e[i][2]), std::sqrt(3.0) * size, 2e-3);
        ++corners[{std::lround(e[i][0] * 10), std::lround(e[i][1] * 10), std::lround(e[i][2] * 10)}];
    }
    EXPECT_EQ(corners.size(), 20u);
    for (auto& [at, uses] : corners)
        EXPECT_EQ(uses, 6) << "three faces at each corner";
    for (int i = 0; i < 3; ++i) {   // face 1 starts at vertex 0; its second edge ends at vertex 9
        EXPECT_NEAR(e[0][i], (std::array<double, 3>{-8.931127, 0, 23.381994})[i], 2e-3);
        EXPECT_NEAR(e[3][i], 14.450867052023122, 2e-3);
    }
}

TEST(Dodecahedron, ListsReplayTheFirstCallAndKeyByExactRadius)
{
    ASSERT_TRUE(use_offscreen_gl());
    const double r = 11.0, above = std::nextafter(r, 12.0), other = 12.0;
    ASSERT_EQ(find_shape_list(shape_kind_dodecahedron, &r, 1), 0u);
    Pixels first = draw_in_box(r);
    GLuint list = find_shape_list(shape_kind_dodecahedron, &r, 1);
    EXPECT_GT(std::count(first.begin(), first.end(), 255), 1000);
    EXPECT_TRUE(draw_in_box(r) == first && draw_in_box(r) == first);
    EXPECT_TRUE(list && glIsList(list) && !glIsList(list + 1)) << "a replay made another list";
    draw_in_box(above);
    GLuint next = find_shape_list(shape_kind_dodecahedron, &above, 1);
    EXPECT_TRUE(next && next != list && draw_in_box(r) == first);
    EXPECT_EQ(find_shape_list(shape_kind_dodecahedron, &r, 1), list);
    EXPECT_EQ(find_shape_list(shape_kind_dodecahedron, &other, 1), 0u);
    EXPECT_EQ(find_shape_list(7, &r, 1), 0u);
}

TEST(Dodecahedron, FaceOneNormalSurvivesTheScale)
{
    // From vertices 0, 1 and 9 through a moved level scaled by the size: the
    // scale divides the normal matrix and the mapped normal is made unit again.
    const double a = std::sqrt(2 / (3 + std::sqrt(5.0))), b = 1 + std::sqrt(6 / (3 + std::sqrt(5.0)) - 2 + 2 * a);
    const double v0[3] = {-a, 0, b}, v1[3] = {a, 0, b}, v9[3] = {1, 1, 1};
    // A stretch along y (s = 2) must halve the normal's y part.
    for (double s : {1.0, 2.0}) {
        double e1[3], e2[3], n[3], p[3], m[3], k = std::hypot(0.5257311 / s, 0.8506508);
        vec_sub(v0, v1, e1), vec_sub(v1, v9, e2), vec_cross(e1, e2, n), normalize(n);
        m_pushmatrix(), m_translate(1, 2, 3), m_scalexyz(14.45, 14.45 * s, 14.45), m_mappointnormal(v0, p, n, m);
        m_popmatrix();
        EXPECT_TRUE(std::abs(m[0]) < 1e-7 && std::abs(m[1] - 0.5257311 / s / k) < 1e-7 && std::abs(m[2] - 0.8506508 / k) < 1e-7);
        EXPECT_TRUE(p[0] == v0[0] * 14.45 + 1 && p[1] == 2 && p[2] == v0[2] * 14.45 + 3);
    }
}

TEST(DodecahedronDeathTest, StackAndZeroLengthErrorsEndWithStatusOne)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    static PlatformMessageBoxHook to_stderr = [](void*, const char* text, const char* caption, uint32_t type) {
        std::string s = text;
        std::replace(s.begin(), s.end(), '\n', '|');
        std::fprintf(stderr, "[%s: %s %u]", caption, s.c_str(), type);
        return IDOK;
    };
    struct Case { void (*run)(); const char* shown; };
    for (Case c : {Case{[] { for (int i = 0; i < 10; ++i) std::fprintf(stderr, "%d", (m_pushmatrix(), i)); },
                        "^012345678\\[Error: m_pushmatrix: stack overflow\\| 0\\]$"},
                   Case{[] { m_pushmatrix(), m_popmatrix(), m_popmatrix(); }, "^\\[Error: m_popmatrix: stack underflow\\| 0\\]$"},
                   Case{[] { double v[3] = {0, 0, 0}; normalize(v); }, "^\\[Error: normalize: zero length vector 0\\]$"},
                   Case{[] { double v[3] = {NAN, 1, 0}; normalize(v); }, "^\\[Error: normalize: zero length vector 0\\]$"}}) {
        EXPECT_EXIT((platform_set_message_box_hook(to_stderr), c.run()), testing::ExitedWithCode(1), c.shown);
        EXPECT_EXIT((platform_set_message_box_hook(to_stderr), error_popups = 0, c.run()), testing::ExitedWithCode(1), "^[0-9]*$");
    }
}
