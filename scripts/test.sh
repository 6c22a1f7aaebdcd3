#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine as needed and runs every test:
# unit (native, sanitizers), win (googletest under Wine), e2e (the engine under
# Wine) and the bounded fuzz runs. Extra arguments go to the native ctest run,
# e.g. scripts/test.sh -L unit  or  scripts/test.sh -R CommandLine
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/bootstrap.sh
jobs=${KS_TEST_JOBS:-2}

cmake --preset native >/dev/null
cmake --build --preset native
ctest --preset native -j "$jobs" "$@"

if [ $# -eq 0 ]; then
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz
  ctest --preset fuzz -j "$jobs"
fi
