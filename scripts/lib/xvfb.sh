# A display of the script's own, sourced by the scripts that drive windows:
#
#   start_xvfb SIZE [XVFB_OPTION...]
#
# starts Xvfb on a free display with one screen of SIZE (WIDTHxHEIGHTxDEPTH), no TCP, waits until the server
# accepts connections, exports DISPLAY and sets xvfb_pid. The server is stopped when the script exits: after
# the script's own EXIT trap, which is kept, so set that trap first.

start_xvfb() {
    local size=$1 i
    shift
    _xvfb_dir=$(mktemp -d)
    # There before the server's shell opens it: the wait below reads it from the first moment.
    : > "$_xvfb_dir/display"
    # The server writes its display number to the -displayfd descriptor once it accepts connections.
    Xvfb -displayfd 3 -screen 0 "$size" -nolisten tcp "$@" 3> "$_xvfb_dir/display" 2> "$_xvfb_dir/log" &
    xvfb_pid=$!
    _xvfb_on_exit
    for ((i = 0; i < 200; i++)); do
        [[ $(< "$_xvfb_dir/display") == *[0-9]* ]] && break
        kill -0 "$xvfb_pid" 2> /dev/null || break
        sleep 0.1
    done
    if [[ $(< "$_xvfb_dir/display") != *[0-9]* ]]; then
        echo "start_xvfb: Xvfb did not start" >&2
        cat "$_xvfb_dir/log" >&2
        return 1
    fi
    export DISPLAY=:$(head -n 1 "$_xvfb_dir/display")
}

stop_xvfb() {
    if [[ -n ${xvfb_pid:-} ]]; then
        kill "$xvfb_pid" 2> /dev/null || true
        wait "$xvfb_pid" 2> /dev/null || true
        xvfb_pid=""
    fi
    [[ -n ${_xvfb_dir:-} ]] && rm -rf "$_xvfb_dir"
    _xvfb_dir=""
}

# Runs stop_xvfb after whatever EXIT trap is set now.
_xvfb_on_exit() {
    local -a current=()
    eval "current=($(trap -p EXIT))" # trap -- 'COMMAND' EXIT
    local command=${current[2]:-}
    [[ $command == *stop_xvfb* ]] && return
    trap "${command:+$command; }stop_xvfb" EXIT
}
