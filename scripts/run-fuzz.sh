#!/usr/bin/env bash
# Runs one libFuzzer target: run-fuzz.sh TARGET CORPUS SEEDS LIMIT [INPUTS...]
# LIMIT is a run time in seconds, or runs:N for N executions.
# The working corpus lives in the build tree (new inputs go there); the
# committed seeds and any further input folders are read only.
set -euo pipefail
target=$1 corpus=$2 seeds=$3 limit=$4
shift 4
mkdir -p "$corpus"
dirs=("$corpus")
[ -d "$seeds" ] && dirs+=("$seeds")
for extra in "$@"; do
  [ -d "$extra" ] && dirs+=("$extra")
done
case $limit in
  runs:*) bound=(-runs="${limit#runs:}") ;;
  *) bound=(-max_total_time="$limit") ;;
esac
exec "$target" "${bound[@]}" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=1024 \
     -print_final_stats=1 ${KS_FUZZ_OPTIONS:-} "${dirs[@]}"
