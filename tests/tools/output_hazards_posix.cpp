// tests/tools/output_hazards_posix.cpp: pipes, links, folders, devices
// and another user's file in a sticky folder. Test thread.
#include "tests/tools/output_hazards.h"

#include "tests/tools/tool_process.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

static const char* needs_root()
{
    return geteuid() == 0 ? nullptr : "making it needs root";
}

std::vector<Hazard> output_hazards()
{
    return {
        {"a pipe", "OUT",
         [](const std::string& out) -> const char* {
             return mkfifo(out.c_str(), 0644) == 0 ? nullptr : std::strerror(errno);
         },
         ""},
        {"a link to a file", "OUT",
         [](const std::string& out) -> const char* {
             std::ofstream(fs::path(out).parent_path() / "target") << "old";
             fs::create_symlink("target", out);
             return nullptr;
         },
         ""},
        {"a folder", "OUT",
         [](const std::string& out) -> const char* {
             fs::create_directory(out);
             return nullptr;
         },
         ""},
        // /dev/null's numbers, in our own folder.
        {"a device", "OUT",
         [](const std::string& out) {
             const char* why = needs_root();
             if (!why)
                 mknod(out.c_str(), S_IFCHR | 0666, makedev(1, 3));
             return why;
         },
         ""},
        // In a sticky folder only the file's owner, the folder's or root
        // may replace a file.
        {"root's file in a sticky folder", "OUT",
         [](const std::string& out) {
             const char* why = needs_root();
             if (!why) {
                 fs::permissions(fs::path(out).parent_path(), fs::perms::all | fs::perms::sticky_bit);
                 std::ofstream(out) << "old";
             }
             return why;
         },
         "setpriv --reuid=65534 --regid=65534 --clear-groups "},
    };
}

std::string what_is(const std::string& path)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        return "nothing";
    if (S_ISCHR(st.st_mode))
        return "char device " + std::to_string(major(st.st_rdev)) + "," + std::to_string(minor(st.st_rdev));
    if (S_ISFIFO(st.st_mode))
        return "pipe";
    if (S_ISLNK(st.st_mode))
        return "link to " + fs::read_symlink(path).string();
    if (S_ISDIR(st.st_mode))
        return "folder";
    const std::string text = read_text(path);
    return text.size() > 40 ? "file of " + std::to_string(text.size()) + " bytes" : "file '" + text + "'";
}
