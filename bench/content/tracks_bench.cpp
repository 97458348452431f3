// bench/content/tracks_bench.cpp: time to compose and encode the disk's
// modules, all twelve and each alone. Bench thread only.
#include "content/tracks/tracks.h"

#include <benchmark/benchmark.h>

static void all_twelve(benchmark::State& state)
{
    size_t bytes = 0;
    for (auto _ : state) {
        bytes = 0;
        for (int i = 0; i < track_count; i++) {
            std::vector<uint8_t> module = track_encode(i);
            bytes += module.size();
            benchmark::DoNotOptimize(module.data());
        }
    }
    state.counters["bytes"] = double(bytes);
}
BENCHMARK(all_twelve)->Unit(benchmark::kMillisecond);

static void one_track(benchmark::State& state)
{
    int index = int(state.range(0));
    for (auto _ : state) {
        std::vector<uint8_t> module = track_encode(index);
        benchmark::DoNotOptimize(module.data());
    }
    state.SetLabel(track_file_name(index));
}
BENCHMARK(one_track)->DenseRange(0, track_count - 1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
