// tests/platform/file_map_test.cpp: the map holds the file's bytes, and no
// map or refusal leaves a descriptor or a mapping behind. What is refused,
// and with which message, the reader's open-failure test says.
#include "platform/file_map.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

static size_t count_open(const char* what)  // descriptors or mappings
{
    if (std::string(what) == "fd")
        return size_t(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
    std::ifstream maps("/proc/self/maps");
    return size_t(std::count(std::istreambuf_iterator<char>(maps), {}, '\n'));
}

TEST(FileMap, MapsTheWholeFileAndKeepsNothingOpen)
{
    std::string path = testing::TempDir() + std::to_string(getpid()) + "_map.bin", empty = path + ".empty";
    std::string bytes(10000, 0);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 7);
    std::ofstream(path, std::ios::binary) << bytes;
    std::ofstream(empty, std::ios::binary).flush();
    const size_t descriptors = count_open("fd"), mappings = count_open("maps");
    for (int round = 0; round < 500; ++round) {
        PlatformFileMap map;
        ASSERT_EQ(platform_map_file(path.c_str(), &map), 1) << "round " << round;
        ASSERT_EQ(std::string(reinterpret_cast<const char*>(map.data), map.size), bytes) << "round " << round;
        platform_unmap_file(&map);
        EXPECT_EQ(map.data, nullptr) << "round " << round;
        platform_unmap_file(&map);  // twice is harmless
        // Opened, then refused: the descriptor must go all the same.
        ASSERT_EQ(platform_map_file(empty.c_str(), &map), 0) << "round " << round << ": an empty file";
        ASSERT_EQ(platform_map_file(".", &map), 0) << "round " << round << ": a directory";
    }
    EXPECT_EQ(count_open("fd"), descriptors) << "a descriptor left open";
    // A kept map adds 500; the allocator a few.
    EXPECT_LT(count_open("maps"), mappings + 20) << "a mapping left behind";
    std::remove(path.c_str());
    std::remove(empty.c_str());
}
