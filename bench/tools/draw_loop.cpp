// bench/tools/draw_loop.cpp: the bare frame loop that render-video's
// speed is held against. draw_scene on the hidden surface render-video
// draws on, with its clock (frame i at round(i x 1000 / 60) ms), so both
// draw the same frames, and with render-video's allocator settings, so that
// only the capture's own work (mixing, reading the frame back, encoding) is
// missing. Prints the frames per second and the process's CPU time a frame,
// every thread counted. Run from the build tree.
//
//     draw_loop FRAMES
#include "platform/gl_surface.h"
#include "visuals/scene.h"

#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>

static double cpu_seconds()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

int main(int argc, char** argv)
{
    const long frames = argc > 1 ? std::atol(argv[1]) : 0;
    if (frames <= 0 || argc != 2) {
        std::fprintf(stderr, "usage: draw_loop FRAMES\n");
        return 2;
    }
    // As render-video: freed frame-sized blocks stay in the process rather
    // than going back to the kernel and coming back as page faults.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    if (!platform_open_offscreen_gl(640, 480))
        return 1;
    if (!init_scene()) {
        std::fprintf(stderr, "draw_loop: the pictures of datas/ could not all be read (run from the build tree)\n");
        return 1;
    }
    SceneInputs in;
    draw_scene(in);  // the first frame sets up what the rest reuse
    const double cpu = cpu_seconds();
    const auto start = std::chrono::steady_clock::now();
    for (long i = 1; i <= frames; ++i) {
        in.clock_ms = uint32_t((uint64_t(i) * 2000 + 60) / 120);
        draw_scene(in);
    }
    glFinish();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%ld frames: %.1f frames per second, %.2f ms of CPU a frame\n", frames, double(frames) / wall,
                1000 * (cpu_seconds() - cpu) / double(frames));
    platform_close_offscreen_gl();
    return 0;
}
