#!/usr/bin/env python3
"""Writes a private apt source list: a deb-src twin of this machine's Debian entries.

The Windows dependencies are built from Debian source packages, so we need
deb-src lines for the same archive the machine already installs from. They
are read here at run time, never copied into the repository, and written
to a file of our own so the machine's apt configuration stays untouched.

Usage: windows-apt-sources.py OUTPUT.sources [APT_ETC_DIR]

An entry is kept when it serves this machine's release (its suites are the
codename, codename-updates or codename-security, its components are
Debian's) and it is signed by a Debian archive keyring, or names no keyring
at all and so relies on the machine's trusted keys. Third-party repositories
carry their own keyring and are left out.
"""

import glob
import os
import sys

DEBIAN_COMPONENTS = {"main", "contrib", "non-free", "non-free-firmware"}


def release_codename(os_release="/etc/os-release"):
    try:
        with open(os_release, encoding="utf-8") as f:
            for line in f:
                key, _, value = line.strip().partition("=")
                if key == "VERSION_CODENAME":
                    return value.strip('"')
    except OSError:
        pass
    return ""


def one_line_entries(path):
    """Entries of a one-line style file (sources.list, *.list)."""
    entries = []
    with open(path, encoding="utf-8") as f:
        for raw in f:
            line = raw.split("#", 1)[0].strip()
            if not line:
                continue
            words = line.split()
            kind = words.pop(0)
            options = {}
            if words and words[0].startswith("["):
                # "[ key=value key=value ]", possibly split over several words.
                text = ""
                while words:
                    text += " " + words.pop(0)
                    if text.endswith("]"):
                        break
                for option in text.strip(" []").split():
                    key, _, value = option.partition("=")
                    options[key.lower()] = value
            if len(words) < 2:
                continue
            entries.append({
                "types": [kind],
                "uris": [words[0]],
                "suites": [words[1]],
                "components": words[2:],
                "signed-by": options.get("signed-by", ""),
                "enabled": "yes",
            })
    return entries


def deb822_entries(path):
    """Entries of a deb822 style file (*.sources)."""
    entries = []
    stanza = {}
    key = None

    def finish():
        if stanza:
            entries.append({
                "types": stanza.get("types", "").split(),
                "uris": stanza.get("uris", "").split(),
                "suites": stanza.get("suites", "").split(),
                "components": stanza.get("components", "").split(),
                "signed-by": stanza.get("signed-by", "").strip(),
                "enabled": stanza.get("enabled", "yes").strip().lower(),
            })

    with open(path, encoding="utf-8") as f:
        for raw in f:
            line = raw.rstrip("\n")
            if line.startswith("#"):
                continue
            if not line.strip():
                finish()
                stanza, key = {}, None
            elif line[0] in " \t" and key:
                stanza[key] += "\n" + line.strip()
            else:
                key, _, value = line.partition(":")
                key = key.strip().lower()
                stanza[key] = value.strip()
    finish()
    return entries


def is_debian(entry, codename):
    if entry["enabled"] == "no" or "deb" not in entry["types"]:
        return False
    allowed = {codename, codename + "-updates", codename + "-security"}
    if not entry["suites"] or not set(entry["suites"]) <= allowed:
        return False
    if not entry["components"] or not set(entry["components"]) <= DEBIAN_COMPONENTS:
        return False
    if not any(uri.startswith(("http://", "https://", "file:/", "mirror+")) for uri in entry["uris"]):
        return False
    keyring = entry["signed-by"]
    if not keyring:
        return True
    # A path (or several); an inline key block is a third party's habit.
    return all(os.path.basename(k).startswith("debian-archive-") for k in keyring.split())


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit("usage: windows-apt-sources.py OUTPUT.sources [APT_ETC_DIR]")
    output = sys.argv[1]
    etc = sys.argv[2] if len(sys.argv) == 3 else "/etc/apt"
    codename = release_codename()
    if not codename:
        sys.exit("windows-apt-sources: no VERSION_CODENAME in /etc/os-release")

    entries = []
    if os.path.isfile(os.path.join(etc, "sources.list")):
        entries += one_line_entries(os.path.join(etc, "sources.list"))
    # apt reads only these two suffixes from sources.list.d; so do we.
    for path in sorted(glob.glob(os.path.join(etc, "sources.list.d", "*.list"))):
        entries += one_line_entries(path)
    for path in sorted(glob.glob(os.path.join(etc, "sources.list.d", "*.sources"))):
        entries += deb822_entries(path)

    stanzas = []
    for entry in entries:
        if not is_debian(entry, codename):
            continue
        lines = ["Types: deb-src",
                 "URIs: " + " ".join(entry["uris"]),
                 "Suites: " + " ".join(entry["suites"]),
                 "Components: " + " ".join(entry["components"])]
        if entry["signed-by"]:
            lines.append("Signed-By: " + entry["signed-by"])
        stanza = "\n".join(lines) + "\n"
        if stanza not in stanzas:
            stanzas.append(stanza)
    if not stanzas:
        sys.exit("windows-apt-sources: no Debian %s entry in %s/sources.list or %s/sources.list.d"
                 % (codename, etc, etc))

    os.makedirs(os.path.dirname(os.path.abspath(output)), exist_ok=True)
    text = "# Written by windows-apt-sources.py from the machine's apt entries.\n\n" + "\n".join(stanzas)
    old = None
    if os.path.exists(output):
        with open(output, encoding="utf-8") as f:
            old = f.read()
    # Left alone when unchanged, so its time tells whether the lists are current.
    if text != old:
        with open(output, "w", encoding="utf-8") as f:
            f.write(text)


if __name__ == "__main__":
    main()
