#!/usr/bin/env bash
# web_test.sh: runs web_test.mjs under Node, skipping (exit 77) where Node is missing, unless
# QUORBEL_REQUIRE_ALL makes that a failure. Arguments: the browser build's folder, the capture
# tool, a folder for the test's files.
set -euo pipefail
if ! command -v node >/dev/null; then
  if [ -n "${QUORBEL_REQUIRE_ALL:-}" ] && [ "${QUORBEL_REQUIRE_ALL}" != 0 ]; then
    echo "web test: FAILED: node is missing (apt-get install nodejs)"; exit 1
  fi
  echo "web test: skipped: node is missing (apt-get install nodejs)"; exit 77
fi
exec node "$(dirname "$0")/web_test.mjs" "$1/site" "$2" "$3"
