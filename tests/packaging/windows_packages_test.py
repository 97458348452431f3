#!/usr/bin/env python3
"""The disk as a Windows user gets it: the program's imports, the zip
unpacked and run in a brand-new Wine prefix, and the installer's silent
install, Start-menu entry and uninstall. Needs BUILD (a Windows build tree);
run one case as windows_packages_test.py WindowsPackages.test_name."""
import filecmp
import glob
import os
import re
import struct
import subprocess
import sys
import tempfile
import unittest
import zipfile

BUILD = os.environ.get("BUILD", "")
SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
sys.path.insert(0, os.path.join(SOURCE, "cmake"))
from xscreen import QUESTION, TITLE, Screen, until  # noqa: E402

# What every 64-bit Windows has, and the GL pair the disk draws with.
SYSTEM_DLLS = {"advapi32.dll", "gdi32.dll", "imm32.dll", "kernel32.dll", "msvcrt.dll", "ole32.dll",
               "oleaut32.dll", "setupapi.dll", "shell32.dll", "user32.dll", "version.dll", "winmm.dll",
               "cfgmgr32.dll", "opengl32.dll", "glu32.dll"}
NAME = "Korvid Music Disk #1"


def shortcut_target(path):
    """(target, working folder) of a Windows shortcut (.lnk): its link
    information's local path and its string data's working folder."""
    with open(path, "rb") as f:
        data = f.read()
    flags = struct.unpack_from("<I", data, 0x14)[0]
    at = 0x4C
    if flags & 0x01:  # an item id list first
        at += 2 + struct.unpack_from("<H", data, at)[0]
    if not flags & 0x02:
        raise ValueError("%s: no link information" % path)
    local_path_at = struct.unpack_from("<I", data, at + 16)[0]
    target = data[at + local_path_at:data.index(b"\0", at + local_path_at)].decode("latin-1")
    at += struct.unpack_from("<I", data, at)[0]
    strings = {}
    for bit, name in ((0x04, "name"), (0x08, "relative"), (0x10, "folder"), (0x20, "arguments")):
        if flags & bit:
            count = struct.unpack_from("<H", data, at)[0]
            width = 2 if flags & 0x80 else 1
            text = data[at + 2:at + 2 + count * width].decode("utf-16-le" if width == 2 else "latin-1")
            strings[name] = text.rstrip("\0")
            at += 2 + count * width
    return target, strings.get("folder")


def run(*args, **kwargs):
    return subprocess.run(args, capture_output=True, text=True, timeout=300, **kwargs)


class WindowsPackages(unittest.TestCase):
    def setUp(self):
        self.dir = self.enterContext(tempfile.TemporaryDirectory(prefix="windows_packages_test_"))
        self.zip = glob.glob(os.path.join(BUILD, "musicdisk-*-win64.zip"))[0]
        self.installer = self.zip[:-len(".zip")] + ".exe"
        self.screen = None

    def tearDown(self):
        if self.screen:
            if getattr(self, "env", None):
                subprocess.run(["wineserver", "-k"], env=self.env, capture_output=True)
            self.screen.close()

    def new_prefix(self):
        """A Wine prefix made for this case alone, on a screen of its own.
        Now and then on a loaded machine Wine fails to make one, within a
        second or two ("could not load kernel32.dll"). That is Wine's own
        start, not the disk's, so a new prefix is made in a new folder,
        twice at most, and the failure is printed."""
        self.screen = Screen()
        self.screen.wine = True
        for attempt in range(3):
            self.env = dict(self.screen.env, WINEPREFIX=os.path.join(self.dir, "prefix%d" % attempt),
                            WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=", SDL_AUDIODRIVER="disk")
            done = run("wineboot", "-i", env=dict(self.env, WINEDEBUG="err+all"))
            if done.returncode == 0:
                break
            print("wineboot ended with %d, trying again:\n%s" % (done.returncode, done.stderr), file=sys.stderr)
            subprocess.run(["wineserver", "-k"], env=self.env, capture_output=True)
        self.assertEqual(done.returncode, 0, done.stderr)
        run("wineserver", "-w", env=self.env)
        return lambda path: os.path.join(self.env["WINEPREFIX"], "drive_c", path)

    def play_track_1_and_escape(self, *command, cwd):
        """Answers the question with No, waits for sound from track 1 and
        ends the disk with Escape: its exit status."""
        audio = os.path.join(self.dir, "out.raw")
        env = dict(self.env, SDL_DISKAUDIOFILE=audio)
        disk = subprocess.Popen(command, cwd=cwd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            self.screen.answer(QUESTION, "Escape", timeout=120)
            window = self.screen.wait_window(TITLE, timeout=60)

            def sounding():
                with open(audio, "rb") as f:
                    return len(f.read().strip(b"\0")) > 44100
            until(lambda: os.path.exists(audio) and sounding(), 60, "track 1 being played")
            self.screen.keys(window, "Escape")
            return disk.wait(timeout=60)
        finally:
            if disk.poll() is None:
                disk.kill()

    def test_the_program_is_a_64_bit_gui_program_that_needs_only_windows_own_dlls(self):
        program = os.path.join(BUILD, "musicdisk.exe")
        self.assertIn("PE32+ executable (GUI) x86-64", run("file", program).stdout)
        imports = run("x86_64-w64-mingw32-objdump", "-p", program).stdout
        dlls = {name.lower() for name in re.findall(r"DLL Name: (\S+)", imports)}
        self.assertEqual(dlls - SYSTEM_DLLS, set(), "libraries a Windows machine does not have")
        self.assertIn("opengl32.dll", dlls)

    def test_the_zip_alone_plays_in_a_new_prefix(self):
        with zipfile.ZipFile(self.zip) as z:
            names = sorted(z.namelist())
            z.extractall(self.dir)
        folder = os.path.join(self.dir, os.path.basename(self.zip)[:-len(".zip")])
        shipped = sorted(n for n in os.listdir(os.path.join(BUILD, "datas")) if not n.startswith("."))
        self.assertEqual(sorted(os.listdir(folder)), ["LICENSE.txt", "README.txt", "datas", "musicdisk.exe"], names)
        self.assertEqual(filecmp.cmpfiles(os.path.join(BUILD, "datas"), os.path.join(folder, "datas"), shipped,
                                          shallow=False)[0], shipped, "the data byte for byte as the build made it")
        self.new_prefix()
        self.assertEqual(self.play_track_1_and_escape("wine", "musicdisk.exe", cwd=folder), 27)

    def test_the_installer_installs_silently_runs_from_its_shortcut_and_uninstalls_cleanly(self):
        drive_c = self.new_prefix()
        done = run("wine", self.installer, "/S", "/D=C:\\MusicDisk", env=self.env)
        self.assertEqual(done.returncode, 0, done.stderr)
        run("wineserver", "-w", env=self.env)
        installed = drive_c("MusicDisk")
        self.assertEqual(sorted(os.listdir(installed)),
                         ["LICENSE.txt", "README.txt", "datas", "musicdisk.exe", "uninstall.exe"])
        shortcut = drive_c("ProgramData/Microsoft/Windows/Start Menu/Programs/%s.lnk" % NAME)
        self.assertTrue(os.path.exists(shortcut), "the Start-menu entry")
        key = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\musicdisk"
        listed = run("wine", "reg", "query", key, env=self.env).stdout
        self.assertIn("C:\\MusicDisk\\uninstall.exe", listed, "the uninstaller among the installed programs")
        # The Start menu starts the program in its folder, where it finds its data.
        target, folder = shortcut_target(shortcut)
        self.assertEqual((target, folder), ("C:\\MusicDisk\\musicdisk.exe", "C:\\MusicDisk"))
        # The very files of the zip, which the zip's case plays.
        with zipfile.ZipFile(self.zip) as z:
            files = [n.split("/", 1)[1] for n in z.namelist() if not n.endswith("/")]
            z.extractall(self.dir)
        unpacked = os.path.join(self.dir, os.path.basename(self.zip)[:-len(".zip")])
        self.assertEqual(filecmp.cmpfiles(unpacked, installed, files, shallow=False)[0], files, "installed as zipped")

        done = run("wine", drive_c("MusicDisk/uninstall.exe"), "/S", env=self.env)
        self.assertEqual(done.returncode, 0, done.stderr)
        # The uninstaller hands over to a copy of itself and returns at once.
        until(lambda: not os.path.exists(installed), 120, "the installed folder going")
        run("wineserver", "-w", env=self.env)
        self.assertFalse(os.path.exists(shortcut), "the Start-menu entry left behind")
        self.assertNotEqual(run("wine", "reg", "query", key, env=self.env).returncode, 0, "the uninstall entry left")


if __name__ == "__main__":
    unittest.main()
