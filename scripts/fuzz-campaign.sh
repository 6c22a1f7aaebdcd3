#!/usr/bin/env bash
# The fuzzing campaign, outside the test command: every libFuzzer target runs
# a fixed number of executions (default 10 million), one process at a time at
# the lowest priority, from a corpus of
#   - the committed seeds (tests/fuzz/seeds/<target>),
#   - the pieces of installers the authoring tool builds (the example product
#     and tests/fuzz/installers/*.toml), cut out by ks_fuzz_pieces,
#   - damaged copies of those pieces and of the Uninstall.DAT files real
#     installations wrote (one byte changed, or cut short).
# Prints one table row per target: executions, time, coverage (edges),
# features, corpus size and the findings libFuzzer wrote.
#
#   scripts/fuzz-campaign.sh [RUNS [TARGET...]]
#
# KS_FUZZ_SECONDS=N also stops each target after N seconds, whichever comes
# first (for a campaign that must end by a given time); the table shows the
# executions each target reached.
#
# Work folder: build/fuzz/campaign (corpus/, pieces/, installers/, logs/,
# findings/<target>/). Needs the native build (authoring tool and engine).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
runs=${1:-10000000}
shift || true

cmake --preset fuzz >/dev/null
nice -n 19 cmake --build --preset fuzz
[ -x build/native/kestrelon-build ] && [ -f build/native/win-i686/kestrelon.exe ] || {
  echo "fuzz-campaign: build the native preset first (cmake --build --preset native)" >&2
  exit 1
}

work=$root/build/fuzz/campaign
mkdir -p "$work/installers" "$work/logs"
rm -rf "$work/pieces"
for manifest in examples/ptarmigan-notes/setup.toml tests/fuzz/installers/*.toml; do
  name=$(basename "$(dirname "$manifest")")
  [ "$name" = installers ] && name=$(basename "$manifest" .toml)
  build/native/kestrelon-build "$manifest" --quiet --no-date -o "$work/installers/$name.exe"
done
# The Uninstall.DAT files that installations of these installers wrote under
# Wine are committed seeds; their damaged copies join the pieces.
build/fuzz/ks_fuzz_pieces "$work/pieces" --damaged 8 "$work/installers"/*.exe \
  --uninstall-data tests/fuzz/seeds/uninstall_data_fuzz/installed_*

if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for src in tests/fuzz/*_fuzz.cpp; do targets+=("$(basename "$src" .cpp)"); done
fi

printf '%-22s %12s %9s %7s %8s %7s %s\n' target executions seconds cov features corpus findings
for t in "${targets[@]}"; do
  log=$work/logs/$t.log
  mkdir -p "$work/findings/$t"
  start=$SECONDS
  status=0
  KS_FUZZ_OPTIONS="-artifact_prefix=$work/findings/$t/${KS_FUZZ_SECONDS:+ -max_total_time=$KS_FUZZ_SECONDS}" \
    nice -n 19 scripts/run-fuzz.sh "build/fuzz/$t" "$work/corpus/$t" "tests/fuzz/seeds/$t" "runs:$runs" \
    "$work/pieces/$t" >"$log" 2>&1 || status=$?
  elapsed=$((SECONDS - start))
  executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  last=$(grep -E '^#[0-9]+' "$log" | tail -n 1)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  corp=$(sed -n 's/.* corp: \([0-9]*\).*/\1/p' <<<"$last")
  findings=$(find "$work/findings/$t" -type f | wc -l)
  [ "$status" -eq 0 ] || findings="$findings (exit $status, see $log)"
  printf '%-22s %12s %9s %7s %8s %7s %s\n' "$t" "${executed:-?}" "$elapsed" "${cov:-?}" "${ft:-?}" \
    "${corp:-?}" "$findings"
done
