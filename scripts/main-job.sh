#!/usr/bin/env bash
# The main job: build the engine and the authoring tool, pack the bundled
# example product, install it silently under Wine in a scratch prefix, show
# what happened, and uninstall it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/bootstrap.sh

section() { printf '\n=== %s ===\n' "$*"; }

section "Build"
cmake --preset native >/dev/null
cmake --build --preset native
build=$root/build/native
file "$build/win-i686/kestrelon.exe"

state=$build/main-job-state
cleanup() { tests/wine-env.sh stop "$state" >/dev/null 2>&1 || true; }
trap cleanup EXIT

section "Scratch Wine prefix"
tests/wine-env.sh start "$state" "$build/win-i686" "$build/win-x86_64"
envval() { sed -n "s/^$1=//p" "$state/env" | head -n 1; }
prefix=$(envval WINEPREFIX)
bin=$(envval KS_WIN_BIN)
wine=$(envval WINE)
export WINEPREFIX=$prefix DISPLAY=$(envval DISPLAY) WINEDEBUG=-all
export WINEDLLOVERRIDES=$(envval WINEDLLOVERRIDES)
unset http_proxy https_proxy

# Runs a Windows program through the UI driver, which reports every window it
# shows and answers it, and prints the exit code.
drive() { (cd "$prefix/drive_c" && "$wine" 'C:\ks\bin\ksdriver.exe' run --timeout 120 -- "$@") </dev/null; }

section "Pack the example product"
mkdir -p "$prefix/drive_c/ks/job"
"$build/kestrelon-build" examples/ptarmigan-notes/setup.toml --engine "$bin/kestrelon.exe" \
  -o "$prefix/drive_c/ks/job/setup.exe"
"$build/kestrelon-build" examples/ptarmigan-notes/setup.toml --quiet \
  -o "$build/ptarmigan-notes-setup.exe"
echo "shipped 32-bit installer: $build/ptarmigan-notes-setup.exe"

section "A wrong command line shows the usage message"
drive 'C:\ks\job\setup.exe' /wrong

# What the installation adds: the files of drive C: before and after it (the
# placed files carry the product's own dates, so their times tell nothing).
snapshot() {
  (cd "$prefix/drive_c" && find . -path ./ks -prune -o -path ./windows -prune -o -type f -print) |
    sed 's|^\./|C:/|' | sort
}
snapshot >"$state/before.txt"

section "Silent installation"
drive 'C:\ks\job\setup.exe' /silent

section "What was installed"
snapshot >"$state/after.txt"
installed=$(comm -13 "$state/before.txt" "$state/after.txt")
if [ -n "$installed" ]; then printf '%s\n' "$installed"; else echo "(no files)"; fi
log=$(printf '%s\n' "$installed" | grep -i '/Install\.log$' | head -n 1 || true)
if [ -n "$log" ]; then
  section "Install.log"
  cat "$prefix/drive_c/${log#C:/}"
fi

# The registration as the system's list of installed programs sees it.
ukey='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Ptarmigan Notes'
section "Uninstall registration"
regq() { (cd "$prefix/drive_c" && "$wine" reg query "$ukey" /reg:32 ${1:+/v "$1"}) 2>/dev/null | tr -d '\r'; }
if ! regq; then echo "(the product is not registered)"; fi

section "Silent uninstallation through the registered QuietUninstallString"
quiet=$(regq QuietUninstallString | sed -n 's/^ *QuietUninstallString *REG_SZ *//p')
if [ -n "$quiet" ]; then
  echo "$quiet"
  (cd "$prefix/drive_c" && "$wine" 'C:\ks\bin\ksdriver.exe' run --timeout 120 --cmdline "$quiet") </dev/null
  # The uninstaller's folder goes last, removed by delunins.bat after the
  # uninstaller's process has ended.
  for _ in $(seq 1 30); do
    leftover=$(comm -13 "$state/before.txt" <(snapshot))
    [ -z "$leftover" ] && break
    sleep 1
  done
  section "What is left of the product"
  leftover=$(comm -13 "$state/before.txt" <(snapshot))
  if [ -n "$leftover" ]; then
    printf '%s\n' "$leftover"
    echo "(a file the manifest marks keep = true, like the example's LICENSE.txt, stays by design)"
  else
    echo "(nothing: drive C: holds the files it held before the installation)"
  fi
  if regq >/dev/null; then echo "the Uninstall key is still there"; else echo "(the Uninstall key is gone)"; fi
else
  echo "(no uninstaller was registered)"
fi

# The same installer as a person runs it: ksdriver walks the pages with their
# first buttons (the licence agreed, the summary's launch box cleared) and
# saves a picture of the screen at each.
section "Interactive installation, page by page"
shots=$build/main-job-pages
rm -rf "$shots" && mkdir -p "$shots" "$prefix/drive_c/ks/job/pages"
page() { echo "$1|shot:C:\\ks\\job\\pages\\$2.bmp|$3"; }
walk() { (cd "$prefix/drive_c" && "$wine" 'C:\ks\bin\ksdriver.exe' run --timeout 120 "$@") </dev/null; }
walk \
  --act "$(page has:1017 1-language press:1001)" \
  --act "$(page has:1040 2-greeting press:1001)" \
  --act "$(page 'has:1005|title:Ptarmigan Notes Setup' 3-licence press:1001)" \
  --act "$(page has:1005 4-readme press:1001)" \
  --act "$(page has:1036 5-folder press:1001)" \
  --act "$(page has:1015 6-start-menu press:1001)" \
  --act "$(page has:1029 7-summary 'uncheck:1029|press:1001')" \
  -- 'C:\ks\job\setup.exe' | grep -v '^window' || true
mv "$prefix/drive_c/ks/job/pages/"*.bmp "$shots/" 2>/dev/null || true
python3 scripts/bmp-to-png.py "$shots"/*.bmp
ls "$shots"
quiet=$(regq QuietUninstallString | sed -n 's/^ *QuietUninstallString *REG_SZ *//p')
if [ -n "$quiet" ]; then
  (cd "$prefix/drive_c" && "$wine" 'C:\ks\bin\ksdriver.exe' run --timeout 120 --cmdline "$quiet") </dev/null | tail -n 1
fi
