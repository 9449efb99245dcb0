#!/usr/bin/env bash
# wine_check.sh: the show's frames on an independent Direct3D 9. Each frame below is written as a
# frame stream (quorbel-capture --stream), replayed into our OpenGL device (--replay, the picture
# --frame gives) and, through replay-d3d9.exe (tools/replay-d3d9/, built here with mingw-w64),
# into Wine's d3d9 on an Xvfb and a Wine prefix of the check's own; the two pictures are
# measured as the browser test measures (quorbel-compare) and held to the limits below.
#   scripts/wine_check.sh [BUILD] [WORK]         BUILD: the build folder (default build), WORK: the
#                                                check's files (default BUILD/wine-check)
#   scripts/wine_check.sh --speed N [BUILD]      each stream replayed N times in one process, ours
#                                                and Wine's alternating: a table of median times
# Without Wine or mingw-w64 it skips (exit 77), unless QUORBEL_REQUIRE_ALL makes that a failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
speed=0
if [ "${1:-}" = --speed ]; then speed=$2; shift 2; fi
build=$(cd "${1:-$root/build}" && pwd)
work=${2:-$build/wine-check}

source "$root/scripts/wine_env.sh"
missing=$(wine_missing)
[ -z "$missing" ] || wine_skip_or_fail "wine check" "$missing"

# The frames and the limits each is held to, shared with the Windows tests.
mapfile -t frames < <(sed -e 's/#.*//' -e '/^ *$/d' "$root/scripts/wine_frames.txt")
# States a fresh device of Wine's holds otherwise than the stream assumes, as docs/stream.md explains.
known_states="D3DRS_POINTSIZE_MAX"

mkdir -p "$work"
log=$work/log.txt
: >"$log"
capture=$build/quorbel-capture
compare=$build/quorbel-compare
for program in "$capture" "$compare"; do
  [ -x "$program" ] || { echo "wine check: FAILED: $program is not built"; exit 1; }
done

# The replayer, built with mingw-w64 into a folder of its own.
replayer_build=$build/replay-d3d9
cmake -S "$root/tools/replay-d3d9" -B "$replayer_build" -G Ninja -DCMAKE_SYSTEM_NAME=Windows \
  -DCMAKE_CXX_COMPILER=x86_64-w64-mingw32-g++ >>"$log" 2>&1 &&
  cmake --build "$replayer_build" >>"$log" 2>&1 || { echo "wine check: FAILED: replay-d3d9.exe does not build"; tail -20 "$log"; exit 1; }

# An Xvfb of our own on a free display, and a Wine prefix of our own (made once: 11-18 s).
wine_start "$work" "$log" "wine check" || exit 1
export MESA_SHADER_CACHE_DIR=$build/mesa-cache

stream_of() {  # frame, file
  if [[ $1 == L* ]]; then "$capture" --stream-loading "${1#L}" -o "$2"; else "$capture" --stream "$1" -o "$2"; fi
}

# Every stream, and ours replayed; then all of them in one run of the replayer under Wine,
# whose start-up costs seconds.
names=() wine_args=() failed=0
for row in "${frames[@]}"; do
  read -r frame _ <<<"$row"
  if ! stream_of "$frame" "$work/$frame.d3ds" 2>>"$log"; then echo "$frame: FAILED: no stream (see $log)"; failed=1; continue; fi
  names+=("$frame")
done
"$build/quorbel-probe-streams" "$work" || { echo "wine check: FAILED: no probe streams"; exit 1; }
probes=(columns sprite-in sprite-edge)
names+=("${probes[@]}")
for name in "${names[@]}"; do wine_args+=("$work/$name.d3ds" -o "$work/$name-wine.png"); done

# The median time of one replay per stream, from the replayers' lines.
medians() { sed -n 's/.*median \([0-9.]*\) ms.*/\1/p'; }
if [ "$speed" -gt 0 ]; then
  declare -A ours theirs
  least() { if [ -z "$2" ]; then echo "$1"; else awk -v a="$1" -v b="$2" 'BEGIN { print (a < b ? a : b) }'; fi; }
  for round in 1 2; do  # alternating, so that a busier minute weighs on both; the faster round kept
    for name in "${names[@]}"; do
      t=$("$capture" --replay "$work/$name.d3ds" -o "$work/$name-ours.png" --repeat "$speed" | medians)
      ours[$name]=$(least "$t" "${ours[$name]:-}")
    done
    mapfile -t times < <("$wine" "$replayer_build/replay-d3d9.exe" "${wine_args[@]}" --repeat "$speed" 2>>"$log" | medians)
    for i in "${!names[@]}"; do theirs[${names[$i]}]=$(least "${times[$i]}" "${theirs[${names[$i]}]:-}"); done
  done
  printf '%-12s %12s %12s %8s\n' stream "ours (ms)" "Wine (ms)" "Wine/ours"
  for name in "${names[@]}"; do
    printf '%-12s %12s %12s %8.1f\n' "$name" "${ours[$name]}" "${theirs[$name]}" "$(awk "BEGIN { print ${theirs[$name]} / ${ours[$name]} }")"
  done
  exit 0
fi

for name in "${names[@]}"; do
  "$capture" --replay "$work/$name.d3ds" -o "$work/$name-ours.png" 2>>"$log" || { echo "$name: FAILED: our replay (see $log)"; failed=1; }
done
"$wine" "$replayer_build/replay-d3d9.exe" "${wine_args[@]}" >"$work/wine-states.txt" 2>>"$log" ||
  { echo "wine check: FAILED: the replay under Wine (see $log)"; failed=1; }
# Hostile input gets the same refusals from the replayer's reader as from ours: a draw whose count
# wraps at 32 bits (an input the stream fuzzer found) and a folder, each in one line, status 1.
hostile=$root/fuzz/corpus/stream/regression-strip-count-wraps
status=0
"$wine" "$replayer_build/replay-d3d9.exe" "$hostile" -o "$work/hostile.png" "$work" -o "$work/folder.png" \
  >/dev/null 2>"$work/hostile.txt" || status=$?
if [ $status -ne 1 ] || [ "$(grep -c . "$work/hostile.txt")" -ne 2 ] ||
   ! grep -q "regression-strip-count-wraps: frame call 6: the vertices do not match" "$work/hostile.txt" ||
   ! grep -q "wine-check: not a file" "$work/hostile.txt" || [ -e "$work/hostile.png" ] || [ -e "$work/folder.png" ]; then
  echo "wine check: FAILED: replay-d3d9.exe took hostile streams otherwise than one line each and status 1 (status $status):"
  cat "$work/hostile.txt"; failed=1
fi
unexpected=$(grep '^state ' "$work/wine-states.txt" | grep -v -w -F "$known_states" || true)
if [ -n "$unexpected" ]; then echo "wine check: FAILED: Wine's device holds states the stream does not:"; echo "$unexpected"; failed=1; fi

# Measures and "above" past the limits (then with the pictures that show why); nothing when a
# picture is missing or unreadable.
measure() {  # name, limits
  [ -f "$work/$1-ours.png" ] && [ -f "$work/$1-wine.png" ] || return 0
  local out status=0
  out=$("$compare" "$work/$1-ours.png" "$work/$1-wine.png" --limits "$2" --pictures "$work/$1") || status=$?
  [ $status -le 1 ] || return 0
  echo "$out$([ $status = 1 ] && echo ' above')"
}

printf '%-8s %8s %8s %8s   %s\n' frame mean "over 24" moved "limits (mean, over 24 %, moved %)"
for row in "${frames[@]}"; do
  read -r frame mean_limit over_limit moved_limit <<<"$row"
  read -r mean over moved above < <(measure "$frame" "$mean_limit,$over_limit,$moved_limit"; echo)
  verdict=""
  if [ -z "${mean:-}" ]; then verdict="  FAILED: no picture to compare"; failed=1
  elif [ -n "${above:-}" ]; then
    verdict="  FAILED: above the limits; $work/$frame-side.png (ours left, Wine's right) and $frame-diff.png"; failed=1
  fi
  printf '%-8s %8s %7s%% %7s%%   %s, %s, %s%s\n' "$frame" "${mean:--}" "${over:--}" "${moved:--}" "$mean_limit" "$over_limit" \
    "$moved_limit" "$verdict"
done
grep '^state ' "$work/wine-states.txt" | sort -u | sed 's/^/Wine: /'

# The probes, one behaviour each: at Direct3D's pixel centres both take the columns' mean (a
# regression of ours to GL's centres shows as a mean of 1.5); a sprite inside the target is the
# same in both; one whose centre lies outside is drawn by ours, as Direct3D documents, and
# dropped by Wine, which draws GL points.
printf '%-12s %8s %8s %8s\n' probe mean "over 24" moved
for probe in "${probes[@]}"; do
  read -r mean over moved _ < <(measure "$probe" "255,100,100"; echo)
  verdict=""
  case $probe in
    columns) awk "BEGIN { exit !(${mean:-9} > 0.5) }" && verdict="  FAILED: the textures are not sampled where Wine samples them" ;;
    sprite-in) [ "${moved:-}" = 0.000 ] || verdict="  FAILED: a sprite inside the target differs" ;;
    sprite-edge) [ "${moved:-}" = 0.000 ] && verdict="  (Wine now draws it: the frames' limits may be tightened)" ;;
  esac
  [[ $verdict == *FAILED* ]] && failed=1
  printf '%-12s %8s %7s%% %7s%%%s\n' "$probe" "${mean:--}" "${over:--}" "${moved:--}" "$verdict"
done
exit $failed
