#!/usr/bin/env bash
# test.sh: installs what is needed, builds everything into build/ and runs every test.
#   ./test.sh             the normal build
#   ./test.sh --sanitize  the same under AddressSanitizer and UBSan, in build-sanitize/
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh

dir=build type=RelWithDebInfo
if [ "${1:-}" = "--sanitize" ]; then dir=build-sanitize type=Sanitize; fi

quorbel_install_packages
quorbel_configure "$dir" "$type"
cmake --build "$dir" -j"$(nproc)"
if [ "$dir" = build ]; then
  # The browser build and the driver its test needs (tests/platform/web: run by CTest with the rest).
  quorbel_install_web_driver
  scripts/web.sh --werror
  # The Windows build, which the Windows.* cases run under Wine.
  scripts/windows.sh --werror
fi
mkdir -p "$dir/mesa-cache"
# What Mesa's driver still holds when a test process exits is not our leak; ours are reported.
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan-mesa.supp:print_suppressions=0
ctest --test-dir "$dir" --output-on-failure -j"$(nproc)"
if [ "$dir" = build ]; then scripts/fuzz.sh; scripts/soak.sh; fi
