#!/usr/bin/env python3
"""The disk installed as a desktop program: `cmake --install` into a
temporary prefix lays out every file where the menu entry and the launcher
look for it; the installed launcher, started from a folder without the
disk's data, plays the disk under its own Xvfb; `cpack -G DEB` gives a
package that depends on every library its programs load and that lintian
finds no error in. Run one case: install_test.py Packaging.test_name.

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

QUESTION = "Velvane Musik Disk"
TITLE = "Korvid Music Disk #1 (Velvane Musik Disk)"
WINDOW_LINE = re.compile(r'^\s*(0x[0-9a-f]+) "(.*)": ')


def run(*args, **kwargs):
    return subprocess.run(args, capture_output=True, text=True, timeout=90, **kwargs)


def install(prefix):
    done = run(CMAKE, "--install", BUILD, "--prefix", prefix)
    assert done.returncode == 0, done.stderr


def desktop_entry(path):
    """The keys of the [Desktop Entry] group."""
    keys, group = {}, None
    with open(path) as f:
        for line in f:
            line = line.strip()
            if line.startswith("["):
                group = line
            elif group == "[Desktop Entry]" and "=" in line and not line.startswith("#"):
                key, value = line.split("=", 1)
                keys[key.strip()] = value.strip()
    return keys


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    assert head[:8] == b"\x89PNG\r\n\x1a\n" and head[12:16] == b"IHDR", path + " is not a PNG"
    return struct.unpack(">II", head[16:24])


def package_names(field):
    """The package names of a Depends field, alternatives included."""
    return {re.sub(r"\s*\(.*\)", "", p).strip() for p in re.split(r"[,|]", field) if p.strip()}


class Screen:
    """A private Xvfb, numbered by the server itself."""

    def __init__(self):
        read, write = os.pipe()
        self.proc = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24", "-nolisten",
                                      "tcp"], pass_fds=(write,), stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        os.close(write)
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read, 16)
            if not chunk:
                raise RuntimeError("Xvfb did not start")
            number += chunk
        os.close(read)
        self.env = dict(os.environ, DISPLAY=":" + number.decode().strip())
        for name in ("WAYLAND_DISPLAY", "SDL_VIDEODRIVER"):
            self.env.pop(name, None)

    def window(self, name, timeout=20):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            for line in run("xwininfo", "-root", "-tree", env=self.env).stdout.splitlines():
                m = WINDOW_LINE.match(line)
                if m and m.group(2) == name:
                    return m.group(1)
            time.sleep(0.1)
        raise AssertionError("no window named %r" % name)

    def press(self, window, key):
        run("xdotool", "windowfocus", "--sync", window, "key", key, env=self.env)

    def close(self):
        self.proc.terminate()
        self.proc.wait(timeout=10)


class Packaging(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="packaging_test_")
        self.addCleanup(shutil.rmtree, self.dir, True)

    def test_install_puts_every_file_where_the_entry_and_the_launcher_look(self):
        prefix = os.path.join(self.dir, "prefix")
        install(prefix)
        entry_path = os.path.join(prefix, "share", "applications", "musicdisk.desktop")
        valid = run("desktop-file-validate", entry_path)
        self.assertEqual((valid.returncode, valid.stdout + valid.stderr), (0, ""))
        entry = desktop_entry(entry_path)
        self.assertEqual(entry.get("Type"), "Application")
        launcher = os.path.join(prefix, "bin", entry["Exec"].split()[0])
        self.assertTrue(os.access(launcher, os.X_OK), launcher)
        for size in (256, 48):
            icon = os.path.join(prefix, "share", "icons", "hicolor", "%dx%d" % (size, size), "apps",
                                entry["Icon"] + ".png")
            self.assertEqual(png_size(icon), (size, size))

        # The data beside the program, byte for byte what the build made.
        shipped = sorted(n for n in os.listdir(os.path.join(BUILD, "datas")) if not n.startswith("."))
        datas = os.path.join(prefix, "share", "musicdisk", "datas")
        self.assertEqual(len(shipped), 16)
        self.assertEqual(sorted(os.listdir(datas)), shipped)
        for name in shipped:
            self.assertTrue(filecmp.cmp(os.path.join(datas, name), os.path.join(BUILD, "datas", name), False), name)
        program = os.path.join(prefix, "libexec", "musicdisk", "musicdisk")
        with open(program, "rb") as f:
            self.assertEqual(f.read(4), b"\x7fELF")

        # The tools run from anywhere, on the installed data.
        for tool in ("render-wav", "render-frame", "render-video"):
            self.assertTrue(os.access(os.path.join(prefix, "bin", tool), os.X_OK), tool)
        wav = os.path.join(self.dir, "a.wav")
        done = run(os.path.join(prefix, "bin", "render-wav"), os.path.join(datas, "1-ambre.it"), wav,
                   "--seconds", "0.5", cwd=self.dir)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(os.path.getsize(wav), 44 + 22050 * 4)
        done = run(os.path.join(prefix, "bin", "render-video"), "--help", cwd=self.dir)
        self.assertEqual(done.returncode, 0, done.stderr)

        # Every program on the path has its manual page.
        for name in os.listdir(os.path.join(prefix, "bin")):
            pages = glob.glob(os.path.join(prefix, "share", "man", "man[16]", name + ".[16].gz"))
            self.assertEqual(len(pages), 1, name)

    def test_the_launcher_plays_the_disk_from_another_folder(self):
        prefix = os.path.join(self.dir, "prefix")
        install(prefix)
        # Started through a link in a folder without datas/, as a menu or a
        # link in a games folder would.
        elsewhere = os.path.join(self.dir, "elsewhere")
        os.mkdir(elsewhere)
        os.symlink(os.path.join(prefix, "bin", "musicdisk"), os.path.join(elsewhere, "musicdisk"))
        heard = os.path.join(self.dir, "heard.raw")
        screen = Screen()
        self.addCleanup(screen.close)
        env = dict(screen.env, SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=heard)
        disk = subprocess.Popen(["./musicdisk"], cwd=elsewhere, env=env, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True)
        self.addCleanup(lambda: disk.poll() is None and disk.kill())
        box = screen.window(QUESTION)
        end = time.monotonic() + 20
        while time.monotonic() < end:  # the box may take the key before it is mapped
            if disk.poll() is not None:
                self.fail("the disk ended with status %d: %s" % (disk.returncode, disk.stderr.read()))
            screen.press(box, "Escape")
            try:
                window = screen.window(TITLE, timeout=1)
                break
            except AssertionError:
                pass
        else:
            self.fail("the disk's window never opened")
        time.sleep(1.5)
        screen.press(window, "Escape")
        self.assertEqual(disk.wait(timeout=20), 27, disk.stderr.read())
        with open(heard, "rb") as f:
            sound = f.read()
        self.assertGreater(len(sound), 44100 * 4 // 2, "half a second at least")
        self.assertGreater(len(sound) - sound.count(0), len(sound) // 4, "the disk is heard, not silence")
        self.assertEqual(os.listdir(elsewhere), ["musicdisk"])

    def test_the_deb_depends_on_every_library_it_loads_and_lintian_finds_no_error(self):
        made = run(CPACK, "-G", "DEB", "-B", self.dir, cwd=BUILD)
        self.assertEqual(made.returncode, 0, made.stdout + made.stderr)
        debs = glob.glob(os.path.join(self.dir, "*.deb"))
        self.assertEqual(len(debs), 1)
        deb = debs[0]
        fields = run("dpkg-deb", "-f", deb, "Package", "Section", "Depends").stdout
        self.assertIn("Package: musicdisk", fields)
        depends = package_names(re.search(r"^Depends: (.*)$", fields, re.M).group(1))
        # SDL opens libGL itself, which brings the system's GL driver.
        self.assertIn("libgl1", depends)

        root = os.path.join(self.dir, "root")
        self.assertEqual(run("dpkg-deb", "-x", deb, root).returncode, 0)
        for path in ("usr/bin/musicdisk", "usr/libexec/musicdisk/musicdisk", "usr/bin/render-video",
                     "usr/share/applications/musicdisk.desktop", "usr/share/icons/hicolor/48x48/apps/musicdisk.png",
                     "usr/share/musicdisk/datas/12-CODA.IT", "usr/share/doc/musicdisk/copyright"):
            self.assertTrue(os.path.exists(os.path.join(root, path)), path)

        # Every library an installed program needs belongs to a package
        # that the package depends on.
        where = {}
        for line in run("ldconfig", "-p").stdout.splitlines():
            m = re.match(r"\s*(\S+) \(libc6,x86-64.*\) => (\S+)", line)
            if m:
                where.setdefault(m.group(1), m.group(2))
        programs = 0
        for folder, _, names in os.walk(root):
            for name in names:
                path = os.path.join(folder, name)
                with open(path, "rb") as f:
                    if os.path.islink(path) or f.read(4) != b"\x7fELF":
                        continue
                programs += 1
                needed = re.findall(r"\(NEEDED\)\s+Shared library: \[(.*)\]", run("readelf", "-d", path).stdout)
                self.assertTrue(needed, path)
                for library in needed:
                    self.assertIn(library, where, library)
                    owner = run("dpkg", "-S", where[library])
                    if owner.returncode != 0:
                        owner = run("dpkg", "-S", os.path.realpath(where[library]))
                    package = owner.stdout.split(":")[0]
                    self.assertIn(package, depends, "%s needs %s from %s" % (name, library, package))
        self.assertEqual(programs, 4)

        lint = run("lintian", "--fail-on", "error", deb)
        self.assertEqual(lint.returncode, 0, lint.stdout + lint.stderr)
        self.assertNotRegex(lint.stdout, r"(?m)^E: ")


if __name__ == "__main__":
    unittest.main()
