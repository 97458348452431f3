// Fuzz target for image/bmp_reader: arbitrary bytes go to a temporary file,
// which the reader maps and decodes. Run by libFuzzer on one thread.
#include "image/bmp_reader.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/types.h>
#include <unistd.h>

// A tiny run-length file may claim a picture of up to 4 GiB, and poisoning
// the shadow of a large block costs milliseconds per input, which would
// slow the run tenfold. Past 32 MiB (above what libFuzzer takes for itself)
// the allocation fails instead, which exercises the reader's out-of-memory
// path; nothing else in the reader depends on the size.
extern "C" const char* __asan_default_options()
{
    return "allocator_may_return_null=1:max_allocation_size_mb=32";
}

static std::string fuzz_path;  // this process's own file, removed at exit
static int fuzz_fd = -1;       // kept open: rewritten in place for each input

static void remove_fuzz_file()
{
    if (!fuzz_path.empty())
        unlink(fuzz_path.c_str());
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    error_popups = 0;  // a box would block the run
    std::string pattern = (std::filesystem::temp_directory_path() / "bmp_fuzz_XXXXXX").string();
    int fd = mkstemp(pattern.data());
    if (fd < 0) {
        std::perror("bmp_fuzz: mkstemp");
        std::exit(1);
    }
    fuzz_fd = fd;
    fuzz_path = pattern;
    std::atexit(remove_fuzz_file);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Rewriting in place and then cutting to length avoids the flush to
    // disk that some file systems make when a file is truncated to empty.
    if (size && pwrite(fuzz_fd, data, size, 0) != ssize_t(size))
        std::abort();
    if (ftruncate(fuzz_fd, off_t(size)) != 0)
        std::abort();
    ImageRecord* r = load_bmp_image(fuzz_path.c_str());
    if (r) {
        // Read both ends so that a buffer shorter than the record claims
        // shows up here (the whole of it could be gigabytes).
        size_t rows = size_t(r->height < 0 ? -int64_t(r->height) : r->height);
        size_t bytes = size_t(r->width) * rows * 3;
        volatile uint8_t ends = uint8_t(r->pixels[0] + r->pixels[bytes - 1]);
        (void)ends;
        std::free(r->pixels);
        std::free(r);
    }
    return 0;
}
