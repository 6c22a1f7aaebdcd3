#!/usr/bin/env bash
# Installs every package that the builds and the tests need, on Debian 12.
# Idempotent: when everything is present it only checks and returns.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=apt-sources.sh
. "$here/apt-sources.sh"

packages=(
  # native build, unit tests, fuzzing
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
  liblzma-dev zlib1g-dev googletest libgtest-dev libtomlplusplus-dev
  # Windows build: mingw-w64 for i686 (the shipped engine) and x86-64 (test host fallback)
  g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix mingw-w64-i686-dev
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
  libz-mingw-w64-dev dpkg-dev
  # running under Wine with windows
  wine wine64 wine32:i386 xvfb xauth x11-utils
  # tooling used by the scripts
  python3 file ca-certificates
  # signing installers (kestrelon-build --sign) and the tests' certificates
  osslsigncode openssl
)

missing() {
  local p status
  for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || echo "$p"
  done
}

todo=$(missing)
if [ -z "$todo" ]; then
  echo "bootstrap: all packages present"
  exit 0
fi

SUDO=""
[ "$(id -u)" = 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi

retry() {
  local n
  for n in 1 2 3 4; do
    "$@" && return 0
    echo "bootstrap: attempt $n of: $* failed" >&2
    sleep $((n * 5))
  done
  return 1
}

# apt-get update reports a missing index only as a warning ("W: Failed to
# fetch"), so check the output for the i386 security index explicitly.
update_ok() {
  local log
  log=$(mktemp)
  if ! $SUDO apt-get -q update >"$log" 2>&1; then cat "$log" >&2; rm -f "$log"; return 1; fi
  if grep -E '^(W|E): (Failed to fetch|Some index files failed)' "$log" >&2; then rm -f "$log"; return 1; fi
  rm -f "$log"
}

apt_opts=()
if ! retry update_ok; then
  # The security suite's i386 index has been failing on this network; fall back
  # to a list derived from the machine's own sources without that suite.
  echo "bootstrap: falling back to the package sources without the security suite" >&2
  alt=$(mktemp -d)
  ks_sources_without_security > "$alt/sources.list"
  mkdir -p "$alt/lists/partial"
  apt_opts=(-o Dir::Etc::SourceList="$alt/sources.list" -o Dir::Etc::SourceParts=/dev/null
            -o Dir::State::Lists="$alt/lists")
  retry $SUDO apt-get -q "${apt_opts[@]}" update
fi

# shellcheck disable=SC2086
retry $SUDO apt-get -q -y "${apt_opts[@]}" install --no-install-recommends $todo
still=$(missing)
if [ -n "$still" ]; then
  echo "bootstrap: could not install: $still" >&2
  exit 1
fi
echo "bootstrap: installed: $(echo $todo)"
