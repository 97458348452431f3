// platform/file_read_windows.cpp: files read with CreateFileW and ReadFile.
// Any thread.
#include "platform/file_read_system.h"

#include <windows.h>

#include <cstdlib>
#include <cwchar>
#include <cwctype>

// What one ReadFile asks for at most: its count is 32 bits.
constexpr DWORD read_chunk_bytes = 1u << 30;

// path, UTF-8, as a fresh wide string; null when it is not UTF-8.
static wchar_t* wide_path(const char* path)
{
    const int count = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, nullptr, 0);
    if (count <= 0)
        return nullptr;
    wchar_t* wide = static_cast<wchar_t*>(std::malloc(sizeof(wchar_t) * size_t(count)));
    if (wide && MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, wide, count) != count) {
        std::free(wide);
        wide = nullptr;
    }
    return wide;
}

// Names in the device namespace (\\.\NUL, \\.\pipe\NAME, \\?\COM1, and what
// NUL, CON, COM1 or LPT1 stand for in any folder) are never opened: an open
// alone may connect to a pipe's server or wake a port.
static bool names_a_device(const wchar_t* path)
{
    const DWORD count = GetFullPathNameW(path, 0, nullptr, nullptr);
    wchar_t* full = count ? static_cast<wchar_t*>(std::malloc(sizeof(wchar_t) * count)) : nullptr;
    bool device = true;
    if (full && GetFullPathNameW(path, count, full, nullptr) < count) {
        if (std::wcsncmp(full, LR"(\\?\)", 4) == 0)  // \\?\C:\... and \\?\UNC\... are files
            device = !(std::iswalpha(full[4]) && full[5] == L':') && std::wcsncmp(full + 4, LR"(UNC\)", 4) != 0;
        else
            device = std::wcsncmp(full, LR"(\\.\)", 4) == 0;
    }
    std::free(full);
    return device;
}

intptr_t file_read_system_open(const char* path)
{
    wchar_t* wide = wide_path(path);
    if (!wide || names_a_device(wide)) {
        std::free(wide);
        return -1;
    }
    // Others may go on reading, writing, renaming or deleting it meanwhile,
    // as on other systems: make-datas replaces a file the disk is reading.
    // A folder does not open without FILE_FLAG_BACKUP_SEMANTICS. A pipe
    // server is never impersonated.
    const HANDLE file = CreateFileW(wide, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING,
                                    FILE_FLAG_SEQUENTIAL_SCAN | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
                                    nullptr);
    std::free(wide);
    return reinterpret_cast<intptr_t>(file);  // INVALID_HANDLE_VALUE is -1
}

int64_t file_read_system_size(intptr_t file)
{
    const HANDLE h = reinterpret_cast<HANDLE>(file);
    BY_HANDLE_FILE_INFORMATION info;
    LARGE_INTEGER length;
    // Only a file on a disk: NUL, CON and the other device names, a pipe or
    // a console are refused as missing, before anything is read.
    if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !GetFileSizeEx(h, &length))
        return -1;
    return length.QuadPart;
}

uint8_t* file_read_system_buffer(size_t size)
{
    return static_cast<uint8_t*>(std::malloc(size));
}

// A range another process has locked fails the read, and with it the file.
int64_t file_read_system_read(intptr_t file, uint8_t* into, size_t size)
{
    const DWORD want = size < read_chunk_bytes ? DWORD(size) : read_chunk_bytes;
    DWORD n = 0;
    return ReadFile(reinterpret_cast<HANDLE>(file), into, want, &n, nullptr) ? int64_t(n) : -1;
}

void file_read_system_close(intptr_t file)
{
    CloseHandle(reinterpret_cast<HANDLE>(file));
}
