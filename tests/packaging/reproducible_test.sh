#!/usr/bin/env bash
# reproducible_test.sh BUILD SITE: what is built from a commit is the same bytes in any folder at
# any time: two cpack runs of BUILD a few seconds apart make the same .deb, every file in it dated
# by the last commit (SOURCE_DATE_EPOCH), and neither its files, the programs with their debug
# information, nor the site's files (SITE, the browser build's) hold the path of the folder they
# were built in. Without a site built it checks the package alone, and fails under
# QUORBEL_REQUIRE_ALL.
set -euo pipefail
build=$(cd "$1" && pwd) site=$2
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
command -v dpkg-deb >/dev/null || { echo "dpkg-deb is not installed (scripts/setup.sh installs what the tests need)"; exit 1; }
# The time the build took from the last commit when it was configured (a commit since then
# configures again at the next build).
epoch=${SOURCE_DATE_EPOCH:-$(sed -n 's/^set(QUORBEL_SOURCE_DATE_EPOCH "\([0-9]*\)")$/\1/p' "$build/cpack_options.cmake")}
[ -n "$epoch" ] || { echo "the build has no commit time to date the package by (not a git checkout?)"; exit 1; }

for run in 1 2; do
  (cd "$build" && cpack -G DEB -B "$work/deb$run" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
  [ "$run" = 1 ] && sleep 2  # the second run's copies of the files are younger
done
deb1=$(ls "$work"/deb1/quorbel_*.deb) deb2=$(ls "$work"/deb2/quorbel_*.deb)
cmp "$deb1" "$deb2" || { echo "two cpack runs of one build made different packages"; exit 1; }

failed=0
times=$(dpkg-deb --fsys-tarfile "$deb1" | TZ=UTC tar -tv --full-time | awk '{print $4 " " $5}' | sort -u)
expected=$(date -u -d "@$epoch" '+%Y-%m-%d %H:%M:%S')
[ "$times" = "$expected" ] || { echo "the package's files are not all dated $expected (the last commit):"; echo "$times"; failed=1; }

# The paths a build could leave in what it makes: the sources' and the build folders'.
folders=("$source_dir" "$build")
[ -d "$site" ] && folders+=("$(cd "$site/.." && pwd)")
dpkg-deb -x "$deb1" "$work/files"
find "$work/files" -name '*.gz' -exec gunzip {} +
# The programs as built, with their debug information (where a folder's path would be), the
# package's copies stripped of it but with the build-id it was hashed into.
files=("$work/files" "$build/quorbel" "$build/quorbel-capture")
if [ -f "$site/quorbel.wasm" ]; then
  files+=("$site")
elif [ -n "${QUORBEL_REQUIRE_ALL:-}" ] && [ "${QUORBEL_REQUIRE_ALL}" != 0 ]; then
  echo "no site in $site (scripts/web.sh builds it)"; failed=1
else
  echo "no site in $site (scripts/web.sh builds it): the package alone is checked"
fi
for folder in "${folders[@]}"; do
  found=$(grep -rlF "$folder" "${files[@]}" || true)
  [ -z "$found" ] || { echo "these files hold the build's folder $folder:"; echo "$found" | sed "s|$work/files||"; failed=1; }
done
[ "$failed" = 0 ] && echo "the same bytes: $(basename "$deb1") (dated $expected)${files[3]:+ and the site}"
exit $failed
