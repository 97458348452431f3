// tests/tools/output_file_test.cpp: how the three render tools treat the
// file they write, run as programs: anything but a regular file we may
// replace is refused before any work; a signal, wherever it comes, leaves
// an older file as it was and no other behind.
#include "tests/test_system.h"
#include "tests/tools/output_hazards.h"
#include "tests/tools/tool_process.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string d = testing::TempDir() + "output_file_test_" + std::to_string(getpid());

struct Tool {
    const char* name;
    const char* program;  // "" where the tool is not built (render-frame and render-video on Windows)
    const char* args;     // OUT is the output, D this test's folder
};

std::string expand(const Tool& t, const std::string& out)
{
    const std::string args = std::regex_replace(t.args, std::regex("OUT"), out);
    return std::string(t.program) + " " + std::regex_replace(args, std::regex("\\bD/"), d + "/");
}

// Whether the tool is built here; says so when not.
bool built(const Tool& t)
{
    if (!*t.program)
        std::printf("skipped %s %s: not built on this system\n", t.name, t.args);
    return *t.program;
}

void make_folder(const std::string& folder)
{
    fs::remove_all(folder);
    fs::create_directories(folder);
}

void write_text(const std::string& path, const char* text)
{
    std::ofstream(path) << text;
}

}  // namespace

TEST(OutputFile, AnythingButAReplaceableRegularFileIsRefusedBeforeAnyWork)
{
    // Each tool's input is missing, so that an output let through says so
    // instead (or, were that check gone too, ends in status 1).
    make_folder(d + "/nodisk/datas");
    const Tool tools[] = {{"render-wav", RENDER_WAV, "no/such/module.it OUT --seconds 1"},
                          {"render-frame", RENDER_FRAME, "OUT --datas no/such/folder"},
                          {"render-video", RENDER_VIDEO, "OUT -C D/nodisk --seconds 1"}};
    for (const Hazard& h : output_hazards()) {
        for (const Tool& t : tools) {
            if (!built(t))
                continue;
            make_folder(d + "/out");
            const std::string out = d + "/out/" + h.out_name;
            if (const char* why = h.make(out)) {
                std::printf("skipped %s: %s\n", h.name, why);
                break;
            }
            const std::string before = what_is(out), names = listing(d + "/out");
            const auto [status, err] = run_tool(h.run_as + expand(t, out), d + "/err", 60);
            EXPECT_EQ(status, 2) << t.name << ", " << h.name << ": " << err;
            EXPECT_EQ(err.rfind(std::string(t.name) + ": cannot write '" + out + "': ", 0), 0u)
                << t.name << ", " << h.name << ": " << err;
            EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << t.name << ", " << h.name << ": " << err;
            EXPECT_EQ(what_is(out), before) << t.name << ", " << h.name;
            EXPECT_EQ(listing(d + "/out"), names) << t.name << ", " << h.name;
        }
    }
    fs::remove_all(d);
}
TEST(OutputFile, ASignalEndsAToolWhereverItIsAndLeavesTheOlderFile)
{
    // Stuck opening a pipe that nobody writes, or busy rendering: SIGTERM
    // (Ctrl+C on Windows) ends it at once with status 1, the older file
    // as it was. A tool that refuses the pipe by itself must end as cleanly.
    std::vector<Tool> tools;
    if (const char* why = test_no_fifos()) {
        std::printf("skipped the tools stuck on a pipe: %s\n", why);
    } else {
        make_folder(d + "/pipes/datas");
        for (const fs::directory_entry& e : fs::directory_iterator("datas"))
            if (e.is_regular_file())
                fs::copy_file(e.path(), d + "/pipes/datas/" + e.path().filename().string());
        for (const std::string& pipe :
             {d + "/pipes/in.it", d + "/pipes/datas/menu.bmp", d + "/pipes/datas/1-ambre.it"}) {
            fs::remove(pipe);
            ASSERT_TRUE(test_make_fifo(pipe)) << pipe;
        }
        tools = {{"render-wav", RENDER_WAV, "D/pipes/in.it OUT"},
                 {"render-frame", RENDER_FRAME, "OUT --datas D/pipes/datas"},
                 {"render-video", RENDER_VIDEO, "OUT -C D/pipes --seconds 1"}};
    }
    tools.push_back({"render-wav", RENDER_WAV, "datas/1-ambre.it OUT --seconds 3600 --loop"});
    const std::string out = d + "/out/OUT";
    for (const Tool& t : tools) {
        if (!built(t))
            continue;
        const std::string command = expand(t, out);
        make_folder(d + "/out");
        write_text(out, "old");
        const ToolProcess tool = start_tool(command, d + "/err");
        const bool busy =
            wait_until(tool, [&] { return opens_a_pipe(tool) || holds_file_in(tool, d + "/out", 1 << 20); });
        if (busy)
            interrupt_tool(tool);
        EXPECT_EQ(finish_tool(tool, 60), 1) << command << ": " << read_text(d + "/err");
        if (busy) {
            EXPECT_EQ(read_text(d + "/err"), std::string(t.name) + ": interrupted\n") << command;
        }
        EXPECT_EQ(listing(d + "/out"), "OUT") << command;
        EXPECT_EQ(what_is(out), "file 'old'") << command;
    }
    fs::remove_all(d);
}
