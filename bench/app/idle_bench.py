#!/usr/bin/env python3
"""The program's CPU, shown and hidden: the real disk under an Xvfb of its
own with track 1 playing (SDL's disk driver keeps real time), its process's
CPU over 10 s with the window shown, then over 10 s with it unmapped.
Prints both as a share of one core (aim while hidden: under 5%).

    idle_bench [SECONDS]     run from anywhere; the build tree is the script's
"""
import os
import subprocess
import sys
import tempfile
import time

BUILD = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
sys.path.insert(0, "@CMAKE_SOURCE_DIR@/cmake")
from xscreen import QUESTION, TITLE, Screen  # noqa: E402


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def share_of_a_core(pid, seconds):
    cpu, start = cpu_seconds(pid), time.monotonic()
    time.sleep(seconds)  # the measuring window
    return 100 * (cpu_seconds(pid) - cpu) / (time.monotonic() - start)


def main():
    seconds = float(sys.argv[1]) if len(sys.argv) > 1 else 10
    screen = Screen()
    work = tempfile.mkdtemp(prefix="idle_bench_")
    env = dict(screen.env, SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=os.path.join(work, "heard.raw"))
    disk = subprocess.Popen([os.path.join(BUILD, "musicdisk")], cwd=BUILD, env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        screen.answer(QUESTION, "Escape")
        window = screen.wait_window(TITLE)
        shown = share_of_a_core(disk.pid, seconds)
        screen.run("xdotool", "windowunmap", "--sync", window[0])
        time.sleep(1)  # past the frame being drawn when it went
        hidden = share_of_a_core(disk.pid, seconds)
        print("CPU of the disk with track 1 playing, %g s each: %.1f%% of a core shown, %.1f%% hidden"
              % (seconds, shown, hidden))
    finally:
        disk.kill()
        disk.wait()
        screen.close()
        os.remove(os.path.join(work, "heard.raw"))
        os.rmdir(work)


if __name__ == "__main__":
    main()
