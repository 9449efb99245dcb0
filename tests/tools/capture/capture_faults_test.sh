#!/usr/bin/env bash
# capture_faults_test.sh BUILD: quorbel-capture stopped from outside or short of room. A signal to
# the tool alone during --video (one process, and parts) removes every temporary file, says so in
# one line, ends by that signal and leaves a file already under the name as it was; a file it
# cannot write names the system's reason, and nothing is left under the name; --until is the
# video's last frame, and the progress counts what the file holds.
set -uo pipefail
build=$1
capture=$build/quorbel-capture
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
bad() { echo "FAIL: $*"; failed=1; }

# ---- --until ----
out=$work/until
mkdir "$out"
"$capture" --video "$out/v.mp4" --from 46080 --until 47080 --jobs 1 2>"$out/err" || bad "--until: exit $?: $(cat "$out/err")"
frames=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$out/v.mp4")
# 60 fps from 46,083 to 47,066 ms: 60 frames, the next (47,083) is past --until.
[ "$frames" = 60 ] || bad "--until 47080 wrote $frames frames, not 60"
grep -q "video: 60 frames" "$out/err" || bad "--until: the progress disagrees: $(tail -2 "$out/err")"
grep -q "60 frames (47066 ms of show)" "$out/err" || bad "--until: the last line: $(tail -1 "$out/err")"

# ---- a signal to the tool alone ----
# JOBS|SIGNAL|the temporary file that shows the pictures are being encoded
stops=(
  "1|INT|v.mp4.pictures.mp4"
  "1|TERM|v.mp4.pictures.mp4"
  "2|INT|v.mp4.part0.mp4"
  "2|TERM|v.mp4.part0.mp4"
)
for row in "${stops[@]}"; do
  IFS='|' read -r jobs signal marker <<<"$row"
  out=$work/stop-$jobs-$signal
  mkdir "$out"
  echo old >"$out/v.mp4"
  # A background job of a script starts with SIGINT ignored: the tool gets the default back.
  env --default-signal=INT "$capture" --video "$out/v.mp4" --from 3840 --until 61439 --jobs "$jobs" 2>"$out/err" &
  pid=$!
  for _ in $(seq 600); do [ -s "$out/$marker" ] && break; sleep 0.1; done
  [ -s "$out/$marker" ] || bad "$row: $marker never appeared: $(cat "$out/err")"
  sleep 0.5
  kill -"$signal" "$pid"
  status=0
  wait "$pid" || status=$?
  name="$jobs job(s), SIG$signal"
  [ "$status" -eq $((128 + $(kill -l "$signal"))) ] || bad "$name: exit $status"
  [ "$(tail -1 "$out/err")" = "quorbel-capture: stopped by SIG$signal before $out/v.mp4 was complete; its temporary files are removed" ] ||
    bad "$name: the last line: $(tail -1 "$out/err")"
  [ "$(grep -c 'stopped by' "$out/err")" = 1 ] || bad "$name: not one line: $(cat "$out/err")"
  left=$(cd "$out" && ls | grep -v '^err$' | tr '\n' ' ')
  [ "$left" = "v.mp4 " ] || bad "$name: left behind: $left"
  [ "$(cat "$out/v.mp4")" = old ] || bad "$name: the file already there was changed"
  pgrep -f "$out/" >/dev/null && bad "$name: processes left running: $(pgrep -af "$out/")"
done

# ---- cannot write ----
# Inside a mount namespace of its own: a read-only folder (root writes into any other) and a
# full disk, a tmpfs of 16 kB.
namespace() { unshare --user --map-root-user --mount bash -c "$1"; }
if ! namespace true 2>/dev/null; then
  echo "note: no user namespaces here: the read-only and full-disk cases are not run"
  spaces=0
else
  spaces=1
fi
# what makes the folder D (in the namespace where it mounts one)|what the reason must be
writes=(
  "|No such file or directory"
  "mount -t tmpfs -o size=16k none D && echo old >D/file && mount -o remount,ro D|Read-only file system"
  "mount -t tmpfs -o size=16k none D && echo old >D/file|No space left on device"
)
for row in "${writes[@]}"; do
  IFS='|' read -r prepare reason <<<"$row"
  [ -n "$prepare" ] && [ "$spaces" = 0 ] && continue
  out=$work/write-${reason// /-}
  mkdir -p "$out/D"
  target=$out/D/file
  [ -z "$prepare" ] && target=$out/missing/file
  for mode in "--wav" "--stream 58000 -o" "--frame 100000 --cold --size 1280x960 -o"; do
    run="$capture $mode $target; echo \$? >$out/status; cat $target >$out/after 2>&1; ls -A $out/D >$out/left"
    if [ -n "$prepare" ]; then namespace "${prepare//D/$out/D} && $run" 2>"$out/err"; else bash -c "$run" 2>"$out/err"; fi
    name="$mode into a folder with '$reason'"
    [ "$(cat "$out/status")" = 1 ] || bad "$name: exit $(cat "$out/status")"
    [ "$(tail -1 "$out/err")" = "quorbel-capture: cannot write $target: $reason" ] || bad "$name: $(cat "$out/err")"
    [ -z "$prepare" ] || [ "$(cat "$out/after")" = old ] || bad "$name: the file already there was changed"
    [ -z "$prepare" ] || [ "$(cat "$out/left")" = file ] || bad "$name: left behind: $(cat "$out/left")"
  done
done
exit $failed
