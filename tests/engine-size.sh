#!/usr/bin/env bash
# Keeps the shipped engine small: fails when the engine file is larger than
# the limit, carries symbols, or when its link map shows code that only the
# authoring tool and the tests use (the settings writer, liblzma's encoder).
#
#   tests/engine-size.sh ENGINE MAP LIMIT_BYTES
set -euo pipefail
engine=$1 map=$2 limit=$3

size=$(stat -c %s "$engine")
echo "engine: $size bytes (limit $limit)"
status=0
if [ "$size" -gt "$limit" ]; then
  echo "FAIL: the engine is $((size - limit)) bytes over its limit" >&2
  status=1
fi

# A stripped image has no symbol table.
if [ "$(i686-w64-mingw32-objdump -t "$engine" | grep -c '^\[')" -ne 0 ]; then
  echo "FAIL: the engine carries symbols (not stripped)" >&2
  status=1
fi

# The map lists the discarded input sections first; what follows its memory
# map heading is what the engine holds.
kept=$(awk '/^Linker script and memory map/ { held = 1 } held' "$map")
if [ -z "$kept" ]; then
  echo "FAIL: $map has no memory map" >&2
  exit 1
fi
for name in WriteInstallSettings SettingsWriter lzma_easy_buffer_encode lzma_stream_encoder \
            lzma_raw_encoder lzma_lzma_encoder; do
  if grep -q "$name" <<<"$kept"; then
    echo "FAIL: the engine holds $name" >&2
    status=1
  fi
done
# The check would pass on a map that names nothing: the reader must be there.
if ! grep -q "ReadInstallSettings" <<<"$kept"; then
  echo "FAIL: the map does not name the settings reader; are the names above still right?" >&2
  status=1
fi
exit $status
