#!/usr/bin/env bash
# The program as a screen reader finds it: the real executable on a display of its own (Xvfb), with its
# accessibility bridge on a private D-Bus session, the main window and each dialog opened in turn (xdotool; the
# History window from the update dialog and from the main window), each read through AT-SPI
# (scripts/atspi_names.py), failing on any control a person can operate that has no name; in the light look,
# then in the dark one (--look).
#   scripts/test_atspi.sh [PROGRAM]      (default: build-test/app/quillon, as scripts/test.sh builds it)
# The workspace is a scratch directory whose settings keep the version check off: nothing leaves the machine.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/xvfb.sh
scripts/setup.sh atspi
program=$(realpath "${1:-build-test/app/quillon}")
[[ -x $program ]] || { echo "test_atspi: no program at $program (build it first)" >&2; exit 1; }

scratch=$(mktemp -d)
pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    [[ -n ${DBUS_SESSION_BUS_PID:-} ]] && kill "$DBUS_SESSION_BUS_PID" 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT

# A scratch workspace per look whose settings keep the version check off.
make_workspace() {
    workspace=$scratch/workspace-$1
    mkdir -p "$workspace"
    cat > "$workspace/Quillon.xml" <<'EOF'
<Conf_Settings><lastproj><projectname></projectname></lastproj><lastipadd><ipaddress>192.168.2.205</ipaddress></lastipadd><lastlang><language>English</language></lastlang><lastinternet><enable_internet>0</enable_internet><enable_update>0</enable_update><enable_jump_field_tables>0</enable_jump_field_tables><Double_Click_Auto_Size>0</Double_Click_Auto_Size></lastinternet></Conf_Settings>
EOF
}

start_xvfb 1024x768x24

# A private session bus; the accessibility bus is started from it on demand.
eval "$(dbus-launch --sh-syntax)"
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_QPA_PLATFORM=xcb
# A sanitizer build is read here, not checked for leaks (scripts/test.sh does that).
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
unset NO_AT_BRIDGE

failed=0
check() { # title regex
    # The system's Python, where the Debian package put pyatspi.
    /usr/bin/python3 scripts/atspi_names.py quillon "$1" 20 || failed=1
}
# A window by its title, waiting for it.
window() { xdotool search --sync --onlyvisible --name "$1" | head -n1; }
# Clicks at x y in a window, then parks the pointer where no window lies (no tooltip opens).
click() { xdotool mousemove --sync --window "$1" "$2" "$3" click 1 mousemove --sync 1023 767; }
# Waits until no shown window has a title like $1.
gone() {
    local i
    for ((i = 0; i < 200; i++)); do
        xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
        sleep 0.1
    done
    echo "test_atspi: '$1' stayed open" >&2
    return 1
}

# The program in one look (--look), each window read in turn, then closed.
run_look() {
    local look=$1
    make_workspace "$look"
    echo "test_atspi: the $look look"
    "$program" --workspace "$workspace" --look "$look" >"$scratch/quillon-$look.log" 2>&1 &
    pids+=($!)
    quillon_pid=$!
    main=$(window "Configurator SW40926")
    check "Configurator SW40926"

    # Step 1: a new configuration.
    click "$main" 165 130
    dialog=$(window "^Create New Configuration$")
    check "^Create New Configuration$"
    xdotool windowfocus --sync "$dialog" type --delay 20 A11y
    xdotool key Return
    gone "^Create New Configuration$"

    # Opens a dialog by a click in the main window, reads it, closes it with Escape.
    read_and_escape() {
        click "$main" "$1" "$2"
        dialog=$(window "$3")
        check "$3"
        xdotool windowfocus --sync "$dialog" key Escape
        gone "$3"
    }

    # Step 1: open a configuration.
    read_and_escape 343 130 "^Open Configuration$"

    # Step 2: the settings, kept with OK (step 3 needs them saved).
    click "$main" 165 174
    dialog=$(window "^Set Communication$")
    check "^Set Communication$"
    eval "$(xdotool getwindowgeometry --shell "$dialog")"
    click "$dialog" $((217 + 55)) $((HEIGHT - 40 + 20))
    gone "^Set Communication$"

    # Step 3: the update dialog, and the History window its clock button (lower left) opens over it.
    click "$main" 165 218
    dialog=$(window "^Update Device by")
    check "^Update Device by"
    eval "$(xdotool getwindowgeometry --shell "$dialog")"
    click "$dialog" 26 $((HEIGHT - 40 + 20))
    history=$(window "^Update History$")
    check "^Update History$"
    xdotool windowfocus --sync "$history" key Escape
    gone "^Update History$"
    xdotool windowfocus --sync "$dialog" key Escape
    gone "^Update Device by"

    # The main window's History button, beside step 3.
    read_and_escape 343 218 "^Update History$"

    # The header: information, then options (each of its pages), then close.
    read_and_escape 541 33 "^About$"

    click "$main" 599 33
    dialog=$(window "^Software Options$")
    for page in 1 2 3; do
        check "^Software Options$"
        xdotool windowfocus --sync "$dialog" key ctrl+Tab
        sleep 0.3
    done
    xdotool windowfocus --sync "$dialog" key Escape
    gone "^Software Options$"

    click "$main" 657 33
    for ((i = 0; i < 100; i++)); do kill -0 "$quillon_pid" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$quillon_pid" 2>/dev/null; then
        echo "test_atspi: the program did not close" >&2
        failed=1
    fi
}

for look in light dark; do
    run_look "$look"
done
if ((failed)); then
    cat "$scratch"/quillon-*.log >&2
    echo "test_atspi: FAILED" >&2
    exit 1
fi
echo "test_atspi: every operable control of every window is named"
