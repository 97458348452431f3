// platform/file_map.cpp: read-only file mapping over POSIX mmap. Any thread.
#include "platform/file_map.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

int platform_map_file(const char* path, PlatformFileMap* map)
{
    map->data = nullptr;
    map->size = 0;
    if (!path)
        return 0;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    int ok = 0;
    struct stat st;
    // An empty file cannot be mapped, and neither can anything but a
    // regular file; both count as an open failure.
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
        void* p = mmap(nullptr, size_t(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
        if (p != MAP_FAILED) {
            map->data = static_cast<const uint8_t*>(p);
            map->size = size_t(st.st_size);
            ok = 1;
        }
    }
    // The mapping keeps the file's pages; the descriptor is not needed.
    close(fd);
    return ok;
}

void platform_unmap_file(PlatformFileMap* map)
{
    if (map->data)
        munmap(const_cast<uint8_t*>(map->data), map->size);
    map->data = nullptr;
    map->size = 0;
}
