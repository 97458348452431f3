// bench/player/effects_bench.cpp: each effect routine over 1024-frame blocks
// on one core, in frames per second. Targets: pan sweep 44 M, echo 150 M,
// flanger 30 M.
#include "player/effects.h"

#include <benchmark/benchmark.h>
#include <cstdint>
#include <random>
#include <vector>

constexpr uint32_t block_frames = 1024;

static void run_effect(benchmark::State& state,
                       void (*routine)(uint32_t, uint32_t, void*, uint32_t, uint32_t))
{
    // Music-like input: loud enough to reach the echo's rails now and then.
    std::mt19937 rng(1);
    std::uniform_int_distribution<int> sample(-24000, 24000);
    std::vector<int16_t> input(2 * block_frames), block(2 * block_frames);
    for (int16_t& s : input)
        s = int16_t(sample(rng));

    // The state each install leaves, without an engine.
    static EffectState start{};
    start.pan_phase = 0.7853981f;
    start.echo_pos = 2;
    start.flanger_delay = 175.0f;
    start.flanger_step = 0.002f;
    effects_set_state(&start);

    for (auto _ : state) {
        // Fresh samples each time, so blocks do not fade or pile up on the
        // rails; the 4 KiB copy is timed too, which only errs on the slow side.
        block = input;
        routine(1, 1, block.data(), block_frames * 4, 0);
        benchmark::DoNotOptimize(block.data());
        benchmark::ClobberMemory();
    }
    state.counters["frames/s"] =
        benchmark::Counter(double(state.iterations()) * block_frames, benchmark::Counter::kIsRate);
}

static void pan_sweep(benchmark::State& state) { run_effect(state, dsp_pan_sweep); }
static void echo(benchmark::State& state) { run_effect(state, dsp_echo); }
static void flanger(benchmark::State& state) { run_effect(state, dsp_flanger); }

BENCHMARK(pan_sweep);
BENCHMARK(echo);
BENCHMARK(flanger);
BENCHMARK_MAIN();
