// bench/visuals/frame_bench.cpp: the frame's rate. draw_scene in a bare loop
// (target: 85 frames per second or more at 640 x 480 on Mesa's llvmpipe),
// and a loop that only clears and swaps, the ceiling of any frame, in the
// same run. A shown window, as the program's, so a swap costs what it costs
// there; the clock runs, the level is silence.
#include "platform/gl_surface.h"
#include "platform/ticks.h"
#include "visuals/scene.h"

#include <benchmark/benchmark.h>
#include <cstdio>

static void frames_per_second(benchmark::State& state)
{
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

static void BM_DrawScene(benchmark::State& state)
{
    // The moving clock of the program with nothing playing.
    SceneInputs inputs;
    for (auto _ : state) {
        inputs.clock_ms = platform_ticks();
        draw_scene(inputs);
    }
    frames_per_second(state);
}
BENCHMARK(BM_DrawScene)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

static void BM_ClearAndSwap(benchmark::State& state)
{
    for (auto _ : state) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        platform_swap_buffers(device_context);
    }
    frames_per_second(state);
}
BENCHMARK(BM_ClearAndSwap)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (!platform_open_shown_gl(640, 480))
        return 1;
    int status = 1;
    if (!init_scene()) {
        std::fprintf(stderr, "frame_bench: the pictures of datas/ could not all be read (run from the build tree)\n");
    } else {
        std::fprintf(stderr, "frame_bench: %s, %s\n", glGetString(GL_RENDERER), glGetString(GL_VERSION));
        blank_texture = make_blank_texture();
        benchmark::RunSpecifiedBenchmarks();
        status = 0;
    }
    platform_close_offscreen_gl();
    return status;
}
