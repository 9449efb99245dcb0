#!/usr/bin/env bash
# wine_fps.sh: the Windows build under Wine beside the Linux build, one after the other in a
# 640 x 480 window on the same Xvfb (both on Mesa's llvmpipe: Wine's Direct3D 9 on its OpenGL,
# ours on the same): the time from the start to the first show frame, and each phase's frames a
# second and median frame interval, from the frame logs (QUORBEL_FRAME_LOG). Wine's sound finds
# no device here, ours is SDL's dummy driver. The Linux show paces itself to the display's
# 60 Hz where vsync does not wait (Xvfb); Wine's Direct3D does not. Wine's start-up includes its
# server's (the prefix is made before).
#   bench/wine_fps.sh [BUILD] [WINDOWS_BUILD] [OUT]   defaults: build, build-windows, BUILD/wine-fps
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
windows=$(cd "${2:-$root/build-windows}" && pwd)
out=${3:-$build/wine-fps}
mkdir -p "$out" && out=$(cd "$out" && pwd)
source "$root/scripts/wine_env.sh"
missing=$(wine_missing)
[ -z "$missing" ] || { echo "wine_fps.sh: missing $missing" >&2; exit 1; }
wine_start "$out" "$out/log.txt" "wine_fps.sh" || exit 1

# Runs a show to its end; prints the seconds from its start to its first show frame: to its end
# less the frame log's span (the log is written through a buffer, so its growth says nothing).
play() {  # name, command...
  local name=$1 start end
  shift
  rm -f "$out/$name.txt"
  start=$(date +%s.%N)
  QUORBEL_FRAME_LOG=$out/$name.txt SDL_AUDIODRIVER=dummy "$@" --window 2>"$out/$name-stderr.txt"
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'END { printf "%.1f\n", b - a - $1 / 1000 }' "$out/$name.txt"
}
linux_start=$(play linux "$build/quorbel")
wine_start_s=$(play wine "$wine" "$windows/quorbel.exe")
# The phases as the program's timeline has them.
"$build/quorbel-capture" --phases >"$out/phases.json"
python3 - "$out" "$linux_start" "$wine_start_s" <<'PY'
import json, statistics, sys
out, linux_start, wine_start = sys.argv[1], sys.argv[2], sys.argv[3]
phases = [(p["name"], p["startMs"] / 1000, p["endMs"] / 1000) for p in json.load(open(f"{out}/phases.json"))]
def table(name):
    frames = [line.split() for line in open(f"{out}/{name}.txt")]
    at = [float(f[0]) / 1000 for f in frames]
    shown = [float(f[2]) / 1000 for f in frames]
    rows = {}
    for phase, a, b in phases:
        inside = [i for i, t in enumerate(shown) if a <= t < b]
        gaps = [(at[i] - at[i - 1]) * 1000 for i in inside if i > 0]
        rows[phase] = (len(inside) / (b - a), statistics.median(gaps) if gaps else float("nan"))
    return rows
linux, wine = table("linux"), table("wine")
print(f"start to the first show frame: Linux {linux_start} s, Wine {wine_start} s")
print(f"{'phase':15s} {'Linux fps':>10s} {'median ms':>10s} {'Wine fps':>10s} {'median ms':>10s}")
for phase, _, _ in phases:
    print(f"{phase:15s} {linux[phase][0]:10.1f} {linux[phase][1]:10.1f} {wine[phase][0]:10.1f} {wine[phase][1]:10.1f}")
PY
