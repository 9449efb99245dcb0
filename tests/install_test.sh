#!/usr/bin/env bash
# install_test.sh BUILD: cmake --install puts the two programs, a valid desktop entry and its
# icon under a prefix, and cpack makes a Debian package of them that declares what they need.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
for file in bin/quorbel bin/quorbel-capture share/applications/quorbel.desktop \
            share/icons/hicolor/256x256/apps/quorbel.png; do
  [ -e "$prefix/$file" ] || { echo "not installed: $file"; exit 1; }
done
desktop-file-validate "$prefix/share/applications/quorbel.desktop"
[[ $("$prefix/bin/quorbel" --help) == "usage: quorbel"* ]] || { echo "the installed show does not start"; exit 1; }

(cd "$build" && cpack -G DEB -B "$prefix/deb" >/dev/null)
deb=$(ls "$prefix"/deb/quorbel_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for package in libsdl2 libepoxy libpng libegl1 libegl-mesa0 libgl1-mesa-dri; do
  [[ $depends == *$package* ]] || { echo "the package does not depend on $package: $depends"; exit 1; }
done
contents=$(dpkg-deb -c "$deb")
for file in usr/bin/quorbel usr/bin/quorbel-capture usr/share/applications/quorbel.desktop; do
  [[ $contents == *"./$file"$'\n'* ]] || { echo "the package lacks /$file"; exit 1; }
done
echo "installed and packaged: $(basename "$deb")"
