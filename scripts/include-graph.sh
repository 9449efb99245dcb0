#!/usr/bin/env bash
# include-graph.sh: the folder -> folder edges of the #include "..." lines, with how many lines
# make each, and every edge that runs upward through the layers (exit 1 when there is one).
# The layers, top first; tools/, tests/, bench/ and fuzz/ stand on top of them all.
set -euo pipefail
cd "$(dirname "$0")/.."
layers=(app timeline "tunnel cube particles overlays" text synth core platform)

rank() {  # the layer number of a folder; 0 for the programs on top
  local i=1
  for layer in "${layers[@]}"; do
    for folder in $layer; do [ "$folder" = "$1" ] && { echo "$i"; return; }; done
    i=$((i + 1))
  done
  echo 0
}

edges=$(git ls-files '*.cpp' '*.h' | while read -r file; do
  from=${file%%/*}
  { grep -o '^#include "[^"]*"' "$file" || true; } | sed 's/#include "\([^/"]*\)\/.*/\1/' | while read -r to; do
    if [ "$to" != "$from" ] && [ -d "$to" ]; then echo "$from $to"; fi
  done
done | sort | uniq -c)

upward=0
while read -r count from to; do
  mark=""
  a=$(rank "$from") b=$(rank "$to")
  if [ "$a" -ne 0 ] && { [ "$b" -eq 0 ] || [ "$b" -lt "$a" ]; }; then mark="  UPWARD"; upward=1; fi
  printf '%-10s -> %-10s %4d%s\n' "$from" "$to" "$count" "$mark"
done <<< "$edges"
exit $upward
