// platform/file_read_system.h: the calls in which Linux and Windows read a
// file differently (file_read_posix.cpp, file_read_windows.cpp); the read
// loop is file_read.cpp's. Any thread.
#pragma once
#include <cstddef>
#include <cstdint>

// Opened for reading, without waiting for a pipe's writer or a device's
// line: the open file, or -1.
intptr_t file_read_system_open(const char* path);
// Its size when it is a regular file, ready to be read; -1 for anything
// else.
int64_t file_read_system_size(intptr_t file);
// A fresh heap buffer of size bytes, freed with std::free; null on failure.
uint8_t* file_read_system_buffer(size_t size);
// At most size bytes at the file offset: how many, 0 at its end, -1 on a
// failure.
int64_t file_read_system_read(intptr_t file, uint8_t* into, size_t size);
void file_read_system_close(intptr_t file);
