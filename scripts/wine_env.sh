# wine_env.sh: sourced by the scripts that run Windows programs under Wine (wine_check.sh and the
# Windows tests): what they need, and an Xvfb and a Wine prefix of their own.
#   wine_missing                 the Debian packages missing, space-separated (nothing when all are there)
#   wine_skip_or_fail WHAT MISSING   the line and exit: 77 (skipped), or 1 under QUORBEL_REQUIRE_ALL
#   wine_start WORK LOG NAME     an Xvfb on a free display and the prefix WORK/prefix (made once:
#                                11-18 s; its registry as made kept in WORK/prefix-registry);
#                                exports DISPLAY, WINEPREFIX, WINEDEBUG, WINEDLLOVERRIDES;
#                                both are ended when the script exits; a failure is one line
#                                starting with NAME
# $wine is the Wine program.
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)

wine_missing() {
  local missing=""
  [ -x "$wine" ] || missing="wine64"
  command -v x86_64-w64-mingw32-g++ >/dev/null || missing="$missing g++-mingw-w64-x86-64"
  command -v Xvfb >/dev/null || missing="$missing xvfb"
  echo $missing
}

wine_skip_or_fail() {
  if [ -n "${QUORBEL_REQUIRE_ALL:-}" ] && [ "${QUORBEL_REQUIRE_ALL}" != 0 ]; then
    echo "$1: FAILED: missing $2 (apt-get install them)"; exit 1
  fi
  echo "$1: skipped: missing $2 (apt-get install them)"; exit 77
}

wine_xvfb_pid="" wine_prefix=""
wine_cleanup() {
  [ -n "$wine_prefix" ] && WINEPREFIX=$wine_prefix "$(dirname "$wine")/wineserver" -k >/dev/null 2>&1 || true
  [ -n "$wine_xvfb_pid" ] && kill "$wine_xvfb_pid" 2>/dev/null || true
}

wine_start() {  # work, log, name
  trap wine_cleanup EXIT
  exec 3< <(Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp 2>>"$2" & echo "pid $!")
  read -r _ wine_xvfb_pid <&3
  local display
  read -r -t 10 display <&3 || { echo "$3: FAILED: Xvfb did not start"; return 1; }
  wine_prefix=$1/prefix
  export DISPLAY=:$display WINEPREFIX=$wine_prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  # The registry as made is kept and put back at every start: a session killed while it starts
  # (a test that gave up on it) saves a registry in which the next session kills its own programs
  # (4 runs in 13 here, none in 21 with it put back).
  # Wine's Direct3D without its command-stream thread: Wine 8 ending that thread at a process's
  # exit faults now and then (2 exits in 46 ended 139 or 137 here; none in 60 without it).
  local registry=$1/prefix-registry
  if [ ! -f "$registry/system.reg" ]; then
    rm -rf "$WINEPREFIX" "$registry" && mkdir -p "$1"
    "$wine" wineboot -i >>"$2" 2>&1 &&
      "$wine" reg add 'HKCU\Software\Wine\Direct3D' /v csmt /t REG_DWORD /d 0 /f >>"$2" 2>&1 &&
      "$(dirname "$wine")/wineserver" -w && mkdir -p "$registry" && cp "$WINEPREFIX"/*.reg "$registry/" ||
      { echo "$3: FAILED: the Wine prefix cannot be made"; return 1; }
  fi
  cp "$registry"/*.reg "$WINEPREFIX/"
}
