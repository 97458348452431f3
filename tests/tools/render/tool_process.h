// tests/tools/render/tool_process.h: a tool run as a program from the build tree,
// its standard error kept in a file: run to the end, or started, watched
// and signalled. Test thread only.
#pragma once
#include <dirent.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
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

// Runs a command through the shell: its exit status (-1 when it did not
// exit) and its standard error, kept in err.
inline std::pair<int, std::string> run_tool(const std::string& command, const std::string& err)
{
    const int status = std::system((command + " >/dev/null 2>" + err).c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_text(err)};
}

// Starts a command as run_tool does, without waiting: its process id, which
// is the command's own once the shell has handed over.
inline pid_t start_tool(const std::string& command, const std::string& err)
{
    const std::string line = "exec " + command + " >/dev/null 2>" + err;
    const char* argv[] = {"sh", "-c", line.c_str(), nullptr};
    pid_t pid = -1;
    posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ);
    return pid;
}

inline bool has_ended(pid_t pid)
{
    siginfo_t ended{};
    waitid(P_PID, pid, &ended, WEXITED | WNOHANG | WNOWAIT);
    return ended.si_pid == pid;
}

// Waits until ready() or the process has ended: true when ready() came
// first (and within two minutes).
template <typename Ready>
bool wait_until(pid_t pid, Ready ready)
{
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (!ready()) {
        if (has_ended(pid) || std::chrono::steady_clock::now() > give_up)
            return false;
        // Only paces the looks: what is awaited is the condition itself.
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// The exit status of a started command, or 128 + the signal that ended it,
// as a shell tells it; -2 when it has not ended within `seconds` (it is
// then killed).
inline int finish_tool(pid_t pid, int seconds = 600)
{
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!has_ended(pid) && std::chrono::steady_clock::now() < give_up)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const bool ended = has_ended(pid);
    if (!ended)
        kill(pid, SIGKILL);
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !ended)
        return -2;
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Whether process pid holds a file of folder open, grown past `bytes`: a
// tool's output, unnamed ("#NNN (deleted)") or not.
inline bool holds_file_in(pid_t pid, const std::string& folder, off_t bytes)
{
    const std::string fds = "/proc/" + std::to_string(pid) + "/fd/";
    DIR* dir = opendir(fds.c_str());
    bool found = false;
    while (dir && !found) {
        const dirent* e = readdir(dir);
        if (!e)
            break;
        const std::string fd = fds + e->d_name;
        char target[4096];
        const ssize_t n = readlink(fd.c_str(), target, sizeof target);
        struct stat st;
        const bool inside = n > 0 && std::string(target, size_t(n)).rfind(folder + "/", 0) == 0;
        found = inside && stat(fd.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > bytes;
    }
    if (dir)
        closedir(dir);
    return found;
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
