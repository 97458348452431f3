// bench/app/disk_bench.cpp: the program's figures, measured on the real
// thing. Each figure runs in a child process of its own, because the
// program's state is made to live once per process. Run from the build
// tree (where datas/ is), with a display; audio goes to SDL's dummy driver
// unless SDL_AUDIODRIVER says otherwise.
//
//   start-up: the fullscreen question answered (No) -> first frame swapped
//   frame rate: the real main loop with track 1 playing, frames per second
//   key to ear: a track key's message -> the first mixed block of the new
//               track (the load included), over the twelve tracks
//   memory: resident size after 10 and after 1000 track changes
#include "app/music_disk.h"
#include "platform/gl_surface.h"
#include "platform/message_box.h"
#include "platform/messages.h"
#include "player/engine.h"
#include "player/track_list.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr double frame_seconds = 5.0;  // how long the frame rate is measured

double ms_between(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

// --- start-up and frame rate: run_music_disk with the box answered and the
// swaps counted; the program is asked to quit once enough frames are in.
Clock::time_point answered, first_swap;
long frames;

int answer_no(void*, const char*, const char*, uint32_t type)
{
    answered = Clock::now();
    return (type & 0x0F) == MB_YESNO ? IDNO : IDOK;
}

void count_swap()
{
    if (frames++ == 0)
        first_swap = Clock::now();
    else if (ms_between(first_swap, Clock::now()) >= frame_seconds * 1000 && running)
        platform_post_quit_message(0);
}

void run_program(FILE* out)
{
    platform_set_message_box_hook(answer_no);
    platform_set_swap_hook(count_swap);
    int status = run_music_disk(nullptr, nullptr, nullptr, 0);
    double fps = (frames - 1) / (ms_between(first_swap, Clock::now()) / 1000.0);
    std::fprintf(out, "%d %.2f %.1f\n", status, ms_between(answered, first_swap), fps);
}

// --- key to ear: the time of the first block the new track is mixed in.
std::atomic<int64_t> first_block_ns{0};

void stamp_block(uint32_t, uint32_t, void*, uint32_t, uint32_t)
{
    if (first_block_ns.load(std::memory_order_relaxed) == 0)
        first_block_ns.store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed);
}

long resident_kib()
{
    FILE* f = std::fopen("/proc/self/status", "r");
    char line[256];
    long kib = -1;
    while (f && std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "VmRSS: %ld", &kib) == 1)
            break;
    if (f)
        std::fclose(f);
    return kib;
}


void run_keys(FILE* out)
{
    // The program's own start-up, on a hidden surface.
    platform_register_window_class(window_proc);
    if (!platform_open_offscreen_gl(640, 480) || start_music_disk(-1) != disk_started) {
        std::fprintf(out, "the disk did not start\n");
        return;
    }
    std::vector<double> ear, load;
    std::srand(1);
    for (int round = 0; round < 3; ++round)
        for (const Track& track : track_list) {
            const uint32_t key = track.key;
            // Land anywhere in the device's block period.
            std::this_thread::sleep_for(std::chrono::microseconds(20000 + std::rand() % 23000));
            first_block_ns.store(0);
            Clock::time_point pressed = Clock::now();
            window_proc(nullptr, WM_KEYDOWN, key, 1);
            load.push_back(ms_between(pressed, Clock::now()));
            // A block mixed before this attach makes the figure later, never earlier.
            channel_set_dsp(current_channel, stamp_block, 0);
            while (first_block_ns.load() == 0)
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            ear.push_back(ms_between(pressed, Clock::time_point(Clock::duration(first_block_ns.load()))));
        }
    std::sort(ear.begin(), ear.end());
    std::sort(load.begin(), load.end());
    std::fprintf(out, "key to ear: median %.1f ms, worst %.1f ms (the command itself: median %.1f, worst %.1f ms; %zu presses)\n",
                 ear[ear.size() / 2], ear.back(), load[load.size() / 2], load.back(), ear.size());

    long after_10 = 0;
    for (int i = 1; i <= 1000; ++i) {
        window_proc(nullptr, WM_KEYDOWN, track_list[i % track_count].key, 1);
        if (i == 10)
            after_10 = resident_kib();
    }
    long after_1000 = resident_kib();
    std::fprintf(out, "memory: %ld KiB after 10 track changes, %ld KiB after 1000 (%+ld KiB)\n", after_10, after_1000,
                 after_1000 - after_10);
}

// Runs body in a child and returns what it printed.
std::vector<char> in_child(void (*body)(FILE*))
{
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    std::fflush(stdout);  // or the child's exit prints it again
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        FILE* out = fdopen(fds[1], "w");
        body(out);
        std::fflush(out);
        _exit(0);
    }
    close(fds[1]);
    std::vector<char> text;
    char buffer[512];
    ssize_t got;
    while ((got = read(fds[0], buffer, sizeof buffer)) > 0)
        text.insert(text.end(), buffer, buffer + got);
    close(fds[0]);
    waitpid(pid, nullptr, 0);
    text.push_back('\0');
    return text;
}

}  // namespace

int main()
{
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    // The program asks for vsync, which a real display would keep it to
    // (Mesa's drivers obey this): the figures are of the frame's own cost.
    setenv("vblank_mode", "0", 0);
    if (access(track_list[0].file, R_OK) != 0) {
        std::fprintf(stderr, "disk_bench: run it from the build tree, where datas/ is\n");
        return 1;
    }
    if (!std::getenv("DISPLAY")) {
        std::printf("start-up and frame rate: skipped, no display\n");
    } else {
        std::vector<double> startup, fps;
        for (int run = 0; run < 3; ++run) {
            std::vector<char> text = in_child(run_program);
            int status = -1;
            double ms = 0, rate = 0;
            if (std::sscanf(text.data(), "%d %lf %lf", &status, &ms, &rate) != 3 || status != 0) {
                std::printf("program run failed: %s\n", text.data());
                return 1;
            }
            startup.push_back(ms);
            fps.push_back(rate);
        }
        std::sort(startup.begin(), startup.end());
        std::sort(fps.begin(), fps.end());
        std::printf("start-up: question answered -> first frame swapped: median %.1f ms, worst %.1f ms (3 runs)\n",
                    startup[1], startup[2]);
        std::printf("frame rate of the program with music playing: median %.1f fps (%.0f s each, 3 runs: %.1f %.1f %.1f)\n",
                    fps[1], frame_seconds, fps[0], fps[1], fps[2]);
    }
    std::printf("%s", in_child(run_keys).data());
    return 0;
}
