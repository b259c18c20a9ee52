#!/usr/bin/env bash
# The Windows compile check: there is no Qt for Windows here, so every source of quillon and quillon-cli is
# compiled in syntax-only mode by the mingw-w64 cross compiler against the installed Qt headers, with the
# project's warnings. The Windows-only code (the echo client, the updater run, the file sync) is compiled
# nowhere else on this machine. Any error or warning from the project's own files fails the check; Qt's
# headers are system headers here (and -Wno-attributes quiets their import attributes).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh windows
cxx=x86_64-w64-mingw32-g++-posix
qt=/usr/include/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/qt6
[[ -d $qt ]] || { echo "scripts/check_windows.sh: no Qt headers in $qt" >&2; exit 1; }

flags=(-std=c++20 -fsyntax-only -Wall -Wextra -Wno-attributes
       -DUNICODE -D_UNICODE -DWIN32 -DWIN64 -D_WIN64 -DQT_CORE_LIB -DQT_GUI_LIB -DQT_WIDGETS_LIB -DQT_XML_LIB
       -DQT_NETWORK_LIB -DQT_SERIALPORT_LIB -isystem "$qt")
for module in QtCore QtGui QtWidgets QtXml QtNetwork QtSerialPort; do
    flags+=(-isystem "$qt/$module")
done
for dir in app files language config network update gui dialogs cli; do
    flags+=(-I "$dir")
done

# The sources of the two programs, as the build lists them.
mapfile -t sources < <(git ls-files 'app/*.cpp' 'files/*.cpp' 'language/*.cpp' 'config/*.cpp' 'network/*.cpp' \
                                   'update/*.cpp' 'gui/*.cpp' 'dialogs/*.cpp' 'cli/*.cpp')
log=$(mktemp -d)
trap 'rm -rf "$log"' EXIT
export cxx log
printf '%s\n' "${sources[@]}" | xargs -P "$(nproc)" -I{} sh -c \
    '"$cxx" "$@" "{}" > "$log/$(echo "{}" | tr / _).log" 2>&1 || echo failed >> "$log/$(echo "{}" | tr / _).log"' \
    sh "${flags[@]}"
failed=0
for source in "${sources[@]}"; do
    out=$log/$(tr / _ <<< "$source").log
    if [[ -s $out ]]; then
        echo "FAIL: $source"
        sed 's/^/    /' "$out" | head -40
        failed=$((failed + 1))
    fi
done
echo "check_windows: $((${#sources[@]} - failed)) passed, $failed failed"
((failed == 0))
