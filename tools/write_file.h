// tools/write_file.h: the generators' and the tests' one way to write a whole
// file, in place: into a fresh folder, or into a pipe a test feeds. Tools
// that replace files others may be reading use tools/output_file.h.
// Any thread.
#pragma once
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

// Writes bytes to path (UTF-8, as every path of ours, also on Windows),
// replacing what was there. 1, or 0 when the file cannot be opened or
// written in full.
inline int write_whole_file(const char* path, const std::vector<uint8_t>& bytes)
{
    std::ofstream f(std::filesystem::path(reinterpret_cast<const char8_t*>(path)), std::ios::binary | std::ios::trunc);
    if (!f)
        return 0;
    if (!bytes.empty())
        f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    f.close();
    return f.good();
}
