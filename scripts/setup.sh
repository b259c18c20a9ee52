#!/usr/bin/env bash
# Installs what Quillon needs on a Debian machine, when it is missing.
#   scripts/setup.sh                 building, running and testing (the test command's list)
#   scripts/setup.sh build           building and running only
#   scripts/setup.sh package         building the Debian packages (scripts/package.sh)
#   scripts/setup.sh package-test    checking them (scripts/test_package.sh)
#   scripts/setup.sh windows         the Windows compile check (scripts/check_windows.sh)
#   scripts/setup.sh windows-build   the Windows cross build, its zip and installer (scripts/windows.sh)
#   scripts/setup.sh windows-test    and its tests under Wine (scripts/windows.sh test)
#   scripts/setup.sh fuzz            the fuzz targets (scripts/fuzz.sh)
#   scripts/setup.sh atspi           the screen-reader check of the program (scripts/test_atspi.sh)
set -euo pipefail

build=(cmake g++ make ccache qt6-base-dev qt6-base-dev-tools qt6-serialport-dev libqt6serialport6 qt6-qpa-plugins
       fonts-dejavu-core)
# The window test drives the real program through an X server.
test=(xvfb xauth xdotool x11-utils)

packages=()
(($# == 0)) && set -- build test
for what in "$@"; do
    case $what in
        build) packages+=("${build[@]}") ;;
        test) packages+=("${build[@]}" "${test[@]}") ;;
        package) packages+=("${build[@]}" dpkg-dev file gzip) ;;
        package-test) packages+=(lintian desktop-file-utils appstream xvfb xdotool util-linux passwd man-db file) ;;
        atspi) packages+=(at-spi2-core python3-pyatspi dbus-x11 xvfb xauth xdotool x11-utils qt6-qpa-plugins) ;;
        windows) packages+=(qt6-base-dev qt6-serialport-dev g++-mingw-w64-x86-64-posix dpkg-dev git) ;;
        windows-build)
            packages+=(cmake ninja-build g++-mingw-w64-x86-64-posix qt6-base-dev qt6-base-dev-tools xz-utils zip
                       fonts-dejavu-core python3 nsis) ;;
        windows-test) packages+=(wine64 xvfb icoutils) ;;
        fuzz) packages+=(clang-14 libclang-rt-14-dev) ;;
        *)
            echo "scripts/setup.sh: unknown set '$what' (build, test, package, package-test, atspi, windows," \
                "windows-build, windows-test, fuzz)" >&2
            exit 2
            ;;
    esac
done

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
((${#missing[@]} == 0)) && exit 0
mapfile -t missing < <(printf '%s\n' "${missing[@]}" | sort -u)

echo "Installing: ${missing[*]}"
sudo=""
[[ $(id -u) -ne 0 ]] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
