#!/usr/bin/env bash
# web.sh: builds the show for the browser into build-web/site/ (index.html, quorbel.js,
# quorbel.wasm), a folder any static web server can serve. Needs Debian's emscripten
# (scripts/setup.sh installs it). The objects stay in build-web/, so a second run only
# rebuilds what changed.
#   scripts/web.sh            for viewers: a newer compiler's new warning does not stop it
#   scripts/web.sh --werror   for the tests and CI: warnings are errors
set -euo pipefail
cd "$(dirname "$0")/.."

werror=OFF
case "${1:-}" in
  "") ;;
  --werror) werror=ON ;;
  *) echo "web.sh: unknown argument '$1' (the only one is --werror)" >&2; exit 2 ;;
esac

if ! command -v emcmake >/dev/null || ! command -v em++ >/dev/null; then
  echo "web.sh: emscripten is not installed (apt-get install emscripten)" >&2
  exit 1
fi
# Debian's emscripten finds its JavaScript tools (acorn) only through NODE_PATH.
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}
if [ ! -f build-web/CMakeCache.txt ]; then
  emcmake cmake -S . -B build-web -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUORBEL_WERROR=$werror >/dev/null
elif ! grep -qx "QUORBEL_WERROR:BOOL=$werror" build-web/CMakeCache.txt; then
  cmake -S . -B build-web -DQUORBEL_WERROR=$werror >/dev/null
fi
# The page's preview picture is drawn by a native build's capture tool: the developers' build's,
# or the one QUORBEL_CAPTURE names.
capture=${QUORBEL_CAPTURE:-$PWD/build/quorbel-capture}
if [ -x "$capture" ]; then
  grep -qx "QUORBEL_CAPTURE:FILEPATH=$capture" build-web/CMakeCache.txt || cmake -S . -B build-web -DQUORBEL_CAPTURE="$capture" >/dev/null
else
  echo "web.sh: no preview picture for shared links (no $capture: build quorbel-capture, or name it in QUORBEL_CAPTURE)" >&2
fi
cmake --build build-web -j2 --target quorbel-web
echo "web.sh: the page is in build-web/site/ (serve it, then open index.html)" >&2
