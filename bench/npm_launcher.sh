#!/usr/bin/env bash
# What starting the tool through npm costs: `veltrim --version` run RUNS times in a row, in
# ROUNDS that alternate between the ways, from a fresh project that installs the tarballs of
# build/npm (npm/make-packages) offline. Prints the median milliseconds per start of each way:
#
#   binary        the tool itself
#   node          `node -e 0`, Node's own start, the floor of every way through it
#   launcher      node_modules/.bin/veltrim as an install with scripts ignored leaves it: Node,
#                 then the binary
#   npx launcher  `npx veltrim` over that launcher
#   bin swapped   node_modules/.bin/veltrim after the install script put the binary there
#   npx swapped   `npx veltrim` over the binary
#
#   bench/npm_launcher.sh [RUNS=20] [ROUNDS=5]
set -euo pipefail
runs=${1:-20}
rounds=${2:-5}
cd "$(dirname "$0")/.."
out=$PWD/build/npm
ls "$out"/veltrim-[0-9]*.tgz >/dev/null || { echo "no packages in $out: npm/make-packages" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export npm_config_cache=$work/cache npm_config_offline=true npm_config_audit=false \
  npm_config_fund=false npm_config_update_notifier=false
unset VELTRIM_BINARY

# Two projects: one installed with scripts ignored, one whose install script ran.
for project in launcher swapped; do
  mkdir "$work/$project"
  echo '{ "name": "bench", "version": "1.0.0", "private": true }' >"$work/$project/package.json"
  flags=--ignore-scripts
  [ "$project" = launcher ] || flags=--foreground-scripts
  (cd "$work/$project" && npm install --silent "$flags" "$out"/veltrim-[0-9]*.tgz \
    "$out/veltrim-linux-$(node -p process.arch)"-*.tgz >/dev/null)
done
binary=$(cd "$work/launcher" && node -p 'require("path").join(require.resolve(
  `@veltrim/linux-${process.arch}/package.json`), "..", "bin", "veltrim")')

ways=(binary node launcher "npx launcher" "bin swapped" "npx swapped")
run_way() {
  case $1 in
    binary) "$binary" --version ;;
    node) node -e 0 ;;
    launcher) "$work/launcher/node_modules/.bin/veltrim" --version ;;
    "npx launcher") (cd "$work/launcher" && npx veltrim --version) ;;
    "bin swapped") "$work/swapped/node_modules/.bin/veltrim" --version ;;
    "npx swapped") (cd "$work/swapped" && npx veltrim --version) ;;
  esac
}

declare -A figures
for ((round = 0; round < rounds; round++)); do
  for way in "${ways[@]}"; do
    start=$(date +%s%N)
    for ((i = 0; i < runs; i++)); do run_way "$way" >/dev/null; done
    end=$(date +%s%N)
    figures[$way]+="$(( (end - start) / runs / 1000 )) "
  done
done
for way in "${ways[@]}"; do
  tr ' ' '\n' <<<"${figures[$way]}" | grep . | sort -n |
    awk -v way="$way" '{ us[NR] = $1 } END { printf "%-13s %8.1f ms\n", way, us[int((NR + 1) / 2)] / 1000 }'
done
