#!/usr/bin/env bash
# options_test.sh BUILD: every program answers a command line it refuses alike: one line on
# stderr with the reason, then "Try 'PROGRAM --help' for more information.", nothing on stdout,
# exit status 2; and at once, before it opens a display or a GL context or runs the show (CTest's
# timeout holds the whole table to that). Each program's --help still answers, exit 0.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# PROGRAM|the first line after "PROGRAM: " begins so|the arguments
refused=(
  "quorbel|unknown option '--bogus'|--bogus"
  "quorbel|--size needs a value|--window --size"
  "quorbel|--size needs WxH, from 4x3 to 65536x65536 pixels, not '3x2'|--size 3x2"
  "quorbel|--start: '161280' is past the show's end|--window --start 161280"
  "quorbel|--start 5000 lies outside the loop 1000:2000|--loop 1000:2000 --start 5000"
  # More than any machine holds (and any renderer draws): refused before the display is opened.
  "quorbel|--size 65536x65536 |--window --size 65536x65536"
  "quorbel-capture|unknown option '--bogus'|--bogus"
  "quorbel-capture|nothing to do|"
  "quorbel-capture|--frame '4294967295' is past the show's end|--frame 4294967295 -o $work/f.png"
  "quorbel-capture|--frames 4000,170000: 170000 is past the show's end|--frames 4000,170000 -o $work/frames"
  "quorbel-capture|--frames 0:161280: 161280 is past the show's end|--frames 0:161280 -o $work/frames"
  "quorbel-capture|--stream '161280' is past the show's end|--stream 161280 -o $work/f.d3ds"
  "quorbel-capture|--trace '161280' is past the show's end|--trace 161280"
  "quorbel-capture|--until '161280' is past the show's end|--video $work/v.mp4 --until 161280"
  "quorbel-capture|--size 65536x65536 |--frame 0 --size 65536x65536 -o $work/f.png"
  "quorbel-capture|--size 65536x49152 in 2 processes |--video $work/v.mp4 --size 65536x49152 --jobs 2"
  "quorbel-soak|unknown option '--bogus'|--bogus"
  "quorbel-soak|--fps takes a whole number from 1 to 1000|--fps 0"
  "quorbel-compare|unknown option '--bogus'|--bogus"
  "quorbel-compare|needs two pictures|$work/a.png"
  "quorbel-compare|--limits needs a value|$work/a.png $work/b.png --limits"
  "quorbel-probe-streams|needs the folder|"
  "quorbel-probe-streams|unknown option '--bogus'|--bogus"
)

failed=0
for row in "${refused[@]}"; do
  IFS='|' read -r program said arguments <<<"$row"
  read -ra args <<<"$arguments"
  status=0
  env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER "$build/$program" "${args[@]}" \
    >"$work/out" 2>"$work/err" || status=$?
  mapfile -t lines <"$work/err"
  try="Try '$program --help' for more information."
  if [ "$status" -ne 2 ] || [ "${#lines[@]}" -ne 2 ] || [[ ${lines[0]} != "$program: $said"* ]] ||
     [ "${lines[1]}" != "$try" ] || [ -s "$work/out" ]; then
    echo "$program $arguments: exit $status, stdout $(wc -c <"$work/out") bytes, stderr:"
    cat "$work/err"
    echo "  instead of exit 2 and: $program: $said..."
    echo "                        $try"
    failed=1
  fi
done

for program in quorbel quorbel-capture quorbel-soak quorbel-compare quorbel-probe-streams; do
  status=0
  help=$("$build/$program" --help 2>&1) || status=$?
  first=${help%%$'\n'*}
  if [ "$status" -ne 0 ] || [[ ${first,,} != "usage: $program"* ]]; then
    echo "$program --help: exit $status, first line: $first"
    failed=1
  fi
done

# quorbel-capture --phases, which the page's frame-rate script reads: JSON, the phases one after
# the other from 0 to the last start time --start takes plus one.
if ! "$build/quorbel-capture" --phases | python3 -c '
import json, sys
phases = json.load(sys.stdin)
ends = [0] + [p["endMs"] for p in phases[:-1]]
assert len(phases) > 1 and all(p["name"] for p in phases), phases
assert [p["startMs"] for p in phases] == ends, phases
assert phases[-1]["endMs"] == int(sys.argv[1]) + 1, phases[-1]
' "$(sed -n "s/.*(0 to \([0-9]*\)).*/\1/p" <<<"$("$build/quorbel" --help)")"; then
  echo "quorbel-capture --phases: not the show's phases from 0 to its end"
  failed=1
fi
exit $failed
