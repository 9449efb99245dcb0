#!/usr/bin/env bash
# live_fps.sh: the live show full screen on a virtual screen (Xvfb with openbox, Mesa's
# software renderer): each phase's frames a second and median frame interval from the show's
# frame log (QUORBEL_FRAME_LOG), with the show's end line, and Mesa's own count of presented
# frames (its HUD, one figure per second or per frame when frames take longer) as a check.
#   bench/live_fps.sh SHOW_BINARY OUT_DIR [WxH] [show options...]
# Needs Xvfb, openbox (Debian's package of that name) and imagemagick (a screenshot at 40 s).
set -euo pipefail
show=$1 out=$2 size=${3:-1920x1080}
shift $(( $# < 3 ? $# : 3 ))
for tool in Xvfb openbox import; do
  command -v $tool >/dev/null || { echo "live_fps.sh: $tool is missing" >&2; exit 1; }
done
mkdir -p "$out/hud"
rm -f "$out/hud/"* "$out/frames.txt"
# A display number nobody uses, chosen by Xvfb itself.
rm -f "$out/display"
Xvfb -displayfd 3 -screen 0 ${size}x24 -nolisten tcp 3>"$out/display" >/dev/null 2>&1 &
xvfb=$!
wm=
trap 'kill $wm $xvfb 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -s "$out/display" ] && break; sleep 0.1; done
[ -s "$out/display" ] || { echo "live_fps.sh: Xvfb did not start" >&2; exit 1; }
display=:$(head -n1 "$out/display")
DISPLAY=$display openbox >/dev/null 2>&1 &
wm=$!
sleep 1
DISPLAY=$display SDL_AUDIODRIVER=dummy GALLIUM_HUD=fps GALLIUM_HUD_VISIBLE=false \
  GALLIUM_HUD_DUMP_DIR="$out/hud" GALLIUM_HUD_PERIOD=1 QUORBEL_FRAME_LOG="$out/frames.txt" "$show" --fullscreen "$@" 2>"$out/stderr.txt" &
shown=$!
sleep 40
DISPLAY=$display import -window root "$out/shot-40s.png" 2>/dev/null || true
wait $shown
python3 - "$out" <<'PY'
import os, statistics, sys
out = sys.argv[1]
phases = [("opening", 0, 15.36), ("boxed cube", 15.36, 30.72), ("first tunnel", 30.72, 46.08),
          ("cube field", 46.08, 61.44), ("second tunnel", 61.44, 122.88), ("exploding cube", 122.88, 138.24),
          ("closing", 138.24, 161.28)]
if os.path.exists(f"{out}/frames.txt"):
    frames = [line.split() for line in open(f"{out}/frames.txt")]
    at = [float(f[0]) / 1000 for f in frames]
    # The phase by the show time each frame drew (the third column), the gaps by when it was shown.
    shown = [float(f[2]) / 1000 if len(f) > 2 else float(f[0]) / 1000 for f in frames]
    for name, a, b in phases:
        inside = [i for i, t in enumerate(shown) if a <= t < b]
        gaps = [(at[i] - at[i - 1]) * 1000 for i in inside if i > 0]
        heights = sorted({int(frames[i][1]) for i in inside})
        print(f"{name:15s} {len(inside) / (b - a):5.1f} fps, interval median {statistics.median(gaps):6.1f} ms,"
              f" drawn at heights {heights[0]}-{heights[-1]}" if gaps else f"{name:15s} no frames")
    if len(at) > 1:
        gap, i = max((at[i] - at[i - 1], i) for i in range(1, len(at)))
        print(f"longest gap between frames {gap * 1000:.1f} ms, before the frame of show time {shown[i] * 1000:.0f} ms")
else:
    print("(no frame log: a show binary without QUORBEL_FRAME_LOG)")
hud = [float(line) for line in open(f"{out}/hud/fps") if line.strip()]
print(f"Mesa's HUD: {len(hud)} periods, median {statistics.median(hud):.1f} fps, lowest {min(hud):.1f}, highest {max(hud):.1f}")
for line in open(f"{out}/stderr.txt"):
    print(line.rstrip())
PY
