#!/usr/bin/env python3
"""Runs one command and appends one JSON line with its time and memory.

    measure.py --out results.jsonl --case NAME --phase install --run 1 [--cwd DIR] -- COMMAND...

Recorded: the wall time from start to exit; the exit code; the CPU time
(user and system) of the process and its descendants (less disturbed than the
wall time by other load on the machine, but without the wine server's share); the peak resident
set (ru_maxrss of the process, which for a Wine program is the Windows
process itself, including the pages of files it maps); the peak private
memory (the sum of RssAnon over the process and its descendants, sampled
every 10 ms, so a peak shorter than that can be missed); and, when the
program prints "seconds=<s>", that internal time. The command's output goes
to a file, never a pipe: Wine's helper processes inherit the standard
handles and would keep a pipe open after the program ended.
"""
import argparse
import json
import os
import re
import subprocess
import sys
import tempfile
import threading
import time


def rss_anon_kb(pid):
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("RssAnon:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def children(pid):
    out = []
    try:
        for tid in os.listdir("/proc/%d/task" % pid):
            with open("/proc/%d/task/%s/children" % (pid, tid)) as f:
                out.extend(int(c) for c in f.read().split())
    except OSError:
        pass
    return out


def tree_anon_kb(root):
    total, todo, seen = 0, [root], set()
    while todo:
        pid = todo.pop()
        if pid in seen:
            continue
        seen.add(pid)
        total += rss_anon_kb(pid)
        todo.extend(children(pid))
    return total


class Sampler(threading.Thread):
    def __init__(self, pid):
        super().__init__(daemon=True)
        self.pid, self.peak, self.stop = pid, 0, threading.Event()

    def run(self):
        while not self.stop.is_set():
            self.peak = max(self.peak, tree_anon_kb(self.pid))
            self.stop.wait(0.01)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--out", required=True)
    ap.add_argument("--case", required=True)
    ap.add_argument("--phase", required=True)
    ap.add_argument("--run", type=int, required=True)
    ap.add_argument("--cwd")
    ap.add_argument("command", nargs=argparse.REMAINDER)
    a = ap.parse_args()
    command = a.command[1:] if a.command[:1] == ["--"] else a.command
    if not command:
        sys.exit("measure: no command")
    with tempfile.TemporaryFile() as log:
        start = time.perf_counter()
        # A session of its own: with the kernel's scheduler autogroups the
        # program then gets its own share of the CPU, as the wine server that
        # tests/wine-env.sh starts with setsid does, instead of a slice of the
        # share of the shell's session that every other command there divides.
        proc = subprocess.Popen(command, cwd=a.cwd, stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
                                start_new_session=True)
        sampler = Sampler(proc.pid)
        sampler.start()
        _, status, usage = os.wait4(proc.pid, 0)
        wall = time.perf_counter() - start
        sampler.stop.set()
        sampler.join()
        proc.returncode = os.waitstatus_to_exitcode(status)
        log.seek(0)
        output = log.read().decode("utf-8", "replace")
    found = re.search(r"seconds=([0-9.]+)", output)
    record = {
        "case": a.case, "phase": a.phase, "run": a.run, "wall": round(wall, 4), "rc": proc.returncode,
        "cpu": round(usage.ru_utime + usage.ru_stime, 4), "peak_rss_kb": usage.ru_maxrss, "peak_private_kb": sampler.peak,
        "internal": float(found.group(1)) if found else None,
    }
    with open(a.out, "a", encoding="utf-8") as f:
        f.write(json.dumps(record) + "\n")
    shown = " ".join(command)
    print("  %-14s %-9s run %d: %7.3f s  cpu %6.2f s  rc %d  rss %4d MB  private %4d MB%s" % (
        a.case, a.phase, a.run, wall, record["cpu"], proc.returncode, usage.ru_maxrss // 1024, sampler.peak // 1024,
        "  (internal %.3f s)" % record["internal"] if found else ""))
    if proc.returncode != 0:
        print("  measure: %s ended with %d; its output:\n%s" % (shown, proc.returncode, output[-2000:]))
    sys.exit(0)


if __name__ == "__main__":
    main()
