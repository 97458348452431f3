// platform/output_file_posix.cpp: outputs written unnamed (O_TMPFILE) and
// linked into place, the folder held open by its descriptor, and the
// signals that end a tool. Main thread, but the handler's calls.
#include "platform/output_file_system.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

static void (*interrupt_handler)();

static int fd(intptr_t handle)
{
    return int(handle);
}

bool output_system_separator(const char*, const char* c)
{
    return *c == '/';
}

int output_system_hold_folder(OutputFile* f)
{
    // So that a later chdir (render-video's -C) does not move the output.
    f->folder_handle = open(f->folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    return f->folder_handle < 0 ? errno : 0;
}

int output_system_look(const OutputFile& f)
{
    struct stat st;
    if (fstatat(fd(f.folder_handle), f.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? 0 : errno;
    if (!S_ISREG(st.st_mode))
        return S_ISDIR(st.st_mode) ? EISDIR : output_not_regular;
    // In a sticky folder only the file's owner, the folder's owner or root
    // may rename over it.
    struct stat folder;
    if (fstat(fd(f.folder_handle), &folder) != 0)
        return errno;
    const uid_t me = geteuid();
    if ((folder.st_mode & S_ISVTX) && me != 0 && me != st.st_uid && me != folder.st_uid)
        return output_not_owner;
    return 0;
}

int output_system_may_create(const OutputFile& f)
{
    return faccessat(fd(f.folder_handle), ".", W_OK | X_OK, AT_EACCESS) != 0 ? errno : 0;
}

int output_system_open_unnamed(OutputFile* f)
{
    // 0666: the kernel takes the umask off, as for any new file.
    f->handle = openat(fd(f->folder_handle), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (f->handle >= 0)
        return 0;
    // EOPNOTSUPP: a filesystem without unnamed files; EISDIR: a kernel
    // without them.
    return errno == EISDIR ? EOPNOTSUPP : errno;
}

int output_system_create(OutputFile* f)
{
    f->handle = openat(fd(f->folder_handle), f->temp, O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
    return f->handle < 0 ? errno : 0;
}

int output_system_name(OutputFile* f)
{
    // Linking the descriptor itself (AT_EMPTY_PATH) needs a capability;
    // its /proc name followed as a link does not.
    char self[32];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd(f->handle));
    return linkat(AT_FDCWD, self, fd(f->folder_handle), f->temp, AT_SYMLINK_FOLLOW) != 0 ? errno : 0;
}

int output_system_written(OutputFile*)
{
    return 0;
}

long long output_system_write(OutputFile* f, const void* bytes, size_t size, long long offset)
{
    for (;;) {
        const ssize_t n = offset < 0 ? write(fd(f->handle), bytes, size) : pwrite(fd(f->handle), bytes, size, offset);
        if (n >= 0)
            return n;
        if (errno != EINTR)
            return -errno;
    }
}

int output_system_move(OutputFile* f, const char* from)
{
    const int from_folder = from ? AT_FDCWD : fd(f->folder_handle);
    return renameat(from_folder, from ? from : f->temp, fd(f->folder_handle), f->name.c_str()) != 0 ? errno : 0;
}

int output_system_same(const OutputFile& a, const OutputFile& b)
{
    struct stat sa, sb;
    if (fstat(fd(a.folder_handle), &sa) != 0 || fstat(fd(b.folder_handle), &sb) != 0)
        return 0;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino && a.name == b.name;
}

void output_system_close(OutputFile* f)
{
    if (f->handle >= 0)
        close(fd(f->handle));
    if (f->folder_handle >= 0)
        close(fd(f->folder_handle));
    f->handle = -1;
    f->folder_handle = -1;
}

int output_system_make_folder(const std::string& path)
{
    return mkdir(path.c_str(), 0700) != 0 ? errno : 0;
}

unsigned long long output_system_random()
{
    unsigned long long n = 0;
    // getentropy, not getrandom: the browser's C library has only the former.
    if (getentropy(&n, sizeof n) != 0)
        n = (unsigned long long)getpid() << 8;
    return n;
}

void output_system_remove_temp(const OutputFile& f)
{
    unlinkat(fd(f.folder_handle), f.temp, 0);
}

bool output_system_stderr_is_terminal()
{
    return isatty(STDERR_FILENO);
}

static void on_signal(int)
{
    interrupt_handler();
}

void output_system_catch(void (*on_interrupt)())
{
    interrupt_handler = on_interrupt;
    struct sigaction on{};
    on.sa_handler = on_signal;
    on.sa_flags = SA_RESTART;
    sigemptyset(&on.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        sigaction(s, &on, nullptr);
    signal(SIGXFSZ, SIG_IGN);
}

void output_system_exit(const char* line, size_t size)
{
    ssize_t ignored = write(STDERR_FILENO, line, size);
    (void)ignored;
    _exit(1);
}

void output_system_wait()
{
    pause();
}
