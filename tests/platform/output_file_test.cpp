// tests/platform/output_file_test.cpp: the output check in this process:
// whatever but a regular file we may replace stands at the name is refused
// before any work, and the older file is kept; a good run replaces a
// regular file whole; an interrupted one leaves the older file and no
// other.
#include "platform/output_file.h"
#include "tests/platform/test_system.h"
#include "tests/platform/tool_process.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Set for the interrupted case's own process, which runs the case again.
const std::string d = std::getenv("OUTPUT_FILE_TEST_DIR")
                          ? std::getenv("OUTPUT_FILE_TEST_DIR")
                          : testing::TempDir() + "output_file_test_" + std::to_string(getpid());

void make_folder()
{
    fs::remove_all(d);
    fs::create_directories(d);
}

}  // namespace

TEST(OutputFile, AnythingButAReplaceableRegularFileIsRefusedBeforeAnyWork)
{
    const auto folder = [](const std::string& out) -> const char* {
        fs::create_directory(out);
        return nullptr;
    };
    const auto link = [](const std::string& out) -> const char* {
        std::ofstream(d + "/target") << "old";
        std::error_code ec;
        fs::create_symlink("target", out, ec);
        return ec ? "making a symbolic link needs the right to (on Windows, Developer Mode)" : nullptr;
    };
    std::vector<TestHazard> hazards = {{"a folder", "OUT", folder, 0}, {"a link to a file", "OUT", link, 0}};
    for (const TestHazard& h : test_system_hazards())
        hazards.push_back(h);
    for (const TestHazard& h : hazards) {
        make_folder();
        const std::string out = d + "/" + h.out_name;
        if (const char* why = h.make(out)) {
            std::printf("skipped %s: %s\n", h.name, why);
            continue;
        }
        const std::string before = test_what_is(out);
        const std::string names = listing(d);
        OutputFile f;
        test_be_other_user(h.other_user);
        EXPECT_EQ(output_check(&f, out.c_str()), 0) << h.name;
        test_be_other_user(0);
        output_discard(&f);
        EXPECT_EQ(test_what_is(out), before) << h.name;
        EXPECT_EQ(listing(d), names) << h.name;
    }
    fs::remove_all(d);
}

TEST(OutputFile, AGoodRunReplacesTheRegularFileWhole)
{
    const std::string out = d + "/OUT";
    make_folder();
    std::ofstream(out) << "old";
    OutputFile f;
    ASSERT_EQ(output_check(&f, out.c_str()), 1) << output_reason(f);
    ASSERT_EQ(output_open(&f), 1) << output_reason(f);
    ASSERT_EQ(output_write(&f, "xew file", 8), 1) << output_reason(f);
    ASSERT_EQ(output_write_at(&f, "n", 1, 0), 1) << output_reason(f);
    ASSERT_EQ(output_write(&f, "!", 1), 1) << output_reason(f);
    EXPECT_EQ(test_what_is(out), "file 'old'");
    ASSERT_EQ(output_stage(&f), 1) << output_reason(f);
    ASSERT_EQ(output_commit(&f), 1) << output_reason(f);
    output_discard(&f);
    EXPECT_EQ(test_what_is(out), "file 'new file!'");
    EXPECT_EQ(listing(d), "OUT");
    fs::remove_all(d);
}

TEST(OutputFile, AnInterruptedRunLeavesTheOlderFileAndNoOther)
{
    // A process of its own, fresh: the handlers stay once installed.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string out = d + "/OUT";
    make_folder();
    std::ofstream(out) << "old";
    test_set_env("OUTPUT_FILE_TEST_DIR", d.c_str());
    static OutputFile f;
    EXPECT_EXIT(
        {
            output_exit_on_signals("output_file_test");
            const int staged = output_check(&f, out.c_str()) && output_open(&f) && output_write(&f, "new", 3) &&
                               output_stage(&f);
            if (staged)
                test_interrupt_self();
            std::exit(3);
        },
        testing::ExitedWithCode(1), "output_file_test: interrupted");
    EXPECT_EQ(test_what_is(out), "file 'old'");
    EXPECT_EQ(listing(d), "OUT");
    fs::remove_all(d);
}
