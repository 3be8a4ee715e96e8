#!/usr/bin/env bash
# The conversion in memory (veltrim_inmem) of the Windows build under Wine beside the Linux
# build, in alternating rounds on the same inputs: every benchmark shape, or the files given.
# Code that makes no system calls runs under Wine as on Windows, so a gap is the build's.
#
#   bench/wine_inmem.sh [MEGABYTES=20] [ROUNDS=5] [FILE.css ...]
#
# Prints, per input and unit, the median GB/s of each build over the rounds and how far the
# exe is from Linux, then the worst input of each unit. Needs build/default and build/windows
# built, and a persistent wine server (see the README). VELTRIM_ISA measures one unit alone.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mb=${1:-20}
rounds=${2:-5}
shift $(( $# > 2 ? 2 : $# ))
wine=${WINE:-/usr/lib/wine/wine64}
export WINEDEBUG=-all VELTRIM_TSV=1
linux=$root/build/default/bench/veltrim_inmem
exe=$root/build/windows/bench/veltrim_inmem.exe
for f in "$linux" "$exe"; do
  [ -x "$f" ] || { echo "missing $f: build both presets first" >&2; exit 2; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for (( r = 0; r < rounds; r++ )); do
  "$linux" "$mb" 3 "$@" | sed 's/^/linux\t/' >>"$work/all"
  # Into a file, not a pipe: a Wine service process started by this run keeps the output
  # open, and a reader of a pipe would wait for it.
  "$wine" "$exe" "$mb" 3 "$@" >"$work/exe.txt"
  tr -d '\r' <"$work/exe.txt" | sed 's/^/windows\t/' >>"$work/all"
done
# The median of each build, input and unit; the inputs in the order they were measured.
sort -t $'\t' -k1,1 -k2,2 -k3,3 -k4,4g "$work/all" | awk -F '\t' '
  { key = $1 "\t" $2 "\t" $3; v[key, ++n[key]] = $4 }
  END { for (k in n) print k "\t" v[k, int((n[k] + 1) / 2)] }' >"$work/medians"
awk -F '\t' '
  NR == FNR { m[$1, $2, $3] = $4; next }
  $1 == "linux" && !(($2, $3) in seen) { seen[$2, $3] = 1; order[++rows] = $2 "\t" $3 }
  END {
    printf "%-28s %-8s %8s %8s %7s\n", "input", "unit", "Linux", "exe", "exe/Linux"
    for (i = 1; i <= rows; i++) {
      split(order[i], f, "\t")
      l = m["linux", f[1], f[2]]; w = m["windows", f[1], f[2]]
      printf "%-28s %-8s %8.2f %8.2f %+6.1f%%\n", f[1], f[2], l, w, (w / l - 1) * 100
      if (!(f[2] in worst_l) || l < worst_l[f[2]]) worst_l[f[2]] = l
      if (!(f[2] in worst_w) || w < worst_w[f[2]]) worst_w[f[2]] = w
    }
    for (u in worst_l) printf "worst %-8s Linux %6.2f  exe %6.2f GB/s\n", u, worst_l[u], worst_w[u]
  }' "$work/medians" "$work/all"
