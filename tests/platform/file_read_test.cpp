// tests/platform/file_read_test.cpp: what platform_read_file takes and
// refuses, that a pipe is refused without waiting for a writer, and that a
// file cut short while it is read gives only bytes it held.
#include "platform/file_read.h"
#include "tests/platform/test_system.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <thread>
#include <vector>

static std::string temp_path(const std::string& name)
{
    return testing::TempDir() + "file_read_test_" + std::to_string(getpid()) + "_" + name;
}

// Byte i of every file written here: any prefix is recognisable, and a
// fresh allocation's zeros are not.
static char pattern(size_t i)
{
    return char(i % 251 + 1);
}

static std::string pattern_bytes(size_t size)
{
    std::string bytes(size, 0);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = pattern(i);
    return bytes;
}

TEST(FileRead, TakesWholeRegularFilesUpToTheLimitOnly)
{
    const std::string file = temp_path("file"), empty = temp_path("empty"), fifo = temp_path("fifo");
    std::ofstream(file, std::ios::binary) << pattern_bytes(10000);
    std::ofstream(empty, std::ios::binary).flush();
    struct Case {
        std::string path;
        size_t max_bytes;
        size_t want;  // bytes read; 0: refused
    };
    std::vector<Case> cases = {{file, 10000, 10000},          {file, 9999, 0},
                               {empty, 100, 0},               {testing::TempDir(), 100, 0},
                               {temp_path("missing"), 100, 0}, {test_device_path(), 100, 0}};
    if (const char* why = test_no_fifos()) {
        std::printf("skipped a pipe: %s\n", why);
    } else {
        ASSERT_TRUE(test_make_fifo(fifo)) << fifo;
        cases.push_back({fifo, 100, 0});
    }
    const size_t descriptors = test_open_handles();
    for (const Case& c : cases) {
        PlatformFileBytes bytes = {};
        // A pipe nobody writes must be refused at once. Should the open
        // wait for a writer after all, one comes at the deadline to free it.
        auto read = std::async(std::launch::async,
                               [&] { return platform_read_file(c.path.c_str(), c.max_bytes, &bytes); });
        if (read.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
            ADD_FAILURE() << c.path << ": still waiting after 30 s";
            test_free_fifo(c.path);
        }
        EXPECT_EQ(read.get(), c.want != 0) << c.path << " up to " << c.max_bytes;
        EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes.data), bytes.size), pattern_bytes(c.want)) << c.path;
        platform_free_file(&bytes);
        EXPECT_EQ(bytes.data, nullptr) << c.path;
        platform_free_file(&bytes);  // twice is harmless
    }
    EXPECT_EQ(test_open_handles(), descriptors) << "a descriptor left open";
    // The size is known before reading: a huge file is refused with nothing
    // of it read.
    std::filesystem::resize_file(file, uint64_t(2) << 30);
    const uint64_t before = test_bytes_read();
    PlatformFileBytes bytes;
    EXPECT_EQ(platform_read_file(file.c_str(), 64u << 20, &bytes), 0) << "2 GiB";
    EXPECT_LT(test_bytes_read() - before, 1u << 20) << "2 GiB read before it was refused";
    for (const std::string& path : {file, empty, fifo})
        std::remove(path.c_str());
}

// A writer cuts the file to nothing and writes it again, over and over,
// while it is read: each read gives a prefix of the file, never bytes past
// what it found.
TEST(FileRead, AFileCutWhileReadGivesOnlyWhatItHeld)
{
    // In memory when it can be: a cut is then instant, and reads are often
    // cut short. On a journalled disk a cut waits for the file's writeback.
    const std::string dir = std::filesystem::is_directory("/dev/shm") ? "/dev/shm/" : testing::TempDir();
    const std::string path = dir + "file_read_test_" + std::to_string(getpid()) + "_cut";
    const std::string whole = pattern_bytes(4u << 20);
    std::ofstream(path, std::ios::binary) << whole;
    std::atomic<bool> done{false};
    std::thread writer([&] {
        const intptr_t w = test_open_writer(path);
        while (!done) {
            EXPECT_TRUE(test_cut(w));
            for (size_t at = 0; at < whole.size(); at += 65536)
                EXPECT_TRUE(test_write_at(w, whole.data() + at, 65536, at));
        }
        test_close_writer(w);
    });
    int partial_reads = 0;
    for (int round = 0; round < 5000 && partial_reads < 20; ++round) {
        PlatformFileBytes bytes;
        if (!platform_read_file(path.c_str(), whole.size(), &bytes))
            continue;  // found empty
        partial_reads += bytes.size < whole.size();
        const bool prefix = std::string(reinterpret_cast<char*>(bytes.data), bytes.size) == whole.substr(0, bytes.size);
        platform_free_file(&bytes);
        if (!prefix) {
            ADD_FAILURE() << "round " << round << ": bytes the file never held";
            break;
        }
    }
    done = true;
    writer.join();
    std::remove(path.c_str());
    EXPECT_GT(partial_reads, 0) << "no read ever met the writer";
}
