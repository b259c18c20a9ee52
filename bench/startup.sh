#!/usr/bin/env bash
# Start-up benchmark: the program (Release build, same entry and libraries as quillon, with a workspace
# holding a settings file, an open configuration and a full language file) against two yardsticks: a minimal
# Qt Widgets program with one empty window, and one whose window shows a label and a push button with text. Both run on their own Xvfb display; each start is timed from process spawn to the
# window shown and idle. Usage: bench/startup.sh [starts per program, default 30]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/build.sh
source scripts/lib/xvfb.sh
runs=${1:-30}
scripts/setup.sh
build=build-bench
configure_and_build -S bench -B "$build" -DCMAKE_BUILD_TYPE=Release -- -j 2 \
    --target quillon_startup minimal_startup text_startup startup_runner

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The program's workspace: a remembered configuration that exists and a language file for every entry.
cp "$build/quillon_startup" "$build/minimal_startup" "$build/text_startup" "$work/"
mkdir -p "$work/PROJECTS/Line2/bin" "$work/LANGUAGE" "$work/MASTER"
printf '<Conf_Settings><lastproj><projectname>Line2</projectname></lastproj><lastipadd><ipaddress>192.168.2.205</ipaddress></lastipadd><lastlang><language>Italiano</language></lastlang><lastinternet><enable_internet>0</enable_internet><enable_update>0</enable_update><enable_jump_field_tables>0</enable_jump_field_tables><Double_Click_Auto_Size>0</Double_Click_Auto_Size></lastinternet></Conf_Settings>' \
    > "$work/Quillon.xml"
for i in $(seq 0 1199); do printf 'STR%d = Testo numero %d\r\n' "$i" "$i"; done > "$work/LANGUAGE/Italiano.lng"

start_xvfb 1280x800x24
export QT_QPA_PLATFORM=xcb NO_AT_BRIDGE=1
unset DBUS_SESSION_BUS_ADDRESS || true
# A runtime directory of its own, as a desktop session gives one: no start warns about a missing one.
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'); Qt $(qtpaths6 --qt-version 2>/dev/null || echo '?'); display Xvfb $DISPLAY"
"$build/startup_runner" "$runs" "$work/quillon_startup" "$work/text_startup" "$work/minimal_startup"
