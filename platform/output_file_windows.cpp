// platform/output_file_windows.cpp: outputs written under a temporary name
// beside their own and moved into place, and the console events that end a
// tool. Main thread, but the handler's calls, which run on a thread the
// system starts for each event.
#include "platform/output_file_system.h"

#include <windows.h>

#include <cerrno>
#include <cstring>
#include <cwchar>
#include <cwctype>

namespace {

void (*interrupt_handler)();

HANDLE handle_of(intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

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

int last_error()
{
    return errno_of(GetLastError());
}

// UTF-8 as a wide string; false when it is not UTF-8.
bool widen(const std::string& text, std::wstring* out)
{
    const int count = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.c_str(), -1, nullptr, 0);
    if (count <= 0)
        return false;
    out->resize(size_t(count));
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.c_str(), -1, out->data(), count);
    out->pop_back();  // the terminator
    return true;
}

std::wstring wide(const std::string& text)
{
    std::wstring out;
    widen(text, &out);
    return out;
}

// A path's full name, wide; "" when it has none.
std::wstring full_name(const std::wstring& path)
{
    const DWORD count = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    std::wstring full(count, L'\0');
    if (!count || GetFullPathNameW(path.c_str(), count, full.data(), nullptr) >= count)
        return std::wstring();
    full.resize(std::wcslen(full.c_str()));
    return full;
}

// Names in the device namespace: \\.\NUL, \\.\pipe\NAME, \\?\COM1, and what
// NUL, CON, COM1 or LPT1 stand for in any folder.
bool names_a_device(const std::wstring& path)
{
    const std::wstring full = full_name(path);
    if (full.empty())
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

BOOL WINAPI on_console_event(DWORD type)
{
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT &&
        type != CTRL_LOGOFF_EVENT && type != CTRL_SHUTDOWN_EVENT)
        return FALSE;
    interrupt_handler();
    // After a close, logoff or shutdown the system ends the process as soon
    // as this returns: the main thread is left to finish first.
    if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT)
        Sleep(INFINITE);
    return TRUE;
}

}  // namespace

// Either slash, and a drive's colon ("C:name" is in C:'s current folder).
bool output_system_separator(const char* path, const char* c)
{
    return *c == '/' || *c == '\\' || (c == path + 1 && *c == ':');
}

int output_system_hold_folder(OutputFile* f)
{
    std::wstring folder;
    if (!widen(f->folder, &folder))
        return EINVAL;
    std::wstring full = full_name(folder);
    if (full.empty())
        return last_error();
    if (full.back() != L'\\' && full.back() != L'/')
        full += L'\\';
    const DWORD attributes = GetFileAttributesW(full.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return last_error();
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return ENOTDIR;
    const int count = WideCharToMultiByte(CP_UTF8, 0, full.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(size_t(count > 0 ? count : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, full.c_str(), -1, utf8.data(), count, nullptr, nullptr);
    utf8.pop_back();
    f->folder = utf8;
    return 0;
}

// A reparse point (a symbolic link, a junction) is looked at itself, not
// followed.
int output_system_look(const OutputFile& f)
{
    std::wstring full;
    if (!widen(f.folder + f.name, &full))
        return EINVAL;
    if (names_a_device(full))
        return output_not_regular;
    const HANDLE h = CreateFileW(full.c_str(), FILE_READ_ATTRIBUTES,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND ? 0 : last_error();
    BY_HANDLE_FILE_INFORMATION info;
    const DWORD type = GetFileType(h);
    const BOOL known = GetFileInformationByHandle(h, &info);
    const int error = known ? 0 : last_error();
    CloseHandle(h);
    if (!known)
        return error;
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return EISDIR;
    if (type != FILE_TYPE_DISK || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return output_not_regular;
    return 0;
}

int output_system_may_create(const OutputFile&)
{
    return 0;  // told by the first create
}

int output_system_open_unnamed(OutputFile*)
{
    return EOPNOTSUPP;
}

int output_system_create(OutputFile* f)
{
    // Others may read it; deleting it stays possible while it is open, so
    // that an interrupt can remove it under the writer.
    const HANDLE h = CreateFileW(wide(f->folder + f->temp).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                 nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return last_error();
    f->handle = reinterpret_cast<intptr_t>(h);
    return 0;
}

int output_system_name(OutputFile*)
{
    return EINVAL;  // named from the start
}

int output_system_written(OutputFile* f)
{
    // Named from the start: written in full, it is only closed.
    const BOOL closed = f->handle == -1 || CloseHandle(handle_of(f->handle));
    const int error = closed ? 0 : last_error();
    f->handle = -1;
    return error;
}

long long output_system_write(OutputFile* f, const void* bytes, size_t size, long long offset)
{
    const HANDLE h = handle_of(f->handle);
    // As pwrite: the file offset stays where it was.
    LARGE_INTEGER zero = {}, was, to;
    to.QuadPart = offset;
    if (offset >= 0 && (!SetFilePointerEx(h, zero, &was, FILE_CURRENT) || !SetFilePointerEx(h, to, nullptr, FILE_BEGIN)))
        return -last_error();
    const DWORD chunk = size < (1u << 30) ? DWORD(size) : DWORD(1u << 30);
    DWORD n = 0;
    if (!WriteFile(h, bytes, chunk, &n, nullptr))
        return -last_error();
    if (offset >= 0 && !SetFilePointerEx(h, was, nullptr, FILE_BEGIN))
        return -last_error();
    return n;
}

int output_system_move(OutputFile* f, const char* from)
{
    std::wstring source, name;
    if (!widen(from ? std::string(from) : f->folder + f->temp, &source) || !widen(f->folder + f->name, &name))
        return EINVAL;
    return move_over(source, name) ? 0 : last_error();
}

int output_system_same(const OutputFile& a, const OutputFile& b)
{
    if (a.folder.empty() || b.folder.empty())
        return 0;
    const std::wstring full_a = wide(a.folder + a.name);
    const std::wstring full_b = wide(b.folder + b.name);
    // Names differ in case only for the same file.
    return CompareStringOrdinal(full_a.c_str(), int(full_a.size()), full_b.c_str(), int(full_b.size()), TRUE) ==
           CSTR_EQUAL;
}

void output_system_close(OutputFile* f)
{
    if (f->handle != -1)
        CloseHandle(handle_of(f->handle));
    f->handle = -1;
}

int output_system_make_folder(const std::string& path)
{
    // It takes its parent's permissions.
    return CreateDirectoryW(wide(path).c_str(), nullptr) ? 0 : last_error();
}

unsigned long long output_system_random()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return uint64_t(now.QuadPart) ^ (uint64_t(GetCurrentProcessId()) << 40);
}

// A temporary file still open goes with its handle: it was opened to be
// deleted under it.
void output_system_remove_temp(const OutputFile& f)
{
    DeleteFileW(wide(f.folder + f.temp).c_str());
}

bool output_system_stderr_is_terminal()
{
    DWORD mode;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode);
}

void output_system_catch(void (*on_interrupt)())
{
    interrupt_handler = on_interrupt;
    SetConsoleCtrlHandler(on_console_event, TRUE);
}

// As _exit would, from either thread.
void output_system_exit(const char* line, size_t size)
{
    DWORD written;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), line, DWORD(size), &written, nullptr);
    TerminateProcess(GetCurrentProcess(), 1);
    for (;;)
        Sleep(INFINITE);
}

void output_system_wait()
{
    Sleep(INFINITE);
}
