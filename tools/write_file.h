// tools/write_file.h: the generators' one way to write a whole file. Any
// thread.
#pragma once
#include <cstdint>
#include <cstdio>
#include <vector>

// Writes bytes to path, replacing what was there. 1, or 0 when the file
// cannot be opened or written in full.
inline int write_whole_file(const char* path, const std::vector<uint8_t>& bytes)
{
    FILE* f = std::fopen(path, "wb");
    if (!f)
        return 0;
    size_t written = bytes.empty() ? 0 : std::fwrite(bytes.data(), 1, bytes.size(), f);
    int closed = std::fclose(f) == 0;
    return written == bytes.size() && closed;
}
