// tests/platform/tool_process_windows.cpp: tools started by CreateProcessW,
// and interrupted as a console interrupts them. Test thread only.
#include "tests/platform/tool_process.h"

#include <windows.h>

static std::wstring wide(const std::string& text)
{
    return std::filesystem::path(text).wstring();
}

ToolProcess start_tool(const std::string& command, const std::string& err)
{
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    const HANDLE error = CreateFileW(wide(err).c_str(), GENERIC_WRITE, share, &inherited, CREATE_ALWAYS, 0, nullptr);
    const HANDLE nothing =
        CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, share, &inherited, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nothing;
    startup.hStdOutput = nothing;
    startup.hStdError = error;
    PROCESS_INFORMATION started = {};
    std::wstring line = wide(command);
    const BOOL ok =
        CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started);
    CloseHandle(error);
    CloseHandle(nothing);
    if (!ok)
        return -1;
    CloseHandle(started.hThread);
    return reinterpret_cast<intptr_t>(started.hProcess);
}

bool has_ended(ToolProcess process)
{
    return process == -1 || WaitForSingleObject(reinterpret_cast<HANDLE>(process), 0) == WAIT_OBJECT_0;
}

int finish_tool(ToolProcess process, int seconds)
{
    if (process == -1)
        return -1;
    const HANDLE h = reinterpret_cast<HANDLE>(process);
    const bool ended = WaitForSingleObject(h, DWORD(seconds) * 1000) == WAIT_OBJECT_0;
    if (!ended) {
        TerminateProcess(h, 1);
        WaitForSingleObject(h, INFINITE);
    }
    DWORD status = 0;
    GetExitCodeProcess(h, &status);
    CloseHandle(h);
    return ended ? int(status) : -2;
}

std::pair<int, std::string> run_tool(const std::string& command, const std::string& err, int timeout_seconds)
{
    // Under Wine on a loaded machine a start now and then fails before the
    // tool runs at all: no status of its own, not a word. Our tools always
    // end with 0, 1 or 2, so that is tried again, twice at most.
    int status = -1;
    std::string text;
    for (int attempt = 0; attempt < 3 && status == -1 && text.empty(); ++attempt) {
        status = finish_tool(start_tool(command, err), timeout_seconds ? timeout_seconds : 600);
        text = read_text(err);
    }
    // The C runtime writes text to standard error with "\r\n" line ends.
    for (size_t at; (at = text.find("\r\n")) != std::string::npos;)
        text.erase(at, 1);
    return {status == -2 ? -1 : status, text};
}

// A console delivers Ctrl+C by starting a thread in the process at the
// system's console routine, which runs the process's handlers. So does this,
// to the tool alone, with or without a console (ctest under Wine has none).
void interrupt_tool(ToolProcess process)
{
    const auto routine = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernelbase.dll"), "CtrlRoutine")));
    if (!routine)
        return;
    const HANDLE thread = CreateRemoteThread(reinterpret_cast<HANDLE>(process), nullptr, 0, routine,
                                             reinterpret_cast<void*>(uintptr_t(CTRL_C_EVENT)), 0, nullptr);
    if (thread)
        CloseHandle(thread);
}

bool holds_file_in(ToolProcess, const std::string& folder, int64_t bytes)
{
    std::error_code ec;
    for (const std::filesystem::directory_entry& e : std::filesystem::directory_iterator(folder, ec))
        if (e.is_regular_file(ec) && int64_t(e.file_size(ec)) > bytes)
            return true;
    return false;
}
