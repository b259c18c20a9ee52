#!/usr/bin/env bash
# provision killed at random times on a real ext4 file system (a loop device; run as root): each of N runs
# (default 200) provisions a table of 200 rows into a fresh workspace, is killed with SIGKILL at a random time
# within its usual length, and one quillon-cli command then recovers. Counts the runs that left none of the
# configurations, all of them (each complete: ParGen.xml, both images, verify passing for three), and anything
# else (named). The kill test of test_cli_toolkit stops the run at every step boundary; this one at any time.
# Usage: sudo scripts/provision_kills.sh [runs, default 200]
set -euo pipefail
cd "$(dirname "$0")/.."
[[ $(id -u) -eq 0 ]] || { echo "scripts/provision_kills.sh: run as root (mount -o loop)" >&2; exit 2; }
source scripts/lib/build.sh
runs=${1:-200}
configure_and_build -S bench -B build-bench -DCMAKE_BUILD_TYPE=Release -- -j 2 --target quillon-cli > /dev/null
cli=$PWD/build-bench/quillon/cli/quillon-cli
work=$(mktemp -d)
mnt=$work/mnt
trap 'umount "$mnt" 2> /dev/null || true; rm -rf "$work"' EXIT
dd if=/dev/zero of="$work/ext4.img" bs=1M count=256 status=none
mkfs.ext4 -q -F "$work/ext4.img"
mkdir -p "$mnt"
mount -o loop "$work/ext4.img" "$mnt"
grep -o "<Par_Gen>.*-->" bench/provision.sh > "$work/template.xml"
{
    echo "name,Port_0_DevID"
    for i in $(seq 1 200); do echo "Meter $i,$(( (i - 1) % 250 + 1 ))"; done
} > "$work/table.csv"
projects=$mnt/ws/PROJECTS
fresh() {
    rm -rf "$mnt/ws"
    mkdir -p "$projects/Template"
    cp "$work/template.xml" "$projects/Template/ParGen.xml"
    sync
}
fresh
start=$(date +%s%N)
"$cli" provision "$projects/Template" "$work/table.csv" > /dev/null
full=$(( ($(date +%s%N) - start) / 1000000 ))
echo "one whole run: $full ms; $runs runs killed within 0 to $(( full * 11 / 10 )) ms"
none=0 all=0 other=0
for k in $(seq 1 "$runs"); do
    fresh
    "$cli" provision "$projects/Template" "$work/table.csv" > /dev/null 2>&1 &
    pid=$!
    ms=$(( RANDOM % (full * 11 / 10 + 1) ))
    sleep "$(printf '%d.%03d' $((ms / 1000)) $((ms % 1000)))"
    kill -9 "$pid" 2> /dev/null || true
    wait "$pid" 2> /dev/null || true
    "$cli" check "$projects/Template" > /dev/null 2> "$work/recovery.txt" || true
    left=$(ls -A "$projects" | grep -vx Template || true)
    n=$(printf '%s' "$left" | grep -c . || true)
    if [[ $n -eq 0 ]]; then
        none=$((none + 1))
        continue
    fi
    complete=1
    [[ $n -eq 200 ]] && ! grep -q '^\.' <<< "$left" || complete=0
    for i in $(seq 1 200); do
        d="$projects/Meter $i"
        ((complete)) || break
        [[ -f $d/ParGen.xml && $(stat -c %s "$d/bin/bank.bin" 2> /dev/null) == 17 &&
            $(stat -c %s "$d/bin/bankK.bin" 2> /dev/null) == 2048 ]] || complete=0
    done
    for i in 1 100 200; do ((complete)) && { "$cli" verify "$projects/Meter $i" > /dev/null 2>&1 || complete=0; }; done
    if ((complete)); then
        all=$((all + 1))
    else
        other=$((other + 1))
        echo "run $k, killed at $ms ms: $n entries left; recovery said: $(cat "$work/recovery.txt")"
    fi
done
echo "$runs kills: none $none, all $all, anything else $other"
