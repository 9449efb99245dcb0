# wine_env.sh: sourced by the scripts that run Windows programs under Wine (wine_check.sh and the
# Windows tests): what they need, and an Xvfb and a Wine prefix of their own.
#   wine_missing                 the Debian packages missing, space-separated (nothing when all are there)
#   wine_skip_or_fail WHAT MISSING   the line and exit: 77 (skipped), or 1 under QUORBEL_REQUIRE_ALL
#   wine_start WORK LOG NAME     an Xvfb on a free display and the prefix WORK/prefix (made once:
#                                11-18 s); exports DISPLAY, WINEPREFIX, WINEDEBUG, WINEDLLOVERRIDES;
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
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$wine" wineboot -i >>"$2" 2>&1 || { echo "$3: FAILED: the Wine prefix cannot be made"; return 1; }
  fi
}
