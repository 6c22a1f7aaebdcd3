#!/usr/bin/env bash
# Runs one libFuzzer target for a bounded time: run-fuzz.sh TARGET CORPUS SEEDS SECONDS
# The working corpus lives in the build tree; the committed seeds are read only.
set -euo pipefail
target=$1 corpus=$2 seeds=$3 seconds=$4
mkdir -p "$corpus"
dirs=("$corpus")
[ -d "$seeds" ] && dirs+=("$seeds")
exec "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=1024 \
     -print_final_stats=1 "${dirs[@]}"
