#!/usr/bin/env python3
"""The disk as a person uses it: the real program under its own Xvfb, its
boxes answered and its keys pressed with xdotool, what it plays written by
SDL's disk audio driver and compared with render-wav's render of the same
module. Run one case: disk_test.py Disk.test_name (CTest runs each alone).

Needs MUSICDISK (the program), DATAS (the generated datas/), RENDER_WAV and
SEND_CLOSE in the environment; SANITIZED when the program is built with a
sanitizer."""
import os
import re
import shutil
import subprocess
import tempfile
import time
import unittest

DISK = os.environ.get("MUSICDISK", "")
DATAS = os.environ.get("DATAS", "")
RENDER_WAV = os.environ.get("RENDER_WAV", "")
SEND_CLOSE = os.environ.get("SEND_CLOSE", "")

TITLE = "Korvid Music Disk #1 (Velvane Musik Disk)"
QUESTION = "Velvane Musik Disk"
FRAME = 4  # bytes of one 16-bit stereo frame
# Raw key codes: xdotool's keypad names toggle Num Lock by themselves.
KP = {"0": 90, "1": 87, "2": 88, "3": 89, "4": 83, "5": 84, "6": 85,
      "7": 79, "8": 80, "9": 81, "+": 86, "-": 82}
WINDOW_LINE = re.compile(r'^\s*(0x[0-9a-f]+) "(.*)": \(.*\)\s+(\d+)x(\d+)\+(-?\d+)\+(-?\d+)')


class Screen:
    """A private Xvfb of the given size; -noreset keeps Num Lock's state."""

    def __init__(self, size):
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
        self.env = dict(os.environ, DISPLAY=":" + number.decode().strip())
        self.env.pop("WAYLAND_DISPLAY", None)
        self.env.pop("SDL_VIDEODRIVER", None)

    def run(self, *args):
        return subprocess.run(args, env=self.env, capture_output=True, text=True, timeout=20)

    def windows(self):
        """(id, name, width, height, x, y) of every named window."""
        lines = self.run("xwininfo", "-root", "-tree").stdout.splitlines()
        return [(m.group(1), m.group(2)) + tuple(int(g) for g in m.groups()[2:])
                for m in map(WINDOW_LINE.match, lines) if m]

    def wait_window(self, name, timeout=15):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            found = [w for w in self.windows() if w[1] == name]
            if found:
                return found[0]
            time.sleep(0.1)
        raise AssertionError("no window named %r" % name)

    def answer(self, caption, key, timeout=15):
        """Answers the box with this caption. A box with no parent takes no
        focus, and may be listed before it is mapped: focus it, retry."""
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            box = [w for w in self.windows() if w[1] == caption]
            if not box:
                time.sleep(0.1)
                continue
            self.run("xdotool", "windowfocus", "--sync", box[0][0], "key", key)
            time.sleep(0.3)
            if not any(w[1] == caption for w in self.windows()):
                return
        raise AssertionError("could not answer the box %r" % caption)

    def keys(self, *keys, repeat=1):
        self.run("xdotool", "key", "--repeat", str(repeat), "--delay", "15", *[str(k) for k in keys])

    def num_lock(self, on):
        state = re.search(r"Num Lock:\s+(on|off)", self.run("xset", "q").stdout)
        if state and (state.group(1) == "on") != on:
            self.run("xdotool", "key", "Num_Lock")
        state = re.search(r"Num Lock:\s+(on|off)", self.run("xset", "q").stdout)
        assert state and (state.group(1) == "on") == on, "Num Lock did not follow"

    def close(self):
        self.proc.terminate()
        self.proc.wait(timeout=10)


class Disk(unittest.TestCase):
    def start(self, screen_size="1024x768", remove=(), modes=False):
        self.screen = Screen(screen_size)
        if modes:
            self.screen.run("xrandr", "--newmode", "640x480", "25.175", "640", "656", "752", "800",
                            "480", "490", "492", "525", "-hsync", "-vsync")
            self.screen.run("xrandr", "--addmode", "screen", "640x480")
        self.dir = tempfile.mkdtemp(prefix="disk_test_")
        shutil.copytree(DATAS, os.path.join(self.dir, "datas"))
        for name in remove:
            os.remove(os.path.join(self.dir, "datas", name))
        self.audio = os.path.join(self.dir, "out.raw")
        env = dict(self.screen.env, SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=self.audio)
        self.proc = subprocess.Popen([DISK], cwd=self.dir, env=env, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, text=True)

    def tearDown(self):
        if getattr(self, "proc", None) and self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        if getattr(self, "screen", None):
            self.screen.close()
        if getattr(self, "dir", None):
            shutil.rmtree(self.dir, ignore_errors=True)

    def exit_status(self, timeout=15):
        self.proc.wait(timeout=timeout)
        self.stderr = self.proc.stderr.read()
        if self.stderr.strip():
            print(self.stderr)
        return self.proc.returncode

    def open_window(self, answer="Escape"):
        self.screen.answer(QUESTION, answer)
        return self.screen.wait_window(TITLE)

    def played(self):
        with open(self.audio, "rb") as f:
            return f.read()

    def opening(self, module, loop=False, seconds=4):
        """The module's render from its start, and where its sound begins."""
        wav = os.path.join(self.dir, os.path.basename(module) + ".wav")
        args = [RENDER_WAV, os.path.join(self.dir, "datas", module), wav, "--seconds", str(seconds)]
        subprocess.run(args + (["--loop"] if loop else []), check=True, capture_output=True)
        with open(wav, "rb") as f:
            data = f.read()[44:]
        first = len(data) - len(data.lstrip(b"\0"))
        return data, first - first % FRAME

    def find_opening(self, module, start=0, timeout=15):
        """Where the module's first 0.1 s of sound stands in what is being
        played, waiting for it to come (the disk driver writes in real time)."""
        data, first = self.opening(module)
        needle = data[first:first + 4410 * FRAME]
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            at = self.played().find(needle, start) if os.path.exists(self.audio) else -1
            if at >= 0:
                return at
            time.sleep(0.2)
        self.fail("%s's opening was never played" % module)

    def rss_kib(self):
        with open("/proc/%d/status" % self.proc.pid) as f:
            return int(re.search(r"VmRSS:\s+(\d+)", f.read()).group(1))

    # --- the cases ---------------------------------------------------------

    def test_no_opens_a_640x480_window_with_the_title_and_escape_ends_with_27(self):
        self.start()
        window = self.open_window("Escape")
        self.assertEqual(window[1:4], (TITLE, 640, 480))
        self.find_opening("1-ambre.it")
        self.screen.keys("Escape")
        self.assertEqual(self.exit_status(), 27)

    def test_yes_on_a_640x480_screen_covers_it(self):
        self.start("640x480")
        window = self.open_window("Return")
        self.assertEqual(window[2:6], (640, 480, 0, 0))
        self.screen.keys("Escape")
        self.assertEqual(self.exit_status(), 27)

    def test_refused_mode_answered_no_ends_with_0(self):
        self.start("1024x768")
        self.screen.answer(QUESTION, "Return")
        self.screen.answer("Lumo GL", "Escape")
        self.screen.answer("ERROR", "Return")
        self.assertEqual(self.exit_status(), 0)
        self.assertFalse(os.path.exists(self.audio), "no sound before the window")

    def test_refused_mode_answered_yes_opens_a_window(self):
        self.start("1024x768")
        self.screen.answer(QUESTION, "Return")
        self.screen.answer("Lumo GL", "Return")
        window = self.screen.wait_window(TITLE)
        self.assertEqual(window[2:4], (640, 480))
        self.assertIn("1024 x 768", self.screen.run("xrandr").stdout, "the mode stays")
        self.screen.keys("Escape")
        self.assertEqual(self.exit_status(), 27)

    def test_close_request_ends_with_0(self):
        self.start()
        window = self.open_window()
        subprocess.run([SEND_CLOSE, window[0]], env=self.screen.env, check=True)
        self.assertEqual(self.exit_status(), 0)

    def test_keypad_plays_the_chosen_track_from_its_beginning(self):
        self.start()
        self.open_window()
        self.screen.num_lock(True)
        first = self.find_opening("1-ambre.it")
        self.screen.keys(KP["3"])
        fourth = self.find_opening("4-MIRROR.IT", first)
        self.screen.keys(KP["-"])
        self.find_opening("12-CODA.IT", fourth)
        self.screen.keys("Escape")
        self.assertEqual(self.exit_status(), 27)

    def test_num_lock_off_keypad_digits_start_nothing(self):
        self.start()
        self.open_window()
        self.screen.num_lock(False)
        start = self.find_opening("1-ambre.it")
        self.screen.keys(KP["3"], KP["0"], KP["9"], "3", "0")
        time.sleep(1.5)
        self.screen.keys(KP["+"])  # keeps its code with Num Lock off
        eleventh = self.find_opening("11-DRIFT.IT", start)
        self.screen.keys("Escape")
        self.assertEqual(self.exit_status(), 27)
        played = self.played()
        # Track 1 runs on unbroken up to the stop before track 11: allow the
        # silence written while it loads (a few device blocks) and its lead-in.
        ambre, first = self.opening("1-ambre.it", loop=True, seconds=10)
        drift, drift_first = self.opening("11-DRIFT.IT")
        same = 0
        run = played[start:eleventh]
        reference = ambre[first:first + len(run)]
        while same < len(run) and run[same] == reference[same]:
            same += 1
        self.assertGreaterEqual(same, len(run) - drift_first - 8 * 1024 * FRAME,
                                "track 1 broke off before keypad plus")
        self.assertGreater(same, int(1.5 * 44100) * FRAME, "the digits came before this")

    def test_missing_first_track_ends_with_255_and_no_box(self):
        self.start(remove=["1-ambre.it"])
        self.screen.answer(QUESTION, "Escape")
        boxes = set()
        end = time.monotonic() + 15
        while self.proc.poll() is None and time.monotonic() < end:
            boxes |= {w[1] for w in self.screen.windows()} & {"Error", "ERROR"}
            time.sleep(0.05)
        self.assertEqual(self.exit_status(), 255)
        self.assertEqual(boxes, set())
        self.assertNotIn("Error", self.stderr)

    def test_missing_picture_ends_with_0_after_the_readers_box(self):
        self.start(remove=["menu.bmp"])
        self.screen.answer(QUESTION, "Escape")
        self.screen.answer("Error", "Return")
        self.assertEqual(self.exit_status(), 0)
        self.assertFalse(os.path.exists(self.audio), "no sound before the pictures")

    def test_a_real_mode_change_is_undone_on_an_early_exit(self):
        # A 640 x 480 mode beside the screen's own: fullscreen really switches.
        self.start(remove=["menu.bmp"], modes=True)
        self.screen.answer(QUESTION, "Return")
        self.screen.wait_window("Error")
        self.assertIn("current 640 x 480", self.screen.run("xrandr").stdout)
        self.screen.answer("Error", "Return")
        self.assertEqual(self.exit_status(), 0)
        self.assertIn("current 1024 x 768", self.screen.run("xrandr").stdout, "the desktop's mode is back")

    @unittest.skipIf(os.environ.get("SANITIZED"), "a sanitizer holds freed memory back")
    def test_a_held_key_keeps_memory_flat(self):
        self.start()
        self.open_window()
        self.screen.num_lock(True)
        self.screen.keys(KP["1"], repeat=50)
        before = self.rss_kib()
        self.screen.keys(KP["1"], repeat=400)
        after = self.rss_kib()
        self.screen.keys("Escape")
        self.assertEqual(self.exit_status(), 27)
        # A module kept per press would add hundreds of MB; allow the heap its slack.
        self.assertLess(after - before, 8192, "resident memory grew from %d to %d KiB" % (before, after))


if __name__ == "__main__":
    unittest.main()
