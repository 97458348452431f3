#!/usr/bin/env python3
"""The disk installed as a desktop program: `cmake --install` into a
temporary prefix puts every file where the menu entry and the launcher look
for it; the installed launcher, started from a folder without the disk's
data, plays the disk under its own Xvfb; `cpack -G DEB` gives a package that
depends on every library its programs load and in which lintian finds no
error. Run one case: install_test.py Packaging.test_name.

Needs BUILD (the build tree), CMAKE and CPACK in the environment."""
import filecmp
import glob
import os
import re
import shutil
import struct
import subprocess
import tempfile
import time
import unittest

BUILD = os.environ.get("BUILD", "")
CMAKE = os.environ.get("CMAKE", "cmake")
CPACK = os.environ.get("CPACK", "cpack")


def run(*args, **kwargs):
    return subprocess.run(args, capture_output=True, text=True, timeout=90, **kwargs)


def xvfb():
    """A private Xvfb, numbered by the server itself: (process, environment)."""
    read, write = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                              pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write)
    with os.fdopen(read) as f:
        env = dict(os.environ, DISPLAY=":" + f.readline().strip())
    env.pop("SDL_VIDEODRIVER", None)
    return server, env


def is_program(path):
    if not os.path.isfile(path) or os.path.islink(path):
        return False
    with open(path, "rb") as f:
        return f.read(4) == b"\x7fELF"


def window(env, name):
    """The id of the window with this title, or None."""
    tree = run("xwininfo", "-root", "-tree", env=env).stdout
    m = re.search(r'^\s*(0x[0-9a-f]+) "%s": ' % re.escape(name), tree, re.M)
    return m and m.group(1)


class Packaging(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="packaging_test_")
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.prefix = os.path.join(self.dir, "prefix")

    def install(self):
        done = run(CMAKE, "--install", BUILD, "--prefix", self.prefix)
        self.assertEqual(done.returncode, 0, done.stderr)

    def under(self, *parts):
        return os.path.join(self.prefix, *parts)

    def test_install_puts_every_file_where_the_entry_and_the_launcher_look(self):
        self.install()
        entry_path = self.under("share", "applications", "musicdisk.desktop")
        valid = run("desktop-file-validate", entry_path)
        self.assertEqual((valid.returncode, valid.stdout + valid.stderr), (0, ""))
        with open(entry_path) as f:
            entry = dict(line.strip().split("=", 1) for line in f if "=" in line)
        self.assertTrue(os.access(self.under("bin", entry["Exec"].split()[0]), os.X_OK))
        for size in (256, 48):
            with open(self.under("share", "icons", "hicolor", "%dx%d" % (size, size), "apps",
                                 entry["Icon"] + ".png"), "rb") as f:
                head = f.read(24)
            self.assertEqual((head[:8], struct.unpack(">II", head[16:24])), (b"\x89PNG\r\n\x1a\n", (size, size)))

        # The data beside the program, byte for byte what the build made.
        shipped = sorted(n for n in os.listdir(os.path.join(BUILD, "datas")) if not n.startswith("."))
        datas = self.under("share", "musicdisk", "datas")
        self.assertEqual(len(shipped), 16)
        self.assertEqual(sorted(os.listdir(datas)), shipped)
        self.assertEqual(filecmp.cmpfiles(datas, os.path.join(BUILD, "datas"), shipped, False)[0], shipped)
        with open(self.under("libexec", "musicdisk", "musicdisk"), "rb") as f:
            self.assertEqual(f.read(4), b"\x7fELF")

        # The tools run from anywhere, on the installed data, and every
        # program on the path has its manual page.
        wav = os.path.join(self.dir, "a.wav")
        done = run(self.under("bin", "render-wav"), os.path.join(datas, "1-ambre.it"), wav, "--seconds", "0.5")
        self.assertEqual((done.returncode, os.path.getsize(wav)), (0, 44 + 22050 * 4), done.stderr)
        self.assertEqual(run(self.under("bin", "render-video"), "--help").returncode, 0)
        self.assertEqual(sorted(os.listdir(self.under("bin"))),
                         ["musicdisk", "render-frame", "render-video", "render-wav"])
        for name in os.listdir(self.under("bin")):
            self.assertEqual(len(glob.glob(self.under("share", "man", "man[16]", name + ".[16].gz"))), 1, name)

    def test_the_launcher_plays_the_disk_from_another_folder(self):
        self.install()
        # Through a link in a folder without datas/, as from a menu or a
        # link in a games folder.
        elsewhere = os.path.join(self.dir, "elsewhere")
        os.mkdir(elsewhere)
        os.symlink(self.under("bin", "musicdisk"), os.path.join(elsewhere, "musicdisk"))
        heard = os.path.join(self.dir, "heard.raw")
        server, env = xvfb()
        self.addCleanup(server.wait)
        self.addCleanup(server.terminate)
        disk = subprocess.Popen(["./musicdisk"], cwd=elsewhere, stderr=subprocess.PIPE, text=True,
                                env=dict(env, SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=heard))
        self.addCleanup(lambda: disk.poll() is None and disk.kill())
        # Answer the fullscreen question No (Escape), until the window opens.
        end = time.monotonic() + 30
        while not window(env, "Korvid Music Disk #1 (Velvane Musik Disk)"):
            self.assertTrue(disk.poll() is None and time.monotonic() < end, "the disk's window never opened")
            box = window(env, "Velvane Musik Disk")
            if box:
                run("xdotool", "windowfocus", "--sync", box, "key", "Escape", env=env)
            time.sleep(0.2)
        time.sleep(1.5)
        run("xdotool", "windowfocus", "--sync", window(env, "Korvid Music Disk #1 (Velvane Musik Disk)"),
            "key", "Escape", env=env)
        self.assertEqual(disk.wait(timeout=20), 27, disk.stderr.read())
        with open(heard, "rb") as f:
            sound = f.read()
        self.assertGreater(len(sound), 44100 * 4 // 2, "half a second at least")
        self.assertGreater(len(sound) - sound.count(0), len(sound) // 4, "the disk is heard, not silence")
        self.assertEqual(os.listdir(elsewhere), ["musicdisk"])

    def test_the_deb_depends_on_every_library_it_loads_and_lintian_finds_no_error(self):
        made = run(CPACK, "-G", "DEB", "-B", self.dir, cwd=BUILD)
        self.assertEqual(made.returncode, 0, made.stdout + made.stderr)
        deb, = glob.glob(os.path.join(self.dir, "*.deb"))
        field = run("dpkg-deb", "-f", deb, "Depends").stdout  # the value alone
        depends = {re.sub(r"\(.*\)", "", p).strip() for p in re.split(r"[,|]", field)}
        self.assertIn("libgl1", depends, "SDL opens libGL itself, which brings the GL driver")

        # Every library a packaged program needs belongs to a package that
        # the package depends on.
        root = os.path.join(self.dir, "root")
        self.assertEqual(run("dpkg-deb", "-x", deb, root).returncode, 0)
        where = dict(re.findall(r"^\s*(\S+) \(libc6,x86-64.*\) => (\S+)$", run("ldconfig", "-p").stdout, re.M))
        programs = [p for p in glob.glob(os.path.join(root, "usr", "**"), recursive=True) if is_program(p)]
        self.assertEqual(len(programs), 4)
        for program in programs:
            for library in re.findall(r"\(NEEDED\).*\[(.*)\]", run("readelf", "-d", program).stdout):
                owner = run("dpkg", "-S", where[library])
                if owner.returncode:
                    owner = run("dpkg", "-S", os.path.realpath(where[library]))
                package = owner.stdout.split(":")[0]
                self.assertIn(package, depends, "%s needs %s from %s" % (program, library, package))

        lint = run("lintian", "--fail-on", "error", deb)
        self.assertEqual(lint.returncode, 0, lint.stdout + lint.stderr)
        self.assertNotRegex(lint.stdout, r"(?m)^E: ")


if __name__ == "__main__":
    unittest.main()
