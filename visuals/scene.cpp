// visuals/scene.cpp: the frame. Everything is drawn on the projection
// matrix, reloaded at every stage, so nothing carries from frame to frame.
// UI thread, GL context current.
#include "visuals/scene.h"

#include "platform/gl_surface.h"
#include "visuals/dodecahedron.h"

#include <cmath>

std::atomic<float> scene_time{0.0f};

void scene_read_frame(int width, int height, uint8_t* rgb)
{
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
}

// The exact product of the count and the single-precision 0.001, rounded
// once. 0.001f is 8589935 x 2^-33; times a 32-bit count that fits in 56
// bits, so the conversion is the only rounding. (Rounding through double
// first is off by one step at three counts past 16 days.)
static float clock_seconds(uint32_t ms)
{
    static_assert(8589935.0f * 0x1p-33f == 0.001f);
    return std::ldexp(float(uint64_t(ms) * 8589935u), -33);
}

void draw_quad(float low, float high, float depth)
{
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex3f(low, low, depth);
    glTexCoord2f(0, 1);
    glVertex3f(low, high, depth);
    glTexCoord2f(1, 1);
    glVertex3f(high, high, depth);
    glTexCoord2f(1, 0);
    glVertex3f(high, low, depth);
    glEnd();
}

// Each stage reads scene_time afresh, so a reset by on_track_end that lands
// mid-frame shows in the rest of that frame (the next frame overwrites it).
static double frame_seconds()
{
    return scene_time.load(std::memory_order_relaxed);
}

void draw_scene(const SceneInputs& inputs)
{
    // Whatever word comes back is split this way; nothing checks it.
    const uint32_t level_left = inputs.level & 0xffff;
    const uint32_t level_right = inputs.level >> 16;
    scene_time.store(clock_seconds(inputs.clock_ms), std::memory_order_relaxed);
    if (inputs.view_width > 0)
        glViewport(inputs.view_x, inputs.view_y, inputs.view_width, inputs.view_height);
    // The whole drawable, whatever the viewport: the bars beside it stay black.
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    // Background and overlay, added on the identity projection (clip space).
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    glEnable(GL_TEXTURE_2D);
    double t = frame_seconds();
    float pulse = float((std::sin(0.5 * t) + 1.0) * 0.5);
    glColor4f(1, 1, 1, pulse);
    glBindTexture(GL_TEXTURE_2D, uint32_t(inputs.background) < 4 ? textures[inputs.background] : 0);
    draw_quad(-1 - pulse, 1 + pulse, pulse);
    glBindTexture(GL_TEXTURE_2D, textures[3]);
    draw_quad(-1, 1, pulse);

    // Tunnel: each square turned one more step about z and y than the last.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glFrustum(-0.6f, 0.6f, -0.6f, 0.6f, 1, 300);
    glBindTexture(GL_TEXTURE_2D, textures[2]);
    glColor4ub(GLubyte(inputs.tint[0]), GLubyte(inputs.tint[1]), GLubyte(inputs.tint[2]), 192);
    t = frame_seconds();
    double slow = float(0.05f * float(t));   // rounded once, used twice
    double right = double(0.005f) * level_right;
    double left = double(0.005f) * level_left;
    float z_step = float(double(0.2f) * std::sin(right + double(0.029411765f) * t) +
                         50.0 * std::sin(right + slow));
    float y_step = float(double(6.4f) * std::sin(left + slow));
    for (int i = 0; i < 128; ++i) {
        glRotatef(z_step, 0, 0, 1);
        glRotatef(y_step, 0, 1, 0);
        draw_quad(-1, 1, float(-0.8 - i));
    }

    // The dodecahedron, drawn over everything, red following the left level.
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-30, 30, -30, 30, -150, 150);
    uint32_t k = level_left / 500;
    glColor4f(float((std::cos(double(k)) + 1.0) * 0.5), 1, 1, 1);
    t = frame_seconds();
    glRotatef(float(25 * std::cos(double(0.05f) * t) + 180 * std::sin(double(0.1f) * t)), 1, 0, 0);
    glRotatef(float(100 * std::cos(double(0.1f) * t) + 20.5 * std::sin(double(0.083333336f) * t)), 0, 1, 0);
    glRotatef(float(25 * std::cos(double(0.016666668f) * t) + 130 * std::sin(double(0.125f) * t)), 0, 0, 1);
    glHint(GL_LINE_SMOOTH_HINT, GL_NICEST);
    glEnable(GL_LINE_SMOOTH);
    wire_dodecahedron(25.0);

    platform_swap_buffers(device_context);
}
