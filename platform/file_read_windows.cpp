// platform/file_read_windows.cpp: whole files read with CreateFileW and
// ReadFile. Any thread.
#include "platform/file_read.h"

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

int platform_read_file(const char* path, size_t max_bytes, PlatformFileBytes* out)
{
    out->data = nullptr;
    out->size = 0;
    if (!path)
        return 0;
    wchar_t* wide = wide_path(path);
    if (!wide || names_a_device(wide)) {
        std::free(wide);
        return 0;
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
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    uint8_t* data = nullptr;
    size_t size = 0, got = 0;
    bool failed = true;
    BY_HANDLE_FILE_INFORMATION info;
    LARGE_INTEGER length;
    // Only a file on a disk: NUL, CON and the other device names, a pipe or
    // a console are refused as missing, before anything is read.
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !GetFileSizeEx(file, &length) ||
        length.QuadPart <= 0 || uint64_t(length.QuadPart) > max_bytes)
        goto done;
    size = size_t(length.QuadPart);
    data = static_cast<uint8_t*>(std::malloc(size));
    if (!data)
        goto done;
    // Up to the size seen: a file that grows meanwhile is read to that
    // point, one that shrinks up to its new end and no further. A range
    // another process has locked fails the read, and with it the file.
    for (;;) {
        if (got == size) {
            failed = false;
            break;
        }
        const DWORD want = size - got < read_chunk_bytes ? DWORD(size - got) : read_chunk_bytes;
        DWORD n = 0;
        const BOOL read = ReadFile(file, data + got, want, &n, nullptr);
        if (!read || n == 0) {
            failed = !read || got == 0;
            break;
        }
        got += n;
    }
done:
    CloseHandle(file);
    if (failed) {
        std::free(data);
        return 0;
    }
    out->data = data;
    out->size = got;
    return 1;
}

void platform_free_file(PlatformFileBytes* bytes)
{
    std::free(bytes->data);
    bytes->data = nullptr;
    bytes->size = 0;
}
