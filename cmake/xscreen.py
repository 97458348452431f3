#!/usr/bin/env python3
"""A private X screen for driving the disk as a person does: an Xvfb of its
own, windows found by name, and keys sent only once the window that is to
take them is mapped and holds the input focus. Every wait is for something
the X server reports, with a deadline and a failure that says what never
came; none is a pause that hopes the program has caught up.

Used by the end-to-end and packaging tests and by scripts/soak. As a
program, the one way make test and make bench get a display when there is
none:

    cmake/xscreen.py [--size WxH] COMMAND [ARGS...]

runs COMMAND on a private screen (1024x768 unless told) and exits with its
status once the screen is gone."""
import os
import re
import signal
import struct
import subprocess
import sys
import time

# The disk's own captions: its window's title and its start-up question's.
# The one copy that our tests, benches and scripts hold.
TITLE = "Korvid Music Disk #1 (Velvane Musik Disk)"
QUESTION = "Velvane Musik Disk"

WINDOW_LINE = re.compile(r'^\s*(0x[0-9a-f]+) "(.*)": \(.*\)\s+(\d+)x(\d+)\+(-?\d+)\+(-?\d+)')


class NeverCame(AssertionError):
    """What a test waited for did not happen before its deadline."""


def until(condition, timeout, what, every=0.05):
    """Polls condition until it gives something true, which it returns;
    NeverCame after timeout seconds."""
    end = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > end:
            raise NeverCame("%s never happened within %g s" % (what, timeout))
        time.sleep(every)


class Screen:
    """An Xvfb of the given size, numbered by itself. -noreset keeps Num
    Lock's state when the last client leaves."""

    def __init__(self, size="1024x768"):
        read, write = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write), "-screen", "0", size + "x24", "-nolisten", "tcp", "-noreset"],
            pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write)
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read, 16)
            if not chunk:
                raise RuntimeError("Xvfb did not start")
            number += chunk
        os.close(read)
        self.display = ":" + number.decode().strip()
        self.env = dict(os.environ, DISPLAY=self.display)
        self.env.pop("WAYLAND_DISPLAY", None)
        self.env.pop("SDL_VIDEODRIVER", None)
        self.wine = False  # whether the windows to drive are Wine's

    def run(self, *args):
        return subprocess.run(args, env=self.env, capture_output=True, text=True, timeout=60)

    def windows(self):
        """(id, name, width, height, x, y) of every named window, mapped or not."""
        lines = self.run("xwininfo", "-root", "-tree").stdout.splitlines()
        return [(m.group(1), m.group(2)) + tuple(int(g) for g in m.groups()[2:])
                for m in map(WINDOW_LINE.match, lines) if m]

    def viewable(self, window_id):
        return "Map State: IsViewable" in self.run("xwininfo", "-id", window_id).stdout

    def focus(self):
        """The id of the window holding the input focus, or 0 (none, or the root)."""
        out = self.run("xdotool", "getwindowfocus").stdout.strip()
        return int(out) if out.isdigit() else 0

    def shown(self, name):
        """The first window of that name that is mapped and viewable, or None."""
        for w in self.windows():
            if w[1] == name and self.viewable(w[0]):
                return w
        return None

    def wait_window(self, name, timeout=30):
        """The window of that name, once it is mapped and viewable."""
        return until(lambda: self.shown(name), timeout, "a viewable window named %r" % name)

    def wait_focus(self, window, timeout=30):
        """Waits until window (a tuple from windows()) holds the input focus.
        Wine's windows (wine set) take the focus only when given it, and
        Wine then hands it to a window of its own that passes keys on to the
        active one: there the window is given the focus, and any window
        holding it afterwards counts."""
        if self.wine:
            self.run("xdotool", "windowfocus", "--sync", window[0])
            until(lambda: self.focus() != 0, timeout, "the input focus on %r" % window[1])
            return
        until(lambda: self.focus() == int(window[0], 16), timeout, "the input focus on %r" % window[1])

    def answer(self, caption, key, timeout=30):
        """Answers the box with this caption with one key. A box with no
        parent takes no focus of its own: it is given it, and the key goes
        only once the server says the box holds it."""
        box = self.wait_window(caption, timeout)
        self.run("xdotool", "windowfocus", "--sync", box[0])
        self.wait_focus(box, timeout)
        self.run("xdotool", "key", key)
        # The next box may come at once and under the same id (the server
        # hands a gone client's ids to the next), so the caption counts too.
        until(lambda: box[:2] not in [w[:2] for w in self.windows()], timeout,
              "the box %r going away after %s" % (caption, key))

    def keys(self, window, *keys, repeat=1, delay=15):
        """Presses keys (names or key codes) into window, which must hold the focus."""
        self.wait_focus(window)
        self.run("xdotool", "key", "--repeat", str(repeat), "--delay", str(delay), *[str(k) for k in keys])

    def grab(self, window_id):
        """The window's pixels as (width, height, rows of (r, g, b)), top row first."""
        data = subprocess.run(["xwd", "-silent", "-id", window_id], env=self.env, capture_output=True,
                              timeout=60, check=True).stdout
        header = struct.unpack(">25I", data[:100])
        size, width, height, bits, row_bytes, colours = header[0], header[4], header[5], header[11], header[12], header[19]
        if bits not in (24, 32):  # Wine's GL windows come packed, 24 bits a pixel
            raise RuntimeError("xwd gave %d bits a pixel" % bits)
        pixels = data[size + 12 * colours:]
        step = bits // 8
        order = "little" if header[7] == 0 else "big"  # the server's byte order
        shifts = [(mask & -mask).bit_length() - 1 for mask in header[14:17]]  # red, green, blue
        rows = []
        for y in range(height):
            if step == 4:
                values = struct.unpack_from("<>"[order == "big"] + "%dI" % width, pixels, y * row_bytes)
            else:
                line = pixels[y * row_bytes:y * row_bytes + width * step]
                values = (int.from_bytes(line[x:x + step], order) for x in range(0, len(line), step))
            rows.append([tuple(v >> shift & 255 for shift in shifts) for v in values])
        return width, height, rows

    def num_lock_on(self):
        state = re.search(r"Num Lock:\s+(on|off)", self.run("xset", "q").stdout)
        return bool(state) and state.group(1) == "on"

    def num_lock(self, on):
        """Sets Num Lock's state on the server, whichever window has the focus."""
        if self.num_lock_on() != on:
            self.run("xdotool", "key", "Num_Lock")
        until(lambda: self.num_lock_on() == on, 10, "Num Lock %s" % ("on" if on else "off"))

    def close(self):
        self.proc.terminate()
        self.proc.wait(timeout=10)


def main(argv):
    size = "1024x768"
    if argv[:1] == ["--size"] and len(argv) > 1:
        size, argv = argv[1], argv[2:]
    if not argv or argv[0].startswith("-"):
        sys.exit("usage: xscreen.py [--size WxH] COMMAND [ARGS...]")
    child = None

    # Ctrl-C and a hang-up reach the command from the terminal (it shares our
    # process group): wait for it to end. A kill's SIGTERM is passed on.
    def pass_on(number, _frame):
        if child and number == signal.SIGTERM:
            child.send_signal(number)

    for number in (signal.SIGINT, signal.SIGHUP, signal.SIGTERM):
        signal.signal(number, pass_on)
    try:
        screen = Screen(size)
    except (OSError, RuntimeError) as e:
        sys.exit("xscreen: no private X screen: %s" % e)
    try:
        child = subprocess.Popen(argv, env=screen.env)
        status = child.wait()
    except OSError as e:
        print("xscreen: cannot run %s: %s" % (argv[0], e), file=sys.stderr)
        status = 127
    finally:
        screen.close()
    return status if status >= 0 else 128 - status  # killed by a signal: as a shell says


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
