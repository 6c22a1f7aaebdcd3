#!/usr/bin/env python3
"""Turns the bench's measurements into the Markdown tables.

    report.py WORKDIR    reads WORKDIR/results.jsonl and WORKDIR/meta.json,
                         prints the tables and writes WORKDIR/results.md
"""
import json
import os
import statistics
import sys

CASES = [  # (case, label)
    ("ks", "Kestrelon (xz chunks)"),
    ("nsis-solid", "NSIS, solid LZMA"),
    ("nsis-lzma", "NSIS, LZMA per file"),
    ("nsis-stored", "NSIS, stored"),
    ("msi", "MSI (wixl, MSZIP cab), msiexec /qn"),
    ("floor-xz", "floor: xz -d, one thread (Linux)"),
    ("floor-write", "floor: write the files under Wine from memory"),
]
UNINSTALL_CASES = [
    ("ks", "Kestrelon"),
    ("nsis-solid", "NSIS, solid LZMA"),
    ("nsis-lzma", "NSIS, LZMA per file"),
    ("nsis-stored", "NSIS, stored"),
    ("msi", "MSI, msiexec /x /qn"),
    ("floor-delete", "floor: delete the files under Wine"),
]


def load(workdir):
    rows = []
    with open(os.path.join(workdir, "results.jsonl"), encoding="utf-8") as f:
        for line in f:
            if line.strip():
                rows.append(json.loads(line))
    with open(os.path.join(workdir, "meta.json"), encoding="utf-8") as f:
        meta = json.load(f)
    return rows, meta


def seconds(row):
    # The floor helpers time only their own work; everything else is wall time.
    return row["internal"] if row["case"].startswith("floor-") and row["internal"] is not None else row["wall"]


def stats(rows, case, phase):
    picked = [r for r in rows if r["case"] == case and r["phase"] == phase]
    ok = [r for r in picked if r["rc"] == 0]
    if not ok:
        return None
    times = sorted(seconds(r) for r in ok)
    if case == "msi":
        # msiexec hands the work to Wine's installer service, another process
        # tree: its CPU time and memory are not this measurement's.
        unseen = {"cpu": None, "rss": None, "private": None}
    else:
        unseen = {}
    return dict({
        "min": times[0], "median": statistics.median(times), "max": times[-1], "n": len(ok),
        "failed": len(picked) - len(ok), "cpu": statistics.median(r.get("cpu", 0) for r in ok),
        "rss": max(r["peak_rss_kb"] for r in ok) / 1024, "private": max(r["peak_private_kb"] for r in ok) / 1024,
    }, **unseen)


def ratio(s, base):
    if not s or not base:
        return "-"
    return "%.2f" % (s["median"] / base["median"])


def cpu_ratio(s, base):
    if not s or not base or s.get("cpu") is None or not base.get("cpu"):
        return "n/a" if s and s.get("cpu") is None else "-"
    return "%.2f" % (s["cpu"] / base["cpu"])


def num(s, key, form):
    return form % s[key] if s and s.get(key) is not None else "n/a"


def fmt_times(s):
    if not s:
        return "-"
    text = "%.2f / %.2f / %.2f" % (s["min"], s["median"], s["max"])
    return text + (" (%d failed)" % s["failed"] if s["failed"] else "")


def install_table(rows, meta):
    mb = meta["payload_bytes"] / 1e6
    base_solid, base_stored = stats(rows, "nsis-solid", "install"), stats(rows, "nsis-stored", "install")
    out = ["| What | Size (MB) | Pack (s) | Install min / median / max (s) | CPU (s) | MB/s | Peak RSS (MB) | "
           "Peak private (MB) | x NSIS solid | x NSIS stored | CPU x NSIS solid | CPU x NSIS stored |",
           "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|"]
    for case, label in CASES:
        phase = "install" if not case.startswith("floor-") else "run"
        s = stats(rows, case, phase)
        if s is None and case not in meta.get("sizes", {}):
            continue
        size = meta.get("sizes", {}).get(case)
        pack = meta.get("pack_seconds", {}).get(case)
        out.append("| %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s |" % (
            label, "%.1f" % (size / 1e6) if size else "-", "%.1f" % pack if pack is not None else "-",
            fmt_times(s), num(s, "cpu", "%.2f"), "%.0f" % (mb / s["median"]) if s else "-", num(s, "rss", "%.0f"),
            num(s, "private", "%.0f"), ratio(s, base_solid), ratio(s, base_stored), cpu_ratio(s, base_solid),
            cpu_ratio(s, base_stored)))
    return out


def uninstall_table(rows, meta):
    base_solid, base_stored = stats(rows, "nsis-solid", "uninstall"), stats(rows, "nsis-stored", "uninstall")
    out = ["| What | Uninstall min / median / max (s) | CPU (s) | Peak RSS (MB) | Peak private (MB) | x NSIS solid | "
           "x NSIS stored |",
           "|---|---:|---:|---:|---:|---:|---:|"]
    for case, label in UNINSTALL_CASES:
        phase = "uninstall" if not case.startswith("floor-") else "run"
        s = stats(rows, case, phase)
        if s is None:
            continue
        if case == "ks" and meta.get("ks_uninstall") != "engine":
            label += " (*)"
        out.append("| %s | %s | %s | %s | %s | %s | %s |" % (
            label, fmt_times(s), num(s, "cpu", "%.2f"), num(s, "rss", "%.0f"), num(s, "private", "%.0f"),
            ratio(s, base_solid), ratio(s, base_stored)))
    return out


def goals_table(rows, meta):
    """Every goal of the engine against its peers on this payload, with the figure reached."""
    ks, solid, stored = (stats(rows, c, "install") for c in ("ks", "nsis-solid", "nsis-stored"))
    ks_un, solid_un = stats(rows, "ks", "uninstall"), stats(rows, "nsis-solid", "uninstall")
    sizes, pack = meta.get("sizes", {}), meta.get("pack_seconds", {})
    out = ["| Goal | Target | Reached | Met |", "|---|---:|---:|---|"]

    def row(goal, target, value, limit, detail):
        if value is None:
            out.append("| %s | %s | not measured | - |" % (goal, target))
        else:
            out.append("| %s | %s | **%.2f** (%s) | %s |" % (goal, target, value, detail,
                                                          "yes" if value <= limit else "**no**"))

    def over(a, b):
        return a / b if a is not None and b else None

    row("install time x NSIS solid", "at most 0.30", over(ks and ks["median"], solid and solid["median"]), 0.30,
        "%.2f s / %.2f s" % (ks["median"], solid["median"]) if ks and solid else "")
    row("install time x NSIS stored", "at most 1.3", over(ks and ks["median"], stored and stored["median"]), 1.3,
        "%.2f s / %.2f s" % (ks["median"], stored["median"]) if ks and stored else "")
    row("peak private memory of the engine's process (MB)", "at most 32", ks and ks["private"], 32,
        "MB, the largest of the runs")
    row("setup size x NSIS solid", "at most 1.01", over(sizes.get("ks"), sizes.get("nsis-solid")), 1.01,
        "%.1f MB / %.1f MB" % (sizes["ks"] / 1e6, sizes["nsis-solid"] / 1e6)
        if "ks" in sizes and "nsis-solid" in sizes else "")
    row("pack time x makensis solid", "at most 0.30", over(pack.get("ks"), pack.get("nsis-solid")), 0.30,
        "%.1f s / %.1f s" % (pack["ks"], pack["nsis-solid"]) if "ks" in pack and "nsis-solid" in pack else "")
    if meta.get("ks_uninstall") == "engine":
        row("uninstall time x NSIS's uninstaller (solid)", "at most 0.5",
            over(ks_un and ks_un["median"], solid_un and solid_un["median"]), 0.5,
            "%.2f s / %.2f s" % (ks_un["median"], solid_un["median"]) if ks_un and solid_un else "")
    else:
        out.append("| uninstall time x NSIS's uninstaller (solid) | at most 0.5 | not measured: no uninstaller "
                   "was registered | - |")
    if meta.get("engine_bytes"):
        kb = meta["engine_bytes"] / 1024
        out.append("| engine size (KB), %s build as the tool copies it | at most 400 | **%.0f** | %s |" % (
            meta["engine_arch"], kb, "yes" if kb <= 400 else "**no**"))
    return out


def run_counts(rows):
    counts = sorted({sum(1 for r in rows if r["case"] == c and r["phase"] == p and r["rc"] == 0)
                     for c, p in {(r["case"], r["phase"]) for r in rows}})
    return str(counts[0]) if len(counts) == 1 else "%d to %d" % (counts[0], counts[-1])


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: report.py WORKDIR")
    rows, meta = load(sys.argv[1])
    start = stats(rows, "floor-start", "run")
    lines = [
        "Payload: %d files, %.1f MB (%.0f %% compressible), seed %d, sha256 %s..." % (
            meta["payload_files"], meta["payload_bytes"] / 1e6, 100.0 * meta["compressible_bytes"] /
            meta["payload_bytes"], meta["seed"], meta["payload_sha256"][:16]),
        "Runs per case: %s. Machine: %s. Engine: the %s build, against NSIS's %s target. %s. Date: %s." % (
            run_counts(rows), meta["machine"], meta["engine_arch"], meta.get("nsis_target", "amd64-unicode"),
            meta["wine_version"], meta["date"]),
        "Load average of the machine (1 min) before and after the runs: %s and %s." % (
            meta.get("load_before", "?"), meta.get("load_after", "?")),
        "",
    ]
    lines += install_table(rows, meta)
    lines += [""]
    lines += uninstall_table(rows, meta)
    lines += [""]
    lines += goals_table(rows, meta)
    lines += [""]
    if start:
        lines.append("Starting an empty program under Wine (included in every installer time): "
                     "median %.2f s." % start["median"])
    if meta.get("ks_uninstall") != "engine":
        lines.append("(*) The engine's uninstaller is not in this build: the Kestrelon uninstall row is the "
                     "bench helper deleting the installed folder under Wine.")
    if stats(rows, "msi", "install"):
        lines.append("MSI: msiexec hands the work to Wine's installer service, a process outside the measured "
                     "tree, so its CPU time and memory are not measured (n/a).")
    text = "\n".join(lines) + "\n"
    with open(os.path.join(sys.argv[1], "results.md"), "w", encoding="utf-8") as f:
        f.write(text)
    print(text, end="")


if __name__ == "__main__":
    main()
