#!/usr/bin/env python3
"""The disk as a desktop program: installed layout, launcher, Debian package. Needs BUILD, CMAKE
and CPACK in the environment; run one case as install_test.py Packaging.test_name, once the
installs the cases share are made by install_test.py --install."""
import filecmp
import glob
import os
import re
import struct
import subprocess
import sys
import tempfile
import unittest

BUILD = os.environ.get("BUILD", "")
SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
sys.path.insert(0, os.path.join(SOURCE, "cmake"))
from xscreen import QUESTION, TITLE, Screen, until  # noqa: E402

# The shared installs: the disk component alone, and everything.
INSTALLS = os.path.join(BUILD, "packaging-installs")


def run(*args, **kwargs):
    return subprocess.run(args, capture_output=True, text=True, timeout=90, **kwargs)


def install_all():
    """cmake --install of the build tree into INSTALLS/disk and INSTALLS/all, made anew."""
    for name, chosen in (("disk", ["--component", "disk"]), ("all", [])):
        prefix = os.path.join(INSTALLS, name)
        subprocess.run(["rm", "-rf", prefix], check=True)
        done = run(os.environ.get("CMAKE", "cmake"), "--install", BUILD, "--prefix", prefix, *chosen)
        if done.returncode != 0:
            sys.exit("install into %s failed: %s" % (prefix, done.stderr))


def installed(name):
    return lambda *parts: os.path.join(INSTALLS, name, *parts)


class Packaging(unittest.TestCase):
    def setUp(self):
        self.dir = self.enterContext(tempfile.TemporaryDirectory(prefix="packaging_test_"))

    def test_install_puts_every_file_where_the_entry_and_the_launcher_look(self):
        self.assertEqual(os.listdir(installed("disk")("bin")), ["musicdisk"], "the disk alone holds no tool")
        under = installed("all")
        entry_path = under("share", "applications", "musicdisk.desktop")
        valid = run("desktop-file-validate", entry_path)
        self.assertEqual((valid.returncode, valid.stdout + valid.stderr), (0, ""))
        with open(entry_path) as f:
            entry = dict(line.strip().split("=", 1) for line in f if "=" in line)
        self.assertTrue(os.access(under("bin", entry["Exec"].split()[0]), os.X_OK))
        for size in (16, 24, 32, 48, 64, 128, 256):
            icon = under("share", "icons", "hicolor", "%dx%d" % (size, size), "apps", entry["Icon"] + ".png")
            with open(icon, "rb") as f:
                head = f.read(24)
            self.assertEqual((head[:8], struct.unpack(">II", head[16:24])), (b"\x89PNG\r\n\x1a\n", (size, size)))
        # One entry for software centres, valid together with the installed
        # menu entry it launches and named after its id.
        metainfo = glob.glob(under("share", "metainfo", "*.metainfo.xml"))
        self.assertEqual(len(metainfo), 1, "one AppStream entry in share/metainfo")
        checked = run("appstreamcli", "validate-tree", "--no-net", under())
        self.assertEqual(checked.returncode, 0, "AppStream's errors and warnings:\n" + checked.stdout + checked.stderr)
        # The data where the launcher goes, byte for byte what the build made.
        shipped = sorted(n for n in os.listdir(os.path.join(BUILD, "datas")) if not n.startswith("."))
        datas = under("share", "musicdisk", "datas")
        self.assertEqual((len(shipped), sorted(os.listdir(datas))), (16, shipped))
        self.assertEqual(filecmp.cmpfiles(datas, os.path.join(BUILD, "datas"), shipped, False)[0], shipped)
        # Every program on the path (their manual pages: lintian's
        # no-manual-page, a warning, in the packages' case).
        self.assertEqual(sorted(os.listdir(under("bin"))),
                         ["make-datas", "musicdisk", "render-frame", "render-video", "render-wav"])

    def test_the_launcher_plays_the_disk_from_another_folder(self):
        under = installed("all")
        # Through a link in a folder without datas/, as from a menu or a
        # link in a games folder, on a private Xvfb numbered by itself.
        elsewhere, heard = os.path.join(self.dir, "elsewhere"), os.path.join(self.dir, "heard.raw")
        os.mkdir(elsewhere)
        os.symlink(under("bin", "musicdisk"), os.path.join(elsewhere, "musicdisk"))
        screen = Screen()
        self.addCleanup(screen.close)
        env = dict(screen.env, SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=heard)
        with open(os.path.join(self.dir, "stderr.txt"), "w") as errors:
            disk = subprocess.Popen(["./musicdisk"], cwd=elsewhere, stderr=errors, env=env)
        self.addCleanup(lambda: disk.poll() is None and disk.kill())
        screen.answer(QUESTION, "Escape")  # No: a window
        window = screen.wait_window(TITLE)
        # Half a second of it heard, then Escape.
        until(lambda: os.path.exists(heard) and os.path.getsize(heard) >= 44100 * 4 // 2, 60, "half a second heard")
        screen.keys(window, "Escape")
        with open(os.path.join(self.dir, "stderr.txt")) as errors:
            self.assertEqual(disk.wait(timeout=60), 27, errors.read())
        with open(heard, "rb") as f:
            sound = f.read()
        self.assertGreater(len(sound), 44100 * 4 // 2, "half a second at least")
        self.assertGreater(len(sound) - sound.count(0), len(sound) // 4, "the disk is heard, not silence")

    def test_the_debs_depend_on_every_library_they_load_and_lintian_finds_no_error_or_warning(self):
        made = run(os.environ.get("CPACK", "cpack"), "-G", "DEB", "-B", self.dir, cwd=BUILD)
        self.assertEqual(made.returncode, 0, made.stdout + made.stderr)
        debs = {os.path.basename(d).split("_")[0]: d for d in glob.glob(os.path.join(self.dir, "*.deb"))}
        self.assertEqual(sorted(debs), ["musicdisk", "musicdisk-tools"])
        where = dict(re.findall(r"^\s*(\S+) \(libc6,x86-64.*\) => (\S+)$", run("ldconfig", "-p").stdout, re.M))
        # What each package must and must not pull in, and how many of its
        # files load libraries.
        expected = {"musicdisk": ({"libgl1"}, 1), "musicdisk-tools": ({"musicdisk", "libgl1"}, 4)}
        for name, deb in sorted(debs.items()):
            field = run("dpkg-deb", "-f", deb, "Depends").stdout  # the value alone
            depends = {re.sub(r"\(.*\)", "", p).strip() for p in re.split(r"[,|]", field)}
            wanted, linked = expected[name]
            self.assertEqual(wanted - depends, set(), name + " lacks a dependency")
            video = {p for p in depends if re.match(r"libav|libsw", p)}
            self.assertEqual(bool(video), name == "musicdisk-tools", name + " and the video encoder: " + field)
            # Every library a packaged program needs belongs to a package
            # that the package depends on.
            root = os.path.join(self.dir, name)
            self.assertEqual(run("dpkg-deb", "-x", deb, root).returncode, 0)
            needs = {p: re.findall(r"\(NEEDED\).*\[(.*)\]", run("readelf", "-d", p).stdout)
                     for p in glob.glob(os.path.join(root, "usr", "**"), recursive=True) if os.path.isfile(p)}
            self.assertEqual(len([p for p in needs if needs[p]]), linked, name)
            for program, libraries in needs.items():
                for library in libraries:
                    package = run("dpkg", "-S", where[library], os.path.realpath(where[library])).stdout.split(":")[0]
                    self.assertIn(package, depends, "%s needs %s from %s" % (program, library, package))
            copyright = os.path.join(root, "usr", "share", "doc", name, "copyright")
            self.assertTrue(os.path.isfile(copyright), name + " carries its licence where dpkg looks")
            lint = run("lintian", "--fail-on", "error,warning", deb)
            self.assertEqual(lint.returncode, 0, name + ": " + lint.stdout + lint.stderr)


if __name__ == "__main__":
    if sys.argv[1:] == ["--install"]:
        install_all()
    else:
        unittest.main()
