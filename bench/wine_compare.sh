#!/usr/bin/env bash
# The Windows executable under Wine against a Win32 64 KiB block copy built alike, next to the
# Linux build against its own block copy, on the same inputs: every benchmark shape, or the
# files given. Wine's start-up, tens of milliseconds, is taken out by timing a 1 KB input too;
# at 100 MB the work is several times that start-up and its variation.
#
#   bench/wine_compare.sh [MEGABYTES=100] [RUNS=11] [FILE.css ...]
#
# Needs build/default and build/windows built (cmake --build --preset default / windows), and
# a persistent wine server (see the README). VELTRIM_ISA reaches both tools; TMPDIR picks the
# folder both work in (/dev/shm takes the disk's write-back out of the figures).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mb=${1:-100}
runs=${2:-11}
shift $(( $# > 2 ? 2 : $# ))
wine=${WINE:-/usr/lib/wine/wine64}
export WINEDEBUG=-all
linux=$root/build/default
windows=$root/build/windows
for f in "$linux/veltrim" "$linux/bench/veltrim_compare" "$linux/bench/gen_css" \
         "$windows/veltrim.exe" "$windows/bench/veltrim_block_copy.exe"; do
  [ -x "$f" ] || { echo "missing $f: build both presets first" >&2; exit 2; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
cp "$windows/veltrim.exe" "$windows/bench/veltrim_block_copy.exe" .

ms() {  # wall time of one run of the command, in milliseconds
  local t0 t1
  t0=$(date +%s%N)
  "$@" >/dev/null
  t1=$(date +%s%N)
  awk -v d=$(( t1 - t0 )) 'BEGIN {printf "%.2f", d / 1e6}'
}
median() { sort -n | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }

"$linux/bench/gen_css" small.css 0.001
printf '%-22s %10s %10s %8s %8s %8s\n' input "exe ms" "copy ms" "Wine" Linux diff

# Each round runs the tool and the copy on the input and on the 1 KB file, so that the
# start-up taken off is measured beside the run it is taken from.
compare() {  # compare NAME FILE
  cp "$2" input.css
  "$wine" veltrim.exe input.css >/dev/null  # warm-up
  local tool=() copy=() tool0=() copy0=()
  for _ in $(seq "$runs"); do
    tool+=("$(ms "$wine" veltrim.exe input.css)")
    copy+=("$(ms "$wine" veltrim_block_copy.exe input.css copy.out)")
    tool0+=("$(ms "$wine" veltrim.exe small.css)")
    copy0+=("$(ms "$wine" veltrim_block_copy.exe small.css copy.out)")
  done
  local t c
  t=$(awk -v a="$(printf '%s\n' "${tool[@]}" | median)" -v b="$(printf '%s\n' "${tool0[@]}" | median)" \
    'BEGIN {print a - b}')
  c=$(awk -v a="$(printf '%s\n' "${copy[@]}" | median)" -v b="$(printf '%s\n' "${copy0[@]}" | median)" \
    'BEGIN {print a - b}')
  local wine_ratio linux_ratio
  wine_ratio=$(awk -v t="$t" -v c="$c" 'BEGIN {printf "%.2f", t / c}')
  linux_ratio=$("$linux/bench/veltrim_compare" "$linux/veltrim" "$mb" "$runs" input.css |
    awk '$1 == "input.css" {print $NF}')
  printf '%-22s %10.1f %10.1f %8s %8s %+8.2f\n' "$1" "$t" "$c" "$wine_ratio" "$linux_ratio" \
    "$(awk -v w="$wine_ratio" -v l="$linux_ratio" 'BEGIN {print w - l}')"
}

if [ $# -gt 0 ]; then
  for f in "$@"; do compare "$(basename "$f")" "$f"; done
else
  "$linux/bench/gen_css" 2>&1 | sed -n 's/^  \([0-9]*\)  \(.*\)$/\1|\2/p' | while IFS='|' read -r n name; do
    "$linux/bench/gen_css" shape.css "$mb" "$n"
    compare "$name" shape.css
  done
fi
