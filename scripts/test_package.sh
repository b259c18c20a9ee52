#!/usr/bin/env bash
# Checks the Debian packages in dist/ (scripts/package.sh): unpacked into a scratch root, the files are there,
# the desktop entry and the metainfo validate, lintian reports no error, and the unpacked quillon, started by a
# throw-away user who cannot write its directory (under Xvfb, with a scratch HOME), keeps its workspace in
# ~/.local/share/Quillon: a configuration created, step 2 saved, the program closed; --workspace overrides.
# Runs as root (it adds and removes the user). Ends with "N passed, N failed". Each check is a function run
# inside "if", where set -e does not hold: a check decides by what it tests last, or returns 1 itself.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/xvfb.sh
[[ $(id -u) -eq 0 ]] || { echo "scripts/test_package.sh: run as root (it creates a throw-away user)" >&2; exit 2; }
scripts/setup.sh package-test

debs=(dist/quillon_*.deb dist/quillon-cli_*.deb)
for deb in "${debs[@]}"; do
    [[ -f $deb ]] || { echo "scripts/test_package.sh: no $deb: run scripts/package.sh first" >&2; exit 2; }
done

passed=0
failed=0
check() { # check NAME COMMAND...: runs the command, counts and prints the outcome
    local name=$1
    shift
    if "$@" > "$scratch/check.log" 2>&1; then
        passed=$((passed + 1))
        echo "PASS: $name"
    else
        failed=$((failed + 1))
        echo "FAIL: $name"
        sed 's/^/    /' "$scratch/check.log" | tail -40
    fi
}

scratch=$(mktemp -d /tmp/quillon-package.XXXXXX)
user=qpkgtest$$
program_pid=""
cleanup() {
    [[ -n $program_pid ]] && kill "$program_pid" 2> /dev/null || true
    id "$user" > /dev/null 2>&1 && userdel "$user" 2> /dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT
chmod 755 "$scratch"
root=$scratch/root
for deb in "${debs[@]}"; do
    dpkg-deb -x "$deb" "$root"
done
chmod 755 "$root"

# ---- what the packages hold ----
id=org.quillon.Quillon
files_present() {
    local f
    for f in usr/bin/quillon usr/bin/quillon-cli "usr/share/applications/$id.desktop" \
        "usr/share/metainfo/$id.metainfo.xml" "usr/share/icons/hicolor/scalable/apps/$id.svg" \
        usr/share/man/man1/quillon.1.gz usr/share/man/man1/quillon-cli.1.gz usr/share/doc/quillon/copyright \
        usr/share/doc/quillon-cli/copyright; do
        [[ -s $root/$f ]] || { echo "missing: $f"; return 1; }
    done
    for size in 16 22 24 32 48 64 128 256 512; do
        file "$root/usr/share/icons/hicolor/${size}x$size/apps/$id.png" | grep -q "PNG image data, $size x $size" ||
            { echo "icon ${size}x$size missing or of another size"; return 1; }
    done
    # The window program's network module, where its loader looks from usr/bin.
    [[ -s $root/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/quillon/quillon-network.so ]] ||
        { echo "missing: the network module"; return 1; }
    grep -q 'MIT' "$root/usr/share/metainfo/$id.metainfo.xml"
}
check "the packages hold the programs, desktop files, icons, manual pages and copyright" files_present
check "desktop-file-validate" desktop-file-validate "$root/usr/share/applications/$id.desktop"
check "appstreamcli validate --no-net" appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml"
check "lintian reports no error" lintian --fail-on error "${debs[@]}"
cli_without_windows() {
    local depends
    depends=$(dpkg-deb -f dist/quillon-cli_*.deb Depends)
    echo "quillon-cli depends on: $depends"
    ! grep -Eq 'libqt6(gui|widgets)' <<< "$depends" || return 1
    dpkg-deb -f dist/quillon_*.deb Depends | grep -q 'qt6-qpa-plugins'
}
check "quillon-cli needs no window library; quillon needs the X11 platform plugin" cli_without_windows
man_pages_read() {
    local page warnings
    for page in quillon quillon-cli; do
        warnings=$(MANWIDTH=100 man --warnings -l "$root/usr/share/man/man1/$page.1.gz" 2>&1 > /dev/null)
        [[ -z $warnings ]] || { echo "$warnings"; return 1; }
    done
}
check "the manual pages read without warnings" man_pages_read

# ---- the unpacked program, run by a user who may not write its directory ----
useradd --no-create-home --home-dir "$scratch/home" --shell /usr/sbin/nologin "$user"
home=$scratch/home
mkdir -p "$home" "$scratch/own"
chown "$user:" "$home" "$scratch/own"

as_user() { # the unpacked program's environment: the scratch HOME, nothing of root's
    runuser -u "$user" -- env -i PATH=/usr/bin:/bin HOME="$home" LANG=C.UTF-8 DISPLAY="${display:-}" \
        QT_QPA_PLATFORM=xcb NO_AT_BRIDGE=1 "$@"
}

cli_names_workspace() {
    as_user test ! -w "$root/usr/bin" || { echo "the user may write $root/usr/bin"; return 1; }
    local out
    out=$(as_user "$root/usr/bin/quillon-cli" --version)
    echo "$out"
    [[ $out == *"workspace: $home/.local/share/Quillon"* ]] || return 1
    out=$(as_user "$root/usr/bin/quillon-cli" --version --workspace "$scratch/own/ws")
    [[ $out == *"workspace: $scratch/own/ws"* ]]
}
check "quillon-cli --version names the per-user workspace, and --workspace overrides it" cli_names_workspace

start_xvfb 1024x768x24
display=$DISPLAY

xdo() { timeout 20 xdotool "$@"; }
wait_window() { xdo search --sync --onlyvisible --name "$1" | head -1; }
wait_gone() {
    for _ in $(seq 200); do
        xdotool search --onlyvisible --name "$1" > /dev/null 2>&1 || return 0
        sleep 0.1
    done
    return 1
}
click() { xdo mousemove --sync --window "$1" "$2" "$3" click 1; }
start_program() {
    as_user "$root/usr/bin/quillon" "$@" > "$scratch/program.log" 2>&1 &
    program_pid=$!
}
wait_program() { # the program's exit code, waiting at most 20 s
    for _ in $(seq 200); do
        kill -0 "$program_pid" 2> /dev/null || break
        sleep 0.1
    done
    if kill -0 "$program_pid" 2> /dev/null; then
        echo "the program did not end"
        kill "$program_pid"
    fi
    local code=0
    wait "$program_pid" || code=$?
    program_pid=""
    return $code
}

create_configuration_in_user_workspace() {
    start_program
    local main dialog settings height
    main=$(wait_window "Configurator SW40926")
    [[ -n $main ]] || { cat "$scratch/program.log"; return 1; }
    # Step 1, New Configuration, has the focus at start: Enter, the name, Enter.
    xdo windowfocus --sync "$main"
    xdo key Return
    dialog=$(wait_window "Create New Configuration")
    [[ -n $dialog ]]
    xdo windowfocus --sync "$dialog"
    xdo type --delay 20 Line2
    xdo key Return
    wait_gone "Create New Configuration"
    # Step 2, Set Communication; OK in the dialog's button band.
    click "$main" 165 174
    settings=$(wait_window "Set Communication")
    [[ -n $settings ]]
    height=$(xdo getwindowgeometry --shell "$settings" | sed -n 's/^HEIGHT=//p')
    click "$settings" 272 $((height - 20))
    wait_gone "Set Communication"
    # The header's close button.
    click "$main" 657 33
    wait_program || { cat "$scratch/program.log"; return 1; }
    local ws=$home/.local/share/Quillon
    for path in MASTER PROJECTS LANGUAGE PROJECTS/Line2/bin; do
        [[ -d $ws/$path ]] || { echo "missing: $ws/$path"; return 1; }
    done
    grep -q '<Device_Type_Type>1</Device_Type_Type>' "$ws/PROJECTS/Line2/ParGen.xml"
    grep -q '<projectname>Line2</projectname>' "$ws/Quillon.xml"
    # Nothing beside the program.
    [[ -z $(find "$root/usr/bin" -mindepth 1 -not -name quillon -not -name quillon-cli) ]]
}
check "quillon keeps a new configuration and its step 2 in ~/.local/share/Quillon" \
    create_configuration_in_user_workspace

workspace_option_overrides() {
    start_program --workspace "$scratch/own/ws"
    local main
    main=$(wait_window "Configurator SW40926")
    [[ -n $main ]] || { cat "$scratch/program.log"; return 1; }
    click "$main" 657 33
    wait_program || { cat "$scratch/program.log"; return 1; }
    for path in MASTER PROJECTS LANGUAGE Quillon.xml; do
        [[ -e $scratch/own/ws/$path ]] || { echo "missing: $scratch/own/ws/$path"; return 1; }
    done
    grep -q '<projectname></projectname>\|<projectname/>' "$scratch/own/ws/Quillon.xml"
}
check "quillon --workspace DIR keeps its workspace in DIR" workspace_option_overrides

echo
echo "test_package: $passed passed, $failed failed"
((failed == 0))
