// tests/platform/test_system.h: what the tests ask of the operating system
// where Linux and Windows differ; each system has a file of its own
// (test_system_posix.cpp, test_system_windows.cpp), chosen by the build.
// Any thread.
#pragma once
#include "platform/output_file.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The descriptors (handles on Windows) this process holds open.
size_t test_open_handles();
// Bytes this process has read through read() and its kin (ReadFile).
uint64_t test_bytes_read();

// Why this system keeps no named pipes (FIFOs) among its files (Windows,
// whose pipes live apart), or null when it does.
const char* test_no_fifos();
// A named pipe at path that nobody writes, where test_no_fifos() is null:
// 1, or 0 when it could not be made. Only such a pipe can stall an open.
int test_make_fifo(const std::string& path);
// Frees a thread stuck opening the pipe at path: a writer comes and goes.
void test_free_fifo(const std::string& path);
// A device that reads endlessly where the system has one (/dev/zero), else
// the null device (NUL): no data file either way.
const char* test_device_path();

// Sets the environment variable name to value, or removes it for null.
void test_set_env(const char* name, const char* value);

// Pages that may be read and written, count of them, with one that may not
// be touched right after: a read past the last shows at once. Their size in
// *page_bytes; null on failure. Freed with test_free_pages.
uint8_t* test_pages_before_a_hole(size_t count, size_t* page_bytes);
void test_free_pages(uint8_t* pages, size_t count);

// Another writer of an existing file, as an outside program would be: it
// shares the file with readers, cuts it and writes it at offsets. -1 when
// it cannot be opened.
intptr_t test_open_writer(const std::string& path);
int test_cut(intptr_t writer);  // to nothing; 1 or 0
int test_write_at(intptr_t writer, const void* bytes, size_t size, uint64_t offset);  // 1 when all written
void test_close_writer(intptr_t writer);

// A file's identity (inode, or file index) and size, named or held open.
struct TestFileState {
    uint64_t id;
    uint64_t size;
};
// Why a file that readers hold open cannot be replaced under them here
// (Windows before 10 1709, and Wine, have no POSIX rename), or null when it
// can.
const char* test_no_replace_under_readers();
// A reader holding a file open as the disk does, letting others replace it
// meanwhile. -1 when it cannot be opened.
intptr_t test_hold_file(const std::string& path);
int test_held_state(intptr_t held, TestFileState* state);  // 1, or 0
void test_release_file(intptr_t held);
int test_named_state(const std::string& path, TestFileState* state);  // 1, or 0

// What may stand at an output's name instead of a regular file we may
// replace, for the output tests: beside a folder and a symbolic link, which
// every system has, this system's own.
struct TestHazard {
    const char* name;
    const char* out_name;  // the output's name in its folder
    // Makes it at out, in a fresh folder: null when made, or why it cannot
    // be made here (by this user, on this system).
    const char* (*make)(const std::string& out);
    int other_user;  // looked at by a user who owns neither it nor its folder
};
std::vector<TestHazard> test_system_hazards();
// From now on this process acts as an unprivileged user of its own, or as
// itself again (0). Only where it may (as root), and on Linux.
void test_be_other_user(int other);
// Ends this process as a terminal's interrupt would: SIGTERM, or Ctrl+C.
void test_interrupt_self();

// A fixture file written whole, as the generators write theirs. 1, or 0.
inline int test_write_file(const std::string& path, const std::vector<uint8_t>& bytes)
{
    return output_write_whole(path.c_str(), bytes.data(), bytes.size());
}
