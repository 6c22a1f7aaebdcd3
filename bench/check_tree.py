#!/usr/bin/env python3
"""Checks that an installed folder holds every payload file with its size.

    check_tree.py PAYLOAD_FILES INSTALLED    exit 0 and "ok: N files", else 1 and what differs

Extra files in INSTALLED (an uninstaller, logs) are allowed.
"""
import os
import sys


def sizes(root):
    out = {}
    for folder, _, files in os.walk(root):
        for name in files:
            path = os.path.join(folder, name)
            out[os.path.relpath(path, root).lower()] = os.path.getsize(path)
    return out


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: check_tree.py PAYLOAD_FILES INSTALLED")
    want, have = sizes(sys.argv[1]), sizes(sys.argv[2]) if os.path.isdir(sys.argv[2]) else {}
    missing = [p for p in want if p not in have]
    wrong = [p for p in want if p in have and have[p] != want[p]]
    if missing or wrong:
        print("check: %d of %d files missing, %d with a wrong size (first: %s)" % (
            len(missing), len(want), len(wrong), (missing + wrong)[0]))
        sys.exit(1)
    print("ok: %d files" % len(want))


if __name__ == "__main__":
    main()
