#!/usr/bin/env python3
"""Each tool's usage, three times written: what --help prints, the manual
page's synopsis and the README's line. All three must say the same, word
for word. Needs TOOLS (the build's tools folder) in the environment.

Run as: usage_test.py SOURCE_DIR [Usage.case]"""
import os
import re
import shlex
import subprocess
import sys
import unittest

SOURCE = os.path.abspath(sys.argv.pop(1))
TOOLS = ("make-datas", "render-wav", "render-frame", "render-video")


def from_help(tool):
    """The usage: line and the lines indented under it."""
    out = subprocess.run([os.path.join(os.environ["TOOLS"], tool), "--help"],
                         capture_output=True, text=True, timeout=60).stdout
    lines = out.splitlines()
    first = next(i for i, line in enumerate(lines) if line.startswith("usage: "))
    usage = [lines[first][len("usage: "):]]
    for line in lines[first + 1:]:
        if not line.startswith(" "):
            break
        usage.append(line)
    return " ".join(" ".join(usage).split())


def from_manual(tool):
    """The SYNOPSIS section, roff's font macros undone: .B and .I join their
    words with spaces, the alternating ones (.RB, .IR, ...) without."""
    with open(os.path.join(SOURCE, "packaging", "man", tool + ".1"), encoding="utf-8") as f:
        roff = f.read()
    synopsis = re.search(r"^\.SH SYNOPSIS\n(.*?)^\.SH ", roff, re.M | re.S).group(1)
    words = []
    for line in synopsis.splitlines():
        macro, _, rest = line.partition(" ")
        parts = shlex.split(rest.replace("\\-", "-"))
        words.append(" ".join(parts) if macro in (".B", ".I") else "".join(parts))
    return " ".join(" ".join(words).split())


def from_readme(tool):
    """The README's one indented line that starts with the tool's name."""
    with open(os.path.join(SOURCE, "README.md"), encoding="utf-8") as f:
        lines = [line.strip() for line in f if line.startswith("    " + tool + " ")]
    return lines


class Usage(unittest.TestCase):
    def test_help_manual_and_readme_agree(self):
        for tool in TOOLS:
            usage = from_help(tool)
            self.assertTrue(usage.startswith(tool + " "), tool + " --help: " + usage)
            self.assertEqual(from_manual(tool), usage, tool + ": the manual page against --help")
            self.assertEqual(from_readme(tool), [usage], tool + ": the README against --help")


if __name__ == "__main__":
    unittest.main()
