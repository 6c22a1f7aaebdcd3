#!/usr/bin/env bash
# Unpacks Debian's xz-utils source package into $1 (kept when already there).
# The deb-src list is derived from this machine's own apt sources, in a private
# apt state folder, so the system's configuration is left untouched.
set -euo pipefail
dest=$1
[ -f "$dest/CMakeLists.txt" ] && exit 0
here=$(cd "$(dirname "$0")" && pwd)
# Both Windows sub-builds configure at once and share this folder: one fetches,
# the other waits for it, and the folder appears complete or not at all.
mkdir -p "$(dirname "$dest")"
exec 9>"$dest.lock"
flock 9
[ -f "$dest/CMakeLists.txt" ] && exit 0
# shellcheck source=apt-sources.sh
. "$here/apt-sources.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/lists/partial" "$work/archives/partial"
ks_source_entries > "$work/sources.list"
apt_opts=(-o Dir::Etc::SourceList="$work/sources.list" -o Dir::Etc::SourceParts=/dev/null
          -o Dir::State::Lists="$work/lists" -o Dir::Cache::Archives="$work/archives"
          -o APT::Sandbox::User=root)
for attempt in 1 2 3; do
  if apt-get "${apt_opts[@]}" -qq update >"$work/update.log" 2>&1; then break; fi
  [ "$attempt" = 3 ] && { cat "$work/update.log" >&2; exit 1; }
  sleep 5
done
mkdir -p "$work/src"
for attempt in 1 2 3; do
  if (cd "$work/src" && apt-get "${apt_opts[@]}" -qq source xz-utils >"$work/source.log" 2>&1); then break; fi
  [ "$attempt" = 3 ] && { cat "$work/source.log" >&2; exit 1; }
  sleep 5
done
srcdir=$(find "$work/src" -mindepth 1 -maxdepth 1 -type d -name 'xz-utils-*' | head -n 1)
[ -n "$srcdir" ] || { echo "xz-utils source did not unpack" >&2; exit 1; }
rm -rf "$dest" "$dest.partial"
cp -a "$srcdir" "$dest.partial"
mv "$dest.partial" "$dest"
