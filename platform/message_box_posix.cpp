// platform/message_box_posix.cpp: SDL's box, which it draws in a process of
// its own, watched so that a signal to end the program takes it down. UI
// thread, and the signal handlers.
#include "platform/message_box.h"
#include "platform/message_box_system.h"

#include "platform/signals.h"

#include <SDL.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <iterator>
#include <new>

// SDL draws a box in a process of its own, forked for it, and waits for
// that process without a way out. So a termination signal either killed the
// program and left its box on screen, or waited behind the box until
// someone answered it. While a box is up, the box's process is marked to
// die with the program, and a termination signal (a hang-up is one, see
// signals_posix.cpp) takes the box down; the program then ends as a close
// request ends it. A quit signal takes the box down too, then gets the
// program's own answer (platform/signals.h).
struct BoxWatch {
    std::atomic<pid_t> helper;  // the process drawing the box; 0 until it is forked
    std::atomic<int> ending;    // the signal that came while the box was up, or 0
};
static_assert(std::atomic<pid_t>::is_always_lock_free && std::atomic<int>::is_always_lock_free,
              "shared with a signal handler and another process");

// Shared with the box's process (MAP_SHARED), so that whichever of the two
// comes second, the signal or the fork, sees the other.
static BoxWatch* box_watch;
static pid_t box_owner;                  // this process, while a box is up
static volatile sig_atomic_t box_up;     // read by the forked child, UI thread writes

// Runs in every child forked by this process, at once.
static void on_fork_in_child()
{
    if (!box_up)
        return;
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    box_watch->helper.store(getpid());
    if (box_watch->ending.load() || getppid() != box_owner)
        _exit(0);
}

// Any thread may take the signal: only atomics and kill here.
static void on_termination(int number)
{
    box_watch->ending.store(number);
    pid_t helper = box_watch->helper.load();
    if (helper > 0)
        kill(helper, SIGKILL);
}

static bool box_watch_ready()
{
    if (box_watch)
        return true;
    void* page = mmap(nullptr, sizeof(BoxWatch), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (page == MAP_FAILED)
        return false;
    box_watch = new (page) BoxWatch{};
    pthread_atfork(nullptr, nullptr, on_fork_in_child);
    return true;
}

// SDL's box, with termination signals taking it down (see above).
static int show_watched(const SDL_MessageBoxData* box, int* answer)
{
    platform_answer_signals();  // a quit that came before: no box at all
    if (!box_watch_ready())
        return SDL_ShowMessageBox(box, answer);
    box_watch->helper.store(0);
    box_watch->ending.store(0);
    box_owner = getpid();
    box_up = 1;
    constexpr int taken[] = {SIGINT, SIGTERM, SIGQUIT};
    struct sigaction take = {}, old[std::size(taken)];
    take.sa_handler = on_termination;
    sigemptyset(&take.sa_mask);
    for (size_t i = 0; i < std::size(taken); ++i) {
        sigaction(taken[i], nullptr, &old[i]);
        if (old[i].sa_handler != SIG_IGN)  // one the parent had ignored stays so
            sigaction(taken[i], &take, nullptr);
    }
    int result = SDL_ShowMessageBox(box, answer);
    for (size_t i = 0; i < std::size(taken); ++i)
        sigaction(taken[i], &old[i], nullptr);
    box_up = 0;
    box_watch->helper.store(0);
    const int ending = box_watch->ending.load();
    // The quit again, now to the program's own answer, which puts the
    // display mode back before it ends the program.
    if (ending == SIGQUIT) {
        raise(SIGQUIT);
        platform_answer_signals();
    }
    // As a close request would: status 0, and the exit handlers put the
    // desktop's display mode back and stop the sound.
    if (ending)
        std::exit(0);
    return result;
}

// The box's buttons and icon from the program's box type: SDL's box has
// no question icon, so a question shows the information one.
int platform_show_message_box(void* owner, const char* text, const char* caption, uint32_t type, int* answer)
{
    const bool yes_no = (type & 0x0F) == MB_YESNO;
    SDL_MessageBoxButtonData yes_no_buttons[] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, IDYES, "Yes"},
        {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDNO, "No"},
    };
    SDL_MessageBoxButtonData ok_button[] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, IDOK, "OK"},
    };
    uint32_t flags = 0;
    switch (type & 0xF0) {
    case MB_ICONSTOP: flags = SDL_MESSAGEBOX_ERROR; break;
    case MB_ICONEXCLAMATION: flags = SDL_MESSAGEBOX_WARNING; break;
    case MB_ICONQUESTION:
    case MB_ICONINFORMATION: flags = SDL_MESSAGEBOX_INFORMATION; break;
    default: break;
    }
    SDL_MessageBoxData box = {};
    box.flags = flags;
    box.window = static_cast<SDL_Window*>(owner);
    box.title = caption;
    box.message = text;
    box.numbuttons = yes_no ? 2 : 1;
    box.buttons = yes_no ? yes_no_buttons : ok_button;
    return show_watched(&box, answer);
}
