#!/usr/bin/env bash
# cmake/wine-run with sh standing in for Wine: a program's output and status pass on unchanged,
# and a failure that printed nothing, alone, is explained on standard error, naming its cause.
set -u
run=$1
failed=0
err=$(mktemp)
trap 'rm -f "$err"' EXIT
while IFS='|' read -r script status out explained; do
  got=$("$run" sh -c "$script" 2>"$err")
  got_status=$?
  said=$(grep '^wine-run:' "$err")
  if [ "$got_status" != "$status" ] || [ "$got" != "$out" ] ||
     { [ -n "$explained" ] && [[ $said != *"$explained"* ]]; } || { [ -z "$explained" ] && [ -n "$said" ]; }; then
    echo "FAILED: $script: status $got_status, output '$got', said '$said'"
    failed=1
  fi
done <<'ROWS'
exit 0|0||
echo ran; exit 1|1|ran|
echo to the log >&2; exit 0|0||
exit 53|53||0xC0000135, a DLL it needs was not found
kill -9 $$|137||signal 9 (SIGKILL)
exit 3|3||low byte is 3
ROWS
exit "$failed"
