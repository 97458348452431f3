// tests/platform/test_system_posix.cpp: the tests' system calls on Linux.
#include "tests/platform/test_system.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

size_t test_open_handles()
{
    return size_t(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
}

uint64_t test_bytes_read()
{
    std::ifstream io("/proc/self/io");
    std::string key;
    uint64_t value = 0;
    while (io >> key >> value)
        if (key == "rchar:")
            return value;
    return 0;
}

const char* test_no_fifos()
{
    return nullptr;
}

int test_make_fifo(const std::string& path)
{
    return mkfifo(path.c_str(), 0644) == 0;
}

void test_free_fifo(const std::string& path)
{
    close(open(path.c_str(), O_WRONLY | O_NONBLOCK));
}

const char* test_device_path()
{
    return "/dev/zero";
}

void test_set_env(const char* name, const char* value)
{
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
}

uint8_t* test_pages_before_a_hole(size_t count, size_t* page_bytes)
{
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    *page_bytes = page;
    void* pages = mmap(nullptr, (count + 1) * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (pages == MAP_FAILED)
        return nullptr;
    uint8_t* p = static_cast<uint8_t*>(pages);
    if (mprotect(p + count * page, page, PROT_NONE) != 0) {
        munmap(pages, (count + 1) * page);
        return nullptr;
    }
    return p;
}

void test_free_pages(uint8_t* pages, size_t count)
{
    munmap(pages, (count + 1) * size_t(sysconf(_SC_PAGESIZE)));
}

intptr_t test_open_writer(const std::string& path)
{
    return open(path.c_str(), O_WRONLY);
}

int test_cut(intptr_t writer)
{
    return ftruncate(int(writer), 0) == 0;
}

int test_write_at(intptr_t writer, const void* bytes, size_t size, uint64_t offset)
{
    return pwrite(int(writer), bytes, size, off_t(offset)) == ssize_t(size);
}

void test_close_writer(intptr_t writer)
{
    close(int(writer));
}

static int state_of(const struct stat& st, TestFileState* state)
{
    state->id = uint64_t(st.st_ino);
    state->size = uint64_t(st.st_size);
    return 1;
}

const char* test_no_replace_under_readers()
{
    return nullptr;
}

intptr_t test_hold_file(const std::string& path)
{
    return open(path.c_str(), O_RDONLY);
}

int test_held_state(intptr_t held, TestFileState* state)
{
    struct stat st;
    return fstat(int(held), &st) == 0 && state_of(st, state);
}

void test_release_file(intptr_t held)
{
    close(int(held));
}

int test_named_state(const std::string& path, TestFileState* state)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && state_of(st, state);
}

static const char* needs_root()
{
    return geteuid() == 0 ? nullptr : "making it needs root";
}

std::vector<TestHazard> test_system_hazards()
{
    const auto pipe = [](const std::string& out) -> const char* {
        return mkfifo(out.c_str(), 0644) == 0 ? nullptr : std::strerror(errno);
    };
    // /dev/null's numbers, in our own folder.
    const auto device = [](const std::string& out) -> const char* {
        if (needs_root())
            return needs_root();
        return mknod(out.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0 ? nullptr : std::strerror(errno);
    };
    // In a sticky folder only the file's owner, the folder's or root may
    // replace a file.
    const auto sticky = [](const std::string& out) -> const char* {
        if (needs_root())
            return needs_root();
        std::filesystem::permissions(std::filesystem::path(out).parent_path(),
                                     std::filesystem::perms::all | std::filesystem::perms::sticky_bit);
        std::ofstream(out) << "old";
        return nullptr;
    };
    return {{"a pipe", "OUT", pipe, 0},
            {"a device", "OUT", device, 0},
            {"root's file in a sticky folder", "OUT", sticky, 1}};
}

void test_be_other_user(int other)
{
    // nobody's numbers; the real ids stay root's, so that it may come back.
    if (getuid() != 0)
        return;
    int changed = other ? setegid(65534) | seteuid(65534) : seteuid(0) | setegid(0);
    (void)changed;
}

void test_interrupt_self()
{
    raise(SIGTERM);
}
