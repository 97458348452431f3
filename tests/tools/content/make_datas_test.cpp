// tests/tools/content/make_datas_test.cpp: make-datas run as a program over a
// folder it wrote before: each file is replaced by a new one, never
// rewritten in place under a reader, and anything but a regular file under
// a data file's name stops it before it moves any file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

const std::string d = testing::TempDir() + "make_datas_test_" + std::to_string(getpid());

int make_datas()
{
    const int status = std::system(("timeout 60 " MAKE_DATAS " " + d + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(MakeDatas, ReplacesEachFileWholeAndOnlyRegularFiles)
{
    fs::remove_all(d);
    ASSERT_EQ(make_datas(), 0);
    for (const char* name : {"1-ambre.it", "7-FROB.xm", "menu.bmp", "rotomap.bmp"}) {
        // A reader holding the old file keeps all of it; the name gets a
        // new file.
        const std::string path = d + "/" + name;
        const int reader = open(path.c_str(), O_RDONLY);
        struct stat held, named;
        ASSERT_EQ(fstat(reader, &held), 0) << name;
        const off_t size = held.st_size;
        ASSERT_EQ(make_datas(), 0) << name;
        ASSERT_EQ(fstat(reader, &held), 0) << name;
        ASSERT_EQ(stat(path.c_str(), &named), 0) << name;
        EXPECT_EQ(held.st_size, size) << name << ": the file a reader holds was cut";
        EXPECT_NE(held.st_ino, named.st_ino) << name << ": rewritten in place";
        EXPECT_EQ(named.st_size, size) << name;
        close(reader);

        // A pipe in its place: refused, left as it is, no other file
        // moved and no staging folder left.
        fs::remove(path);
        ASSERT_EQ(mkfifo(path.c_str(), 0644), 0) << name;
        const fs::file_time_type before = fs::last_write_time(d + "/12-CODA.IT");
        EXPECT_EQ(make_datas(), 1) << name;
        EXPECT_TRUE(fs::is_fifo(path)) << name;
        EXPECT_EQ(fs::last_write_time(d + "/12-CODA.IT"), before) << name;
        EXPECT_EQ(std::distance(fs::directory_iterator(d), fs::directory_iterator()), 16) << name;
        fs::remove(path);
    }
    fs::remove_all(d);
}
