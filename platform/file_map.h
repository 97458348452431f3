// platform/file_map.h: read-only mapping of a whole file. Any thread.
#pragma once
#include <cstddef>
#include <cstdint>

struct PlatformFileMap {
    const uint8_t* data;  // the file's bytes, read-only; null when not mapped
    size_t size;          // bytes
};

// 1 with the whole file mapped read-only, 0 when the file cannot be opened
// or mapped (missing, a directory, empty, unreadable). The file is never
// created or written; other readers may have it open at the same time.
int platform_map_file(const char* path, PlatformFileMap* map);
// Releases what platform_map_file took and clears the record. Safe on a
// record that holds nothing.
void platform_unmap_file(PlatformFileMap* map);
