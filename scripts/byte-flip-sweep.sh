#!/usr/bin/env bash
# The full byte-flip sweep, outside the test command: the byte-flip e2e test
# (tests/e2e/byte_flip_test.cpp) with every byte of the archive header changed
# nine ways (each bit, and all eight), every byte of the settings block
# changed once, and 500 spread positions of the file data, for both installer
# forms (file data inside the section, and outside it). Runs at the lowest
# priority in a Wine prefix of its own and prints a table of outcomes by
# region; the report of every run stays in build/native/byte-flip-report.tsv
# (form, region, section offset, xor, exit code, milliseconds, verdict).
#
#   scripts/byte-flip-sweep.sh          (KS_E2E_ARCH=x86_64 picks that build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=$root/build/native
cmake --preset native >/dev/null
nice -n 19 cmake --build --preset native

state=$build/byte-flip-state
report=$build/byte-flip-report.tsv
rm -f "$report"
cleanup() { tests/wine-env.sh stop "$state" >/dev/null 2>&1 || true; }
trap cleanup EXIT
tests/wine-env.sh start "$state" "$build/win-i686" "$build/win-x86_64"
arch=$(sed -n 's/^KS_ARCH=//p' "$state/env")

start=$SECONDS
status=0
KS_WINE_STATE=$state KS_BYTE_FLIP_SWEEP=full KS_BYTE_FLIP_REPORT=$report \
  nice -n 19 "$build/ks_e2e_tests" --gtest_filter='Installer/ByteFlip.*' || status=$?
elapsed=$((SECONDS - start))

echo
echo "Byte-flip sweep, $arch engine, $((elapsed / 60)) min $((elapsed % 60)) s"
awk -F'\t' '
  function row(k) {
    printf "%-8s %-18s %9d %6d %7d %7d %7d %7d %8d %8d\n", form[k], region[k], npos[k],
      runs[k], e0[k], e2[k], em1[k], other[k], tmo[k], failed[k]
  }
  {
    k = $1 SUBSEP $2
    if (!(k in runs)) { order[++n] = k; form[k] = $1; region[k] = $2 }
    runs[k]++
    if (!(($1, $3) in seen)) { seen[$1, $3] = 1; npos[k]++ }
    if ($5 == "0") e0[k]++; else if ($5 == "2") e2[k]++; else if ($5 == "-1") em1[k]++;
    else if ($5 == "timeout") tmo[k]++; else other[k]++
    if ($7 != "ok") failed[k]++
    ms += $6; total++; bad += ($7 != "ok")
  }
  END {
    printf "%-8s %-18s %9s %6s %7s %7s %7s %7s %8s %8s\n", "form", "region", "positions", "runs", "exit 0",
      "exit 2", "exit -1", "other", "timeout", "failed"
    for (i = 1; i <= n; i++) row(order[i])
    printf "total: %d runs, %d failed, %.2f s per run on average\n", total, bad, total ? ms / total / 1000 : 0
  }' "$report"
exit "$status"
