#!/usr/bin/env bash
# windows.sh: the show for 64-bit Windows, built with mingw-w64 from the same sources into
# build-windows/: quorbel.exe (linked statically: it needs nothing beside it but Windows' own
# DLLs), quorbel-frame.exe (the frame writer the tests compare pictures with) and
# quorbel-windows.zip (the exe, the licence and how to run it).
#   scripts/windows.sh [--werror] [DIR]     DIR: the build folder (default build-windows)
# Without mingw-w64 it says which package to install and exits 1.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
werror=OFF
if [ "${1:-}" = --werror ]; then werror=ON; shift; fi
dir=${1:-$root/build-windows}
command -v x86_64-w64-mingw32-g++ >/dev/null ||
  { echo "windows.sh: mingw-w64 is missing (apt-get install g++-mingw-w64-x86-64)" >&2; exit 1; }

cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DQUORBEL_WERROR=$werror >/dev/null
cmake --build "$dir" -j"$(nproc)"

# The zip: fixed times and order, so that one commit makes the same bytes.
stage=$dir/zip/quorbel
rm -rf "$dir/zip" && mkdir -p "$stage"
cp "$dir/quorbel.exe" "$stage/"
cp "$root/LICENSE" "$stage/LICENSE.txt"
cat >"$stage/README.txt" <<'TEXT'
Quorbel for Windows

Double-click quorbel.exe. It asks "Fullscreen ?": Yes plays full screen, No in a window. The show
lasts 161 seconds; Escape ends it. Nothing needs installing: the program uses Windows' own
Direct3D 9 and sound.

From a command prompt, quorbel.exe --help lists the options: --window or --fullscreen answer the
question in advance, --start MS begins later in the show, and the keys Space, Left, Right, Home,
Page Up and Page Down pause and move through it.
TEXT
sed -i 's/$/\r/' "$stage/README.txt" "$stage/LICENSE.txt"
epoch=$(git -C "$root" log -1 --format=%ct 2>/dev/null || echo 0)
touch -d "@$epoch" "$stage" "$stage"/*
rm -f "$dir/quorbel-windows.zip"
(cd "$dir/zip" && TZ=UTC zip -X -q -9 ../quorbel-windows.zip quorbel/quorbel.exe quorbel/LICENSE.txt quorbel/README.txt)
echo "windows.sh: $dir/quorbel.exe ($(stat -c %s "$dir/quorbel.exe") bytes) and $dir/quorbel-windows.zip"
