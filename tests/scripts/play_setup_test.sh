#!/usr/bin/env bash
# play_setup_test.sh: what play.sh takes from setup.sh. Each of its modes asks apt-get for the
# show's packages and its own, never for the test bench's; the viewer's build it configures has
# no test or benchmark program and does not make warnings errors.
set -euo pipefail
cd "$(dirname "$0")/../.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source scripts/setup.sh

# As on a bare machine: no package installed and none of the commands looked for on PATH.
mkdir "$work/bin"
for tool in grep sort; do ln -s "$(command -v "$tool")" "$work/bin/$tool"; done
dpkg-query() { return 1; }
id() { echo 0; }
apt-get() { [ "$1" = update ] || echo " $* " >"$work/asked"; }
failed=0
# sets | packages asked for | packages not asked for
while IFS='|' read -r sets wanted unwanted; do
  rm -f "$work/asked"
  (PATH=$work/bin; quorbel_install_packages $sets 2>/dev/null)
  asked=$(cat "$work/asked")
  for package in $wanted; do
    [[ $asked == *" $package "* ]] || { echo "'$sets' does not install $package:$asked"; failed=1; }
  done
  for package in $unwanted; do
    [[ $asked != *" $package "* ]] || { echo "'$sets' installs $package:$asked"; failed=1; }
  done
done <<'TABLE'
show|g++ cmake libsdl2-dev libgl1-mesa-dri|ffmpeg emscripten python3 libgtest-dev clang chromium wine64
show recording|libsdl2-dev ffmpeg|emscripten libgtest-dev xvfb chromium
show web|cmake emscripten python3|ffmpeg libgtest-dev chromium nodejs
|libsdl2-dev ffmpeg emscripten libgtest-dev lintian help2man chromium npm wine64 g++-mingw-w64-x86-64|
TABLE
unset -f dpkg-query id apt-get

quorbel_configure_viewer "$work/build"
if grep -q -- -Werror "$work/build/build.ninja"; then echo "the viewer's build makes warnings errors"; failed=1; fi
targets=$(cmake --build "$work/build" -- -t targets all)
for target in quorbel quorbel-capture; do
  [[ $targets == *"$target: phony"* ]] || { echo "the viewer's build lacks $target"; failed=1; }
done
for target in quorbel_tests quorbel_timeline_tests quorbel_bench; do
  [[ $targets != *"$target: phony"* ]] || { echo "the viewer's build has $target"; failed=1; }
done
exit $failed
