// platform/file_read_posix.cpp: files read with open and read. Any thread.
#include "platform/file_read_system.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

constexpr uintptr_t huge_page_bytes = 2u << 20;

intptr_t file_read_system_open(const char* path)
{
    // Without O_NONBLOCK, opening a pipe waits for a writer that may never
    // come, and a device for its line. Neither is a data file.
    return open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
}

int64_t file_read_system_size(intptr_t file)
{
    struct stat st;
    if (fstat(int(file), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    // Most file systems ignore O_NONBLOCK on a regular file; one that does
    // not must still make a read wait for its bytes.
    if (fcntl(int(file), F_SETFL, fcntl(int(file), F_GETFL) & ~O_NONBLOCK) != 0)
        return -1;
    return st.st_size;
}

uint8_t* file_read_system_buffer(size_t size)
{
    uint8_t* data = static_cast<uint8_t*>(std::malloc(size));
    // A large buffer is fresh from the system, and faulting it in 4 KiB
    // pages costs more than the read: 2 MiB pages where the system has them.
    if (data && size >= huge_page_bytes * 2) {
        const uintptr_t from = (uintptr_t(data) + huge_page_bytes - 1) & ~(huge_page_bytes - 1);
        const uintptr_t to = (uintptr_t(data) + size) & ~(huge_page_bytes - 1);
        if (to > from)
            madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
    }
    return data;
}

int64_t file_read_system_read(intptr_t file, uint8_t* into, size_t size)
{
    for (;;) {
        const ssize_t n = read(int(file), into, size);
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

void file_read_system_close(intptr_t file)
{
    close(int(file));
}
