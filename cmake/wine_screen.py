#!/usr/bin/env python3
"""The Windows tests' own X screen, as the Linux suites have theirs, so that
they run from a terminal with no display. `up` starts an Xvfb for the whole
run and writes its display and process id to FILE, which scripts/wine-run
reads through MUSICDISK_WINE_SCREEN; `down` stops it. A Wine prefix's
desktop belongs to the display it started on, and listing the tests may
have started the prefix's session on another display or on none: both end
that session first.

    wine_screen.py up|down FILE WINEPREFIX"""
import os
import signal
import subprocess
import sys


def end_wine_session(prefix):
    env = dict(os.environ, WINEPREFIX=prefix)
    subprocess.run(["wineserver", "-k"], env=env, capture_output=True, timeout=60)
    subprocess.run(["wineserver", "-w"], env=env, capture_output=True, timeout=60)


def stop_screen(file):
    """Stops the Xvfb that FILE names, if it is still that Xvfb (a stale file
    from an interrupted run may name a process id given to another since)."""
    try:
        with open(file) as f:
            pid = int(f.read().split()[1])
        with open("/proc/%d/cmdline" % pid, "rb") as f:
            if f.read().split(b"\0")[0].endswith(b"Xvfb"):
                os.kill(pid, signal.SIGTERM)
    except (OSError, ValueError, IndexError):
        pass  # no screen, or gone already
    if os.path.exists(file):
        os.remove(file)


def start_screen(file):
    read, write = os.pipe()
    # A session of its own: the screen outlives this script, until `down`.
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                             "-noreset"], pass_fds=(write,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, start_new_session=True)
    os.close(write)
    number = b""
    while not number.endswith(b"\n"):
        chunk = os.read(read, 16)
        if not chunk:
            sys.exit("wine_screen: Xvfb did not start")
        number += chunk
    os.close(read)
    with open(file, "w") as f:
        f.write(":%s %d\n" % (number.decode().strip(), xvfb.pid))
    print("wine_screen: display :%s" % number.decode().strip())


def main(argv):
    if len(argv) != 3 or argv[0] not in ("up", "down"):
        sys.exit("usage: wine_screen.py up|down FILE WINEPREFIX")
    what, file, prefix = argv
    stop_screen(file)
    end_wine_session(prefix)
    if what == "up":
        start_screen(file)


if __name__ == "__main__":
    main(sys.argv[1:])
