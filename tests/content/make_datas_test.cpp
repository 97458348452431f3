// tests/content/make_datas_test.cpp: make-datas run as a program over a
// folder it wrote before: each file is replaced by a new one, never
// rewritten in place under a reader, and anything but a regular file under
// a data file's name stops it before it moves any file.
#include "tests/platform/test_system.h"
#include "tests/platform/tool_process.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

const std::string d = testing::TempDir() + "make_datas_test_" + std::to_string(getpid());

int make_datas()
{
    return run_tool(MAKE_DATAS " " + d, d + ".err", 60).first;
}

}  // namespace

TEST(MakeDatas, ReplacesEachFileWholeAndOnlyRegularFiles)
{
    fs::remove_all(d);
    ASSERT_EQ(make_datas(), 0);
    const char* no_replace = test_no_replace_under_readers();
    if (no_replace)
        std::printf("skipped the readers holding the old files: %s\n", no_replace);
    for (const char* name : {"1-ambre.it", "7-FROB.xm", "menu.bmp", "rotomap.bmp"}) {
        // A reader holding the old file keeps all of it; the name gets a
        // new file. (The run also brings back the file the last round
        // took away.)
        const std::string path = d + "/" + name;
        const intptr_t reader = no_replace ? -1 : test_hold_file(path);
        TestFileState held = {}, named = {};
        ASSERT_TRUE(no_replace || test_held_state(reader, &held)) << name;
        const uint64_t size = held.size;
        ASSERT_EQ(make_datas(), 0) << name;
        if (!no_replace) {
            ASSERT_TRUE(test_held_state(reader, &held)) << name;
            ASSERT_TRUE(test_named_state(path, &named)) << name;
            EXPECT_EQ(held.size, size) << name << ": the file a reader holds was cut";
            EXPECT_NE(held.id, named.id) << name << ": rewritten in place";
            EXPECT_EQ(named.size, size) << name;
            test_release_file(reader);
        }

        // A pipe in its place (a folder where the system keeps no pipes
        // among its files): refused, left as it is, no other file moved and
        // no staging folder left.
        fs::remove(path);
        if (test_no_fifos())
            ASSERT_TRUE(fs::create_directory(path)) << name;
        else
            ASSERT_TRUE(test_make_fifo(path)) << name;
        const fs::file_type kind = fs::symlink_status(path).type();
        const fs::file_time_type before = fs::last_write_time(d + "/12-CODA.IT");
        EXPECT_EQ(make_datas(), 1) << name;
        EXPECT_EQ(fs::symlink_status(path).type(), kind) << name;
        EXPECT_EQ(fs::last_write_time(d + "/12-CODA.IT"), before) << name;
        EXPECT_EQ(std::distance(fs::directory_iterator(d), fs::directory_iterator()), 16) << name;
        fs::remove(path);
    }
    fs::remove_all(d);
    fs::remove(d + ".err");
}
