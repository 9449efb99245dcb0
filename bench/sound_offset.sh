#!/usr/bin/env bash
# sound_offset.sh: how far the live show's sound is from its picture, heard through a PulseAudio
# of its own with a null sink. The sink's monitor is recorded and each 10 ms of the recording is
# found in the soundtrack (quorbel-capture --wav), which gives the show time heard at that moment
# to the sample; the frame log (QUORBEL_FRAME_LOG) gives each frame's show time and the moment it
# appeared. Prints the offset's median and worst over the frames (positive: the sound is ahead of
# the picture), and how often the sound jumped (skips, repeats, and gaps where it ran dry).
#   bench/sound_offset.sh SHOW_BINARY CAPTURE_BINARY OUT_DIR SECONDS LOAD [show options...]
# LOAD busy loops run beside the show (0: none). Needs Xvfb, pulseaudio, pactl and parec.
set -euo pipefail
show=$1 capture=$2 out=$3 seconds=$4 load=$5
shift 5
for tool in Xvfb pulseaudio parec; do
  command -v $tool >/dev/null || { echo "sound_offset.sh: $tool is missing" >&2; exit 1; }
done
mkdir -p "$out"
rm -f "$out/frames.txt" "$out/monitor.raw" "$out/reads.txt" "$out/display" "$out/pulse.sock"
[ -s "$out/soundtrack.wav" ] || "$capture" --wav "$out/soundtrack.wav" >/dev/null
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true' EXIT
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$out/display" >/dev/null 2>&1 &
pids+=($!)
pulseaudio -n --daemonize=no --exit-idle-time=-1 --system=false --disallow-exit \
  -L 'module-null-sink sink_name=null rate=44100 format=s16le channels=2' \
  -L "module-native-protocol-unix socket=$out/pulse.sock auth-anonymous=1" >"$out/pulse.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -s "$out/display" ] && [ -S "$out/pulse.sock" ] && break; sleep 0.1; done
[ -s "$out/display" ] || { echo "sound_offset.sh: Xvfb did not start" >&2; exit 1; }
[ -S "$out/pulse.sock" ] || { echo "sound_offset.sh: pulseaudio did not start ($out/pulse.log)" >&2; exit 1; }
export PULSE_SERVER=unix:$out/pulse.sock
# The recording, each read stamped with the wall clock as it arrives.
python3 - "$out" <<'PY' &
import subprocess, sys, time
out = sys.argv[1]
rec = subprocess.Popen(["parec", "-d", "null.monitor", "--raw", "--format=s16le", "--rate=44100", "--channels=2",
                        "--latency-msec=5"], stdout=subprocess.PIPE)
total = 0
with open(f"{out}/monitor.raw", "wb") as raw, open(f"{out}/reads.txt", "w") as reads:
    while chunk := rec.stdout.read1(65536):
        now = time.time()
        raw.write(chunk)
        total += len(chunk)
        reads.write(f"{now:.6f} {total}\n")
PY
pids+=($!)
for _ in $(seq "$load"); do (while :; do :; done) & pids+=($!); done
sleep 1
DISPLAY=:$(head -n1 "$out/display") SDL_AUDIODRIVER=pulseaudio QUORBEL_FRAME_LOG="$out/frames.txt" \
  timeout -s TERM "$seconds" "$show" --window "$@" 2>"$out/stderr.txt" || true
sleep 0.5
kill "${pids[@]}" 2>/dev/null || true
wait 2>/dev/null || true
python3 - "$out" <<'PY'
import bisect, os, statistics, subprocess, sys
out = sys.argv[1]
track = open(f"{out}/soundtrack.wav", "rb").read()
track = track[track.index(b"data") + 8:]
rec = open(f"{out}/monitor.raw", "rb").read()
reads = [tuple(map(float, l.split())) for l in open(f"{out}/reads.txt")]
# The recording's first frame, on the wall clock: no read arrives before its frames were recorded.
start = min(t - n / 4 / 44100 for t, n in reads)
born = float(subprocess.check_output(["stat", "-c", "%.9W", f"{out}/frames.txt"]))
frames = [l.split() for l in open(f"{out}/frames.txt")]
shownAt = [born + float(f[0]) / 1000 for f in frames]
shownMs = [int(f[2]) for f in frames]
block, step = 1024, 441 * 4
heard, jumps, last = [], 0, None  # (wall clock, show ms heard)
for at in range(0, len(rec) - block, step):
    needle = rec[at:at + block]
    if needle.count(0) > block // 2:
        continue  # silence, or nearly: found anywhere
    # Nearest the sound's last place first: the music repeats whole bars sample for sample.
    guess = last[1] + (at - last[0]) if last else 0
    found = -1
    for reach in ((0.1, 2.0) if last else ()):
        found = track.find(needle, max(0, guess - int(44100 * 4 * reach)), guess + int(44100 * 4 * reach))
        if found >= 0:
            break
    if found < 0:
        found = track.find(needle)
    if found < 0 or found % 4:
        continue  # a crossfade, or a block the sink mixed
    if last and abs((found - at) - (last[1] - last[0])) > 4 * 44:
        jumps += 1
    last = (at, found)
    heard.append((start + at / 4 / 44100, found / 4 / 44.1))
if not heard:
    sys.exit("sound_offset.sh: nothing of the soundtrack was heard")
# Each frame as it appears, against the sound heard at that moment (from the moment found last
# before it, at most 15 ms earlier).
heardAt = [t for t, _ in heard]
offsets = []
for when, ms in zip(shownAt, shownMs):
    i = bisect.bisect_right(heardAt, when) - 1
    if i >= 0 and when - heardAt[i] < 0.015:
        offsets.append((when - shownAt[0], heard[i][1] + (when - heardAt[i]) * 1000 - ms))
if not offsets:
    sys.exit("sound_offset.sh: no frame appeared while the soundtrack was heard")
values = sorted(o for _, o in offsets)
worst = max(values, key=abs)
print(f"{len(offsets)} frames over {offsets[-1][0]:.1f} s, the sound heard as each appeared minus its show time:"
      f" median {statistics.median(values):+.1f} ms, worst {worst:+.1f} ms, 5th to 95th percentile"
      f" {values[len(values) // 20]:+.1f} to {values[len(values) * 19 // 20]:+.1f} ms; the sound jumped {jumps} times")
for a in range(0, int(offsets[-1][0]) + 1, 10):
    part = [o for t, o in offsets if a <= t < a + 10]
    if part:
        print(f"  {a:3d}-{a + 10:3d} s: median {statistics.median(part):+8.1f} ms")
for line in open(f"{out}/stderr.txt"):
    print(line.rstrip())
PY
