# Configuring and building, sourced by the scripts (which run from the repository's root):
#
#   configure_and_build PRESET [BUILD_OPTION...]
#   configure_and_build -S SOURCE -B BINARY [CONFIGURE_OPTION...] [-- BUILD_OPTION...]
#
# A preset of CMakePresets.json, or a source tree that has none (bench/, tools/icons/, scripts/screenshots/).
# The configure output goes to <binary dir>.configure.log, printed when configuring fails; the build runs with
# -j "$(nproc)" unless the build options name their own -j. configure alone does the first half.

_build_lib=$(dirname "${BASH_SOURCE[0]}")
# ccache, where installed, finds its earlier results from a checkout in another folder too (CI's clone).
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(cd "$_build_lib/../.." && pwd)} CCACHE_NOHASHDIR=1

# configure PRESET | configure -S SOURCE -B BINARY [CONFIGURE_OPTION...]
configure() {
    local binary log
    if [[ $1 == -S ]]; then
        [[ $# -ge 4 && $3 == -B ]] || { echo "configure: -S SOURCE -B BINARY [option...]" >&2; return 2; }
        binary=$4
        log=$binary.configure.log
        cmake "$@" > "$log" 2>&1 || { cat "$log"; return 1; }
    else
        binary=$(cmake -DPRESET="$1" -P "$_build_lib/preset_binary_dir.cmake") || return 1
        log=$binary.configure.log
        mkdir -p "$(dirname "$log")"
        cmake --preset "$1" > "$log" 2>&1 || { cat "$log"; return 1; }
    fi
}

configure_and_build() {
    local configure_args=() build_args=() where
    if [[ $1 == -S ]]; then
        while (($#)) && [[ $1 != -- ]]; do
            configure_args+=("$1")
            shift
        done
        (($#)) && shift
        where=("${configure_args[3]}")
    else
        configure_args=("$1")
        shift
        where=(--preset "${configure_args[0]}")
    fi
    build_args=("$@")
    [[ " ${build_args[*]} " == *" -j "* || " ${build_args[*]} " == *" --parallel "* ]] ||
        build_args=(-j "$(nproc)" "${build_args[@]}")
    configure "${configure_args[@]}" || return 1
    cmake --build "${where[@]}" "${build_args[@]}"
}
