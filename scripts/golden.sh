#!/usr/bin/env bash
# golden.sh: the golden trace test, which compares the device calls of chosen frames of the show
# and the soundtrack's SHA-256 with tests/data/golden-trace.txt.
#   scripts/golden.sh            run the comparison (./test.sh runs it too)
#   scripts/golden.sh --update   write the file anew from the show as it is now: only for a
#                                deliberate change, looked at with quorbel-capture --trace first
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh

quorbel_prepare "show develop" build RelWithDebInfo quorbel_tests
if [ "${1:-}" = "--update" ]; then
  QUORBEL_GOLDEN_UPDATE=1 build/tests/quorbel_tests --gtest_filter='GoldenTraceTest.*' >/dev/null
  echo "golden.sh: wrote tests/data/golden-trace.txt; review it with git diff before committing" >&2
else
  build/tests/quorbel_tests --gtest_filter='GoldenTraceTest.*'
fi
