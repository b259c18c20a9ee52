#!/usr/bin/env bash
# Builds the Debian packages of Quillon: a Release build of the two programs in build-package/ (no tests),
# then cpack. The packages are written to dist/: quillon (the configurator, its desktop entry, metainfo,
# icons and manual page) and quillon-cli (the command line, without the window libraries).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/build.sh
scripts/setup.sh package
build=build-package
# Debian's hardening flags; no debugging information (the programs are stripped).
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
cxxflags=$(sed -E 's/(^| )-g( |$)/ /g' <<< "$cxxflags")
CXXFLAGS="$cxxflags" LDFLAGS="$(dpkg-buildflags --get LDFLAGS)" configure_and_build package
rm -rf "$build/cpack" dist
mkdir -p dist
(cd "$build" && cpack -G DEB -B "$PWD/cpack" > cpack.log 2>&1) || { cat "$build/cpack.log"; exit 1; }
cp "$build"/cpack/*.deb dist/
for deb in dist/*.deb; do
    echo "$deb"
    dpkg-deb -f "$deb" Package Version Depends | sed 's/^/    /'
done
