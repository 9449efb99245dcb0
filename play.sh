#!/usr/bin/env bash
# play.sh: installs what playing needs, builds the show into build-play/ and plays it. Without a
# display it records the show to a video with quorbel-capture instead. Arguments go to the show
# (--window, --fullscreen, --help).
#   ./play.sh --web   builds the browser version into build-web/site/, serves it on
#                     http://127.0.0.1:8000/ (QUORBEL_WEB_PORT sets another port) and opens
#                     that in the desktop's browser where there is one
# A viewer's build of its own (Release, no tests, warnings not errors), so that it and test.sh's
# build/ never reconfigure each other.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh

desktop=""
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then desktop=yes; fi

if [ "${1:-}" = "--web" ]; then
  quorbel_install_packages show web
  scripts/web.sh
  port=${QUORBEL_WEB_PORT:-8000}
  url="http://127.0.0.1:$port/"
  echo "play.sh: the show is at $url (Ctrl-C stops the server)"
  if [ -n "$desktop" ] && command -v xdg-open >/dev/null; then
    # Opened once the server answers, so that the browser does not find nothing there.
    (
      for _ in $(seq 50); do
        (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
        sleep 0.1
      done
      xdg-open "$url" >/dev/null 2>&1 || echo "play.sh: no browser opened; open $url in one" >&2
    ) &
  fi
  exec python3 -m http.server "$port" --bind 127.0.0.1 --directory build-web/site
fi

if [ -n "$desktop" ]; then
  quorbel_install_packages show
  quorbel_configure_viewer build-play
  cmake --build build-play -j"$(nproc)" --target quorbel
  exec build-play/quorbel "$@"
fi
if [ $# -gt 0 ]; then
  echo "play.sh: no display here, so no window to take '$*'; ./play.sh alone records the show to a video" >&2
  exit 2
fi
quorbel_install_packages show recording
quorbel_configure_viewer build-play
cmake --build build-play -j"$(nproc)" --target quorbel-capture
video="$PWD/quorbel.mp4"
echo "play.sh: no display here; recording the show to $video instead." >&2
build-play/quorbel-capture --video "$video"
echo "play.sh: the show is in $video" >&2
