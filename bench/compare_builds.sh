#!/usr/bin/env bash
# The conversion in memory (veltrim_inmem) of two builds, alternating at every input and unit,
# so that the machine's changes of speed, which come and go within seconds on a shared
# machine, fall on both alike: before and after a change to the fast path, say.
#
#   bench/compare_builds.sh BEFORE_INMEM AFTER_INMEM [MEGABYTES=20] [ROUNDS=9] [FILE.css ...]
#
# Each build is a command, split at its blanks ("wine64 build/windows/...exe" runs the Windows
# build). Without files, every benchmark shape (gen_css beside BEFORE_INMEM writes them).
# Prints, per input and unit, the median GB/s of each build over the rounds and the change,
# then each unit's worst input in each build by the median and by the best round.
# VELTRIM_ISA measures one unit alone; VELTRIM_LABELS names the builds ("before after").
set -euo pipefail
[ $# -ge 2 ] || { sed -n '2,13p' "$0"; exit 2; }
read -r -a before <<<"$1"
read -r -a after <<<"$2"
read -r label_before label_after <<<"${VELTRIM_LABELS:-before after}"
mb=${3:-20}
rounds=${4:-9}
shift $(( $# > 4 ? 4 : $# ))
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

inputs=("$@")
names=()
for input in "${inputs[@]}"; do names+=("$(basename "$input" .css)"); done
if [ ${#inputs[@]} -eq 0 ]; then
  gen=$(dirname "${before[0]}")/gen_css
  [ -x "$gen" ] || { echo "no gen_css beside ${before[0]}: give the inputs" >&2; exit 2; }
  "$gen" 2>"$work/usage" || true  # its usage names the shapes
  while read -r shape name; do
    "$gen" "$work/shape$shape.css" "$mb" "$shape"
    inputs+=("$work/shape$shape.css")
    names+=("$name")
  done < <(awk '$1 ~ /^[0-9]+$/' "$work/usage")
fi
# The units this processor runs, as the after build names them.
VELTRIM_TSV=1 "${before[@]}" 0.01 1 "${inputs[0]}" >"$work/run"
units=$(tr -d '\r' <"$work/run" | awk -F '\t' '$2 != "memcpy" {print $2}')
[ -z "${VELTRIM_ISA:-}" ] || units=$VELTRIM_ISA

export VELTRIM_TSV=1
for (( r = 0; r < rounds; r++ )); do
  for i in "${!inputs[@]}"; do
    input=${inputs[$i]}
    name=${names[$i]}
    for unit in $units; do
      # Each round starts with the other build, so that neither always runs first.
      for build in $( ((r % 2)) && echo "after before" || echo "before after"); do
        # Into a file, not a pipe: a Wine service process that a run starts may hold its
        # output open, and a reader of a pipe would wait for it.
        if [ "$build" = before ]; then
          VELTRIM_ISA=$unit "${before[@]}" "$mb" 3 "$input" >"$work/run"
        else
          VELTRIM_ISA=$unit "${after[@]}" "$mb" 3 "$input" >"$work/run"
        fi
        tr -d '\r' <"$work/run" |
          awk -F '\t' -v b="$build" -v n="$name" '$2 != "memcpy" {print b "\t" n "\t" $2 "\t" $3}' >>"$work/all"
      done
    done
  done
done
# Per build, input and unit: the median and the best round.
sort -t $'\t' -k1,1 -k2,2 -k3,3 -k4,4g "$work/all" | awk -F '\t' '
  { key = $1 "\t" $2 "\t" $3; v[key, ++n[key]] = $4 }
  END { for (k in n) print k "\t" v[k, int((n[k] + 1) / 2)] "\t" v[k, n[k]] }' >"$work/stats"
awk -F '\t' -v lb="$label_before" -v la="$label_after" '
  NR == FNR { med[$1, $2, $3] = $4; best[$1, $2, $3] = $5; next }
  $1 == "before" && !(($2, $3) in seen) { seen[$2, $3] = 1; order[++rows] = $2 "\t" $3 }
  END {
    printf "%-28s %-8s %8s %8s %7s\n", "input", "unit", lb, la, "change"
    for (i = 1; i <= rows; i++) {
      split(order[i], f, "\t")
      b = med["before", f[1], f[2]]; a = med["after", f[1], f[2]]
      printf "%-28s %-8s %8.2f %8.2f %+6.1f%%\n", f[1], f[2], b, a, (a / b - 1) * 100
      u = f[2]
      if (!(u in wb) || b < wb[u]) wb[u] = b
      if (!(u in wa) || a < wa[u]) wa[u] = a
      bb = best["before", f[1], u]; ba = best["after", f[1], u]
      if (!(u in xb) || bb < xb[u]) xb[u] = bb
      if (!(u in xa) || ba < xa[u]) xa[u] = ba
    }
    for (u in wb) {
      printf "worst %-8s median: %s %5.2f %s %5.2f GB/s %+5.1f%%   best: %s %5.2f %s %5.2f %+5.1f%%\n",
             u, lb, wb[u], la, wa[u], (wa[u] / wb[u] - 1) * 100, lb, xb[u], la, xa[u],
             (xa[u] / xb[u] - 1) * 100
    }
  }' "$work/stats" "$work/all"
