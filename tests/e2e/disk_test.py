#!/usr/bin/env python3
"""The disk as a person uses it: the real program under its own Xvfb, its
boxes answered and its keys pressed with xdotool, what it plays written by
SDL's disk audio driver and compared with render-wav's render of the same
module. Run one case: disk_test.py Disk.test_name (CTest runs each alone).

Needs MUSICDISK (the program), DATAS (the generated datas/) and RENDER_WAV
in the environment. A Windows build's programs (.exe) run through EMULATOR (Wine, a
command line), READ_BOX reads its boxes from the Windows side and MAKE_DATAS
is its make-datas; the cases that cannot apply there say why they are
skipped."""
import filecmp
import json
import os
import re
import resource
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "cmake"))
from xscreen import QUESTION, TITLE, Screen, until  # noqa: E402

DISK = os.environ.get("MUSICDISK", "")
DATAS = os.environ.get("DATAS", "")
RENDER_WAV = os.environ.get("RENDER_WAV", "")
MAKE_DATAS = os.environ.get("MAKE_DATAS", "")
READ_BOX = os.environ.get("READ_BOX", "")
EMULATOR = shlex.split(os.environ.get("EMULATOR", ""))
ON_WINDOWS = DISK.lower().endswith(".exe")

FRAME = 4  # bytes of one 16-bit stereo frame
# Raw key codes: xdotool's keypad names toggle Num Lock by themselves.
KP = {"0": 90, "1": 87, "2": 88, "3": 89, "4": 83, "5": 84, "6": 85,
      "7": 79, "8": 80, "9": 81, "+": 86, "-": 82}
# The main keyboard's top row by place (X key codes): 1-9, 0, the key right
# of 0 and the one right of that.
TOP = {"1": 10, "2": 11, "3": 12, "4": 13, "5": 14, "6": 15, "7": 16, "8": 17, "9": 18, "0": 19,
       "-": 20, "=": 21}
SECOND = 44100 * FRAME  # bytes of one second of sound
# Every box the cases answer, as Windows shows it: caption, owner (a
# window's title, or None), text (a pattern) and the buttons from left to
# right, "&" before the letter that presses each.
YES_NO = ["&Yes", "&No"]
WINDOWS_BOXES = [
    (QUESTION, None, re.escape("Do U Want To Listen Musik in Fullscreen =)) ?"), YES_NO),
    ("Lumo GL", None, re.escape("The Requested Fullscreen Mode Is Not Supported By\nYour Video Card. "
                                "Use Windowed Mode Instead?"), YES_NO),
    ("ERROR", None, re.escape("Program Will Now Close."), ["OK"]),
    ("ERROR", None, r"(?s)No sound device could be opened\.\n.+", ["OK"]),
    ("Error", TITLE, r"Failed to open DIB file datas[/\\]menu\.bmp\.\n", ["OK"]),
]


class SoundServer:
    """A PulseAudio server of the test's own, with one null sink: what the
    disk plays goes nowhere, but the server lists it as a sink input. Its
    socket, state and runtime folders lie in folder, so it touches no other
    server, and clients find it only through PULSE_SERVER (which also keeps
    them from spawning one of their own)."""

    def __init__(self, folder):
        self.folder = folder
        self.socket = os.path.join(folder, "native")
        self.env = dict(os.environ, HOME=folder, XDG_RUNTIME_DIR=folder, PULSE_RUNTIME_PATH=os.path.join(folder, "run"),
                        PULSE_STATE_PATH=os.path.join(folder, "state"), PULSE_SERVER="unix:" + self.socket)
        self.proc = None
        self.log = os.path.join(folder, "pulse.log")

    def start(self, timeout=30):
        """Starts the server; False when it cannot run here at all."""
        if os.path.exists(self.socket):  # a killed server leaves its socket
            os.remove(self.socket)
        try:
            with open(self.log, "a") as log:
                self.proc = subprocess.Popen(
                    ["pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "-n", "--use-pid-file=no",
                     "--disable-shm=yes", "--load=module-native-protocol-unix auth-anonymous=1 socket=" + self.socket,
                     "--load=module-null-sink sink_name=nowhere"],
                    env=self.env, stdout=subprocess.DEVNULL, stderr=log)
        except OSError:
            return False
        until(lambda: self.proc.poll() is not None or self.pactl("info").returncode == 0, timeout,
              "the sound server answering")
        return self.proc.poll() is None

    def pactl(self, *args):
        return subprocess.run(["pactl"] + list(args), env=self.env, capture_output=True, text=True, timeout=30)

    def playing(self):
        """1 when a client plays into the sink and is not paused."""
        out = self.pactl("list", "sink-inputs").stdout
        return "Sink Input #" in out and "Corked: no" in out

    def kill(self):
        self.proc.kill()
        self.proc.wait()

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.kill()


def linux_only(reason):
    return unittest.skipIf(ON_WINDOWS, "not on Windows: " + reason)


NO_SIGNALS = linux_only("POSIX signals; Windows ends a program through its console's events instead")
NO_UNMAP = linux_only("Wine is not told of a window unmapped behind its back, and with no window manager "
                      "nothing here can minimise one")
NO_MODE_SEEN = linux_only("Wine changes the display mode only for its own windows; the X screen, which the "
                          "test reads, keeps its mode")
NO_PULSE = linux_only("the PulseAudio server is Linux's; a Windows program hears of lost devices through "
                      "Windows' own sound layer")


def no_core_files():
    """In the disk's process before it starts: a quit signal dumps no core."""
    resource.setrlimit(resource.RLIMIT_CORE, (0, 0))


class Disk(unittest.TestCase):
    def start(self, screen_size="1024x768", remove=(), modes=False, audio_driver="disk", **environment):
        self.screen = Screen(screen_size)
        self.screen.wine = ON_WINDOWS
        if modes:
            self.screen.run("xrandr", "--newmode", "640x480", "25.175", "640", "656", "752", "800",
                            "480", "490", "492", "525", "-hsync", "-vsync")
            self.screen.run("xrandr", "--addmode", "screen", "640x480")
        self.dir = tempfile.mkdtemp(prefix="disk_test_")
        shutil.copytree(DATAS, os.path.join(self.dir, "datas"))
        for name in remove:
            os.remove(os.path.join(self.dir, "datas", name))
        self.audio = os.path.join(self.dir, "out.raw")
        env = dict(self.screen.env, SDL_AUDIODRIVER=audio_driver, SDL_DISKAUDIOFILE=self.audio, **environment)
        # Standard error to a file: a pipe would stay open as long as any
        # child of the disk does.
        self.errors = os.path.join(self.dir, "stderr.txt")
        with open(self.errors, "w") as errors:
            self.proc = subprocess.Popen(EMULATOR + [DISK], cwd=self.dir, env=env, stdout=subprocess.DEVNULL,
                                         stderr=errors, preexec_fn=no_core_files)

    def tearDown(self):
        if getattr(self, "proc", None) and self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        if getattr(self, "pulse", None):
            self.pulse.stop()
        if ON_WINDOWS:  # Wine's session, tied to this screen, goes with it
            subprocess.run(["wineserver", "-k"], capture_output=True)
            subprocess.run(["wineserver", "-w"], capture_output=True)
        if getattr(self, "screen", None):
            self.screen.close()
        if getattr(self, "dir", None):
            shutil.rmtree(self.dir, ignore_errors=True)
        self.proc = self.screen = self.dir = self.pulse = None

    def exit_status(self, timeout=30):
        self.proc.wait(timeout=timeout)
        with open(self.errors) as f:
            self.stderr = f.read()
        if self.stderr.strip():
            print(self.stderr)
        return self.proc.returncode

    def open_window(self, answer="Escape"):
        """Answers the question, then waits for the disk's window to take the focus."""
        self.screen.answer(QUESTION, answer)
        return self.wait_disk_window()

    def answer(self, caption, key):
        """Answers a box with one key. On Windows the box is first read
        from the Windows side and held to WINDOWS_BOXES: the system's own
        box, Yes left of No."""
        if ON_WINDOWS:
            read = subprocess.run(EMULATOR + [READ_BOX, caption], env=self.screen.env, capture_output=True,
                                  timeout=120)
            self.assertEqual(read.returncode, 0, read.stderr.decode(errors="replace"))
            box = json.loads(read.stdout)
            known = [b for b in WINDOWS_BOXES if b[0] == box["caption"] and re.fullmatch(b[2], box["text"] or "")]
            self.assertEqual(len(known), 1, "a box no case expects: %r" % box)
            self.assertEqual(box["owner"], known[0][1], "the owner of %r" % box)
            self.assertEqual(box["buttons"], known[0][3], "the buttons of %r" % box)
        self.screen.answer(caption, key)

    def wait_disk_window(self):
        self.window = self.screen.wait_window(TITLE)
        self.screen.wait_focus(self.window)
        return self.window

    def press(self, *keys, repeat=1):
        self.screen.keys(self.window, *keys, repeat=repeat)

    def played_bytes(self):
        return os.path.getsize(self.audio) if os.path.exists(self.audio) else 0

    def played(self):
        with open(self.audio, "rb") as f:
            return f.read()

    def opening(self, module):
        """The module's first 4 s as render-wav renders them, and where its
        sound begins."""
        wav = os.path.join(self.dir, os.path.basename(module) + ".wav")
        args = [RENDER_WAV, os.path.join(DATAS, module), wav, "--seconds", "4"]
        subprocess.run(EMULATOR + args, check=True, capture_output=True)
        with open(wav, "rb") as f:
            data = f.read()[44:]
        first = len(data) - len(data.lstrip(b"\0"))
        return data, first - first % FRAME

    def find_opening(self, module, start=0, timeout=30):
        """Where the module's first 0.1 s of sound stands in what is being
        played, waiting for it to come (the disk driver writes in real time)."""
        data, first = self.opening(module)
        needle = data[first:first + 4410 * FRAME]

        def found():
            at = self.played().find(needle, start) if os.path.exists(self.audio) else -1
            return at + 1
        return until(found, timeout, "%s's opening being played" % module, every=0.2) - 1

    def wait_played(self, seconds):
        """Waits until the disk has written that many more seconds of sound."""
        want = self.played_bytes() + int(seconds * SECOND)
        until(lambda: self.played_bytes() >= want, 30 + 2 * seconds, "%g s more sound" % seconds)

    def picture(self, predicate, what):
        """Waits until the window's pixels satisfy predicate(width, height, rows)."""
        until(lambda: predicate(*self.screen.grab(self.window[0])), 30, what, every=0.2)

    # --- the cases ---------------------------------------------------------

    def test_no_opens_a_640x480_window_with_the_title_and_escape_ends_with_27(self):
        self.start()
        window = self.open_window("Escape")
        self.assertEqual(window[1:4], (TITLE, 640, 480))
        self.find_opening("1-ambre.it")
        self.press("Escape")
        self.assertEqual(self.exit_status(), 27)

    def test_yes_on_a_640x480_screen_covers_it(self):
        self.start("640x480")
        window = self.open_window("Return")
        self.assertEqual(window[2:6], (640, 480, 0, 0))
        self.press("Escape")
        self.assertEqual(self.exit_status(), 27)

    def test_refused_mode_answered_no_ends_with_0(self):
        self.start("1024x768")
        self.answer(QUESTION, "Return")
        self.answer("Lumo GL", "Escape")
        self.answer("ERROR", "Return")
        self.assertEqual(self.exit_status(), 0)
        self.assertFalse(os.path.exists(self.audio), "no sound before the window")

    def test_refused_mode_answered_yes_opens_a_window(self):
        self.start("1024x768")
        self.answer(QUESTION, "Return")
        self.answer("Lumo GL", "Return")
        window = self.wait_disk_window()
        self.assertEqual(window[2:4], (640, 480))
        self.assertIn("1024 x 768", self.screen.run("xrandr").stdout, "the mode stays")
        self.press("Escape")
        self.assertEqual(self.exit_status(), 27)

    def test_the_keypad_plays_tracks_from_their_start_though_num_lock_came_late(self):
        # The disk is held still, as a loaded machine holds it, while its
        # window loses the focus and takes it back and Num Lock goes on: as
        # it runs again it reads the light as the focus comes, then meets the
        # Num Lock press still queued, which must not count a second time.
        self.start()
        self.open_window()
        first = self.find_opening("1-ambre.it")
        self.proc.send_signal(signal.SIGSTOP)
        root = re.search(r"Window id: (0x[0-9a-f]+)", self.screen.run("xwininfo", "-root").stdout).group(1)
        self.screen.run("xdotool", "windowfocus", "--sync", root)
        self.screen.run("xdotool", "windowfocus", "--sync", self.window[0])
        self.screen.num_lock(True)
        self.proc.send_signal(signal.SIGCONT)
        self.press(KP["3"])
        fourth = self.find_opening("4-MIRROR.IT", first)
        self.press(KP["-"])
        self.find_opening("12-CODA.IT", fourth)
        self.press("Escape")
        self.assertEqual(self.exit_status(), 27)

    def test_no_sound_device_says_so_and_ends_with_255(self):
        self.start(audio_driver="no-such-driver")
        self.answer(QUESTION, "Escape")
        self.answer("ERROR", "Return")
        self.assertEqual(self.exit_status(), 255)
        self.assertIn("No sound device could be opened.\n", self.stderr)

    def test_a_resized_window_shows_the_whole_picture(self):
        self.start("1600x1200")  # room for the whole window: off screen, nothing is drawn
        self.open_window()
        self.screen.run("xdotool", "windowsize", self.window[0], "1280", "960")

        def quadrants_filled(width, height, rows):
            if (width, height) != (1280, 960):
                return False
            for top in (0, 480):
                for left in (0, 640):
                    lit = sum(1 for row in rows[top:top + 480:8] for p in row[left:left + 640:8] if any(p))
                    if lit < 0.2 * 60 * 80:
                        return False
            return True
        self.picture(quadrants_filled, "the picture over all four quarters of 1280 x 960")
        # Wider than 4:3: the picture keeps its shape, centred between bars.
        self.screen.run("xdotool", "windowsize", self.window[0], "1280", "720")

        def between_bars(width, height, rows):
            if (width, height) != (1280, 720):
                return False
            bars = [p for row in rows[::8] for p in row[:160] + row[1120:]]
            middle = [p for row in rows[::8] for p in row[160:1120:8]]
            return not any(any(p) for p in bars) and sum(1 for p in middle if any(p)) > 0.2 * len(middle)
        self.picture(between_bars, "the picture between black bars at 1280 x 720")
        self.press("Escape")
        self.assertEqual(self.exit_status(), 27)

    @NO_UNMAP
    def test_a_hidden_window_plays_on_and_draws_again_once_shown(self):
        # What it costs while hidden is bench/app/idle_bench.py's figure.
        self.start()
        self.open_window()
        self.screen.num_lock(True)
        self.screen.run("xdotool", "windowunmap", "--sync", self.window[0])
        self.wait_played(2)
        self.screen.run("xdotool", "windowmap", "--sync", self.window[0])
        self.screen.run("xdotool", "windowfocus", "--sync", self.window[0])
        self.picture(lambda w, h, rows: sum(1 for p in rows[240] if any(p)) > 320, "a frame once it shows again")
        self.press(KP["3"])
        self.find_opening("4-MIRROR.IT")
        self.press("Escape")
        self.assertEqual(self.exit_status(), 27)

    @NO_SIGNALS
    def test_no_box_outlives_the_disk(self):
        # A terminal's Ctrl+C, or a kill that cannot be caught, while the
        # question is up: the disk ends and its box goes with it.
        for sig, status in ((signal.SIGINT, 0), (signal.SIGKILL, -signal.SIGKILL)):
            self.start()
            self.screen.wait_window(QUESTION)
            self.proc.send_signal(sig)
            self.assertEqual(self.exit_status(), status, sig.name)
            until(lambda: not self.screen.shown(QUESTION), 10, "the question going with the disk")
            self.tearDown()

    @NO_SIGNALS
    def test_a_signal_while_playing_fullscreen_puts_the_mode_back(self):
        # A hang-up ends as a close does, a quit as a quit does once the
        # mode is back; a broken pipe is no reason to end.
        for sig, status in ((signal.SIGHUP, 0), (signal.SIGQUIT, -signal.SIGQUIT), (signal.SIGPIPE, 27)):
            self.start(modes=True)
            self.open_window("Return")
            self.assertIn("current 640 x 480", self.screen.run("xrandr").stdout, sig.name)
            self.proc.send_signal(sig)
            if sig == signal.SIGPIPE:
                self.wait_played(1)
                self.press("Escape")
            self.assertEqual(self.exit_status(), status, sig.name)
            self.assertIn("current 1024 x 768", self.screen.run("xrandr").stdout,
                          "%s: the desktop's mode is back" % sig.name)
            boxes = {w[1] for w in self.screen.windows()} & {"Error", "ERROR", "SHUTDOWN ERROR"}
            self.assertEqual(boxes, set(), sig.name)
            self.tearDown()

    def test_missing_first_track_ends_with_255_and_no_box(self):
        self.start(remove=["1-ambre.it"])
        self.screen.answer(QUESTION, "Escape")
        boxes = set()
        end = time.monotonic() + 30
        while self.proc.poll() is None and time.monotonic() < end:
            boxes |= {w[1] for w in self.screen.windows()} & {"Error", "ERROR"}
            time.sleep(0.05)
        self.assertEqual(self.exit_status(), 255)
        self.assertEqual(boxes, set())
        self.assertNotIn("Error", self.stderr)

    def test_missing_picture_ends_with_0_after_the_readers_box(self):
        self.start(remove=["menu.bmp"])
        self.answer(QUESTION, "Escape")
        self.answer("Error", "Return")
        self.assertEqual(self.exit_status(), 0)
        self.assertFalse(os.path.exists(self.audio), "no sound before the pictures")

    @NO_MODE_SEEN
    def test_a_real_mode_change_is_undone_on_an_early_exit(self):
        # A 640 x 480 mode beside the screen's own: fullscreen really switches.
        self.start(remove=["menu.bmp"], modes=True)
        self.screen.answer(QUESTION, "Return")
        self.screen.wait_window("Error")
        self.assertIn("current 640 x 480", self.screen.run("xrandr").stdout)
        self.screen.answer("Error", "Return")
        self.assertEqual(self.exit_status(), 0)
        self.assertIn("current 1024 x 768", self.screen.run("xrandr").stdout, "the desktop's mode is back")

    @NO_PULSE
    def test_the_sound_comes_back_with_its_server(self):
        folder = tempfile.mkdtemp(prefix="disk_pulse_")
        self.addCleanup(shutil.rmtree, folder, True)
        self.pulse = SoundServer(folder)
        if shutil.which("pulseaudio") is None or not self.pulse.start():
            self.skipTest("no PulseAudio server could be started (pulseaudio from scripts/install-deps)")
        self.start(audio_driver="pulseaudio", PULSE_SERVER=self.pulse.env["PULSE_SERVER"])
        self.open_window()
        until(self.pulse.playing, 30, "the disk playing into the sound server")

        def said(line, times):
            def check():
                with open(self.errors) as f:
                    return f.read().count(line) == times
            return check
        lost = "musicdisk: sound output lost"
        back = "musicdisk: sound output is back\n"
        # The server gone, then back: the disk finds it by itself.
        self.pulse.kill()
        until(said(lost, 1), 30, "the disk saying the sound output is lost")
        # The picture goes on meanwhile, and a track key is taken.
        before = self.screen.grab(self.window[0])
        self.picture(lambda *now: now != before, "a new frame with the sound output lost")
        self.press(TOP["4"])
        self.assertTrue(self.pulse.start(), "the sound server starting again")
        until(self.pulse.playing, 30, "the disk playing into the sound server again")
        until(said(back, 1), 30, "the disk saying the sound output is back")
        # Its sink unloaded: the server stays but has nowhere to play.
        self.pulse.pactl("unload-module", "module-null-sink")
        until(said(lost, 2), 30, "the disk saying so again")
        self.pulse.pactl("load-module", "module-null-sink", "sink_name=nowhere")
        until(self.pulse.playing, 30, "the disk playing into the new sink")
        until(said(back, 2), 30, "the disk saying it is back again")
        self.press("Escape")
        self.assertEqual(self.exit_status(), 27)
        # One line each time, nothing else.
        lines = self.stderr.splitlines()
        self.assertEqual([line.startswith(lost) for line in lines], [True, False, True, False], self.stderr)
        self.assertEqual(lines[1::2], [back.strip()] * 2, self.stderr)

    @unittest.skipUnless(ON_WINDOWS, "Linux takes file names as bytes, whatever their language")
    def test_the_tools_read_and_write_in_a_folder_named_in_any_language(self):
        # Without the UTF-8 code page Windows hands a program such a name
        # with question marks for the letters its code page lacks.
        folder = os.path.join(tempfile.mkdtemp(prefix="disk_test_"), "Musik-ÄÖÜ-音楽")
        self.addCleanup(shutil.rmtree, os.path.dirname(folder), True)
        env = dict(os.environ, LANG="C.UTF-8", LC_ALL="C.UTF-8")  # how Wine reads our command line

        def tool(*args):
            done = subprocess.run(EMULATOR + list(args), env=env, capture_output=True, timeout=300)
            self.assertEqual(done.returncode, 0, done.stderr.decode(errors="replace"))
        tool(MAKE_DATAS, os.path.join(folder, "datas"))
        shipped = sorted(n for n in os.listdir(DATAS) if not n.startswith("."))
        self.assertEqual(filecmp.cmpfiles(DATAS, os.path.join(folder, "datas"), shipped, shallow=False)[0], shipped,
                         "make-datas's files, byte for byte those of the build")
        module = os.path.join(folder, "Ämbre-音.it")
        os.rename(os.path.join(folder, "datas", "1-ambre.it"), module)
        tool(RENDER_WAV, module, os.path.join(folder, "Ämbre-音.wav"), "--seconds", "1")
        tool(RENDER_WAV, os.path.join(DATAS, "1-ambre.it"), os.path.join(folder, "..", "plain.wav"), "--seconds", "1")
        self.assertEqual(sorted(os.listdir(folder)), ["datas", "Ämbre-音.it", "Ämbre-音.wav"])
        renders = []
        for wav in (os.path.join(folder, "Ämbre-音.wav"), os.path.join(folder, "..", "plain.wav")):
            with open(wav, "rb") as f:
                renders.append(f.read())
        self.assertEqual(renders[0], renders[1], "the render in the folder, byte for byte the plain one")


if __name__ == "__main__":
    unittest.main()
