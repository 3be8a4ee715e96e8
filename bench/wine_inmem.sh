#!/usr/bin/env bash
# The conversion in memory (veltrim_inmem) of the Windows build under Wine beside the Linux
# build, alternating on the same inputs (compare_builds.sh): every benchmark shape, or the
# files given. Code that makes no system calls runs under Wine as on Windows, so a gap is the
# build's.
#
#   bench/wine_inmem.sh [MEGABYTES=20] [ROUNDS=5] [FILE.css ...]
#
# Needs build/default and build/windows built, and a persistent wine server (see the README).
# VELTRIM_ISA measures one unit alone.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
linux=$root/build/default/bench/veltrim_inmem
exe=$root/build/windows/bench/veltrim_inmem.exe
for f in "$linux" "$exe"; do
  [ -x "$f" ] || { echo "missing $f: build both presets first" >&2; exit 2; }
done
export WINEDEBUG=-all VELTRIM_LABELS="Linux exe"
exec "$root/bench/compare_builds.sh" "$linux" "${WINE:-/usr/lib/wine/wine64} $exe" "${1:-20}" "${2:-5}" "${@:3}"
