// visuals/icon.cpp: the icon. A frame squeezed to 48 pixels is a blur of menu
// text, so the icon keeps only what reads when small: the nebula, a few
// tunnel rings and the dodecahedron, each bolder than in the frame. UI
// thread, GL context current.
#include "visuals/icon.h"

#include "platform/gl_surface.h"
#include "visuals/dodecahedron.h"
#include "visuals/scene.h"

#include <algorithm>

// How many tunnel squares show, and how far each turns from the last: few
// and far apart, so that each ring stays a ring at 16 pixels.
constexpr int icon_rings = 5;
constexpr float icon_ring_turn = 17.0f;  // degrees about the view axis

void draw_icon(int size, const int tint[3])
{
    glViewport(0, 0, size, size);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    // The nebula, zoomed in to its brighter middle.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    glEnable(GL_TEXTURE_2D);
    glColor4f(1, 1, 1, 1);
    glBindTexture(GL_TEXTURE_2D, textures[0]);
    draw_quad(-1.6f, 1.6f, 0);

    // The tunnel's first rings, in the tint, brighter than a frame's.
    glLoadIdentity();
    glFrustum(-0.6f, 0.6f, -0.6f, 0.6f, 1, 300);
    glBindTexture(GL_TEXTURE_2D, textures[2]);
    glColor4ub(GLubyte(tint[0]), GLubyte(tint[1]), GLubyte(tint[2]), 255);
    for (int i = 0; i < icon_rings; ++i) {
        glRotatef(icon_ring_turn, 0, 0, 1);
        draw_quad(-1, 1, -1.1f - 0.9f * float(i));
    }

    // The dodecahedron filling the square, at a turn that shows its
    // pentagons. Only its front edges: all thirty at 16 pixels are a blot.
    // The faces go into the depth buffer alone, pushed back a little, and
    // then the lines are drawn against them.
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    glLoadIdentity();
    glOrtho(-30, 30, -30, 30, -150, 150);
    glRotatef(31.7f, 1, 0, 0);
    glRotatef(20.0f, 0, 1, 0);
    static const double centre[3] = {0, 0, 0};
    const double radius = 27.0;
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    glEnable(GL_POLYGON_OFFSET_FILL);
    glPolygonOffset(1, 1);
    build_dodecahedron(centre, radius * dodecahedron_size_factor, GL_POLYGON);
    glDisable(GL_POLYGON_OFFSET_FILL);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    // Lines a thirtieth of the size wide; below 48 pixels one pixel, sharp,
    // since smoothing spreads a line over the gaps that make it a shape.
    glColor4f(0.55f, 1, 1, 1);
    glLineWidth(std::max(1.0f, float(size) / 30.0f));
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
    if (size >= 48)
        glEnable(GL_LINE_SMOOTH);
    build_dodecahedron(centre, radius * dodecahedron_size_factor, GL_LINE_LOOP);
    glLineWidth(1);
    glDisable(GL_LINE_SMOOTH);
    glDisable(GL_DEPTH_TEST);

    platform_swap_buffers(device_context);
}
