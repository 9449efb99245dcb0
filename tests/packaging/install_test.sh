#!/usr/bin/env bash
# install_test.sh BUILD: cmake --install puts the two programs, their manual pages, a valid
# desktop entry, its icon, valid AppStream metadata, the licence and the changelog under a
# prefix, and cpack makes a Debian package of them that declares what they need and that
# lintian finds nothing wrong with (no error, no warning).
set -euo pipefail
build=$1
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
for command in desktop-file-validate appstreamcli man lintian dpkg-deb; do
  command -v "$command" >/dev/null ||
    { echo "$command is not installed (scripts/setup.sh installs what the tests need)"; exit 1; }
done
cmake --install "$build" --prefix "$prefix" >/dev/null
metainfo=share/metainfo/org.example.quorbel.metainfo.xml
for file in bin/quorbel bin/quorbel-capture share/applications/quorbel.desktop \
            share/icons/hicolor/256x256/apps/quorbel.png share/man/man1/quorbel.1.gz \
            share/man/man1/quorbel-capture.1.gz $metainfo share/doc/quorbel/copyright \
            share/doc/quorbel/changelog.gz; do
  [ -e "$prefix/$file" ] || { echo "not installed: $file"; exit 1; }
done
desktop-file-validate "$prefix/share/applications/quorbel.desktop"
appstreamcli validate --no-net "$prefix/$metainfo" >/dev/null ||
  { appstreamcli validate --no-net "$prefix/$metainfo"; exit 1; }
[[ $("$prefix/bin/quorbel" --help) == "Usage: quorbel"* ]] || { echo "the installed show does not start"; exit 1; }
# The package, its changelog and both programs name one version.
(cd "$build" && cpack -G DEB -B "$prefix/deb" >/dev/null)
deb=$(ls "$prefix"/deb/quorbel_*.deb)
version=$(dpkg-deb -f "$deb" Version)
latest=$(zcat "$prefix/share/doc/quorbel/changelog.gz" | head -1)
[[ $latest == "quorbel ($version) "* ]] || { echo "the changelog's latest entry is not $version: $latest"; exit 1; }
for program in quorbel quorbel-capture; do
  printed=$("$prefix/bin/$program" --version)
  [ "$printed" = "$program $version" ] || { echo "$program --version prints '$printed', not '$program $version'"; exit 1; }
  # The page is made from --help, so it lists the options and the environment --help lists.
  page=$(MANWIDTH=80 man -P cat -l "$prefix/share/man/man1/$program.1.gz" 2>&1)
  [[ $page =~ NAME[[:space:]]+$program\ +-\ + && $page == *SYNOPSIS* && $page == *--version* &&
     $page == *ENVIRONMENT*QUORBEL_GL_CHECK=1* ]] ||
    { echo "the manual page of $program does not render as one:"; echo "$page"; exit 1; }
done
# The package's copyright file carries the licence's own words.
diff <(sed -n '/^Permission/,$p' "$source_dir/LICENSE") \
     <(sed -n '/^ Permission/,$p' "$prefix/share/doc/quorbel/copyright" | sed 's/^ //; s/^\.$//') >/dev/null ||
  { echo "the package's copyright file and LICENSE differ"; exit 1; }

depends=$(dpkg-deb -f "$deb" Depends)
for package in libsdl2 libepoxy libpng libegl1 libegl-mesa0 libgl1-mesa-dri; do
  [[ $depends == *$package* ]] || { echo "the package does not depend on $package: $depends"; exit 1; }
done
contents=$(dpkg-deb -c "$deb")$'\n'  # $() drops the last line's newline
for file in usr/bin/quorbel usr/bin/quorbel-capture usr/share/applications/quorbel.desktop \
            usr/share/man/man1/quorbel.1.gz usr/share/doc/quorbel/copyright usr/$metainfo; do
  [[ $contents == *"./$file"$'\n'* ]] || { echo "the package lacks /$file"; exit 1; }
done
# Run as root, lintian says so on stderr; its findings are on stdout.
findings=$(lintian --fail-on error,warning "$deb" 2>/dev/null) || {
  echo "lintian finds errors or warnings in the package:"; echo "$findings"; exit 1; }
echo "installed and packaged: $(basename "$deb")"
