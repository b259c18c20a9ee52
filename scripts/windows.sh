#!/usr/bin/env bash
# The Windows x64 build, cross-compiled here with mingw-w64 against the Qt for Windows in ../shared/qt-mingw/.
#
#   scripts/windows.sh          build quillon.exe, quillon-cli.exe and the tests; write
#                               dist/quillon-<version>-windows-x64.zip
#   scripts/windows.sh test     the same, then run the test executables under Wine (offscreen) and compare
#                               quillon-cli.exe's bank.bin and bankK.bin with the Linux build's
#   scripts/windows.sh window   start quillon.exe once under Wine on Xvfb and save what the screen shows
#                               (docs/windows/quillon_under_wine.png)
#
# Everything lands in build-win/: the unpacked Qt, the build, a Wine prefix of its own and the test logs.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/build.sh
source scripts/lib/xvfb.sh
root=$PWD
mode=${1:-build}
case $mode in build | test | window) ;; *)
    echo "usage: scripts/windows.sh [build|test|window]" >&2
    exit 2
    ;;
esac
start_time=$SECONDS

# ---- what the machine needs ----
if [[ $mode == build ]]; then scripts/setup.sh windows-build; else scripts/setup.sh windows-build windows-test; fi

# ---- the Qt for Windows (read-only where it is kept: unpacked into the build directory) ----
out=build-win
mkdir -p "$out"
archive=${QUILLON_QT_MINGW:-$root/../shared/qt-mingw/qt6.4.2-mingw-x64.tar.xz}
qt=$root/$out/qt-mingw
if [[ ! -f $qt/.unpacked ]]; then
    [[ -f $archive ]] || { echo "windows.sh: the Qt for Windows is missing: $archive" >&2; exit 1; }
    rm -rf "$qt"
    tar -xJf "$archive" -C "$out"
    # Qt's offscreen platform on Windows takes its fonts from lib/fonts.
    mkdir -p "$qt/lib/fonts"
    cp /usr/share/fonts/truetype/dejavu/DejaVuSans*.ttf "$qt/lib/fonts/"
    touch "$qt/.unpacked"
fi
gcc_runtime=/usr/lib/gcc/x86_64-w64-mingw32/12-posix
pthread_runtime=/usr/x86_64-w64-mingw32/lib

# ---- build ----
export CCACHE_BASEDIR=$root
# The windows preset (CMakePresets.json) finds this Qt through QUILLON_QT_MINGW_PREFIX.
export QUILLON_QT_MINGW_PREFIX=$qt
build=$out/b
[[ -f $build/build.ninja ]] || configure windows
# The suites that run under Wine (test_quillon, which drives the program on an X server, does not).
core_suites=(test_UComon test_USerial_Ports_Registry test_UXml_Document test_USaveBincc test_UParGen_File
             test_USettings test_ULanguage test_UUpdate_Logic test_UVersion_Check test_UEcho_Client test_UUpdater_Run
             test_UUpdater_Lock
             test_UWorkspace test_cli test_cli_toolkit test_fuzz_replay)
window_suites=(test_UDavaroroFirmWare test_UNew_Project test_UOpenConf test_UParGen test_USoftOptions test_UAbout
               test_ULook test_UApplication test_UBoot)
suites=("${core_suites[@]}" "${window_suites[@]}")
jobs=$(nproc)
((jobs > 2)) && jobs=2
nice cmake --build --preset windows -j "$jobs" --target quillon quillon-cli stand_in_updater ansi_stand_in_updater "${suites[@]}"

# ---- the zip ----
version=$(sed -n 's/^project(Quillon VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name=quillon-$version-windows-x64
stage=$out/$name
rm -rf "$stage"
mkdir -p "$stage/platforms" "$stage/styles" "$stage/licences"
# quillon.exe loads its network module at first use; it must lie beside it.
cp "$build/app/quillon.exe" "$build/app/quillon-network.dll" "$build/cli/quillon-cli.exe" "$stage/"
cp "$qt/plugins/platforms/qwindows.dll" "$stage/platforms/"
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"
# The DLLs the executables and plugins load, followed through their imports; system DLLs are Windows' own.
declare -A seen=()
queue=("$stage"/*.exe "$stage"/quillon-network.dll "$stage"/platforms/*.dll "$stage"/styles/*.dll)
while ((${#queue[@]})); do
    file=${queue[0]}
    queue=("${queue[@]:1}")
    for dll in $(x86_64-w64-mingw32-objdump -p "$file" | sed -n 's/^\s*DLL Name: //p'); do
        [[ -n ${seen[$dll]:-} ]] && continue
        seen[$dll]=1
        for dir in "$qt/bin" "$gcc_runtime" "$pthread_runtime"; do
            if [[ -f $dir/$dll ]]; then
                cp "$dir/$dll" "$stage/"
                queue+=("$stage/$dll")
                break
            fi
        done
    done
done
# The runtime DLLs come with their debugging sections (libstdc++ is 23 MB with them); the program's own
# executables with their symbol tables.
x86_64-w64-mingw32-strip --strip-debug "$stage"/lib*.dll
x86_64-w64-mingw32-strip --strip-all "$stage"/*.exe
x86_64-w64-mingw32-strip --strip-unneeded "$stage/quillon-network.dll"
cp LICENSE "$stage/LICENSE.txt"
cp /usr/share/doc/qt6-base-dev/copyright "$stage/licences/Qt.txt"
cp /usr/share/common-licenses/LGPL-3 "$stage/licences/LGPL-3.txt"
cp /usr/share/common-licenses/GPL-3 "$stage/licences/GPL-3.txt"
cp /usr/share/doc/gcc-mingw-w64-base/copyright "$stage/licences/mingw-w64-gcc-runtime.txt"
cp /usr/share/doc/mingw-w64-common/copyright "$stage/licences/mingw-w64-winpthreads.txt"
sed "s/@VERSION@/$version/" scripts/windows/README.txt | sed 's/$/\r/' > "$stage/README.txt"
mkdir -p dist
rm -f "dist/$name.zip"
(cd "$out" && zip -q -r -X "$root/dist/$name.zip" "$name")
echo "dist/$name.zip: $(stat -c %s "dist/$name.zip") bytes, $(find "$stage" -type f | wc -l) files"

# ---- the installer (packaging/windows/quillon.nsi): the zip's files and the marker of an installed copy ----
installer_start=$SECONDS
installer=dist/$name-setup.exe
inst=$out/installer
rm -rf "$inst"
mkdir -p "$inst"
printf 'This copy of Quillon was installed. Its workspace is %%LOCALAPPDATA%%\\Quillon.\r\n' > "$inst/installed.txt"
# Every file with the folder it goes to, relative to the installation folder.
mapfile -t installed < <(cd "$stage" && find . -type f | sed 's|^\./||' | sort)
installed+=(installed.txt)
{
    folder=none
    for file in "${installed[@]}"; do
        sub=$(dirname "$file")
        [[ $sub == . ]] && sub="" || sub="\\${sub//\//\\}"
        [[ $sub != "$folder" ]] && echo "SetOutPath \"\$INSTDIR$sub\"" && folder=$sub
        source_file=$root/$stage/$file
        [[ $file == installed.txt ]] && source_file=$root/$inst/installed.txt
        echo "File \"$source_file\""
    done
} > "$inst/install.nsh"
{
    for file in "${installed[@]}"; do echo "Delete \"\$INSTDIR\\${file//\//\\}\""; done
    # Folders deepest first; RMDir leaves a folder that still holds something.
    printf '%s\n' "${installed[@]}" | grep / | xargs -n1 dirname | sort -ru |
        while read -r sub; do echo "RMDir \"\$INSTDIR\\${sub//\//\\}\""; done
} > "$inst/uninstall.nsh"
# 2.002 is 2.2.0.0 in Windows' version numbers.
version_quad=${version%%.*}.$((10#${version#*.})).0.0
rm -f "$installer"
makensis -V2 -DVERSION="$version" -DVERSION_QUAD="$version_quad" -DOUTFILE="$root/$installer" \
    -DICON="$root/$build/quillon.ico" -DLICENSE="$root/LICENSE" -DINSTALL_FILES="$root/$inst/install.nsh" \
    -DUNINSTALL_FILES="$root/$inst/uninstall.nsh" \
    -DESTIMATED_SIZE="$(du -sk --apparent-size "$stage" | cut -f1)" packaging/windows/quillon.nsi
installer_seconds=$((SECONDS - installer_start))
echo "$installer: $(stat -c %s "$installer") bytes, ${#installed[@]} files, made in $installer_seconds s"
[[ $mode == build ]] && exit 0

# ---- Wine ----
wine=/usr/lib/wine/wine64
export WINEPREFIX=$root/$out/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Windows paths of Linux directories (drive Z: is the root); the Qt DLLs and the mingw runtime are found
# through WINEPATH, the plugins through QT_PLUGIN_PATH.
winpath() { printf 'Z:%s' "${1//\//\\}"; }
export WINEPATH="$(winpath "$qt/bin");$(winpath $gcc_runtime);$(winpath $pthread_runtime)"
export QT_PLUGIN_PATH=$(winpath "$qt/plugins")
if [[ ! -f $WINEPREFIX/system.reg ]]; then
    echo "Making the Wine prefix $WINEPREFIX"
    "$wine" wineboot -i > "$out/wineboot.log" 2>&1 || true
    /usr/lib/wine/wineserver -w
fi

if [[ $mode == window ]]; then
    # Wine's X11 driver on a virtual screen whose picture Xvfb keeps in a file (XWD).
    shot=docs/windows/quillon_under_wine.png
    work=$out/window
    rm -rf "$work"
    mkdir -p "$work/screen" docs/windows
    cp -r "$stage" "$work/program"
    start_xvfb 1024x700x24 -fbdir "$work/screen"
    # Wine's own desktop in a window draws the window's frame and caption; Xvfb has no window manager.
    (cd "$work/program" && "$wine" explorer /desktop=Quillon,1024x700 quillon.exe \
        > "$root/$work/quillon.log" 2>&1) &
    program=$!
    sleep "${QUILLON_WINDOW_WAIT:-25}"
    python3 scripts/windows/xwd_to_png.py "$work/screen/Xvfb_screen0" "$shot"
    /usr/lib/wine/wineserver -k || true
    wait "$program" || true
    stop_xvfb
    echo "$shot; the workspace the program made: $(cd "$work/program" && ls -d MASTER PROJECTS LANGUAGE Quillon.xml 2>/dev/null | tr '\n' ' ')"
    exit 0
fi

# ---- the test suites under Wine ----
logs=$out/test-logs
rm -rf "$logs"
mkdir -p "$logs"
failed=()
for suite in "${suites[@]}"; do
    # A suite may lie in a directory of its own (test_UVersion_Check, beside the network module).
    exe=$(find "$build/tests" -maxdepth 2 -name "$suite.exe" -print -quit)
    # Wine does not hand QT_QPA_PLATFORM on to the program: the windows' suites are told on the command line.
    platform=""
    [[ " ${window_suites[*]} " == *" $suite "* ]] && platform="-platform offscreen"
    t0=$SECONDS
    # Qt Test writes its log to a file: Wine's console output may be lost. script(1) gives the suite a terminal,
    # which Wine makes its console, as a console program started from a command prompt has one.
    set +e
    (cd "$(dirname "$exe")" && QT_QPA_PLATFORM=offscreen TZ=UTC timeout 600 script -qec \
        "$wine $(basename "$exe") $platform -o '$(winpath "$root/$logs/$suite.txt"),txt'" /dev/null \
        > "$root/$logs/$suite.console" 2>&1 < /dev/null)
    code=$?
    set -e
    totals=$(grep -h '^Totals:' "$logs/$suite.txt" 2>/dev/null || echo "no log")
    printf '%-30s exit %3d  %4d s  %s\n' "$suite" "$code" $((SECONDS - t0)) "$totals"
    if ((code != 0)); then
        failed+=("$suite")
        grep -E '^(FAIL|XPASS)|Loc:' "$logs/$suite.txt" 2>/dev/null | head -20 || true
    fi
done

# ---- the same bank.bin and bankK.bin from quillon-cli.exe and the Linux quillon-cli ----
linux_cli=${QUILLON_LINUX_CLI:-build-test/cli/quillon-cli}
if [[ ! -x $linux_cli ]]; then
    scripts/setup.sh
    configure sanitizer
    nice cmake --build --preset sanitizer -j "$jobs" --target quillon-cli
fi
same=$out/same-output
rm -rf "$same"
compared=0
for file in tests/windows/pargen/*.xml; do
    conf=$(basename "$file" .xml)
    for side in linux windows; do
        mkdir -p "$same/$side/PROJECTS/$conf"
        cp "$file" "$same/$side/PROJECTS/$conf/ParGen.xml"
    done
    set +e
    ASAN_OPTIONS=detect_leaks=0 "$linux_cli" build "$same/linux/PROJECTS/$conf" > /dev/null 2> "$same/$conf.linux.err"
    linux_code=$?
    (cd "$same/windows" && "$wine" "$root/$build/cli/quillon-cli.exe" build "PROJECTS\\$conf" \
        > /dev/null 2> "$root/$same/$conf.windows.err")
    windows_code=$?
    set -e
    verdict=same
    if ((linux_code != windows_code)); then
        verdict="exit codes differ: Linux $linux_code, Windows $windows_code"
    else
        for bin in bank.bin bankK.bin; do
            if ! cmp -s "$same/linux/PROJECTS/$conf/bin/$bin" "$same/windows/PROJECTS/$conf/bin/$bin"; then
                verdict="$bin differs"
                break
            fi
        done
    fi
    [[ $verdict == same ]] && compared=$((compared + 1)) || failed+=("same output: $conf")
    printf 'same output  %-36s %s\n' "$conf" "$verdict"
done

# ---- the console: a name beyond ASCII as written, in a console (UTF-16) and in a file (UTF-8) ----
# script(1) gives Wine a terminal, which it makes the program's console; Wine shows that console in the
# terminal's UTF-8. quillon.exe, a window program, prints --help and --version in the console it came from.
console=$out/console
rm -rf "$console"
mkdir -p "$console/PROJECTS/Zürich-Süd"
cp tests/windows/pargen/01_new_configuration.xml "$console/PROJECTS/Zürich-Süd/ParGen.xml"
console_check() { # what, file, text it must hold
    if grep -qF -- "$3" "$2"; then echo "console      $1"; else
        echo "console      FAILED: $1 (got: $(head -c 300 "$2" | tr '\r\n' '  '))"
        failed+=("console: $1")
    fi
}
set +e
(cd "$console" && LC_ALL=C.UTF-8 script -qec "$wine '$(winpath "$root/$build/cli/quillon-cli.exe")' build 'PROJECTS\\Zürich-Süd'" \
    /dev/null > to-console.txt 2>&1 < /dev/null)
(cd "$console" && "$wine" "$root/$build/cli/quillon-cli.exe" build 'PROJECTS\Zürich-Süd' > to-file.txt 2>&1)
(cd "$console" && LC_ALL=C.UTF-8 script -qec "$wine '$(winpath "$root/$stage/quillon.exe")' --version" /dev/null \
    > window-version.txt 2>&1 < /dev/null)
(cd "$console" && "$wine" "$root/$stage/quillon.exe" --version > window-version-file.txt 2>&1)
set -e
console_check "quillon-cli.exe writes Zürich-Süd to a console" "$console/to-console.txt" 'PROJECTS\Zürich-Süd'
console_check "quillon-cli.exe writes Zürich-Süd to a file" "$console/to-file.txt" 'PROJECTS\Zürich-Süd'
console_check "quillon.exe --version in its console" "$console/window-version.txt" "quillon $version"
console_check "quillon.exe --version to a file" "$console/window-version-file.txt" "quillon $version"

/usr/lib/wine/wineserver -w || true

# ---- the executables' resources: icon, version information, manifest ----
for exe in quillon.exe quillon-cli.exe; do
    verdict=$(python3 scripts/windows/check_resources.py "$stage/$exe" "$version" "$version_quad" 2>&1) ||
        failed+=("resources of $exe")
    echo "resources    $exe: $verdict"
done

# ---- the installer in a Wine prefix of its own: install silently, use the installed copy, uninstall ----
installer_test_start=$SECONDS
install_failures=()
install_check() { # what, then a command that succeeds when it holds
    local what=$1
    shift
    if "$@"; then echo "installer    $what"; else
        echo "installer    FAILED: $what"
        install_failures+=("$what")
    fi
}
export WINEPREFIX=$root/$out/wine-install
# The installed copy finds its DLLs and plugins in its own folder, nowhere else.
unset WINEPATH QT_PLUGIN_PATH QUILLON_WORKSPACE
rm -rf "$WINEPREFIX"
"$wine" wineboot -i > "$out/wineboot-install.log" 2>&1 || true
/usr/lib/wine/wineserver -w
drive=$WINEPREFIX/drive_c
program_files="$drive/Program Files/Quillon"
shortcut="$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/Quillon.lnk"
wine_user=$(ls "$drive/users" | grep -vx Public | head -1)
workspace=$drive/users/$wine_user/AppData/Local/Quillon
workspace_windows="C:\\users\\$wine_user\\AppData\\Local\\Quillon"
uninstall_key='[Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quillon]'
# The key's values as the prefix keeps them (system.reg, written when the prefix's last program has ended).
uninstall_entry() { key=$uninstall_key awk 'index($0, ENVIRON["key"]) == 1 {on = 1; next} on && /^\[/ {on = 0} on' \
    "$WINEPREFIX/system.reg"; }

set +e
"$wine" "$(winpath "$root/$installer")" /S > "$out/installer-run.log" 2>&1
code=$?
/usr/lib/wine/wineserver -w
set -e
install_check "the silent installation ends with exit code 0 (got $code)" test "$code" -eq 0
missing=0
for file in "${installed[@]}" Uninstall.exe; do [[ -f $program_files/$file ]] || missing=$((missing + 1)); done
install_check "all ${#installed[@]} files and Uninstall.exe in C:\\Program Files\\Quillon ($missing missing)" \
    test "$missing" -eq 0
install_check "the installed quillon.exe is the zip's" cmp -s "$stage/quillon.exe" "$program_files/quillon.exe"
install_check "the Start-menu shortcut" test -f "$shortcut"
entry=$(uninstall_entry)
for value in '"DisplayName"="Quillon"' '"DisplayVersion"="'"$version"'"' '"Publisher"="Velmora"' \
             '"DisplayIcon"="C:\\Program Files\\Quillon\\quillon.exe,0"' '"EstimatedSize"=dword:' \
             '"UninstallString"="\"C:\\Program Files\\Quillon\\Uninstall.exe\""' \
             '"QuietUninstallString"="\"C:\\Program Files\\Quillon\\Uninstall.exe\" /S"'; do
    install_check "uninstall entry $value" grep -qF -- "$value" <<< "$entry"
done

# The window program as installed, on Xvfb (Wine hands Qt no plugin path, and the installed copy has only the
# windows platform), until it has made its workspace.
start_xvfb 1024x700x24
(cd "$program_files" && timeout 90 "$wine" quillon.exe > "$root/$out/installed-quillon.log" 2>&1) &
quillon_run=$!
for _ in $(seq 90); do
    [[ -d $workspace/MASTER && -d $workspace/PROJECTS && -d $workspace/LANGUAGE ]] && break
    sleep 1
done
/usr/lib/wine/wineserver -k || true
wait "$quillon_run" || true
stop_xvfb
unset DISPLAY
install_check "quillon.exe made its workspace in %LOCALAPPDATA%\\Quillon" \
    test -d "$workspace/MASTER" -a -d "$workspace/PROJECTS" -a -d "$workspace/LANGUAGE"
install_check "none in the installation folder, which Wine lets it write" test ! -e "$program_files/PROJECTS"
set +e
(cd "$program_files" && "$wine" quillon-cli.exe --version > "$root/$out/installed-cli-version.txt" 2>&1)
mkdir -p "$workspace/PROJECTS/Site"
cp tests/windows/pargen/02_ethernet_gateway.xml "$workspace/PROJECTS/Site/ParGen.xml"
(cd "$program_files" && "$wine" quillon-cli.exe build "$workspace_windows\\PROJECTS\\Site" \
    > "$root/$out/installed-cli-build.txt" 2>&1)
code=$?
set -e
install_check "quillon-cli.exe --version names the workspace $workspace_windows" \
    grep -qiF "$workspace_windows" "$out/installed-cli-version.txt"
install_check "quillon-cli.exe build in that workspace (exit $code)" \
    test "$code" -eq 0 -a -f "$workspace/PROJECTS/Site/bin/bank.bin" -a -f "$workspace/PROJECTS/Site/bin/bankK.bin"

# The uninstaller copies itself to a temporary folder and returns at once: wait for the prefix to be idle.
# A file the user put beside quillon.exe (an updater) stays, and so does the folder that holds it.
echo "a stand-in updater" > "$program_files/Ser_40926_Update.exe"
workspace_before=$(cd "$workspace" && find . -type f -exec md5sum {} + | sort)
set +e
"$wine" 'C:\Program Files\Quillon\Uninstall.exe' /S > "$out/uninstaller-run.log" 2>&1
code=$?
/usr/lib/wine/wineserver -w
set -e
install_check "the silent uninstallation ends with exit code 0 (got $code)" test "$code" -eq 0
left=0
for file in "${installed[@]}" Uninstall.exe; do [[ -e $program_files/$file ]] && left=$((left + 1)); done
install_check "no installed file left ($left left), the user's file kept" \
    test "$left" -eq 0 -a "$(ls -A "$program_files")" = Ser_40926_Update.exe
install_check "the shortcut gone" test ! -e "$shortcut"
install_check "the uninstall entry gone" test -z "$(uninstall_entry)"
install_check "the workspace untouched" \
    test -d "$workspace/MASTER" -a "$(cd "$workspace" && find . -type f -exec md5sum {} + | sort)" = "$workspace_before"
((${#install_failures[@]})) && failed+=("installer: ${install_failures[*]}")
echo "Installer: $(stat -c %s "$installer") bytes, made in $installer_seconds s; installed, used and uninstalled" \
    "in a new Wine prefix in $((SECONDS - installer_test_start)) s"

echo "Windows: ${#suites[@]} suites and $compared of $(ls tests/windows/pargen/*.xml | wc -l) configurations" \
    "compared, in $((SECONDS - start_time)) s"
if ((${#failed[@]})); then
    echo "Failed under Wine: ${failed[*]} (logs in $logs)" >&2
    exit 1
fi
