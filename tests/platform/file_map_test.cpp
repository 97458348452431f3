// tests/platform/file_map_test.cpp: the mapping holds the file's bytes, and
// neither a map nor a refusal leaves a descriptor or a mapping behind. What
// is refused, and with which message, the reader's open-failure test says.
#include "platform/file_map.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

static size_t count_entries(const char* dir)
{
    auto it = std::filesystem::directory_iterator(dir);
    return size_t(std::distance(it, std::filesystem::directory_iterator()));
}

static size_t count_lines(const char* path)
{
    std::ifstream in(path);
    std::string line;
    size_t n = 0;
    while (std::getline(in, line))
        ++n;
    return n;
}

TEST(FileMap, MapsTheWholeFileAndKeepsNothingOpen)
{
    std::string path = testing::TempDir() + std::to_string(getpid()) + "_map.bin";
    std::string empty = testing::TempDir() + std::to_string(getpid()) + "_map_empty.bin";
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_TRUE(f);
    for (int i = 0; i < 10000; ++i)
        std::fputc(i * 7 & 0xFF, f);
    std::fclose(f);
    std::fclose(std::fopen(empty.c_str(), "wb"));

    const size_t descriptors = count_entries("/proc/self/fd");
    const size_t mappings = count_lines("/proc/self/maps");
    for (int round = 0; round < 500; ++round) {
        PlatformFileMap map;
        ASSERT_EQ(platform_map_file(path.c_str(), &map), 1);
        ASSERT_EQ(map.size, 10000u);
        for (int i = 0; round == 0 && i < 10000; ++i)
            ASSERT_EQ(map.data[i], i * 7 & 0xFF) << i;
        platform_unmap_file(&map);
        EXPECT_EQ(map.data, nullptr);
        platform_unmap_file(&map);  // twice is harmless
        // Opened, then refused: the descriptor must go all the same.
        for (const char* refused : {empty.c_str(), "."})
            ASSERT_EQ(platform_map_file(refused, &map), 0) << refused;
    }
    EXPECT_EQ(count_entries("/proc/self/fd"), descriptors);
    // The allocator may add a mapping or two of its own; a kept map adds 500.
    EXPECT_LT(count_lines("/proc/self/maps"), mappings + 20);
    std::remove(path.c_str());
    std::remove(empty.c_str());
}
