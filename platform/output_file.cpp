// platform/output_file.cpp: what writing an output safely is on every
// system: the files the handlers see, the path split, the steps and their
// order, the temporary names and the reasons. Names change on the main
// thread only; the handlers run on whatever thread the system picks.
#include "platform/output_file.h"

#include "platform/output_file_system.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Who may touch the temporary names: the main thread while it changes
// them, or a handler (on any thread) that ends the tool.
enum { names_idle, names_changing, names_exiting };
std::atomic<int> names{names_idle};
std::atomic<int> signalled{0};  // a signal came while the names were changing
std::atomic<int> placed{0};     // an output has taken its name: signals are ignored
static_assert(std::atomic<int>::is_always_lock_free, "read by a signal handler");

// The files between output_check and output_discard; changed only while
// the names are held.
OutputFile* files[8];

char interrupted_line[128];  // "TOOL: interrupted\n", made before any signal
size_t interrupted_size;

void remove_temporary_names()
{
    for (OutputFile* f : files)
        if (f && f->temp[0])
            output_system_remove_temp(*f);
}

[[noreturn]] void exit_interrupted()
{
    remove_temporary_names();
    output_system_exit(interrupted_line, interrupted_size);
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

// Holds the names for the main thread while it changes them; a signal on
// the way takes effect at the end.
struct ChangingNames {
    ChangingNames()
    {
        for (int idle = names_idle; !names.compare_exchange_weak(idle, names_changing); idle = names_idle)
            while (idle == names_exiting)
                output_system_wait();
    }
    ~ChangingNames()
    {
        names.store(names_idle);
        if (signalled.load())
            on_interrupt();
    }
};

int failed(OutputFile* f, int error)
{
    f->error = error;
    return 0;
}

// ".XXXXXX", differing at each attempt.
void make_suffix(char suffix[8], int attempt)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    unsigned long long n = output_system_random() + unsigned(attempt);
    suffix[0] = '.';
    for (int i = 1; i < 7; ++i) {
        suffix[i] = letters[n % 62];
        n /= 62;
    }
    suffix[7] = '\0';
}

// make (output_system_create or _name) under a fresh name.XXXXXX beside
// f's own, into f->temp: 0, or why not.
int with_temp_name(OutputFile* f, int (*make)(OutputFile*))
{
    int error = ENAMETOOLONG;
    for (int attempt = 0; attempt < 100 && f->name.size() + 8 <= sizeof f->temp; ++attempt) {
        char suffix[8];
        make_suffix(suffix, attempt);
        std::snprintf(f->temp, sizeof f->temp, "%s%s", f->name.c_str(), suffix);
        error = make(f);
        if (!error)
            return 0;
        f->temp[0] = '\0';
        if (error != EEXIST)
            break;
    }
    f->temp[0] = '\0';
    return error;
}

int write_all(OutputFile* f, const void* bytes, size_t size, long long offset)
{
    const char* at = static_cast<const char*>(bytes);
    while (size) {
        const long long n = output_system_write(f, at, size, offset);
        if (n < 0)
            return failed(f, int(-n));
        at += n;
        size -= size_t(n);
        if (offset >= 0)
            offset += n;
    }
    return 1;
}

}  // namespace

void output_exit_on_signals(const char* tool)
{
    interrupted_size = size_t(std::snprintf(interrupted_line, sizeof interrupted_line, "%s%s: interrupted\n",
                                            output_system_stderr_is_terminal() ? "\n" : "", tool));
    interrupted_size = interrupted_size < sizeof interrupted_line ? interrupted_size : sizeof interrupted_line - 1;
    output_system_catch(on_interrupt);
    std::atexit([] {
        ChangingNames hold;
        remove_temporary_names();
    });
}

int output_check(OutputFile* f, const char* path)
{
    f->path = path;
    // The folder is what comes before the last separator, itself included.
    const char* end = path;
    for (const char* c = path; *c; ++c)
        if (output_system_separator(path, c))
            end = c + 1;
    f->name = end;
    if (f->name.empty() || f->name == "." || f->name == "..")
        return failed(f, EISDIR);
    ChangingNames hold;
    OutputFile** free_slot = nullptr;
    for (OutputFile*& slot : files)
        if (slot == f || (!slot && !free_slot))
            free_slot = &slot;
    if (!free_slot)
        return failed(f, EMFILE);
    *free_slot = f;
    f->folder = end == path ? "." : std::string(path, end);
    if (int error = output_system_hold_folder(f))
        return failed(f, error);
    if (int error = output_system_look(*f))
        return failed(f, error);
    if (int error = output_system_may_create(*f))
        return failed(f, error);
    return 1;
}

int output_open(OutputFile* f)
{
    int error = output_system_open_unnamed(f);
    if (error == EOPNOTSUPP) {
        ChangingNames hold;
        error = with_temp_name(f, output_system_create);
    }
    return error ? failed(f, error) : 1;
}

int output_write(OutputFile* f, const void* bytes, size_t size)
{
    return write_all(f, bytes, size, -1);
}

int output_write_at(OutputFile* f, const void* bytes, size_t size, off_t offset)
{
    return write_all(f, bytes, size, offset);
}

int output_stage(OutputFile* f)
{
    if (!f->temp[0]) {
        ChangingNames hold;
        if (int error = with_temp_name(f, output_system_name))
            return failed(f, error);
    }
    const int error = output_system_written(f);
    return error ? failed(f, error) : 1;
}

int output_commit(OutputFile* f)
{
    ChangingNames hold;
    // A signal so far still leaves everything as it was.
    if (signalled.load() && !placed.load())
        exit_interrupted();
    // Looked at again: what was checked at the start may have changed since.
    if (int error = output_system_look(*f))
        return failed(f, error);
    // Replaces an old file at once: readers see the old or the new.
    if (int error = output_system_move(f, nullptr))
        return failed(f, error);
    f->temp[0] = '\0';
    placed.store(1);
    return 1;
}

int output_replace_with(OutputFile* f, const char* whole)
{
    const int error = output_system_move(f, whole);
    return error ? failed(f, error) : 1;
}

void output_discard(OutputFile* f)
{
    ChangingNames hold;
    if (f->temp[0])
        output_system_remove_temp(*f);
    output_system_close(f);
    f->temp[0] = '\0';
    for (OutputFile*& slot : files)
        if (slot == f)
            slot = nullptr;
}

int output_same(const OutputFile& a, const OutputFile& b)
{
    return output_system_same(a, b);
}

const char* output_reason(const OutputFile& f)
{
    switch (f.error) {
    case output_not_regular: return "not a regular file; only a regular file is replaced";
    case output_not_owner: return "another user's file in a sticky folder";
    default: return std::strerror(f.error);
    }
}

int output_write_whole(const char* path, const void* bytes, size_t size)
{
    OutputFile f;
    const int written = output_check(&f, path) && output_open(&f) && output_write(&f, bytes, size) &&
                        output_stage(&f) && output_commit(&f);
    output_discard(&f);
    return written;
}

std::string output_new_folder(const char* dir, const char* prefix)
{
    int error = EEXIST;
    for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
        char suffix[8];
        make_suffix(suffix, attempt);
        const std::string folder = std::string(dir) + "/" + prefix + suffix;
        error = output_system_make_folder(folder);
        if (!error)
            return folder;
    }
    errno = error;
    return std::string();
}
