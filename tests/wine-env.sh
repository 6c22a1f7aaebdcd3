#!/usr/bin/env bash
# The Wine environment shared by the win and e2e tests of one ctest run.
#
#   wine-env.sh start <statedir> <i686-build-dir> <x86_64-build-dir>
#   wine-env.sh stop <statedir>
#   wine-env.sh run-win-tests <statedir>
#
# `start` makes one Xvfb display and one Wine prefix (a copy of a template that
# is created once per Wine version and cached beside the state folder), keeps
# the wine server and its virtual desktop alive, decides which engine build
# this host can run, and writes <statedir>/env (KEY=value lines) for the tests.
# KS_E2E_ARCH=x86_64 (or i686) on `start` picks the build instead, e.g. to run
# the x86_64 build on a host that could run the i686 one.
# `stop` ends everything `start` started. KS_KEEP_PREFIX=1 keeps the prefix
# after `stop` for inspection.
set -euo pipefail

unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY
export WINEDEBUG=-all
# Without these a shortcut creates menu entries in the Linux home, and the
# first start would offer to download Mono and Gecko.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LC_ALL=C.UTF-8
WINE64=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64
[ -x "$WINESERVER" ] || WINESERVER=$(command -v wineserver)
export WINESERVER
TOOLS_DIR='C:\ks\bin'

log() { echo "wine-env: $*"; }
die() { echo "wine-env: error: $*" >&2; exit 1; }

# Runs a Windows program by its C:\ path from inside drive_c, so that the
# Unix working folder maps to a drive letter.
in_prefix() {
  local prefix=$1; shift
  (cd "$prefix/drive_c" && WINEPREFIX="$prefix" "$@")
}

env_value() {
  local file=$1 key=$2
  sed -n "s/^$key=//p" "$file" | head -n 1
}

# Kills a pid only when it still runs the program we started under it.
kill_ours() {
  local pid=$1 name=$2
  [ -n "$pid" ] || return 0
  if [ -r "/proc/$pid/cmdline" ] && tr '\0' ' ' <"/proc/$pid/cmdline" | grep -q -- "$name"; then
    kill "$pid" 2>/dev/null || true
    for _ in 1 2 3 4 5 6 7 8 9 10; do
      kill -0 "$pid" 2>/dev/null || return 0
      sleep 0.2
    done
    kill -9 "$pid" 2>/dev/null || true
  fi
}

# A wine server that `wineserver -k` cannot reach (its prefix folder was
# replaced under it) would live on forever with -p; find it by its environment.
kill_prefix_servers() {
  local prefix=$1 pid
  for pid in $(pgrep -x 'wineserver(64)?' || true); do
    if tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qxF "WINEPREFIX=$prefix"; then
      kill "$pid" 2>/dev/null || true
    fi
  done
}

# ---- template ---------------------------------------------------------------

wine_version_key() {
  "$WINE64" --version | tr -c 'A-Za-z0-9.\n' '-' | sed 's/-*$//'
}

# Real folders instead of wine's links into the Linux home, so that nothing the
# engine puts on the desktop or in the documents leaves the prefix.
unlink_home_folders() {
  local prefix=$1 link
  while IFS= read -r -d '' link; do
    rm -f "$link"
    mkdir -p "$link"
  done < <(find "$prefix/drive_c/users" -type l -print0)
}

create_template() {
  local template=$1 display=$2
  local tmp="$template.tmp.$$"
  rm -rf "$tmp"
  log "creating the Wine prefix template $template"
  local t0=$SECONDS
  WINEPREFIX="$tmp" WINEARCH=win64 DISPLAY=":$display" timeout 300 "$WINE64" wineboot --init \
    >/dev/null 2>&1 || true
  WINEPREFIX="$tmp" timeout 120 "$WINESERVER" -w || true
  [ -f "$tmp/system.reg" ] || die "wineboot did not create a prefix in $tmp"
  # Captions and frames are drawn only on a virtual desktop.
  in_prefix "$tmp" "$WINE64" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f \
    /reg:64 >/dev/null
  in_prefix "$tmp" "$WINE64" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default \
    /d 1024x768 /f /reg:64 >/dev/null
  WINEPREFIX="$tmp" timeout 120 "$WINESERVER" -w || true
  unlink_home_folders "$tmp"
  mv "$tmp" "$template"
  log "template created in $((SECONDS - t0)) s"
}

ensure_template() {
  local template=$1 display=$2
  mkdir -p "$(dirname "$template")"
  (
    flock 9
    rm -rf "$template".tmp.*  # left by a creation that was killed
    [ -d "$template" ] || create_template "$template" "$display"
  ) 9>"$(dirname "$template")/.lock"
}

# ---- start ------------------------------------------------------------------

start_xvfb() {
  local state=$1 fdfile="$1/display" n
  : >"$fdfile"
  setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fdfile" \
    </dev/null >"$state/xvfb.log" 2>&1 &
  XVFB_PID=$!
  echo "$XVFB_PID" >"$state/xvfb.pid"
  for _ in $(seq 100); do
    n=$(tr -dc '0-9' <"$fdfile")
    if [ -n "$n" ]; then DISPLAY_NUM=$n; return 0; fi
    kill -0 "$XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  die "Xvfb did not start (see $state/xvfb.log)"
}

# Runs a program with its output in a file, never in a pipe: wine's helper
# processes started on the way (services, the desktop) inherit the standard
# handles and would keep a pipe open long after the program has ended.
run_to_file() {
  local prefix=$1 seconds=$2 out
  shift 2
  out=$(mktemp)
  in_prefix "$prefix" timeout "$seconds" "$@" </dev/null >"$out" 2>/dev/null || true
  cat "$out"
  rm -f "$out"
}

# Prints the arch whose programs run here: i686 when 32-bit x86 code runs under
# this Wine (then through the `wine` loader, which handles both), else x86_64.
choose_arch() {
  local prefix=$1 bin32=$2 out
  if [ ! -f "$bin32/ksdriver.exe" ]; then
    echo "x86_64 no-i686-build"
    return
  fi
  mkdir -p "$prefix/drive_c/ks/probe32"
  cp "$bin32/ksdriver.exe" "$prefix/drive_c/ks/probe32/"
  out=$(run_to_file "$prefix" 30 wine 'C:\ks\probe32\ksdriver.exe' probe)
  if [ "$out" = "ksdriver probe 32-bit" ]; then echo "i686 32-bit-runs"; else echo "x86_64 no-32-bit"; fi
}

copy_programs() {
  local bin=$1 dest=$2
  mkdir -p "$dest"
  find "$bin" -maxdepth 1 -name '*.exe' -exec cp -f {} "$dest/" \;
  # The engine's default pictures, which the Win32 suite compares with what the engine unpacks.
  if [ -d "$bin/engine-pictures" ]; then cp -rf "$bin/engine-pictures" "$dest/"; fi
}

cmd_start() {
  local state=$1 bin32=$2 bin64=$3
  [ -n "$state" ] || die "no state folder given"
  case "${KS_E2E_ARCH:-}" in
    "" | i686 | x86_64) ;;
    *) die "KS_E2E_ARCH must be i686, x86_64 or unset, not '$KS_E2E_ARCH'" ;;
  esac
  cmd_stop "$state" >/dev/null 2>&1 || true
  rm -rf "$state"
  mkdir -p "$state"
  start_xvfb "$state"
  local template
  template="$(dirname "$state")/wine-template/$(wine_version_key)"
  local t0=$SECONDS
  ensure_template "$template" "$DISPLAY_NUM"
  local prefix="$state/prefix" t1=$SECONDS
  cp -a --reflink=auto "$template" "$prefix"
  log "prefix copied in $((SECONDS - t1)) s"
  # No Z: drive: the engine under test must not reach the Linux file system.
  rm -f "$prefix/dosdevices/z:"
  # A program that crashes under test (the faulting COM server's regsvr32)
  # ends instead of waiting at Wine's crash dialog for a person. The server
  # has not read the hive yet, so the key goes straight into its file.
  printf '\n[Software\\\\Wine\\\\WineDbg] 1700000000\n"ShowCrashDialog"=dword:00000000\n' >>"$prefix/user.reg"
  export DISPLAY=":$DISPLAY_NUM"
  setsid env WINEPREFIX="$prefix" "$WINESERVER" -p </dev/null >"$state/wineserver.log" 2>&1 || true

  local choice arch reason wine bin
  choice=$(choose_arch "$prefix" "$bin32")
  arch=${choice%% *}
  reason=${choice#* }
  # The probe still ran, so KS_32BIT_RUNS says what the host can do.
  if [ "${KS_E2E_ARCH:-}" = x86_64 ]; then
    arch=x86_64
  elif [ "${KS_E2E_ARCH:-}" = i686 ] && [ "$arch" != i686 ]; then
    die "KS_E2E_ARCH=i686, but the i686 build cannot be tested here ($reason)"
  fi
  if [ "$arch" = i686 ]; then
    wine=$(command -v wine)
    bin=$bin32
    log "e2e: testing the i686 engine build (the shipped 32-bit engine)"
  else
    wine=$WINE64
    bin=$bin64
    if [ "${KS_E2E_ARCH:-}" = x86_64 ]; then
      log "e2e: testing the x86_64 engine build: KS_E2E_ARCH asks for it"
    elif [ "$reason" = no-i686-build ]; then
      log "e2e: testing the x86_64 engine build: the i686 build has no ksdriver.exe in $bin32"
    else
      log "e2e: testing the x86_64 engine build: this host cannot execute 32-bit x86 code"
    fi
  fi
  [ -f "$bin/ksdriver.exe" ] || die "$bin/ksdriver.exe is missing: build the Windows targets first"
  copy_programs "$bin" "$prefix/drive_c/ks/bin"

  # The desktop holder; it also proves that programs start without the Z: drive.
  (cd "$prefix/drive_c" && WINEPREFIX="$prefix" exec setsid "$wine" "$TOOLS_DIR\\ksdriver.exe" hold) \
    </dev/null >"$state/hold.log" 2>&1 &
  echo $! >"$state/hold.pid"
  local probe
  probe=$(run_to_file "$prefix" 60 "$wine" "$TOOLS_DIR\\ksdriver.exe" probe)
  [ "${probe#ksdriver probe }" != "$probe" ] || die "programs do not start in the prefix ($probe)"

  cat >"$state/env.tmp" <<EOF
WINEPREFIX=$prefix
DISPLAY=:$DISPLAY_NUM
WINE=$wine
WINESERVER=$WINESERVER
WINEDEBUG=$WINEDEBUG
WINEDLLOVERRIDES=$WINEDLLOVERRIDES
LC_ALL=$LC_ALL
KS_ARCH=$arch
KS_32BIT_RUNS=$([ "$reason" = 32-bit-runs ] && echo 1 || echo 0)
KS_WIN_BIN=$bin
KS_TOOLS_DIR=$TOOLS_DIR
KS_WINE_VERSION=$("$WINE64" --version | sed 's/^wine-//; s/ .*//')
KS_XVFB_PID=$XVFB_PID
KS_HOLD_PID=$(cat "$state/hold.pid")
EOF
  mv "$state/env.tmp" "$state/env"
  log "ready in $((SECONDS - t0)) s: prefix $prefix, display :$DISPLAY_NUM, arch $arch"
}

# ---- stop -------------------------------------------------------------------

cmd_stop() {
  local state=$1 prefix="$1/prefix"
  [ -d "$state" ] || { log "nothing to stop in $state"; return 0; }
  # Works from whatever a start left, also one that was killed half-way.
  # The server ends every program of the prefix at once (the holder too);
  # the pids are the fall-back for a server that is already gone.
  if [ -f "$prefix/system.reg" ]; then
    WINEPREFIX="$prefix" "$WINESERVER" -k 2>/dev/null || true
    WINEPREFIX="$prefix" timeout 30 "$WINESERVER" -w 2>/dev/null || true
  fi
  kill_prefix_servers "$prefix"
  [ -f "$state/hold.pid" ] && kill_ours "$(cat "$state/hold.pid")" ksdriver
  [ -f "$state/xvfb.pid" ] && kill_ours "$(cat "$state/xvfb.pid")" Xvfb
  rm -f "$state/env" "$state/hold.pid" "$state/xvfb.pid"
  if [ "${KS_KEEP_PREFIX:-0}" != 1 ]; then rm -rf "$prefix"; fi
  log "stopped"
}

# ---- run-win-tests ----------------------------------------------------------

cmd_run_win_tests() {
  local state=$1 env="$1/env"
  [ -f "$env" ] || die "no Wine environment in $state: run through ctest (fixture wine.setup)"
  local prefix bin wine
  prefix=$(env_value "$env" WINEPREFIX)
  bin=$(env_value "$env" KS_WIN_BIN)
  wine=$(env_value "$env" WINE)
  export DISPLAY
  DISPLAY=$(env_value "$env" DISPLAY)
  [ -f "$bin/ks_win_tests.exe" ] || die "$bin/ks_win_tests.exe is missing"
  cp -f "$bin/ks_win_tests.exe" "$prefix/drive_c/ks/bin/"
  shift
  # The suite's exit status is the test's result.
  in_prefix "$prefix" "$wine" "$TOOLS_DIR\\ks_win_tests.exe" "$@"
}

case "${1:-}" in
  start) [ $# -eq 4 ] || die "usage: $0 start <statedir> <i686-build-dir> <x86_64-build-dir>"
         # Wine needs an absolute prefix; the programs run from inside drive_c.
         cmd_start "$(realpath -m "$2")" "$(realpath -m "$3")" "$(realpath -m "$4")" ;;
  stop) [ $# -eq 2 ] || die "usage: $0 stop <statedir>"
        cmd_stop "$(realpath -m "$2")" ;;
  run-win-tests) [ $# -ge 2 ] || die "usage: $0 run-win-tests <statedir> [gtest options]"
                 shift; cmd_run_win_tests "$(realpath -m "$1")" "${@:2}" ;;
  *) die "usage: $0 start|stop|run-win-tests ..." ;;
esac
