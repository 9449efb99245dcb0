#!/usr/bin/env bash
# layers_test.sh: the build's include check (cmake/layers_check.cmake) on a tree of its own:
# each include below, in core/a.cpp of a library that may use core/ and platform/, passes or is
# refused with the line naming the file, the folder reached and the folders allowed.
set -euo pipefail
check=$(cd "$(dirname "$0")/../.." && pwd)/cmake/layers_check.cmake
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
mkdir -p "$root"/core "$root"/cube "$root"/platform/gl
touch "$root"/core/core.h "$root"/core/beside.h "$root"/cube/cube.h "$root"/platform/d3d9.h \
      "$root"/platform/gl/gl_device.h
printf 'set(TARGET quorbel_core)\nset(FOLDER core)\nset(ROOT "%s")\nset(FILES core/a.cpp)\nset(ALLOWED core;platform)\n' \
  "$root" > "$root/list.cmake"

failed=0
# include line | expected: "ok" or the folder the refusal names
while IFS='|' read -r include expected; do
  printf '// a.cpp\n#include <vector>\n%s\n' "$include" > "$root/core/a.cpp"
  rm -f "$root/stamp"
  if output=$(cmake -DLAYER_LIST="$root/list.cmake" -DSTAMP="$root/stamp" -P "$check" 2>&1); then
    got=ok
    [ -f "$root/stamp" ] || got="ok without a stamp"
  else
    got=$(sed -n 's|^core/a.cpp:3: error: #include .* reaches \(.*\)/, which quorbel_core does not link: core/ may include only core/ platform/$|\1|p' <<< "$output")
  fi
  if [ "$got" != "$expected" ]; then
    echo "$include: expected $expected, got ${got:-a failure without the line}"; echo "$output"; failed=1
  fi
done <<'CASES'
#include "core/core.h"|ok
#include "beside.h"|ok
#include "platform/d3d9.h"|ok
#include "cube/cube.h"|cube
#include <cube/cube.h>|cube
#  include "../cube/cube.h"|cube
#include "platform/gl/gl_device.h"|platform/gl
#include "no/such/header.h"|ok
CASES
exit $failed
