// tests/tools/tool_outputs_test.cpp: each render tool, run as a program,
// writes through the output check, whose refusals and interrupts
// tests/platform/output_file_test.cpp holds: a folder at its output is
// refused before any work, and an interrupt keeps the older file.
#include "tests/platform/test_system.h"
#include "tests/platform/tool_process.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

const std::string d = testing::TempDir() + "tool_outputs_test_" + std::to_string(getpid());
const std::string out = d + "/out/OUT";

}  // namespace

TEST(ToolOutputs, EachToolRefusesAFolderAtItsOutputBeforeAnyWork)
{
    // Each tool's input is missing, so that an output let through says so
    // instead (or, were that check gone too, ends in status 1).
    fs::create_directories(d + "/nodisk/datas");
    struct Tool {
        const char* name;
        const char* program;  // "" where the tool is not built (render-frame and render-video on Windows)
        std::string args;
    };
    const Tool tools[] = {{"render-wav", RENDER_WAV, "no/such/module.it " + out + " --seconds 1"},
                          {"render-frame", RENDER_FRAME, out + " --datas no/such/folder"},
                          {"render-video", RENDER_VIDEO, out + " -C " + d + "/nodisk --seconds 1"}};
    for (const Tool& t : tools) {
        if (!*t.program) {
            std::printf("skipped %s: not built on this system\n", t.name);
            continue;
        }
        fs::create_directories(out);
        const auto [status, err] = run_tool(std::string(t.program) + " " + t.args, d + "/err", 60);
        EXPECT_EQ(status, 2) << t.name << ": " << err;
        EXPECT_EQ(err.rfind(std::string(t.name) + ": cannot write '" + out + "': ", 0), 0u) << t.name << ": " << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << t.name << ": " << err;
        EXPECT_EQ(test_what_is(out), "folder") << t.name;
        EXPECT_EQ(listing(d + "/out"), "OUT") << t.name;
    }
    fs::remove_all(d);
}

TEST(ToolOutputs, AnInterruptEndsABusyToolAndKeepsTheOlderFile)
{
    // SIGTERM (Ctrl+C on Windows) while it writes: status 1 at once, the
    // older file as it was and no other.
    fs::create_directories(d + "/out");
    std::ofstream(out) << "old";
    const ToolProcess tool = start_tool(RENDER_WAV " datas/1-ambre.it " + out + " --seconds 3600 --loop", d + "/err");
    ASSERT_TRUE(wait_until(tool, [&] { return holds_file_in(tool, d + "/out", 1 << 20); })) << read_text(d + "/err");
    interrupt_tool(tool);
    EXPECT_EQ(finish_tool(tool, 60), 1) << read_text(d + "/err");
    EXPECT_EQ(read_text(d + "/err"), "render-wav: interrupted\n");
    EXPECT_EQ(listing(d + "/out"), "OUT");
    EXPECT_EQ(test_what_is(out), "file 'old'");
    fs::remove_all(d);
}
