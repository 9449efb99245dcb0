#!/usr/bin/env bash
# page_check.sh SOURCE NODE: the page's modules, its service worker and the wasm's --js-library (platform/web/)
# type-checked by TypeScript (strict, against the seam's list in page/seam.js) and linted by
# ESLint, with the versions tests/platform/web/package-lock.json pins, which scripts/setup.sh installs
# into NODE. Without node or the tools it skips (exit 77), and fails under QUORBEL_REQUIRE_ALL.
set -euo pipefail
source_dir=$1 node=$2
tools=$node/node_modules/.bin
if ! command -v node >/dev/null || [ ! -x "$tools/tsc" ] || [ ! -x "$tools/eslint" ]; then
  why="node, or tsc and eslint in $node/ (scripts/setup.sh quorbel_install_web_driver), are missing"
  if [ -n "${QUORBEL_REQUIRE_ALL:-}" ] && [ "${QUORBEL_REQUIRE_ALL}" != 0 ]; then echo "page check: FAILED: $why"; exit 1; fi
  echo "page check: skipped: $why"; exit 77
fi
failed=0
for project in platform/web/tsconfig.json platform/web/offline/tsconfig.json; do
  "$tools/tsc" -p "$source_dir/$project" --checkJs --noEmit || { echo "page check: tsc finds the type errors above"; failed=1; }
done
# ESLint resolves the rules its config imports beside the config: it is read from beside the tools.
cp "$source_dir/platform/web/eslint.config.mjs" "$node/page.eslint.config.mjs"
(cd "$source_dir" && "$tools/eslint" --config "$node/page.eslint.config.mjs" --max-warnings 0 \
   platform/web/page platform/web/page_library.js platform/web/offline) || { echo "page check: eslint finds the faults above"; failed=1; }
exit $failed
