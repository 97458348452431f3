// Fuzz target for image/bmp_reader: the reader's checks and decoding on
// arbitrary bytes. They sit in a heap block of exactly their size, so a
// read one byte past the file shows, which a page-sized mapping would hide.
#include "image/bmp_reader.h"

#include <cstdlib>

// A tiny run-length file may claim a picture of up to 48 MiB (RGB), and
// poisoning the shadow of a large block costs milliseconds per input. Past
// 32 MiB (above what libFuzzer takes for itself) the allocation fails.
extern "C" const char* __asan_default_options()
{
    return "allocator_may_return_null=1:max_allocation_size_mb=32";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    int32_t width, height;
    if (bmp_decode(data, size, nullptr, &width, &height))
        return 0;
    size_t bytes = size_t(width) * size_t(height < 0 ? -int64_t(height) : height) * 3;
    auto* pixels = static_cast<uint8_t*>(std::malloc(bytes));
    if (pixels)
        bmp_decode(data, size, pixels, &width, &height);
    std::free(pixels);
    return 0;
}
