// Benchmarks for image/bmp_reader: 4096 x 4096 pictures at 8 bits (with a
// colour table) and 24 bits, read by our reader and by stb_image from the
// same files, and memcpy of the output's size for scale. Bytes counted are
// output bytes (width * height * 3).
//
// Each reader runs twice. "fresh": every 48 MiB output block (and our
// reader's copy of the file) comes new from the system, as at start-up, and
// its page faults cost more than the conversion. "warm": the allocator
// keeps the freed blocks, taken once before the timing, so the figure is
// the reading from the page cache and the decoding; the memcpy figures pair
// up the same way.
#include "image/bmp_reader.h"
#include "content/bmpwriter/bmpwriter.h"
#include "platform/output_file.h"

#include <benchmark/benchmark.h>
#include <stb/stb_image.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <malloc.h>
#include <string>
#include <vector>

constexpr int side = 4096;
constexpr size_t output_bytes = size_t(side) * side * 3;

struct BenchFiles {
    std::string paletted, true_colour;
};

static void remove_files();

// Written once per run into the temporary directory, removed at exit.
static const BenchFiles& bench_files()
{
    static BenchFiles files;
    if (!files.paletted.empty())
        return files;
    std::string dir = std::filesystem::temp_directory_path().string();
    std::string tag = std::to_string(getpid());
    files.paletted = dir + "/bmp_reader_bench_8_" + tag + ".bmp";
    files.true_colour = dir + "/bmp_reader_bench_24_" + tag + ".bmp";

    std::vector<uint8_t> palette(256 * 3);
    for (size_t i = 0; i < palette.size(); i++)
        palette[i] = uint8_t(i * 73 + 5);
    // Smooth gradients with noise: neither constant nor incompressible.
    std::vector<uint8_t> indices(size_t(side) * side);
    std::vector<uint8_t> rgb(output_bytes);
    uint32_t seed = 12345;
    for (size_t y = 0; y < size_t(side); y++) {
        for (size_t x = 0; x < size_t(side); x++) {
            seed = seed * 1664525u + 1013904223u;
            size_t at = y * side + x;
            indices[at] = uint8_t((x + y) / 32 + (seed >> 29));
            rgb[at * 3] = uint8_t(x / 16);
            rgb[at * 3 + 1] = uint8_t(y / 16);
            rgb[at * 3 + 2] = uint8_t(seed >> 24);
        }
    }
    BmpLayout eight;
    eight.bits_per_pixel = 8;
    BmpLayout twenty_four;
    const std::vector<uint8_t> paletted = bmp_encode(eight, side, side, indices.data(), palette.data(), 256);
    const std::vector<uint8_t> true_colour = bmp_encode(twenty_four, side, side, rgb.data(), nullptr, 0);
    if (!output_write_whole(files.paletted.c_str(), paletted.data(), paletted.size()) ||
        !output_write_whole(files.true_colour.c_str(), true_colour.data(), true_colour.size())) {
        std::fprintf(stderr, "bmp_reader_bench: cannot write the pictures\n");
        std::exit(1);
    }
    std::atexit(remove_files);
    return files;
}

static void remove_files()
{
    const BenchFiles& files = bench_files();
    std::remove(files.paletted.c_str());
    std::remove(files.true_colour.c_str());
}

static void free_record(ImageRecord* r)
{
    if (r)
        std::free(r->pixels);
    std::free(r);
}

// While alive, freed blocks of any size stay in the allocator for reuse.
struct WarmAllocator {
    explicit WarmAllocator(bool on) : on(on)
    {
        if (on) {
            mallopt(M_MMAP_THRESHOLD, 512 << 20);
            mallopt(M_TRIM_THRESHOLD, 1 << 30);
        }
    }
    ~WarmAllocator()
    {
        if (on) {
            mallopt(M_MMAP_THRESHOLD, 128 << 10);
            mallopt(M_TRIM_THRESHOLD, 128 << 10);
            malloc_trim(0);
        }
    }
    bool on;
};

static void run_reader(benchmark::State& state, const std::string& path, bool warm)
{
    WarmAllocator allocator(warm);
    if (warm)  // the allocator takes the blocks from the system once, untimed
        free_record(load_bmp_image(path.c_str()));
    for (auto _ : state) {
        ImageRecord* r = load_bmp_image(path.c_str());
        if (!r) {
            state.SkipWithError("read failed");
            break;
        }
        benchmark::DoNotOptimize(r->pixels[0]);
        std::free(r->pixels);
        std::free(r);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(output_bytes));
}

static void run_stb(benchmark::State& state, const std::string& path, bool warm)
{
    WarmAllocator allocator(warm);
    if (warm) {
        int w = 0, h = 0, n = 0;
        stbi_image_free(stbi_load(path.c_str(), &w, &h, &n, 3));
    }
    for (auto _ : state) {
        int w = 0, h = 0, n = 0;
        stbi_uc* p = stbi_load(path.c_str(), &w, &h, &n, 3);
        if (!p || w != side || h != side) {
            state.SkipWithError("stb_image failed");
            break;
        }
        benchmark::DoNotOptimize(p[0]);
        stbi_image_free(p);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(output_bytes));
}

static void BM_reader_8bit(benchmark::State& state, bool warm) { run_reader(state, bench_files().paletted, warm); }
static void BM_stb_image_8bit(benchmark::State& state, bool warm) { run_stb(state, bench_files().paletted, warm); }
static void BM_reader_24bit(benchmark::State& state, bool warm) { run_reader(state, bench_files().true_colour, warm); }
static void BM_stb_image_24bit(benchmark::State& state, bool warm) { run_stb(state, bench_files().true_colour, warm); }

// Between two buffers already touched: the memory's bandwidth.
static void BM_memcpy(benchmark::State& state)
{
    std::vector<uint8_t> from(output_bytes, 1), to(output_bytes, 2);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), output_bytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(output_bytes));
}

// Into a block new from the system each time: the same page faults as a
// fresh reader output.
static void BM_memcpy_fresh_block(benchmark::State& state)
{
    std::vector<uint8_t> from(output_bytes, 1);
    for (auto _ : state) {
        uint8_t* to = static_cast<uint8_t*>(std::malloc(output_bytes));
        std::memcpy(to, from.data(), output_bytes);
        benchmark::DoNotOptimize(to[output_bytes - 1]);
        std::free(to);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(output_bytes));
}

BENCHMARK_CAPTURE(BM_reader_8bit, fresh, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_stb_image_8bit, fresh, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_reader_24bit, fresh, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_stb_image_24bit, fresh, false)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_memcpy_fresh_block)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_reader_8bit, warm, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_stb_image_8bit, warm, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_reader_24bit, warm, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_stb_image_24bit, warm, true)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_memcpy)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
