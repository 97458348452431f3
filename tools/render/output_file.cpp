// tools/render/output_file.cpp: output files written unnamed and linked into place
// at the end. One thread at a time per file.
#include "tools/render/output_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

int failed(OutputFile* f)
{
    f->error = errno;
    return 0;
}

// A name beside f's own that differs at each attempt: name.XXXXXX.
std::string temp_name(const OutputFile& f, int attempt)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    unsigned long long n = 0;
    if (getrandom(&n, sizeof n, GRND_NONBLOCK) != ssize_t(sizeof n))
        n = (unsigned long long)getpid() << 8;
    n += unsigned(attempt);
    std::string temp = f.name + ".";
    for (int i = 0; i < 6; ++i) {
        temp += letters[n % 62];
        n /= 62;
    }
    return temp;
}

}  // namespace

int output_check(OutputFile* f, const char* path)
{
    f->path = path;
    const char* slash = std::strrchr(path, '/');
    const std::string folder = !slash ? "." : slash == path ? "/" : std::string(path, slash);
    f->name = slash ? slash + 1 : path;
    // The folder is held open, so that a later chdir (render-video's -C)
    // does not move the output.
    f->folder = open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (f->folder < 0)
        return failed(f);
    struct stat st;
    if (f->name.empty() || (fstatat(f->folder, f->name.c_str(), &st, 0) == 0 && S_ISDIR(st.st_mode))) {
        f->error = EISDIR;
        return 0;
    }
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
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string temp = temp_name(*f, attempt);
        f->fd = openat(f->folder, temp.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
        if (f->fd >= 0) {
            f->temp = temp;
            return 1;
        }
        if (errno != EEXIST)
            break;
    }
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

int output_stage(OutputFile* f)
{
    if (!f->temp.empty())
        return 1;
    // Linking the descriptor itself (AT_EMPTY_PATH) needs a capability;
    // its /proc name followed as a link does not.
    char self[32];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", f->fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string temp = temp_name(*f, attempt);
        if (linkat(AT_FDCWD, self, f->folder, temp.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            f->temp = temp;
            return 1;
        }
        if (errno != EEXIST)
            break;
    }
    return failed(f);
}

int output_commit(OutputFile* f)
{
    // rename replaces an old file at once: readers see the old or the new.
    if (renameat(f->folder, f->temp.c_str(), f->folder, f->name.c_str()) != 0)
        return failed(f);
    f->temp.clear();
    return 1;
}

void output_discard(OutputFile* f)
{
    if (!f->temp.empty())
        unlinkat(f->folder, f->temp.c_str(), 0);
    if (f->fd >= 0)
        close(f->fd);
    if (f->folder >= 0)
        close(f->folder);
    f->temp.clear();
    f->fd = -1;
    f->folder = -1;
}

int output_same(const OutputFile& a, const OutputFile& b)
{
    struct stat sa, sb;
    if (fstat(a.folder, &sa) != 0 || fstat(b.folder, &sb) != 0)
        return 0;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino && a.name == b.name;
}
