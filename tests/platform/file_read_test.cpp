// tests/platform/file_read_test.cpp: what platform_read_file takes and
// refuses, that a pipe is refused without waiting for a writer, and that a
// file cut short while it is read gives only bytes it held.
#include "platform/file_read.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <thread>

static std::string temp_path(const std::string& name)
{
    return testing::TempDir() + "file_read_test_" + std::to_string(getpid()) + "_" + name;
}

static size_t open_descriptors()
{
    return size_t(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
}

// Bytes this process has read through read() and its kin.
static uint64_t bytes_read()
{
    std::ifstream io("/proc/self/io");
    std::string key;
    uint64_t value = 0;
    while (io >> key >> value)
        if (key == "rchar:")
            return value;
    return 0;
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
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const size_t descriptors = open_descriptors();
    struct Case {
        std::string path;
        size_t max_bytes;
        size_t want;  // bytes read; 0: refused
    };
    for (const Case& c : {Case{file, 10000, 10000}, Case{file, 9999, 0}, Case{empty, 100, 0},
                          Case{testing::TempDir(), 100, 0}, Case{temp_path("missing"), 100, 0},
                          Case{"/dev/zero", 100, 0}, Case{fifo, 100, 0}}) {
        PlatformFileBytes bytes = {};
        // A pipe nobody writes must be refused at once. Should the open
        // wait for a writer after all, one comes at the deadline to free it.
        auto read = std::async(std::launch::async,
                               [&] { return platform_read_file(c.path.c_str(), c.max_bytes, &bytes); });
        if (read.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
            ADD_FAILURE() << c.path << ": still waiting after 30 s";
            close(open(c.path.c_str(), O_WRONLY | O_NONBLOCK));
        }
        EXPECT_EQ(read.get(), c.want != 0) << c.path << " up to " << c.max_bytes;
        EXPECT_EQ(bytes.size, c.want) << c.path << " up to " << c.max_bytes;
        EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes.data), bytes.size), pattern_bytes(c.want)) << c.path;
        platform_free_file(&bytes);
        EXPECT_EQ(bytes.data, nullptr) << c.path;
        platform_free_file(&bytes);  // twice is harmless
    }
    EXPECT_EQ(open_descriptors(), descriptors) << "a descriptor left open";
    // The size is known before reading: a huge file is refused with nothing
    // of it read.
    ASSERT_EQ(truncate(file.c_str(), off_t(2) << 30), 0);
    const uint64_t before = bytes_read();
    PlatformFileBytes bytes;
    EXPECT_EQ(platform_read_file(file.c_str(), 64u << 20, &bytes), 0) << "2 GiB";
    EXPECT_LT(bytes_read() - before, 1u << 20) << "2 GiB read before it was refused";
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
        const int fd = open(path.c_str(), O_WRONLY);
        while (!done) {
            EXPECT_EQ(ftruncate(fd, 0), 0);
            for (size_t at = 0; at < whole.size(); at += 65536)
                EXPECT_EQ(pwrite(fd, whole.data() + at, 65536, off_t(at)), 65536);
        }
        close(fd);
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
