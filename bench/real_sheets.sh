#!/usr/bin/env bash
# The whole-process comparison (veltrim_compare) and the in-memory one (veltrim_inmem, every
# instruction set) on real stylesheets: a few frameworks' own files, fetched from the npm
# registry at bench time into a temporary folder and never kept, each repeated to about
# MEGABYTES so that start-up does not hide the conversion.
#
#   bench/real_sheets.sh [MEGABYTES=20] [RUNS=9]
#
# Needs npm with access to its registry, and build/default built. VELTRIM_ISA reaches the tool.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mb=${1:-20}
runs=${2:-9}
compare=$root/build/default/bench/veltrim_compare
for f in "$compare" "$root/build/default/bench/veltrim_inmem"; do
  [ -x "$f" ] || { echo "missing $f: cmake --build --preset default" >&2; exit 2; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# package@version, then the files wanted from it: pretty and minified, design tokens, nesting.
sheets=(
  "@primer/css@22.3.2 dist/primer.css dist/color-modes.css"
  "@picocss/pico@2.1.1 css/pico.css css/pico.min.css"
  "materialize-css@1.0.0 dist/css/materialize.css dist/css/materialize.min.css"
  "@blueprintjs/core@6.20.0 lib/css/blueprint.css"
  "bootstrap@5.3.9 dist/css/bootstrap.css dist/css/bootstrap.min.css"
)
inputs=()
for entry in "${sheets[@]}"; do
  read -r package files <<<"$entry"
  tarball=$(npm pack --silent "$package")
  mkdir -p unpacked && tar xzf "$tarball" -C unpacked
  for file in $files; do
    name=$(echo "$package" | sed 's/@[^@]*$//; s/^@//; s|/|-|g')-$(basename "$file")
    # Repeated whole, so that every copy starts at a rule's start as the original does.
    : >"$name"
    while [ "$(stat -c %s "$name")" -lt $(( mb * 1000 * 1000 )) ]; do
      cat "unpacked/package/$file" >>"$name"
    done
    inputs+=("$work/$name")
  done
  rm -rf unpacked "$tarball"
done
"$compare" "$root/build/default/veltrim" "$mb" "$runs" "${inputs[@]}"
echo
"$root/build/default/bench/veltrim_inmem" "$mb" 5 "${inputs[@]}"
