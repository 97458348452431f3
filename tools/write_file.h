// tools/write_file.h: the generators' and the tests' one way to write a whole
// file, in place: into a fresh folder, or into a pipe a test feeds. Tools
// that replace files others may be reading use tools/render/output_file.h.
// Any thread.
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
