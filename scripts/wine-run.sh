#!/usr/bin/env bash
# Runs a Windows program under Wine, in a Wine prefix of the project's own beside the
# program's build folder (made on first use). Picks the Wine loader that matches the
# program's machine type. Exits 77 (skipped) when this machine cannot run it at all.
set -u
exe=$1
shift

pe_offset=$(od -An -tu4 -j 60 -N 4 "$exe" | tr -d ' ')
machine=$(od -An -tx2 -j $((pe_offset + 4)) -N 2 "$exe" | tr -d ' ')
case "$machine" in
  014c) loader=/usr/lib/wine/wine ;;
  8664) loader=/usr/lib/wine/wine64 ;;
  *) echo "wine-run: $exe is not a Windows x86 program" >&2; exit 2 ;;
esac

if ! "$loader" --version >/dev/null 2>&1; then
  echo "SKIPPED: this machine cannot start $loader (machine type $machine)." >&2
  [ "$machine" = 014c ] && \
    echo "SKIPPED: its kernel runs no 32-bit x86 code (IA-32 emulation is off), so the i686 program is built but not run here." >&2
  exit 77
fi

build_dir=$(cd "$(dirname "$exe")" && pwd)
while [ "$build_dir" != / ] && [ ! -f "$build_dir/CMakeCache.txt" ]; do
  build_dir=$(dirname "$build_dir")
done
export WINEPREFIX="${SORREL_WINEPREFIX:-$build_dir/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  flock "$WINEPREFIX.lock" sh -c '[ -f "$WINEPREFIX/system.reg" ] || "$0" wineboot -i >/dev/null 2>&1' "$loader"
fi
exec "$loader" "$exe" "$@"
