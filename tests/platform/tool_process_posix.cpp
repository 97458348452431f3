// tests/platform/tool_process_posix.cpp: tools run through the shell, and
// watched through /proc. Test thread only.
#include "tests/platform/tool_process.h"

#include <dirent.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

std::pair<int, std::string> run_tool(const std::string& command, const std::string& err, int timeout_seconds)
{
    const std::string limit = timeout_seconds ? "timeout " + std::to_string(timeout_seconds) + " " : "";
    const int status = std::system((limit + command + " >/dev/null 2>" + err).c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_text(err)};
}

// The process id is the command's own once the shell has handed over.
ToolProcess start_tool(const std::string& command, const std::string& err)
{
    const std::string line = "exec " + command + " >/dev/null 2>" + err;
    const char* argv[] = {"sh", "-c", line.c_str(), nullptr};
    pid_t pid = -1;
    posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ);
    return pid;
}

bool has_ended(ToolProcess process)
{
    siginfo_t ended{};
    waitid(P_PID, id_t(process), &ended, WEXITED | WNOHANG | WNOWAIT);
    return ended.si_pid == pid_t(process);
}

int finish_tool(ToolProcess process, int seconds)
{
    const pid_t pid = pid_t(process);
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

void interrupt_tool(ToolProcess process)
{
    kill(pid_t(process), SIGTERM);
}

bool holds_file_in(ToolProcess process, const std::string& folder, int64_t bytes)
{
    const std::string fds = "/proc/" + std::to_string(process) + "/fd/";
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
