#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build-fuzz/) and runs each for SECONDS (default 60), one after
# another on one core: every target, or those named (language xml config settings inspect). Prints
# executions and findings per target; the XML loader also once more with inputs up to 4 MiB. A finding is saved into fuzz/corpus/<target>/ (crash-*, leak-*,
# timeout-*, oom-*), where the ordinary test build replays it; once fixed, keep it there as finding-<what>.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
[[ $seconds =~ ^[0-9]+$ ]] || { echo "usage: scripts/fuzz.sh [seconds] [target...]" >&2; exit 2; }
all_targets=(language xml config settings inspect csv)
targets=("${@:2}")
((${#targets[@]})) || targets=("${all_targets[@]}")
for t in "${targets[@]}"; do
    [[ " ${all_targets[*]} " == *" $t "* ]] || { echo "scripts/fuzz.sh: no target $t (${all_targets[*]})" >&2; exit 2; }
done

source scripts/lib/build.sh
scripts/setup.sh test fuzz

build=build-fuzz
configure_and_build fuzz -j 2 --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8
status=0
results=()
# run NAME TARGET MAX_LEN SEEDS...: one libFuzzer run of fuzz_TARGET with inputs up to MAX_LEN bytes.
run() {
    local name=$1 t=$2 max_len=$3
    shift 3
    local seeds=fuzz/corpus/$t
    local work=$build/corpus/$name
    mkdir -p "$work"
    local before after findings execs corpus
    before=$(find "$seeds" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | wc -l)
    local log=$build/fuzz_$name.log
    local dict=()
    [[ $t == xml || $t == config || $t == settings ]] && dict=(-dict=fuzz/xml.dict)
    echo "fuzz_$t ($name, inputs up to $max_len bytes): $seconds s"
    # Keeps going after a finding, so that one run reports all of them.
    "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len="$max_len" \
        "${dict[@]}" -print_final_stats=1 -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
        -artifact_prefix="$seeds/" "$work" "$@" > "$log" 2>&1 || true
    after=$(find "$seeds" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | wc -l)
    findings=$((after - before))
    # Progress lines start with the number of inputs run so far; the last one is the total.
    execs=$(grep -Eo '^#[0-9]+' "$log" | tr -d '#' | sort -n | tail -1 || true)
    corpus=$(find "$work" -type f | wc -l)
    results+=("$(printf '%-10s %6s s %12s executions %8s inputs in corpus %3s findings' "$name" "$seconds" "${execs:-0}" "$corpus" "$findings")")
    ((findings == 0)) || status=1
}
for t in "${targets[@]}"; do
    run "$t" "$t" 4096 "fuzz/corpus/$t"
done
# The XML loader once more with inputs up to the reader's 4 MiB limit, from seeds of the size where a cost out
# of proportion shows (many attributes on one element, entities referenced many times, deep nesting, a long
# text), written here rather than kept in the repository.
if [[ " ${targets[*]} " == *" xml "* ]]; then
    large=$build/seeds-xml-large
    mkdir -p "$large"
    {
        printf '<Par_Gen'
        for ((i = 0; i < 20000; i++)); do printf ' a%d="1"' "$i"; done
        printf '/>'
    } > "$large/attributes"
    {
        printf '<!DOCTYPE x [<!ENTITY a "%s">]><Par_Gen><Port_0_DevID>' "$(head -c 4000 /dev/zero | tr '\0' x)"
        for ((i = 0; i < 20000; i++)); do printf '&a;'; done
        printf '</Port_0_DevID></Par_Gen>'
    } > "$large/entities"
    {
        for ((i = 0; i < 30000; i++)); do printf '<a>'; done
        for ((i = 0; i < 30000; i++)); do printf '</a>'; done
    } > "$large/nesting"
    { printf '<Par_Gen><Port_0_DevID>'; head -c 1000000 /dev/zero | tr '\0' 7; printf '</Port_0_DevID></Par_Gen>'; } \
        > "$large/text"
    run xml-large xml 4194304 "$large" fuzz/corpus/xml
fi
echo
printf '%s\n' "${results[@]}"
exit $status
