// platform/file_read.h: whole files read into memory. Any thread.
#pragma once
#include <cstddef>
#include <cstdint>

struct PlatformFileBytes {
    uint8_t* data;  // heap buffer, null when nothing read
    size_t size;    // bytes
};

// 1 with the whole of a regular file read into a fresh heap buffer; 0 when
// the file is missing, not a regular file (a pipe, a device or a folder:
// opened without blocking, then refused), empty, larger than max_bytes
// (refused before reading), or unreadable. A file that shrinks while it is
// read gives the bytes read up to its new end; one that grows, its first
// size. The bytes are our own copy: a file rewritten meanwhile cannot
// reach them afterwards.
int platform_read_file(const char* path, size_t max_bytes, PlatformFileBytes* out);
// Frees the buffer and clears the record. Safe on an empty record.
void platform_free_file(PlatformFileBytes* bytes);
