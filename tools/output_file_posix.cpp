// tools/output_file_posix.cpp: output files written unnamed and linked into place
// at the end, over regular files only, and the signals that end a tool
// without leaving a temporary name. Names change on the main thread only.
#include "tools/output_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Who may touch the temporary names: the main thread while it changes
// them, or a signal handler (on any thread) that ends the tool.
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
            unlinkat(f->folder, f->temp, 0);
}

[[noreturn]] void exit_interrupted()
{
    remove_temporary_names();
    ssize_t ignored = write(STDERR_FILENO, interrupted_line, interrupted_size);
    (void)ignored;
    _exit(1);
}

void on_signal(int)
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
                pause();  // a handler is ending the process
    }
    ~ChangingNames()
    {
        names.store(names_idle);
        if (signalled.load())
            on_signal(0);
    }
};

int failed(OutputFile* f)
{
    f->error = errno;
    return 0;
}

// A name beside f's own that differs at each attempt, name.XXXXXX, into
// f->temp. 0 when it would be too long.
int make_temp_name(OutputFile* f, int attempt)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    if (f->name.size() + 8 > sizeof f->temp) {
        errno = ENAMETOOLONG;
        return 0;
    }
    unsigned long long n = 0;
    if (getrandom(&n, sizeof n, GRND_NONBLOCK) != ssize_t(sizeof n))
        n = (unsigned long long)getpid() << 8;
    n += unsigned(attempt);
    char suffix[8] = {'.'};
    for (int i = 1; i < 7; ++i) {
        suffix[i] = letters[n % 62];
        n /= 62;
    }
    std::snprintf(f->temp, sizeof f->temp, "%s%s", f->name.c_str(), suffix);
    return 1;
}

// What the name holds now: 1 when nothing or a regular file, else 0 with
// the reason in f->error.
int replaceable(OutputFile* f)
{
    struct stat st;
    if (fstatat(f->folder, f->name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? 1 : failed(f);
    if (!S_ISREG(st.st_mode)) {
        f->error = S_ISDIR(st.st_mode) ? EISDIR : output_not_regular;
        return 0;
    }
    // In a sticky folder only the file's owner, the folder's owner or root
    // may rename over it.
    struct stat folder;
    if (fstat(f->folder, &folder) != 0)
        return failed(f);
    const uid_t me = geteuid();
    if ((folder.st_mode & S_ISVTX) && me != 0 && me != st.st_uid && me != folder.st_uid) {
        f->error = output_not_owner;
        return 0;
    }
    return 1;
}

}  // namespace

void output_exit_on_signals(const char* tool)
{
    interrupted_size = size_t(std::snprintf(interrupted_line, sizeof interrupted_line, "%s%s: interrupted\n",
                                            isatty(STDERR_FILENO) ? "\n" : "", tool));
    interrupted_size = interrupted_size < sizeof interrupted_line ? interrupted_size : sizeof interrupted_line - 1;
    struct sigaction on{};
    on.sa_handler = on_signal;
    on.sa_flags = SA_RESTART;
    sigemptyset(&on.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        sigaction(s, &on, nullptr);
    signal(SIGXFSZ, SIG_IGN);
    std::atexit([] {
        ChangingNames hold;
        remove_temporary_names();
    });
}

int output_check(OutputFile* f, const char* path)
{
    f->path = path;
    const char* slash = std::strrchr(path, '/');
    const std::string folder = !slash ? "." : slash == path ? "/" : std::string(path, slash);
    f->name = slash ? slash + 1 : path;
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
    // The folder is held open, so that a later chdir (render-video's -C)
    // does not move the output.
    f->folder = open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (f->folder < 0)
        return failed(f);
    if (!replaceable(f))
        return 0;
    if (faccessat(f->folder, ".", W_OK | X_OK, AT_EACCESS) != 0)
        return failed(f);
    return 1;
}

int output_open(OutputFile* f)
{
    // 0666: the kernel takes the umask off, as for any new file.
    f->fd = openat(f->folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (f->fd >= 0)
        return 1;
    // EOPNOTSUPP: a filesystem without unnamed files; EISDIR: a kernel
    // without them.
    if (errno != EOPNOTSUPP && errno != EISDIR)
        return failed(f);
    ChangingNames hold;
    for (int attempt = 0; attempt < 100 && make_temp_name(f, attempt); ++attempt) {
        f->fd = openat(f->folder, f->temp, O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
        if (f->fd >= 0)
            return 1;
        f->temp[0] = '\0';
        if (errno != EEXIST)
            break;
    }
    f->temp[0] = '\0';
    return failed(f);
}

int output_write(OutputFile* f, const void* bytes, size_t size)
{
    const char* at = static_cast<const char*>(bytes);
    while (size) {
        ssize_t n = write(f->fd, at, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return failed(f);
        at += n;
        size -= size_t(n);
    }
    return 1;
}

int output_write_at(OutputFile* f, const void* bytes, size_t size, off_t offset)
{
    const char* at = static_cast<const char*>(bytes);
    while (size) {
        ssize_t n = pwrite(f->fd, at, size, offset);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return failed(f);
        at += n;
        offset += n;
        size -= size_t(n);
    }
    return 1;
}

int output_stage(OutputFile* f)
{
    if (f->temp[0])
        return 1;
    // Linking the descriptor itself (AT_EMPTY_PATH) needs a capability;
    // its /proc name followed as a link does not.
    char self[32];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", f->fd);
    ChangingNames hold;
    for (int attempt = 0; attempt < 100 && make_temp_name(f, attempt); ++attempt) {
        if (linkat(AT_FDCWD, self, f->folder, f->temp, AT_SYMLINK_FOLLOW) == 0)
            return 1;
        f->temp[0] = '\0';
        if (errno != EEXIST)
            break;
    }
    f->temp[0] = '\0';
    return failed(f);
}

int output_commit(OutputFile* f)
{
    ChangingNames hold;
    // A signal so far still leaves everything as it was.
    if (signalled.load() && !placed.load())
        exit_interrupted();
    // Looked at again: what was checked at the start may have changed since.
    if (!replaceable(f))
        return 0;
    // rename replaces an old file at once: readers see the old or the new.
    if (renameat(f->folder, f->temp, f->folder, f->name.c_str()) != 0)
        return failed(f);
    f->temp[0] = '\0';
    placed.store(1);
    return 1;
}

int output_replace_with(OutputFile* f, const char* whole)
{
    if (renameat(AT_FDCWD, whole, f->folder, f->name.c_str()) != 0)
        return failed(f);
    return 1;
}

void output_discard(OutputFile* f)
{
    ChangingNames hold;
    if (f->temp[0])
        unlinkat(f->folder, f->temp, 0);
    if (f->fd >= 0)
        close(f->fd);
    if (f->folder >= 0)
        close(f->folder);
    f->temp[0] = '\0';
    f->fd = -1;
    f->folder = -1;
    for (OutputFile*& slot : files)
        if (slot == f)
            slot = nullptr;
}

int output_same(const OutputFile& a, const OutputFile& b)
{
    struct stat sa, sb;
    if (fstat(a.folder, &sa) != 0 || fstat(b.folder, &sb) != 0)
        return 0;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino && a.name == b.name;
}

const char* output_reason(const OutputFile& f)
{
    switch (f.error) {
    case output_not_regular: return "not a regular file; only a regular file is replaced";
    case output_not_owner: return "another user's file in a sticky folder";
    default: return std::strerror(f.error);
    }
}
