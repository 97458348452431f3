#!/usr/bin/env python3
"""The house plan, checked: every `#include "ROOM/..."` of the program's
rooms must point down the plan. RULES is the one copy of who may include
whom; a room missing from it (app/, content/, tools/) may include anything.

Run as: house_plan_test.py SOURCE_DIR [HouseTest.case]"""
import os
import re
import sys
import unittest

SOURCE = os.path.abspath(sys.argv.pop(1)) if len(sys.argv) > 1 else \
    os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")

# Room: the rooms it may include besides itself.
RULES = {
    "platform": set(),
    "image": {"platform"},
    "player": {"platform"},
    "visuals": {"image", "platform"},
}
ROOMS = ("platform", "image", "player", "visuals", "app", "content", "tools")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)


def included_room(source_path, name):
    """The room an include names, as the compiler resolves it: beside the
    including file first, then from the top of the tree."""
    beside = os.path.normpath(os.path.join(os.path.dirname(source_path), name))
    target = beside if os.path.exists(beside) else os.path.normpath(os.path.join(SOURCE, name))
    first = os.path.relpath(target, SOURCE).split(os.sep)[0]
    return first if first in ROOMS else None


def violations(tree):
    """(file, include, room) for every include that points against RULES."""
    found = []
    for room, allowed in RULES.items():
        for folder, _, files in os.walk(os.path.join(tree, room)):
            for name in sorted(files):
                if not name.endswith((".h", ".cpp")):
                    continue
                path = os.path.join(folder, name)
                with open(path, encoding="utf-8") as f:
                    text = f.read()
                for include in INCLUDE.findall(text):
                    target = included_room(path, include)
                    if target and target != room and target not in allowed:
                        found.append((os.path.relpath(path, tree), include, target))
    return found


class HouseTest(unittest.TestCase):
    def test_every_include_points_down_the_plan(self):
        self.assertTrue(os.path.isdir(os.path.join(SOURCE, "platform")), SOURCE)
        bad = violations(SOURCE)
        self.assertEqual(bad, [], "includes against the house plan: " +
                         "; ".join(f"{f} includes {i} ({r})" for f, i, r in bad))


if __name__ == "__main__":
    unittest.main()
