#!/usr/bin/env bash
# play.sh: installs what is needed, builds the show into build/ and plays it. Without a
# display it records the show to a video with quorbel-capture instead. Arguments go to the show
# (--window, --fullscreen, --help).
#   ./play.sh --web   builds the browser version into build-web/site/ and serves it on
#                     http://127.0.0.1:8000/ (QUORBEL_WEB_PORT sets another port)
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh

quorbel_install_packages
if [ "${1:-}" = "--web" ]; then
  scripts/web.sh
  port=${QUORBEL_WEB_PORT:-8000}
  echo "play.sh: the show is at http://127.0.0.1:$port/ (open it in a browser; Ctrl-C stops the server)"
  exec python3 -m http.server "$port" --bind 127.0.0.1 --directory build-web/site
fi
quorbel_configure build RelWithDebInfo
cmake --build build -j"$(nproc)"

if [ ! -x build/quorbel ]; then
  echo "play.sh: the show's window is not built yet; run ./test.sh for what exists." >&2
  exit 1
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  if [ ! -x build/quorbel-capture ]; then
    echo "play.sh: no display here, and the capture tool that records the show is not built." >&2
    exit 1
  fi
  video="$PWD/quorbel.mp4"
  echo "play.sh: no display here; recording the show to $video instead." >&2
  build/quorbel-capture --video "$video"
  echo "play.sh: the show is in $video" >&2
  exit 0
fi
exec build/quorbel "$@"
