// Tests for visuals/dodecahedron: the first call's edges (GL feedback)
// against the solid's own measures, face 1's first corners, and replays and
// the cache by their pixels.
#include "visuals/dodecahedron.h"

#include "offscreen.h"

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
    // Each edge is a token, then its two ends in window coordinates: the ends
    // in the box's units.
    std::vector<std::array<double, 3>> e;
    for (size_t v = 1; v < 420; v += v % 7 == 1 ? 3 : 4)
        e.push_back({(w[v] / 320.0 - 1) * 30, (w[v + 1] / 240.0 - 1) * 30, (1 - 2.0 * w[v + 2]) * 150});
    // Corners sqrt(3) / 1.73 of the radius out, edges 2A of the size long.
    const double size = 25.0 / 1.73, a = std::sqrt(2 / (3 + std::sqrt(5.0)));
    std::map<std::array<long, 3>, int> corners;
    for (size_t i = 0; i < e.size(); ++i) {
        const auto& [x, y, z] = e[i];
        const auto& other = e[i ^ 1];  // the edge's other end
        EXPECT_NEAR(std::hypot(x - other[0], y - other[1], z - other[2]), 2 * a * size, 2e-3) << "edge, end " << i;
        EXPECT_NEAR(std::hypot(x, y, z), std::sqrt(3.0) * size, 2e-3) << "corner's distance, end " << i;
        ++corners[{std::lround(x * 10), std::lround(y * 10), std::lround(z * 10)}];
    }
    EXPECT_EQ(corners.size(), 20u);
    for (auto& [at, uses] : corners)
        EXPECT_EQ(uses, 6) << "three faces at each corner";
    // Face 1 starts at vertex 0; its second edge ends at vertex 9.
    const double vertex_0[3] = {-8.931127, 0, 23.381994};
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(e[0][i], vertex_0[i], 2e-3) << "vertex 0, axis " << i;
        EXPECT_NEAR(e[3][i], 14.450867052023122, 2e-3) << "vertex 9, axis " << i;
    }
}

TEST(Dodecahedron, ListsReplayTheFirstCallAndKeyByExactRadius)
{
    ASSERT_TRUE(use_offscreen_gl());
    const double r = 11.0, above = std::nextafter(r, 12.0);
    ASSERT_EQ(find_shape_list(shape_kind_dodecahedron, &r, 1), 0u);
    Pixels first = draw_in_box(r);
    GLuint list = find_shape_list(shape_kind_dodecahedron, &r, 1);
    EXPECT_GT(std::count(first.begin(), first.end(), 255), 1000);
    EXPECT_TRUE(draw_in_box(r) == first) << "the replay";
    ASSERT_NE(list, 0u) << "no list kept";
    EXPECT_FALSE(glIsList(list + 1)) << "a replay made another list";
    draw_in_box(above);
    GLuint next = find_shape_list(shape_kind_dodecahedron, &above, 1);
    EXPECT_NE(next, 0u) << "no list for the radius one step above";
    EXPECT_NE(next, list) << "the radius one step above took the first list";
    EXPECT_TRUE(draw_in_box(r) == first) << "the replay after another radius";
    EXPECT_EQ(find_shape_list(shape_kind_dodecahedron, &r, 1), list) << "the first radius";
    EXPECT_EQ(find_shape_list(7, &r, 1), 0u) << "another kind";
}
