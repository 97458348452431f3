#include "platform/file_map.h"

#include <gtest/gtest.h>
#include <cstdio>
#include <string>
#include <unistd.h>

static std::string temp_path(const char* name)
{
    return testing::TempDir() + std::to_string(getpid()) + "_" + name;
}

TEST(FileMap, MapsWholeFileReadOnly)
{
    std::string path = temp_path("map_whole.bin");
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_TRUE(f);
    for (int i = 0; i < 10000; ++i)
        std::fputc(i & 0xFF, f);
    std::fclose(f);

    PlatformFileMap map;
    ASSERT_EQ(platform_map_file(path.c_str(), &map), 1);
    ASSERT_EQ(map.size, 10000u);
    for (int i = 0; i < 10000; ++i)
        ASSERT_EQ(map.data[i], i & 0xFF) << i;
    platform_unmap_file(&map);
    EXPECT_EQ(map.data, nullptr);
    EXPECT_EQ(map.size, 0u);
    platform_unmap_file(&map);  // twice is harmless
    unlink(path.c_str());
}

TEST(FileMap, RefusesWhatCannotBeMapped)
{
    std::string empty = temp_path("map_empty.bin");
    std::fclose(std::fopen(empty.c_str(), "wb"));
    const char* cases[] = {empty.c_str(), "no/such/file.bin", ".", nullptr};
    for (const char* path : cases) {
        PlatformFileMap map{reinterpret_cast<const uint8_t*>(1), 1};
        EXPECT_EQ(platform_map_file(path, &map), 0) << (path ? path : "(null)");
        EXPECT_EQ(map.data, nullptr);
        EXPECT_EQ(map.size, 0u);
    }
    unlink(empty.c_str());
}
