// platform/file_read.cpp: whole files read into memory, the same loop on
// every system. Any thread.
#include "platform/file_read.h"

#include "platform/file_read_system.h"

#include <cstdlib>

int platform_read_file(const char* path, size_t max_bytes, PlatformFileBytes* out)
{
    out->data = nullptr;
    out->size = 0;
    if (!path)
        return 0;
    const intptr_t file = file_read_system_open(path);
    if (file == -1)
        return 0;
    const int64_t size = file_read_system_size(file);
    uint8_t* data = nullptr;
    size_t got = 0;
    bool failed = true;
    if (size <= 0 || uint64_t(size) > max_bytes)
        goto done;
    data = file_read_system_buffer(size_t(size));
    if (!data)
        goto done;
    // Up to the size seen: a file that grows meanwhile is read to that
    // point, one that shrinks up to its new end and no further.
    for (;;) {
        if (got == size_t(size)) {
            failed = false;
            break;
        }
        const int64_t n = file_read_system_read(file, data + got, size_t(size) - got);
        if (n <= 0) {
            failed = n < 0 || got == 0;
            break;
        }
        got += size_t(n);
    }
done:
    file_read_system_close(file);
    if (failed) {
        std::free(data);
        return 0;
    }
    out->data = data;
    out->size = got;
    return 1;
}

void platform_free_file(PlatformFileBytes* bytes)
{
    std::free(bytes->data);
    bytes->data = nullptr;
    bytes->size = 0;
}
