// tests/platform/tool_process.h: a tool run as a program from the build tree,
// its standard error kept in a file: run to the end, or started, watched and
// interrupted. Each system has a file of its own (tool_process_posix.cpp,
// tool_process_windows.cpp). Test thread only.
#pragma once
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

inline std::string read_text(const std::string& path)
{
    std::stringstream s;
    s << std::ifstream(path, std::ios::binary).rdbuf();
    return s.str();
}

// A started tool: its process id on Linux, a handle to it on Windows.
using ToolProcess = intptr_t;

// Runs a command, the program's path and its arguments separated by spaces
// (on Linux, any shell command), with standard output thrown away: its exit
// status (-1 when it did not exit, or had not within timeout_seconds, when
// given) and its standard error, kept in err, with Windows' line ends read
// as "\n".
std::pair<int, std::string> run_tool(const std::string& command, const std::string& err, int timeout_seconds = 0);

// Starts a command as run_tool does, without waiting: the command's own
// process.
ToolProcess start_tool(const std::string& command, const std::string& err);

bool has_ended(ToolProcess process);

// Waits until ready() or the process has ended: true when ready() came
// first (and within two minutes).
template <typename Ready>
bool wait_until(ToolProcess process, Ready ready)
{
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (!ready()) {
        if (has_ended(process) || std::chrono::steady_clock::now() > give_up)
            return false;
        // Only paces the looks: what is awaited is the condition itself.
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// The exit status of a started command, or on Linux 128 + the signal that
// ended it, as a shell tells it; -2 when it has not ended within `seconds`
// (it is then killed).
int finish_tool(ToolProcess process, int seconds = 600);

// Asks a started command to end as a terminal's interrupt does: SIGTERM on
// Linux, Ctrl+C on Windows.
void interrupt_tool(ToolProcess process);

// Whether the process holds a file of folder open, grown past `bytes`: a
// tool's output, unnamed ("#NNN (deleted)") or not. On Windows, where
// outputs are named from the start, any file of folder grown so far.
bool holds_file_in(ToolProcess process, const std::string& folder, int64_t bytes);

// What stands at path: its type and, for a link or a file, what tells it
// from another of its kind.
inline std::string test_what_is(const std::string& path)
{
    std::error_code ec;
    switch (std::filesystem::symlink_status(path, ec).type()) {
    case std::filesystem::file_type::not_found: return "nothing";
    case std::filesystem::file_type::symlink: return "link to " + std::filesystem::read_symlink(path, ec).string();
    case std::filesystem::file_type::directory: return "folder";
    case std::filesystem::file_type::regular: break;
    default: return "something else";
    }
    const std::string text = read_text(path);
    return text.size() > 40 ? "file of " + std::to_string(text.size()) + " bytes" : "file '" + text + "'";
}

// The names in a folder, sorted, a space between: what a run left.
inline std::string listing(const std::string& folder)
{
    std::vector<std::string> names;
    for (const std::filesystem::directory_entry& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    std::string joined;
    for (const std::string& name : names)
        joined += (joined.empty() ? "" : " ") + name;
    return joined;
}
