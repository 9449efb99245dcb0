#!/usr/bin/env bash
# soak.sh: the whole show, loading screen and all, run headless under AddressSanitizer and UBSan
# (build-sanitize/), once drawn and then on the clocks a real machine can produce. Each run must
# end by itself with no sanitizer report, no position that is not a number and no heap growth;
# then the player loops the show for half an hour of show time, with flat heap and CPU per step.
#   scripts/soak.sh                       what CI runs: drawn at 10 fps, then the odd clocks
#   QUORBEL_SOAK_FPS=60 scripts/soak.sh   the drawn run at 60 fps (about 5 minutes here)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh

# The sanitizers' runtimes come with g++; the developers' build is configured with its test libraries.
quorbel_prepare "show develop" build-sanitize Sanitize quorbel-soak

soak() {
  echo "soak.sh: quorbel-soak $*"
  build-sanitize/quorbel-soak "$@"
}
soak --fps "${QUORBEL_SOAK_FPS:-10}"
soak --fps 1 --no-pixels
soak --clock stall --no-pixels
soak --clock back --no-pixels
soak --clock wrap --no-pixels
soak --no-gl
soak --player 0.5 --no-gl
echo "soak.sh: every run ended by itself, clean"
