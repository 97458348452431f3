// tools/output_file_windows.cpp: output files written under a temporary
// name beside their own and moved into place at the end, over regular files
// only, and the console events that end a tool without leaving a temporary
// name. Names change on the main thread only; the console's handler runs on
// a thread the system starts for each event.
#include "tools/output_file.h"

#include <windows.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>

namespace {

// Who may touch the temporary names: the main thread while it changes
// them, or the console's handler, which ends the tool.
enum { names_idle, names_changing, names_exiting };
std::atomic<int> names{names_idle};
std::atomic<int> signalled{0};  // an event came while the names were changing
std::atomic<int> placed{0};     // an output has taken its name: events are ignored

// The files between output_check and output_discard; changed only while
// the names are held.
OutputFile* files[8];

char interrupted_line[128];  // "TOOL: interrupted\n", made before any event
DWORD interrupted_size;

void remove_temporary_names()
{
    for (OutputFile* f : files)
        if (f && !f->temp.empty())
            DeleteFileW((f->folder + f->temp).c_str());
}

// Ends the tool as _exit would, from either thread. A temporary file still
// open goes with its handle: it was opened to be deleted under it.
[[noreturn]] void exit_interrupted()
{
    remove_temporary_names();
    DWORD written;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), interrupted_line, interrupted_size, &written, nullptr);
    TerminateProcess(GetCurrentProcess(), 1);
    for (;;)
        Sleep(INFINITE);
}

void on_interrupt()
{
    if (placed.load())
        return;
    signalled.store(1);
    int idle = names_idle;
    if (names.compare_exchange_strong(idle, names_exiting))
        exit_interrupted();
    // The main thread is changing names: it ends the tool once they are whole.
}

BOOL WINAPI on_console_event(DWORD type)
{
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT &&
        type != CTRL_LOGOFF_EVENT && type != CTRL_SHUTDOWN_EVENT)
        return FALSE;
    on_interrupt();
    // After a close, logoff or shutdown the system ends the process as soon
    // as this returns: the main thread is left to finish first.
    if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT)
        Sleep(INFINITE);
    return TRUE;
}

// Holds the names for the main thread while it changes them; an event on
// the way takes effect at the end.
struct ChangingNames {
    ChangingNames()
    {
        for (int idle = names_idle; !names.compare_exchange_weak(idle, names_changing); idle = names_idle)
            while (idle == names_exiting)
                Sleep(INFINITE);  // the handler is ending the process
    }
    ~ChangingNames()
    {
        names.store(names_idle);
        if (signalled.load())
            on_interrupt();
    }
};

// The errno value nearest a Windows error, so that output_reason words
// both systems' failures alike.
int errno_of(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND: case ERROR_PATH_NOT_FOUND: case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH: case ERROR_BAD_NET_NAME:
        return ENOENT;
    case ERROR_ACCESS_DENIED: case ERROR_SHARING_VIOLATION: case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT: case ERROR_NETWORK_ACCESS_DENIED:
        return EACCES;
    case ERROR_DISK_FULL: case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_FILE_EXISTS: case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DIRECTORY:
        return ENOTDIR;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_INVALID_NAME: case ERROR_BAD_PATHNAME:
        return EINVAL;
    case ERROR_NOT_ENOUGH_MEMORY: case ERROR_OUTOFMEMORY:
        return ENOMEM;
    case ERROR_TOO_MANY_OPEN_FILES:
        return EMFILE;
    default:
        return EIO;
    }
}

int failed(OutputFile* f)
{
    f->error = errno_of(GetLastError());
    return 0;
}

// UTF-8 as a wide string; false when it is not UTF-8.
bool widen(const char* text, std::wstring* out)
{
    const int count = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
    if (count <= 0)
        return false;
    out->resize(size_t(count));
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, out->data(), count);
    out->pop_back();  // the terminator
    return true;
}

// Names in the device namespace: \\.\NUL, \\.\pipe\NAME, \\?\COM1, and what
// NUL, CON, COM1 or LPT1 stand for in any folder.
bool names_a_device(const std::wstring& path)
{
    const DWORD count = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (!count)
        return true;
    std::wstring full(count, L'\0');
    if (GetFullPathNameW(path.c_str(), count, full.data(), nullptr) >= count)
        return true;
    if (full.compare(0, 4, LR"(\\?\)") == 0)  // \\?\C:\... and \\?\UNC\... are files
        return !(std::iswalpha(full[4]) && full[5] == L':') && full.compare(4, 4, LR"(UNC\)") != 0;
    return full.compare(0, 4, LR"(\\.\)") == 0;
}

// Moves the file from over the name to at once. Where the system can
// (Windows 10 from 1709, on NTFS), with POSIX semantics: a file readers hold
// open, sharing its deletion as the disk's reader does, is replaced under
// them as on Linux, and they read on in the old one. Elsewhere (older
// systems, FAT, Wine) MoveFileExW, which cannot replace an open file and
// says so.
BOOL move_over(const std::wstring& from, const std::wstring& to)
{
    // FileRenameInfoEx, which MinGW's headers name only for Windows 10 builds.
    constexpr auto rename_info_ex = FILE_INFO_BY_HANDLE_CLASS(22);
    const HANDLE h = CreateFileW(from.c_str(), DELETE | SYNCHRONIZE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                 nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        const size_t name_bytes = to.size() * sizeof(wchar_t);
        std::string buffer(sizeof(FILE_RENAME_INFO) + name_bytes, '\0');
        auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
        rename->Flags = FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS;
        rename->FileNameLength = DWORD(name_bytes);
        std::memcpy(rename->FileName, to.c_str(), name_bytes);
        const BOOL moved = SetFileInformationByHandle(h, rename_info_ex, rename, DWORD(buffer.size()));
        CloseHandle(h);
        if (moved)
            return TRUE;
    }
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

// A name beside f's own that differs at each attempt, name.XXXXXX, into
// f->temp.
void make_temp_name(OutputFile* f, int attempt)
{
    static const wchar_t letters[] = L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    unsigned long long n = uint64_t(now.QuadPart) ^ (uint64_t(GetCurrentProcessId()) << 40);
    n += unsigned(attempt);
    std::wstring name;
    widen(f->name.c_str(), &name);
    f->temp = name + L".";
    for (int i = 0; i < 6; ++i) {
        f->temp += letters[n % 62];
        n /= 62;
    }
}

// What the name holds now: 1 when nothing or a regular file, else 0 with
// the reason in f->error. A reparse point (a symbolic link, a junction) is
// looked at itself, not followed.
int replaceable(OutputFile* f)
{
    std::wstring name;
    if (!widen(f->name.c_str(), &name)) {
        f->error = EINVAL;
        return 0;
    }
    const std::wstring full = f->folder + name;
    if (names_a_device(full)) {
        f->error = output_not_regular;
        return 0;
    }
    const HANDLE h = CreateFileW(full.c_str(), FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND ? 1 : failed(f);
    BY_HANDLE_FILE_INFORMATION info;
    const DWORD type = GetFileType(h);
    const BOOL known = GetFileInformationByHandle(h, &info);
    CloseHandle(h);
    if (!known)
        return failed(f);
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        f->error = EISDIR;
        return 0;
    }
    if (type != FILE_TYPE_DISK || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        f->error = output_not_regular;
        return 0;
    }
    return 1;
}

}  // namespace

void output_exit_on_signals(const char* tool)
{
    DWORD mode;
    const bool terminal = GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode);
    const int n = std::snprintf(interrupted_line, sizeof interrupted_line, "%s%s: interrupted\n",
                                terminal ? "\n" : "", tool);
    interrupted_size = DWORD(n < int(sizeof interrupted_line) ? n : int(sizeof interrupted_line) - 1);
    SetConsoleCtrlHandler(on_console_event, TRUE);
    std::atexit([] {
        ChangingNames hold;
        remove_temporary_names();
    });
}

int output_check(OutputFile* f, const char* path)
{
    f->path = path;
    // The folder is what comes before the last separator (either slash), or
    // a drive's current folder ("C:name").
    const char* end = path;
    for (const char* c = path; *c; ++c)
        if (*c == '/' || *c == '\\' || (c == path + 1 && *c == ':'))
            end = c + 1;
    const std::string folder = end == path ? "." : std::string(path, end);
    f->name = end;
    if (f->name.empty() || f->name == "." || f->name == "..") {
        f->error = EISDIR;
        return 0;
    }
    {
        ChangingNames hold;
        OutputFile** free_slot = nullptr;
        for (OutputFile*& slot : files)
            if (slot == f || (!slot && !free_slot))
                free_slot = &slot;
        if (!free_slot) {
            f->error = EMFILE;
            return 0;
        }
        *free_slot = f;
    }
    // The folder's full name, taken now: a later change of the working
    // folder does not move the output.
    std::wstring wide;
    if (!widen(folder.c_str(), &wide)) {
        f->error = EINVAL;
        return 0;
    }
    const DWORD count = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    std::wstring full(count, L'\0');
    if (!count || GetFullPathNameW(wide.c_str(), count, full.data(), nullptr) >= count)
        return failed(f);
    full.resize(std::wcslen(full.c_str()));
    if (full.back() != L'\\' && full.back() != L'/')
        full += L'\\';
    const DWORD attributes = GetFileAttributesW(full.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return failed(f);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        f->error = ENOTDIR;
        return 0;
    }
    {
        ChangingNames hold;
        f->folder = full;
    }
    return replaceable(f);
}

int output_open(OutputFile* f)
{
    ChangingNames hold;
    for (int attempt = 0; attempt < 100; ++attempt) {
        make_temp_name(f, attempt);
        // Others may read it; deleting it stays possible while it is open,
        // so that an interrupt can remove it under the writer.
        const HANDLE h = CreateFileW((f->folder + f->temp).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                     nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            f->handle = h;
            return 1;
        }
        const DWORD error = GetLastError();
        f->temp.clear();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            SetLastError(error);
            break;
        }
    }
    return failed(f);
}

int output_write(OutputFile* f, const void* bytes, size_t size)
{
    const char* at = static_cast<const char*>(bytes);
    while (size) {
        const DWORD chunk = size < (1u << 30) ? DWORD(size) : DWORD(1u << 30);
        DWORD n = 0;
        if (!WriteFile(f->handle, at, chunk, &n, nullptr))
            return failed(f);
        at += n;
        size -= n;
    }
    return 1;
}

int output_write_at(OutputFile* f, const void* bytes, size_t size, off_t offset)
{
    // As pwrite: the file offset stays where it was.
    LARGE_INTEGER zero = {}, was, to;
    to.QuadPart = offset;
    if (!SetFilePointerEx(f->handle, zero, &was, FILE_CURRENT) || !SetFilePointerEx(f->handle, to, nullptr, FILE_BEGIN))
        return failed(f);
    const int written = output_write(f, bytes, size);
    if (!SetFilePointerEx(f->handle, was, nullptr, FILE_BEGIN))
        return written ? failed(f) : 0;
    return written;
}

int output_stage(OutputFile* f)
{
    // Named from the start: written in full, it is only closed.
    if (f->handle && !CloseHandle(f->handle)) {
        f->handle = nullptr;
        return failed(f);
    }
    f->handle = nullptr;
    return 1;
}

int output_commit(OutputFile* f)
{
    ChangingNames hold;
    // An event so far still leaves everything as it was.
    if (signalled.load() && !placed.load())
        exit_interrupted();
    // Looked at again: what was checked at the start may have changed since.
    if (!replaceable(f))
        return 0;
    std::wstring name;
    widen(f->name.c_str(), &name);
    // Replaces an old file at once: readers see the old or the new.
    if (!move_over(f->folder + f->temp, f->folder + name))
        return failed(f);
    f->temp.clear();
    placed.store(1);
    return 1;
}

int output_replace_with(OutputFile* f, const char* whole)
{
    std::wstring from, name;
    if (!widen(whole, &from) || !widen(f->name.c_str(), &name)) {
        f->error = EINVAL;
        return 0;
    }
    if (!move_over(from, f->folder + name))
        return failed(f);
    return 1;
}

void output_discard(OutputFile* f)
{
    ChangingNames hold;
    if (f->handle)
        CloseHandle(f->handle);
    if (!f->temp.empty())
        DeleteFileW((f->folder + f->temp).c_str());
    f->temp.clear();
    f->handle = nullptr;
    f->folder.clear();
    for (OutputFile*& slot : files)
        if (slot == f)
            slot = nullptr;
}

int output_same(const OutputFile& a, const OutputFile& b)
{
    if (a.folder.empty() || b.folder.empty())
        return 0;
    std::wstring name_a, name_b;
    widen(a.name.c_str(), &name_a);
    widen(b.name.c_str(), &name_b);
    const std::wstring full_a = a.folder + name_a, full_b = b.folder + name_b;
    // Names differ in case only for the same file.
    return CompareStringOrdinal(full_a.c_str(), int(full_a.size()), full_b.c_str(), int(full_b.size()), TRUE) ==
           CSTR_EQUAL;
}

const char* output_reason(const OutputFile& f)
{
    switch (f.error) {
    case output_not_regular: return "not a regular file; only a regular file is replaced";
    case output_not_owner: return "another user's file in a sticky folder";
    default: return std::strerror(f.error);
    }
}
