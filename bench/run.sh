#!/usr/bin/env bash
# The installer benchmark: one payload, packed by our authoring tool, by NSIS
# (solid LZMA, LZMA per file, stored) and as an MSI; each installed silently
# under Wine and uninstalled, several times; plus the floor (xz decoding of the
# same data, and writing the same files under Wine from memory). Prints the
# table; see docs/benchmarks.md.
#
#   bench/run.sh [--quick] [--size MB] [--runs N] [--seed N] [--no-msi]
#                [--pack-only] [--parallel-pack] [--only CASES] [--add]
#                [--work DIR] [--native-build DIR] [--win-build DIR] [--win32-build DIR]
#                [--state DIR]
#
# The engine measured is the shipped i686 build wherever this Wine runs 32-bit
# code (against NSIS's x86-unicode target), else the x86_64 build (against
# amd64-unicode); the table says which.
# --only measures some of the cases (ks, nsis-solid, nsis-lzma, nsis-stored,
# msi, floor; comma-separated); --add keeps the earlier measurements of this
# size, so that cases measured apart end up in one table.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bench=$root/bench

size=200 runs=3 seed=20261210 msi=1 pack_only=0 parallel_pack=0 add=0
only=ks,nsis-solid,nsis-lzma,nsis-stored,msi,floor
work=$root/build/bench
native_build=$root/build/bench-native
win_build=$root/build/bench-win64
win32_build=$root/build/bench-win32
state=""

usage() {
  sed -n '2,19p' "$0" | sed 's/^# \{0,1\}//'
  exit "${1:-0}"
}

while [ $# -gt 0 ]; do
  case "$1" in
    --quick) size=20 runs=1 ;;
    --size) size=$2; shift ;;
    --runs) runs=$2; shift ;;
    --seed) seed=$2; shift ;;
    --no-msi) msi=0 ;;
    --pack-only) pack_only=1 ;;
    --parallel-pack) parallel_pack=1 ;;
    --only) only=$2; shift ;;
    --add) add=1 ;;
    --work) work=$(realpath -m "$2"); shift ;;
    --native-build) native_build=$(realpath -m "$2"); shift ;;
    --win-build) win_build=$(realpath -m "$2"); shift ;;
    --win32-build) win32_build=$(realpath -m "$2"); shift ;;
    --state) state=$(realpath -m "$2"); shift ;;
    -h|--help) usage 0 ;;
    *) echo "bench: unknown option $1" >&2; usage 2 ;;
  esac
  shift
done
[[ "$size" =~ ^[0-9]+$ && "$size" -ge 1 ]] || { echo "bench: --size wants a number of MB" >&2; exit 2; }
[[ "$runs" =~ ^[0-9]+$ && "$runs" -ge 1 ]] || { echo "bench: --runs wants a positive number" >&2; exit 2; }
state=${state:-$work/wine-state}
payload=$work/payload-$size
results=$work/results-$size
product=KestrelonBench  # no blank: the uninstall command line needs no quoting

wanted() { [[ ",$only," == *",$1,"* ]]; }
section() { printf '\n=== %s ===\n' "$*"; }
now() { date +%s.%N; }
elapsed() { python3 -c "import sys; print('%.1f' % (float(sys.argv[2]) - float(sys.argv[1])))" "$1" "$(now)"; }

# ---- packages (the same apt approach as scripts/bootstrap.sh) ---------------

bench_packages=(nsis wixl msitools xz-utils tar python3)

missing_packages() {
  local p status
  for p in "${bench_packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || echo "$p"
  done
}

ensure_packages() {
  "$root/scripts/bootstrap.sh"
  local todo sudo=""
  todo=$(missing_packages)
  [ -n "$todo" ] || return 0
  [ "$(id -u)" = 0 ] || sudo=sudo
  export DEBIAN_FRONTEND=noninteractive
  echo "bench: installing $(echo $todo)"
  # shellcheck disable=SC2086
  if ! { $sudo apt-get -q update && $sudo apt-get -q -y install --no-install-recommends $todo; }; then
    # As the bootstrap: the security suite's index may fail; retry without it.
    # shellcheck source=../scripts/apt-sources.sh
    . "$root/scripts/apt-sources.sh"
    local alt
    alt=$(mktemp -d)
    ks_sources_without_security >"$alt/sources.list"
    mkdir -p "$alt/lists/partial"
    local opts=(-o Dir::Etc::SourceList="$alt/sources.list" -o Dir::Etc::SourceParts=/dev/null
                -o Dir::State::Lists="$alt/lists")
    $sudo apt-get -q "${opts[@]}" update
    # shellcheck disable=SC2086
    $sudo apt-get -q -y "${opts[@]}" install --no-install-recommends $todo
  fi
  todo=$(missing_packages)
  [ -z "$todo" ] || { echo "bench: could not install: $todo" >&2; exit 1; }
}

# ---- builds -----------------------------------------------------------------

# The engine and ksdriver of one Windows build, Release.
build_engine() {
  local dir=$1 toolchain=$2 deps=()
  [ -d "$root/build/_deps_shared/xz-src" ] && deps=(-DKS_DEPS_DIR="$root/build/_deps_shared")
  [ -f "$dir/CMakeCache.txt" ] ||
    cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain" \
      -DCMAKE_BUILD_TYPE=Release "${deps[@]}" >/dev/null
  cmake --build "$dir" -j2 --target kestrelon ksdriver
  file "$dir/kestrelon.exe"
}

build_programs() {
  [ -f "$native_build/CMakeCache.txt" ] ||
    cmake -S "$root" -B "$native_build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKS_SANITIZE=OFF \
      -DKS_WITH_WINDOWS=OFF >/dev/null
  cmake --build "$native_build" -j2 --target kestrelon-build
  build_engine "$win32_build" mingw-i686.cmake
  build_engine "$win_build" mingw-x86_64.cmake
  mkdir -p "$work/bin"
  if [ ! -f "$work/bin/ksbenchio.exe" ] || [ "$bench/bench_io.cpp" -nt "$work/bin/ksbenchio.exe" ]; then
    x86_64-w64-mingw32-g++-posix -std=c++17 -O2 -municode -static -Wall -Wextra -Werror \
      -o "$work/bin/ksbenchio.exe" "$bench/bench_io.cpp"
  fi
}

# ---- packing ----------------------------------------------------------------

# Runs a packing command once unless its output is newer than every input;
# keeps the time it took beside the output.
pack() {
  local name=$1 out=$2; shift 2
  local inputs=() arg
  while [ "$1" != -- ]; do inputs+=("$1"); shift; done
  shift
  local fresh=1
  [ -f "$out" ] && [ -f "$out.seconds" ] || fresh=0
  for arg in "${inputs[@]}"; do [ "$fresh" = 1 ] && [ "$arg" -nt "$out" ] && fresh=0; done
  if [ "$fresh" = 1 ]; then
    echo "pack: $name reused ($(cat "$out.seconds") s when made)"
    return
  fi
  local t0
  t0=$(now)
  "$@" || return 1
  elapsed "$t0" >"$out.seconds"
  echo "pack: $name in $(cat "$out.seconds") s, $(stat -c %s "$out") bytes"
}

write_manifest() {
  cat >"$payload/setup.toml" <<EOF
# Made by bench/run.sh: the whole payload, xz-compressed in the default chunks.
[product]
name = "$product"
version = "1.0"
publisher = "Kestrelon bench"
install_path = "C:\\\\bench\\\\inst\\\\ks"
uninstall_subdir = "uninstall"

[flags]
compressed_file_data = true
always_write_log = true
register_uninstaller = true

[[file]]
source = "files"
EOF
}

make_msi() {
  (cd "$payload" && find files -type f | LC_ALL=C sort |
    wixl-heat -p files/ --directory-ref INSTALLDIR --component-group PayloadFiles --var var.SourceDir \
      --win64 >"$pkg/msi-files.wxs")
  (cd "$payload" && wixl -a x64 -D SourceDir=files -D Win64=yes -o "$pkg/bench.msi.partial" \
    "$bench/msi/bench.wxs" "$pkg/msi-files.wxs" 2>"$pkg/wixl.log")
  mv "$pkg/bench.msi.partial" "$pkg/bench.msi"
}

make_xz() {
  tar --sort=name --mtime=@1767268800 --owner=0 --group=0 --numeric-owner -C "$payload" -cf - files |
    xz -6 -T2 >"$pkg/payload.tar.xz.partial"
  mv "$pkg/payload.tar.xz.partial" "$pkg/payload.tar.xz"
}

# Starts one packing job; with --parallel-pack in the background (the pack
# times then overlap and say little).
pack_job() {
  if [ "$parallel_pack" = 1 ]; then pack "$@" & else pack "$@"; fi
}

pack_all() {
  mkdir -p "$pkg"
  write_manifest
  local stamp=$payload/stamp mode
  wanted ks && pack_job ks "$pkg/ks-setup.exe" "$stamp" "$native_build/kestrelon-build" "$engine" -- \
    "$native_build/kestrelon-build" "$payload/setup.toml" --engine "$engine" --quiet \
    -o "$pkg/ks-setup.exe"
  for mode in solid lzma stored; do
    wanted "nsis-$mode" || continue
    pack_job "nsis-$mode" "$pkg/nsis-$mode.exe" "$stamp" "$bench/nsis/bench.nsi" -- \
      makensis -V1 "-DPAYLOAD=$payload/files" "-DMODE=$mode" "-DTARGET=$nsis_target" \
      "-DOUT=$pkg/nsis-$mode.exe" "$bench/nsis/bench.nsi"
  done
  wanted floor && pack_job xz "$pkg/payload.tar.xz" "$stamp" -- make_xz
  wanted msi || msi=0
  if [ "$msi" = 1 ]; then
    if ! pack msi "$pkg/bench.msi" "$stamp" "$bench/msi/bench.wxs" -- make_msi; then
      echo "bench: the MSI did not build (see $pkg/wixl.log); it is left out" >&2
      msi=0
    fi
  fi
  wait
  local f
  for f in ks:ks-setup.exe nsis-solid:nsis-solid.exe nsis-lzma:nsis-lzma.exe nsis-stored:nsis-stored.exe \
           floor:payload.tar.xz; do
    wanted "${f%%:*}" || continue
    [ -f "$pkg/${f#*:}" ] || { echo "bench: packing ${f#*:} failed" >&2; exit 1; }
  done
}

# ---- Wine -------------------------------------------------------------------

stop_wine() { "$root/tests/wine-env.sh" stop "$state" >/dev/null 2>&1 || true; }

# Starts the prefix and learns which engine build runs here: the i686 one
# wherever this Wine runs 32-bit code.
start_wine() {
  "$root/tests/wine-env.sh" start "$state" "$win32_build" "$win_build"
  trap stop_wine EXIT
  envval() { sed -n "s/^$1=//p" "$state/env" | head -n 1; }
  prefix=$(envval WINEPREFIX)
  wine=$(envval WINE)
  arch=$(envval KS_ARCH)
  export WINEPREFIX=$prefix DISPLAY=$(envval DISPLAY) WINEDEBUG=-all
  export WINEDLLOVERRIDES=$(envval WINEDLLOVERRIDES)
  unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY
  if [ "$arch" = i686 ]; then
    engine=$win32_build/kestrelon.exe nsis_target=x86-unicode
  else
    engine=$win_build/kestrelon.exe nsis_target=amd64-unicode
  fi
  pkg=$work/pkg-$size-$arch
  echo "bench: measuring the $arch engine ($engine) against NSIS $nsis_target"
}

# Puts the installers and the floor's blob into the prefix.
stage_files() {
  c=$prefix/drive_c
  mkdir -p "$c/bench/pkg" "$c/bench/inst" "$c/bench/blob" "$c/ks/bin"
  rm -f "$c/bench/pkg/"*
  cp -f "$work/bin/ksbenchio.exe" "$c/ks/bin/"
  local f
  for f in ks-setup.exe nsis-solid.exe nsis-lzma.exe nsis-stored.exe bench.msi; do
    [ -f "$pkg/$f" ] && cp -f "$pkg/$f" "$c/bench/pkg/"
  done
  for f in payload.index payload.data; do
    ln -f "$payload/$f" "$c/bench/blob/$f" 2>/dev/null || cp -f "$payload/$f" "$c/bench/blob/$f"
  done
  cat "$c/bench/pkg/"* "$c/bench/blob/"* >/dev/null  # the first run reads from the cache like the others
}

# ---- measuring --------------------------------------------------------------

measure() {
  local case=$1 phase=$2; shift 2
  sync
  python3 "$bench/measure.py" --out "$results/results.jsonl" --case "$case" --phase "$phase" --run "$run" \
    --cwd "$c" -- "$@"
}

inst_dir() { echo "C:\\bench\\inst\\$1"; }
unix_inst_dir() { echo "$c/bench/inst/$1"; }

check_installed() {
  python3 "$bench/check_tree.py" "$payload/files" "$(unix_inst_dir "$1")" | sed "s/^/  $1: /"
}

# Waits a little for a folder that an uninstaller removes after it ended,
# then removes what is left (untimed) so that the next run starts clean.
clean_after_uninstall() {
  local dir n
  dir=$(unix_inst_dir "$1")
  for _ in $(seq 50); do [ -e "$dir" ] || return 0; sleep 0.1; done
  n=$(find "$dir" -type f | wc -l)
  [ "$n" -le "${2:-0}" ] || echo "  $1: $n files were left after the uninstallation"
  (cd "$c" && "$wine" 'C:\ks\bin\ksbenchio.exe' delete "$(inst_dir "$1")" >/dev/null) || rm -rf "$dir"
}

# The engine's uninstaller as the system would start it: the registered
# UninstallString (with /silent). Empty when none is registered.
ks_uninstall_command() {
  local key="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$product" line view
  # The 32-bit engine writes to the registry's 32-bit view.
  for view in /reg:32 /reg:64; do
    line=$(cd "$c" && "$wine" reg query "$key" /v UninstallString "$view" 2>/dev/null </dev/null |
      tr -d '\r' | sed -n 's/^ *UninstallString *REG_[A-Z_]* *//p' | head -n 1) || true
    [ -z "$line" ] || break
  done
  [ -n "$line" ] || return 0
  python3 - "$line" <<'EOF'
import shlex, sys
words = [w.replace('"', '') for w in shlex.split(sys.argv[1], posix=False)]
if not any(w.lower() == "/silent" for w in words):
    words.append("/silent")
print("\n".join(words))
EOF
}

decide_ks_uninstall() {
  mapfile -t ks_uninstall < <(ks_uninstall_command)
  if [ "${#ks_uninstall[@]}" -gt 0 ]; then
    ks_uninstall_mode=engine
    echo "  ks: uninstalling with the registered uninstaller: ${ks_uninstall[*]}"
  else
    ks_uninstall_mode=folder-removal
    echo "  ks: no uninstaller is registered; the uninstall is timed as removing the folder under Wine"
  fi
}

run_ks() {
  local dir
  dir=$(inst_dir ks)
  measure ks install "$wine" 'C:\bench\pkg\ks-setup.exe' /silent "/d:$dir"
  check_installed ks || true
  [ -n "${ks_uninstall_mode:-}" ] || decide_ks_uninstall
  if [ "$ks_uninstall_mode" = engine ]; then
    measure ks uninstall "$wine" "${ks_uninstall[@]}"
  else
    measure ks uninstall "$wine" 'C:\ks\bin\ksbenchio.exe' delete "$dir"
  fi
  clean_after_uninstall ks
}

run_nsis() {
  local case=$1 dir
  dir=$(inst_dir "$case")
  measure "$case" install "$wine" "C:\\bench\\pkg\\$case.exe" /S "/D=$dir"
  check_installed "$case" || true
  # _?= runs the uninstaller in place: without it, it copies itself to the
  # temporary folder, starts the copy and returns at once.
  measure "$case" uninstall "$wine" "$dir\\uninst.exe" /S "_?=$dir"
  clean_after_uninstall "$case" 1  # the running uninst.exe cannot delete itself
}

run_msi() {
  measure msi install "$wine" msiexec /i 'C:\bench\pkg\bench.msi' /qn "INSTALLDIR=$(inst_dir msi)\\"
  check_installed msi || true
  # The package does not remember a folder given on the command line; the
  # removal must be told it again, or it looks in the default folder.
  measure msi uninstall "$wine" msiexec /x 'C:\bench\pkg\bench.msi' /qn "INSTALLDIR=$(inst_dir msi)\\"
  clean_after_uninstall msi
}

run_floor() {
  measure floor-xz run sh -c 'exec xz -dc -T1 "$1" >/dev/null' sh "$pkg/payload.tar.xz"
  measure floor-write run "$wine" 'C:\ks\bin\ksbenchio.exe' write 'C:\bench\blob\payload.index' \
    'C:\bench\blob\payload.data' "$(inst_dir floor)"
  check_installed floor || true
  measure floor-delete run "$wine" 'C:\ks\bin\ksbenchio.exe' delete "$(inst_dir floor)"
  clean_after_uninstall floor
  measure floor-start run "$wine" 'C:\ks\bin\ksbenchio.exe' noop
}

write_meta() {
  python3 - "$results/meta.json" "$payload/stamp" "$pkg" "$runs" "$seed" "${ks_uninstall_mode:-}" "$msi" \
    "$("$wine" --version)" "$load_before" "$load_after" "$arch" "$engine" "$nsis_target" <<'EOF'
import json, os, sys, time
out, stamp, pkg, runs, seed, ks_uninstall, msi, wine, load_before, load_after, arch, engine, nsis_target = \
    sys.argv[1:]
fields = dict(kv.split("=", 1) for kv in open(stamp).read().splitlines()[1].split())
sizes = {}
for case, name in [("ks", "ks-setup.exe"), ("nsis-solid", "nsis-solid.exe"), ("nsis-lzma", "nsis-lzma.exe"),
                   ("nsis-stored", "nsis-stored.exe"), ("msi", "bench.msi"), ("floor-xz", "payload.tar.xz")]:
    path = os.path.join(pkg, name)
    if os.path.exists(path) and (case != "msi" or msi == "1"):
        sizes[case] = os.path.getsize(path)
pack = {}
for case, name in [("ks", "ks-setup.exe"), ("nsis-solid", "nsis-solid.exe"), ("nsis-lzma", "nsis-lzma.exe"),
                   ("nsis-stored", "nsis-stored.exe"), ("msi", "bench.msi"), ("floor-xz", "payload.tar.xz")]:
    path = os.path.join(pkg, name + ".seconds")
    if case in sizes and os.path.exists(path):
        pack[case] = float(open(path).read())
model = "unknown CPU"
for line in open("/proc/cpuinfo"):
    if line.startswith("model name"):
        model = line.split(":", 1)[1].strip()
        break
meta = {
    "payload_files": int(fields["files"]), "payload_bytes": int(fields["bytes"]),
    "compressible_bytes": int(fields["compressible_bytes"]), "payload_sha256": fields["sha256"],
    "seed": int(seed), "runs": int(runs), "sizes": sizes, "pack_seconds": pack,
    "machine": "%d cores, %s" % (os.cpu_count(), model), "engine_arch": arch, "wine_version": wine,
    "engine_bytes": os.path.getsize(engine), "nsis_target": nsis_target,
    "date": time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime()), "ks_uninstall": ks_uninstall,
    "load_before": load_before, "load_after": load_after,
}
if os.path.exists(out):  # --add: the cases measured earlier keep their sizes and notes
    old = json.load(open(out))
    for key in ("sizes", "pack_seconds"):
        meta[key] = dict(old.get(key, {}), **meta[key])
    meta["ks_uninstall"] = meta["ks_uninstall"] or old.get("ks_uninstall", "")
    meta["load_before"] = "%s (earlier cases: %s)" % (meta["load_before"], old.get("load_before"))
    meta["load_after"] = "%s (earlier cases: %s)" % (meta["load_after"], old.get("load_after"))
json.dump(meta, open(out, "w"), indent=1)
EOF
}

# ---- main -------------------------------------------------------------------

section "Packages"
ensure_packages
section "Build (Release: $native_build, $win32_build, $win_build)"
build_programs
section "Payload: $size MB, seed $seed"
python3 "$bench/gen_payload.py" --size-mb "$size" --seed "$seed" --out "$payload" --blob
section "Wine"
start_wine
section "Pack"
pack_all
{ ls -l "$pkg"/*.exe "$pkg"/*.msi "$pkg"/*.xz 2>/dev/null || true; } | awk '{printf "  %12d  %s\n", $5, $9}'
[ "$pack_only" = 0 ] || exit 0
stage_files
[ "$add" = 1 ] || rm -rf "$results"
mkdir -p "$results"
rm -rf "$c/bench/inst"/*
load_before=$(cut -d' ' -f1 /proc/loadavg)
for run in $(seq "$runs"); do
  section "Run $run of $runs"
  if wanted ks; then run_ks; fi
  for mode in solid lzma stored; do if wanted "nsis-$mode"; then run_nsis "nsis-$mode"; fi; done
  if [ "$msi" = 1 ]; then run_msi; fi
  if wanted floor; then run_floor; fi
done
load_after=$(cut -d' ' -f1 /proc/loadavg)
write_meta
section "Results ($results/results.md)"
python3 "$bench/report.py" "$results"
