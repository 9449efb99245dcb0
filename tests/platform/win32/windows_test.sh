#!/usr/bin/env bash
# windows_test.sh: the Windows build (scripts/windows.sh: build-windows/quorbel.exe and
# quorbel-frame.exe) checked as a user meets it, under Wine on an Xvfb and a Wine prefix of the
# tests' own. One case a run, as CTest names them (tests/platform/win32/CMakeLists.txt):
#   windows_test.sh CASE BUILD WINDOWS_BUILD     BUILD: the Linux build (its capture tool, the
#                                                 work folder); WINDOWS_BUILD: build-windows
# Without Wine, mingw-w64 or Xvfb it skips (77), unless QUORBEL_REQUIRE_ALL makes that a failure.
set -uo pipefail
case=$1 build=$(cd "$2" && pwd) windows=$(cd "$3" 2>/dev/null && pwd || echo "$3")
root=$(cd "$(dirname "$0")/../../.." && pwd)
source "$root/scripts/wine_env.sh"
name="Windows.$case"
exe=$windows/quorbel.exe
work=$build/windows-test/$case
log=$work/log.txt

# CI shows only what the test printed: the log's end goes with a failure.
fail() {
  echo "$name: FAILED: $*"
  [ -s "${log:-}" ] && { echo "the end of $log:"; tail -n 15 "$log"; }
  exit 1
}

missing=$(wine_missing)
[ -z "$missing" ] || wine_skip_or_fail "$name" "$missing"
[ -f "$exe" ] && [ -f "$windows/quorbel-frame.exe" ] || fail "$windows has no quorbel.exe (scripts/windows.sh builds it)"
rm -rf "$work" && mkdir -p "$work"
: >"$log"

# The window of the given name (a regular expression), within seconds; its id.
window_named() {  # name, seconds
  local id="" i
  for ((i = 0; i < $2 * 10; i++)); do
    id=$(xdotool search --name "$1" 2>/dev/null | head -1) && [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

# Waits for a background program's end, at most the seconds given; its status, 124 for none.
wait_for() {  # pid, seconds
  local i
  for ((i = 0; i < $2 * 10; i++)); do
    kill -0 "$1" 2>/dev/null || { wait "$1"; return $?; }
    sleep 0.1
  done
  kill "$1" 2>/dev/null
  return 124
}

# The show time of the last frame in a frame log, 0 before any.
last_frame_ms() { awk 'END { print $3 + 0 }' "$1" 2>/dev/null || echo 0; }

case $case in
  # Only Windows' own DLLs: a runtime linked dynamically (libstdc++-6.dll, libwinpthread-1.dll)
  # would stop the exe on a machine without it. d3d9.dll is loaded at run time. The zip holds the
  # exe built, the licence and the text.
  ImportsOnlySystemDllsAndTheZipHoldsTheExe)
    imports=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\tDLL Name: //p' | tr 'A-Z' 'a-z' | sort -u | tr '\n' ' ')
    echo "imports: $imports"
    for dll in $imports; do
      case $dll in kernel32.dll | user32.dll | winmm.dll | msvcrt.dll | gdi32.dll | advapi32.dll) ;;
        *) fail "quorbel.exe imports $dll, which Windows does not have" ;;
      esac
    done
    for dll in kernel32.dll user32.dll winmm.dll; do
      [[ " $imports" == *" $dll "* ]] || fail "quorbel.exe does not import $dll: the design's calls are not Windows'"
    done
    zip=$windows/quorbel-windows.zip
    [ -f "$zip" ] || fail "no $zip"
    listed=$(unzip -Z1 "$zip" | sort | tr '\n' ' ')
    [ "$listed" = "quorbel/LICENSE.txt quorbel/README.txt quorbel/quorbel.exe " ] || fail "the zip holds: $listed"
    unzip -p "$zip" quorbel/quorbel.exe | cmp -s - "$exe" || fail "the zip's quorbel.exe is not the one built"
    exit 0
    ;;
esac

wine_start "$build/windows-test" "$log" "$name" || exit 1
echo "Xvfb and the Wine prefix ready after $SECONDS s"
export MESA_SHADER_CACHE_DIR=$build/mesa-cache
run() { "$wine" "$@"; }
# A Windows program's lines end in CR LF; the checks read them without the CR.
unix_lines() { sed -i 's/\r$//' "$@"; }

case $case in
  # Started near the end where Wine finds no sound device (no PulseAudio server, an ALSA without
  # cards; its drivers disabled instead, Wine 8 faults in a thread of its own): one warning, and
  # the show plays to its end by itself: status 0, the end line, the last frame the end's.
  StartNearEndPlaysToTheEndSilentlyWithoutASoundDevice)
    : >"$work/no-cards.conf"
    PULSE_SERVER=unix:$work/no-server ALSA_CONFIG_PATH=$work/no-cards.conf QUORBEL_FRAME_LOG=$work/frames.txt \
      run "$exe" --window --start 159000 >"$work/out.txt" 2>"$work/err.txt" &
    wait_for $! 180
    status=$?
    echo "the show ran for $SECONDS s"
    unix_lines "$work/err.txt"
    cat "$work/err.txt"
    [ $status = 0 ] || fail "--start 159000 ended with status $status"
    # ALSA's own complaints come through Wine; the show's are two lines, and nothing faulted.
    [ "$(grep -c '^quorbel:' "$work/err.txt")" = 2 ] || fail "not two lines of the show's on stderr"
    ! grep -q '^wine: Unhandled' "$work/err.txt" || fail "a fault"
    grep -q '^quorbel: warning: no sound device; the show plays silently$' "$work/err.txt" || fail "no warning of the sound"
    grep -q '^quorbel: [0-9]* frames shown in' "$work/err.txt" || fail "no end line"
    [ "$(last_frame_ms "$work/frames.txt")" -ge 161000 ] || fail "the last frame was at $(last_frame_ms "$work/frames.txt") ms"
    ;;

  # The show as designed, into a PulseAudio null sink: the question answered No with its key, the
  # design's calls in the design's order (the trace), the soundtrack in the sink's monitor as the
  # capture tool writes it, and Escape ending the show with status 0.
  PlainShowAsksCallsInOrderPlaysItsSoundAndEscapeEnds)
    command -v pulseaudio >/dev/null && command -v parec >/dev/null ||
      wine_skip_or_fail "$name" "pulseaudio pulseaudio-utils"
    "$build/quorbel-capture" --wav "$work/show.wav" 2>>"$log" || fail "quorbel-capture --wav"
    mkdir -p "$work/pulse"
    export PULSE_RUNTIME_PATH=$work/pulse PULSE_SERVER=unix:$work/pulse/native
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
      -L "module-native-protocol-unix socket=$work/pulse/native auth-anonymous=1" \
      -L "module-null-sink sink_name=quorbel rate=44100 channels=2 format=s16le" >>"$log" 2>&1 &
    pulse=$!
    parec_pid=""
    trap 'kill $parec_pid $pulse 2>/dev/null; wine_cleanup' EXIT
    for ((i = 0; i < 50; i++)); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
    pactl set-default-sink quorbel 2>>"$log" || fail "no PulseAudio server"
    parec -d quorbel.monitor --format=s16le --rate=44100 --channels=2 --raw >"$work/heard.raw" 2>>"$log" &
    parec_pid=$!
    QUORBEL_CALL_TRACE=1 QUORBEL_FRAME_LOG=$work/frames.txt run "$exe" >"$work/trace.txt" 2>"$work/err.txt" &
    pid=$!
    box=$(window_named '^Quorbel by the Vantreli$' 120) || fail "no question box"
    import -window root "$work/question.png" 2>>"$log"
    xdotool windowfocus --sync "$box" key n 2>>"$log"
    for ((i = 0; i < 900 && $(last_frame_ms "$work/frames.txt") < 5000; i++)); do sleep 0.1; done
    [ "$(last_frame_ms "$work/frames.txt")" -ge 5000 ] || fail "no show frame at 5 s after 90 s"
    import -window root "$work/playing.png" 2>>"$log"
    xdotool key Escape
    wait_for $pid 3
    status=$?
    kill $parec_pid
    unix_lines "$work/err.txt" "$work/trace.txt"
    cat "$work/err.txt"
    [ $status = 0 ] || fail "Escape: status $status"
    [ "$(last_frame_ms "$work/frames.txt")" -lt 30000 ] || fail "Escape did not end the show"
    grep -q '^quorbel: [0-9]* frames shown in' "$work/err.txt" || fail "no end line"
    calls=$(sed -n 's/^call \([A-Za-z0-9]*\).*/\1/p' "$work/trace.txt" | tr '\n' ' ')
    expected="MessageBoxA GetSystemMetrics GetSystemMetrics CreateWindowExA ShowCursor Direct3DCreate9 CreateDevice GetTickCount PlaySoundA GetTickCount PlaySoundA ExitProcess "
    [ "$calls" = "$expected" ] || { cat "$work/trace.txt"; fail "the calls came in another order"; }
    grep -q '^call MessageBoxA "Fullscreen ?" "Quorbel by the Vantreli" 0x24 -> 7$' "$work/trace.txt" || fail "the question"
    grep -q '^call GetSystemMetrics SM_CYSCREEN' <(sed -n 2p "$work/trace.txt") || fail "the height is not asked first"
    grep -q '^call CreateWindowExA 0 "Static" 0x90000000 192 144 640 480 -> window$' "$work/trace.txt" || fail "the window"
    grep -q '^call CreateDevice 0 HAL 0x22 640x480 windowed 1 -> 0x00000000$' "$work/trace.txt" || fail "the device"
    grep -q '(after the music started)$' <(sed -n 10p "$work/trace.txt") || fail "startTick is not the read after the music"
    # What the sink heard, in blocks of 50 ms: at least 2 s of them found in the soundtrack, bit
    # for bit, in its order from its first second. A block across a gap that Wine's stream leaves
    # while the software renderer holds every core is not found (a quarter of them on a quiet
    # machine, at the start most; over half on a loaded one); the ones after it are.
    python3 - "$work/show.wav" "$work/heard.raw" <<'PY' || fail "the sink did not hear the soundtrack"
import sys
wave = open(sys.argv[1], "rb").read()[44:]
heard = open(sys.argv[2], "rb").read()
start = next((i for i in range(0, len(heard), 4) if heard[i:i + 4] != b"\0\0\0\0"), len(heard))
block = 8820  # 50 ms
places = []
for at in range(start, len(heard) - block + 1, block):
    where = wave.find(heard[at:at + block], places[-1] if places else 0)
    places.append(where) if where >= 0 and where % 4 == 0 else None
total = (len(heard) - start) // block
print(f"heard {len(heard) / 176400:.1f} s, sound from {start / 176400:.2f} s: {len(places)} of {total} blocks of 50 ms "
      f"found in the soundtrack, in its order" + (f", the first at {places[0] / 176400:.2f} s" if places else ""))
ok = len(places) >= 40 and len(places) >= 0.25 * total and places[0] < 176400
sys.exit(0 if ok else 1)
PY
    ;;

  # quorbel-frame.exe's pictures, Windows' Direct3D 9 drawing the show on a still clock, beside
  # quorbel-capture's at the Wine check's frames, held to its limits (scripts/wine_frames.txt).
  FramesMatchLinuxWithinTheWineCheckLimits)
    mapfile -t frames < <(sed -e 's/#.*//' -e '/^ *$/d' "$root/scripts/wine_frames.txt")
    mkdir -p "$work/linux" "$work/windows"
    times="" args=()
    for row in "${frames[@]}"; do
      read -r frame _ <<<"$row"
      args+=("$frame" -o "$frame.png")
      if [[ $frame == L* ]]; then
        "$build/quorbel-capture" --stream-loading "${frame#L}" -o "$work/$frame.d3ds" 2>>"$log" &&
          "$build/quorbel-capture" --replay "$work/$frame.d3ds" -o "$work/linux/frame-$frame.png" 2>>"$log" ||
          fail "quorbel-capture: loading frame ${frame#L}"
      else
        times+="${times:+,}$frame"
      fi
    done
    "$build/quorbel-capture" --frames "$times" -o "$work/linux" 2>>"$log" || fail "quorbel-capture --frames $times"
    (cd "$work/windows" && run "$windows/quorbel-frame.exe" "${args[@]}") 2>>"$log" || fail "quorbel-frame.exe (see $log)"
    failed=0
    printf '%-8s %8s %8s %8s   %s\n' frame mean "over 24" moved "limits (mean, over 24 %, moved %)"
    for row in "${frames[@]}"; do
      read -r frame mean_limit over_limit moved_limit <<<"$row"
      linux=$work/linux/frame-$frame.png
      [[ $frame == L* ]] || linux=$work/linux/$(printf 'frame-%06u.png' "$frame")
      status=0
      out=$("$build/quorbel-compare" "$linux" "$work/windows/$frame.png" --limits "$mean_limit,$over_limit,$moved_limit" \
        --pictures "$work/$frame") || status=$?
      read -r mean over moved _ <<<"$out"
      verdict=""
      if [ $status -gt 1 ] || [ -z "${mean:-}" ]; then verdict="  FAILED: no picture to compare"; failed=1
      elif [ $status = 1 ]; then verdict="  FAILED: above the limits; $work/$frame-side.png (Linux left, Windows right)"; failed=1
      fi
      printf '%-8s %8s %7s%% %7s%%   %s, %s, %s%s\n' "$frame" "${mean:--}" "${over:--}" "${moved:--}" "$mean_limit" \
        "$over_limit" "$moved_limit" "$verdict"
    done
    [ $failed = 0 ] || fail "pictures above the limits"
    ;;

  # No Direct3D 9 (Wine's d3d9 disabled), no window (no display for Wine), full screen where the
  # screen cannot be switched, and a start from the desktop, where no console reads the line: a
  # box says it. Each ends at once, status 1.
  BrokenEnvironmentsEndWithALineOrABox)
    expect_line() {  # what, status, line, the run's stderr file
      [ "$2" = 1 ] || fail "$1: status $2"
      [ "$(grep -c . "$4")" = 1 ] && grep -q "^quorbel: $3" "$4" || { cat "$4"; fail "$1: not the one line '$3'"; }
    }
    status=0
    WINEDLLOVERRIDES="$WINEDLLOVERRIDES;d3d9=d" run "$exe" --window 2>"$work/d3d9.txt" || status=$?
    unix_lines "$work/d3d9.txt"
    expect_line "without d3d9" $status "Direct3D 9 is not available: d3d9.dll cannot be loaded" "$work/d3d9.txt"
    status=0
    env -u DISPLAY "$wine" "$exe" --window 2>"$work/window.txt" || status=$?
    unix_lines "$work/window.txt"
    expect_line "without a display" $status "cannot create the show's window" "$work/window.txt"
    # Xvfb's screen has one size, so Direct3D cannot switch it to 640 x 480.
    run "$exe" --fullscreen 2>"$work/fullscreen.txt" &
    wait_for $! 60
    status=$?
    unix_lines "$work/fullscreen.txt"
    expect_line "full screen on Xvfb" $status "no full-screen Direct3D 9 device at 640 x 480" "$work/fullscreen.txt"
    WINEDLLOVERRIDES="$WINEDLLOVERRIDES;d3d9=d" run start /wait /unix "$exe" --window 2>>"$log" &
    pid=$!
    box=$(window_named '^Quorbel$' 20) || fail "started from the desktop without d3d9: no box"
    import -window root "$work/box.png" 2>>"$log"
    xdotool windowfocus --sync "$box" key Return 2>>"$log"
    wait_for $pid 10
    status=$?
    [ $status = 1 ] || fail "started from the desktop without d3d9: status $status after the box"
    ;;
  *) fail "no such case" ;;
esac
echo "$name: passed in $SECONDS s"
