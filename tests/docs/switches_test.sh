#!/usr/bin/env bash
# switches_test.sh BUILD: every environment variable read in the tree is in the table of
# docs/environment.md, and every row of that table is read somewhere. The programs' own are
# taken from the Environment section of their --help, which prints platform/switches.cpp's table,
# and no other file of the programs calls getenv; the tests' are their getenv calls, the
# scripts' their ${NAME:-default} reads, the browser scripts' their process.env reads.
# Tried first on a tree of its own with one fault of each kind, then on the repository.
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
build=$1

# The variables read in ROOT's files, one a line, besides the programs' (which HELPED names);
# a line "behind FILE" for each file of the programs that reads the environment itself.
reads() {
  local root=$1 helped=$2
  local files
  # This file is left out: it writes a read of each kind for its own tree.
  files=$(find "$root" \( -path "$root/build*" -o -path "$root/.git" -o -name node_modules \
    -o -path "$root/tests/docs/switches_test.sh" \) -prune -o -type f -print)
  printf '%s\n' "$helped"
  # PATH and ASAN_OPTIONS are passed on to the programs a test runs, not switches of its own.
  grep -E '\.(cpp|h)$' <<<"$files" | grep -E "^$root/(tests|bench|fuzz)/" | xargs -r grep -ohE 'getenv\("[A-Z_][A-Z0-9_]*"' |
    sed 's/getenv("//; s/"//' | grep -vxE 'PATH|ASAN_OPTIONS' || true
  grep -E '\.(m?js|html)$' <<<"$files" | xargs -r grep -ohE 'process\.env\.[A-Z_][A-Z0-9_]*' | sed 's/process\.env\.//' || true
  grep -E '(\.sh|/\.ci/run)$' <<<"$files" | xargs -r grep -ohE '\$\{[A-Z_][A-Z0-9_]*:-' | sed 's/\${//; s/:-//' || true
  grep -E '\.(cpp|h)$' <<<"$files" | grep -vE "^$root/(tests|bench|fuzz)/|^$root/platform/switches\.cpp$" |
    xargs -r grep -lE '\bgetenv\(' | sed "s|^$root/|behind |" || true
}

# check ROOT HELPED: one line per disagreement between ROOT's reads and its docs/environment.md;
# fails if there is one.
check() {
  local root=$1 helped=$2 found documented name bad=0
  found=$(reads "$root" "$helped" | sort -u)
  documented=$(grep -oE '^\| `[A-Z_][A-Z0-9_]*' "$root/docs/environment.md" | sed 's/^| `//' | sort -u)
  for name in $(grep '^behind ' <<<"$found" | sed 's/^behind //'); do
    echo "$name reads the environment itself, not through platform/switches.cpp"
    bad=1
  done
  for name in $(grep -v '^behind ' <<<"$found"); do
    grep -qxF "$name" <<<"$documented" || { echo "$name is read but not in docs/environment.md"; bad=1; }
  done
  for name in $documented; do
    grep -qxF "$name" <<<"$found" || { echo "$name is in docs/environment.md but nothing reads it"; bad=1; }
  done
  return $bad
}

failed=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/docs" "$work/tests" "$work/scripts" "$work/platform/gl"
printf '| variable |\n|---|\n| `SHOWN=1` |\n| `TESTED` |\n| `SCRIPTED=N` |\n| `FORGOTTEN` |\n' >"$work/docs/environment.md"
echo 'const char* v = std::getenv("TESTED"), *w = std::getenv("UNLISTED");' >"$work/tests/test_a.cpp"
echo 'n=${SCRIPTED:-1}' >"$work/scripts/a.sh"
echo 'bool on = std::getenv("QUIET") != nullptr;' >"$work/platform/gl/sneaky.cpp"
expected='FORGOTTEN is in docs/environment.md but nothing reads it
UNLISTED is read but not in docs/environment.md
platform/gl/sneaky.cpp reads the environment itself, not through platform/switches.cpp'
said=$(check "$work" SHOWN | sort || true)
if [ "$said" != "$expected" ]; then
  echo "the check on its own tree said:"; echo "$said"; echo "instead of:"; echo "$expected"
  failed=1
fi

helped=
for program in quorbel quorbel-capture quorbel-soak; do
  section=$("$build/$program" --help | sed -n '/^Environment:$/,$p')
  [ -n "$section" ] || { echo "$program --help has no Environment section"; failed=1; }
  helped+=$(grep -oE '^  [A-Z_][A-Z0-9_]*' <<<"$section" | sed 's/^  //')$'\n'
done
check "$repo" "$helped" || failed=1
exit $failed
