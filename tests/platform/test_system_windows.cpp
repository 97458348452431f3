// tests/platform/test_system_windows.cpp: the tests' system calls on Windows.
#include "tests/platform/test_system.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

static std::wstring wide(const std::string& path)
{
    return std::filesystem::path(path).wstring();
}

size_t test_open_handles()
{
    DWORD count = 0;
    GetProcessHandleCount(GetCurrentProcess(), &count);
    return count;
}

uint64_t test_bytes_read()
{
    IO_COUNTERS io = {};
    GetProcessIoCounters(GetCurrentProcess(), &io);
    return io.ReadTransferCount;
}

const char* test_no_fifos()
{
    return "Windows keeps its pipes apart from its files (\\\\.\\pipe\\)";
}

int test_make_fifo(const std::string&)
{
    return 0;
}

void test_free_fifo(const std::string&)
{
}

const char* test_device_path()
{
    return "NUL";
}

void test_set_env(const char* name, const char* value)
{
    // An empty value removes it, from the C runtime's copy and the system's.
    _putenv_s(name, value ? value : "");
}

uint8_t* test_pages_before_a_hole(size_t count, size_t* page_bytes)
{
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const size_t page = info.dwPageSize;
    *page_bytes = page;
    void* pages = VirtualAlloc(nullptr, (count + 1) * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    auto* p = static_cast<uint8_t*>(pages);
    DWORD was;
    if (p && !VirtualProtect(p + count * page, page, PAGE_NOACCESS, &was)) {
        VirtualFree(p, 0, MEM_RELEASE);
        return nullptr;
    }
    return p;
}

void test_free_pages(uint8_t* pages, size_t)
{
    VirtualFree(pages, 0, MEM_RELEASE);
}

// Shared as the disk's reader shares: anyone may read, write or replace it.
constexpr DWORD share_all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

static intptr_t handle_or_minus_one(HANDLE h)
{
    return h == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<intptr_t>(h);
}

intptr_t test_open_writer(const std::string& path)
{
    return handle_or_minus_one(
        CreateFileW(wide(path).c_str(), GENERIC_WRITE, share_all, nullptr, OPEN_EXISTING, 0, nullptr));
}

int test_cut(intptr_t writer)
{
    const HANDLE h = reinterpret_cast<HANDLE>(writer);
    LARGE_INTEGER zero = {};
    return SetFilePointerEx(h, zero, nullptr, FILE_BEGIN) && SetEndOfFile(h);
}

int test_write_at(intptr_t writer, const void* bytes, size_t size, uint64_t offset)
{
    OVERLAPPED at = {};
    at.Offset = DWORD(offset);
    at.OffsetHigh = DWORD(offset >> 32);
    DWORD n = 0;
    return WriteFile(reinterpret_cast<HANDLE>(writer), bytes, DWORD(size), &n, &at) && n == size;
}

void test_close_writer(intptr_t writer)
{
    CloseHandle(reinterpret_cast<HANDLE>(writer));
}

static int state_of(HANDLE h, TestFileState* state)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info))
        return 0;
    state->id = uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
    state->size = uint64_t(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
    return 1;
}

// Tried once on two files of the temporary folder, the way the tools
// replace files (output_file_windows.cpp).
const char* test_no_replace_under_readers()
{
    static const char* why = [] {
        const std::string from = testing::TempDir() + "replace_probe_new", to = testing::TempDir() + "replace_probe";
        std::ofstream(from) << "new";
        std::ofstream(to) << "old";
        const intptr_t reader = test_hold_file(to);
        const HANDLE h = CreateFileW(wide(from).c_str(), DELETE | SYNCHRONIZE, share_all, nullptr, OPEN_EXISTING, 0,
                                     nullptr);
        const std::wstring name = std::filesystem::absolute(to).wstring();
        std::string buffer(sizeof(FILE_RENAME_INFO) + name.size() * sizeof(wchar_t), '\0');
        auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
        rename->Flags = FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS;
        rename->FileNameLength = DWORD(name.size() * sizeof(wchar_t));
        std::memcpy(rename->FileName, name.c_str(), rename->FileNameLength);
        const bool replaced = h != INVALID_HANDLE_VALUE &&
                              SetFileInformationByHandle(h, FILE_INFO_BY_HANDLE_CLASS(22),  // FileRenameInfoEx
                                                         rename, DWORD(buffer.size()));
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
        if (reader != -1)
            test_release_file(reader);
        std::remove(from.c_str());
        std::remove(to.c_str());
        return replaced ? nullptr
                        : "no POSIX rename here (Windows before 10 1709, or Wine): a file held open is not replaced";
    }();
    return why;
}

intptr_t test_hold_file(const std::string& path)
{
    return handle_or_minus_one(
        CreateFileW(wide(path).c_str(), GENERIC_READ, share_all, nullptr, OPEN_EXISTING, 0, nullptr));
}

int test_held_state(intptr_t held, TestFileState* state)
{
    return state_of(reinterpret_cast<HANDLE>(held), state);
}

void test_release_file(intptr_t held)
{
    CloseHandle(reinterpret_cast<HANDLE>(held));
}

int test_named_state(const std::string& path, TestFileState* state)
{
    const HANDLE h = CreateFileW(wide(path).c_str(), FILE_READ_ATTRIBUTES, share_all, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    const int known = state_of(h, state);
    CloseHandle(h);
    return known;
}

// NUL names the null device in any folder.
std::vector<TestHazard> test_system_hazards()
{
    return {{"a device's name", "NUL", [](const std::string&) -> const char* { return nullptr; }, 0}};
}

void test_be_other_user(int)
{
}

// As the console does: its routine on a thread of its own in the process.
void test_interrupt_self()
{
    const auto routine = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernelbase.dll"), "CtrlRoutine")));
    void* const event = reinterpret_cast<void*>(uintptr_t(CTRL_C_EVENT));
    const HANDLE thread = CreateThread(nullptr, 0, routine, event, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
}
