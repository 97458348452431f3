// platform/file_read_posix.cpp: whole files read with open and read. Any thread.
#include "platform/file_read.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

constexpr uintptr_t huge_page_bytes = 2u << 20;

int platform_read_file(const char* path, size_t max_bytes, PlatformFileBytes* out)
{
    out->data = nullptr;
    out->size = 0;
    if (!path)
        return 0;
    // Without O_NONBLOCK, opening a pipe waits for a writer that may never
    // come, and a device for its line. Neither is a data file.
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    struct stat st;
    uint8_t* data = nullptr;
    size_t size = 0, got = 0;
    bool failed = true;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0 || uint64_t(st.st_size) > max_bytes)
        goto done;
    // Most file systems ignore O_NONBLOCK on a regular file; one that does
    // not must still make a read wait for its bytes.
    if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)
        goto done;
    size = size_t(st.st_size);
    data = static_cast<uint8_t*>(std::malloc(size));
    if (!data)
        goto done;
    // A large buffer is fresh from the system, and faulting it in 4 KiB
    // pages costs more than the read: 2 MiB pages where the system has them.
    if (size >= huge_page_bytes * 2) {
        const uintptr_t from = (uintptr_t(data) + huge_page_bytes - 1) & ~(huge_page_bytes - 1);
        const uintptr_t to = (uintptr_t(data) + size) & ~(huge_page_bytes - 1);
        if (to > from)
            madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
    }
    // Up to the size fstat saw: a file that grows meanwhile is read to that
    // point, one that shrinks up to its new end and no further.
    for (;;) {
        if (got == size) {
            failed = false;
            break;
        }
        const ssize_t n = read(fd, data + got, size - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            failed = n < 0 || got == 0;
            break;
        }
        got += size_t(n);
    }
done:
    close(fd);
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
