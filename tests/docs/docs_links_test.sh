#!/usr/bin/env bash
# docs_links_test.sh: every relative link in README.md and docs/*.md names a file that exists
# and, where it names a heading of a Markdown page (page.md#heading), a heading of that page.
# Tried first on a tree of its own, one link of each kind a line, then on the repository.
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)

# anchors PAGE: the anchors of PAGE's headings as GitHub makes them (lower case, punctuation
# dropped, spaces as hyphens); lines inside fenced code are no headings.
anchors() {
  awk '/^```/ { fenced = !fenced; next } !fenced && /^#+ / { sub(/^#+ +/, ""); print }' "$1" |
    tr '[:upper:]' '[:lower:]' | sed 's/[^a-z0-9 _-]//g; s/ /-/g'
}

# check ROOT: one line per broken link of ROOT's README.md and docs/*.md; fails if there is one.
# Inline links and pictures only ([text](target), ![text](target)); addresses with a scheme are
# not looked at.
check() {
  local root=$1 page number target path anchor broken=0
  for page in "$root"/README.md "$root"/docs/*.md; do
    [ -f "$page" ] || continue
    while IFS=: read -r number target; do
      target=${target%% *}  # a title after the target
      case $target in *:*) continue ;; esac
      path=${target%%#*} anchor=
      [[ $target == *#* ]] && anchor=${target#*#}
      if [ -z "$path" ]; then path=$page; else path=$(dirname "$page")/$path; fi
      if [ ! -e "$path" ]; then
        echo "${page#"$root"/}:$number: $target names no file"
        broken=1
      elif [ -n "$anchor" ] && [[ $path == *.md ]] && ! anchors "$path" | grep -qxF -- "$anchor"; then
        echo "${page#"$root"/}:$number: $target names no heading of ${path#"$root"/}"
        broken=1
      fi
    done < <(grep -no '\]([^)]*)' "$page" | sed 's/:\](/:/; s/)$//')
  done
  return $broken
}

failed=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/docs"
printf '# Top\n' >"$work/README.md"
printf '# A page\n## The keys, Space and Escape\n```\n# fenced\n```\n' >"$work/docs/b.md"
touch "$work/docs/picture.png"
# link | what the check says of it (nothing: it passes)
cases=$(cat <<'CASES'
[b](b.md)|
[b](b.md#a-page)|
[b](b.md#the-keys-space-and-escape)|
[up](../README.md#top)|
![picture](picture.png "a title")|
[here](#top)|
[away](https://example.org/missing.md)|
[c](c.md)|c.md names no file
![picture](missing.png)|missing.png names no file
[b](b.md#no-such)|b.md#no-such names no heading of docs/b.md
[b](b.md#fenced)|b.md#fenced names no heading of docs/b.md
[down](docs/b.md)|docs/b.md names no file
CASES
)
# Line 1 of the page is its heading, so case N is on line N + 1.
{ echo '# Top'; cut -d'|' -f1 <<<"$cases"; } >"$work/docs/a.md"
said=$(check "$work" || true)
number=1
while IFS='|' read -r link expected; do
  number=$((number + 1))
  got=$(sed -n "s|^docs/a.md:$number: ||p" <<<"$said")
  if [ "$got" != "$expected" ]; then
    echo "the check on $link: expected '${expected:-nothing}', got '${got:-nothing}'"
    failed=1
  fi
done <<<"$cases"

check "$repo" || failed=1
exit $failed
