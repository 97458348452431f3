// make-datas DIR: writes the disk's twelve modules and four pictures into
// DIR (created if missing). Same bytes on every run and machine. Each file
// is written whole under a temporary folder in DIR, then renamed over its
// older self, so that a program reading or mapping the old one meanwhile
// sees the old file or the new one, never half of one; only regular files
// are replaced. Its usage is what make-datas --help prints.
#include "content/pictures/pictures.h"
#include "content/tracks/tracks.h"
#include "platform/output_file.h"
#include "tools/arguments.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

static std::string staging;  // DIR/.make-datas.XXXXXX while it exists

// Each file of staging moved over its name in dir: all are looked at
// first, so that one that cannot be replaced stops the run before any
// moves. 1, or 0 after a line on stderr.
static int move_into(const std::string& dir)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator e(tool_path(staging), ec), end; !ec && e != end; e.increment(ec)) {
        const std::u8string name = e->path().filename().u8string();
        names.emplace_back(name.begin(), name.end());
    }
    if (ec) {
        std::fprintf(stderr, "make-datas: cannot list '%s': %s\n", staging.c_str(), ec.message().c_str());
        return 0;
    }
    for (bool move : {false, true}) {
        for (const std::string& name : names) {
            OutputFile f;  // discarded before the next
            const std::string path = dir + "/" + name;
            int ok = output_check(&f, path.c_str());
            if (ok && move)
                ok = output_replace_with(&f, (staging + "/" + name).c_str());
            if (!ok)
                std::fprintf(stderr, "make-datas: cannot write '%s': %s\n", path.c_str(), output_reason(f));
            output_discard(&f);
            if (!ok)
                return 0;
        }
    }
    return 1;
}

// The one statement of the usage: the README and the manual page show it
// too, and a test holds them to it.
static void print_usage(FILE* to)
{
    std::fprintf(to, "usage: make-datas DIR\n");
}

// One line on standard error; status 2, that of a wrong command line.
static int usage(const char* why)
{
    std::fprintf(stderr, "make-datas: %s (see make-datas --help)\n", why);
    return 2;
}

int main(int argc, char** argv)
{
    const char* dir = nullptr;
    for (int i = 1; i < argc; ++i) {
        // Before any folder is made: an option is never taken for its name.
        if (int status = tool_other_argument("make-datas", argv[i], print_usage); status >= 0)
            return status;
        if (dir)
            return usage("one folder only");
        dir = argv[i];
    }
    if (!dir)
        return usage("needs a folder to write into");
    std::error_code ec;
    fs::create_directories(tool_path(dir), ec);
    const std::string folder = ec ? std::string() : output_new_folder(dir, ".make-datas");
    if (folder.empty()) {
        std::fprintf(stderr, "make-datas: cannot write into %s: %s\n", dir,
                     ec ? ec.message().c_str() : std::strerror(errno));
        return 1;
    }
    staging = folder;
    // Whatever way the run ends, but a kill, the staging folder goes.
    std::atexit([] {
        std::error_code ignored;
        fs::remove_all(tool_path(staging), ignored);
    });
    auto start = std::chrono::steady_clock::now();
    if (!tracks_write_all(staging.c_str()) || !pictures_write_all(staging.c_str())) {
        std::fprintf(stderr, "make-datas: writing into %s failed\n", dir);
        return 1;
    }
    if (!move_into(dir))
        return 1;
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("make-datas: wrote %s in %.2f s\n", dir, seconds);
    return 0;
}
