// content/staging_folder_windows.cpp: the staging folder made by
// CreateDirectoryW under a name no folder holds yet; it takes its parent's
// permissions. Main thread.
#include "content/staging_folder.h"

#include <windows.h>

#include <cerrno>
#include <filesystem>

std::string make_staging_folder(const std::string& dir)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    unsigned long long seed = uint64_t(now.QuadPart) ^ (uint64_t(GetCurrentProcessId()) << 40);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string folder = dir + "/.make-datas.";
        unsigned long long n = seed + unsigned(attempt);
        for (int i = 0; i < 6; ++i) {
            folder += letters[n % 62];
            n /= 62;
        }
        // The path as UTF-8, as every tool's paths are.
        const std::wstring wide = std::filesystem::u8path(folder).wstring();
        if (CreateDirectoryW(wide.c_str(), nullptr))
            return folder;
        const DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS) {
            errno = error == ERROR_ACCESS_DENIED ? EACCES : error == ERROR_PATH_NOT_FOUND ? ENOENT : EIO;
            return std::string();
        }
    }
    errno = EEXIST;
    return std::string();
}
