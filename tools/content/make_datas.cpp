// make-datas DIR: writes the disk's twelve modules and four pictures into
// DIR (created if missing). Same bytes on every run and machine.
#include "tools/content/pictures/pictures.h"
#include "tools/content/tracks/tracks.h"

#include <chrono>
#include <cstdio>
#include <filesystem>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-datas DIR\n");
        return 2;
    }
    std::error_code ec;
    std::filesystem::create_directories(argv[1], ec);
    if (ec) {
        std::fprintf(stderr, "make-datas: cannot create %s: %s\n", argv[1], ec.message().c_str());
        return 1;
    }
    auto start = std::chrono::steady_clock::now();
    if (!tracks_write_all(argv[1]) || !pictures_write_all(argv[1])) {
        std::fprintf(stderr, "make-datas: writing into %s failed\n", argv[1]);
        return 1;
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("make-datas: wrote %s in %.2f s\n", argv[1], seconds);
    return 0;
}
