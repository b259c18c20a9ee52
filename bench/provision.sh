#!/usr/bin/env bash
# Provision benchmark (Release build): quillon-cli provision of a table of N rows (default 1000), timed on the
# file system of the worktree and on a tmpfs (/dev/shm, where a sync costs next to nothing), then once under
# strace to count the system calls and the time spent in them; then the row check alone at 1 000, 10 000 and
# 100 000 rows (rows per second, and how the time grows). Prints figures; nothing to pass or fail.
# Usage: bench/provision.sh [rows, default 1000] [timed runs per file system, default 3]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/build.sh
rows=${1:-1000}
runs=${2:-3}
scripts/setup.sh
if ! command -v strace > /dev/null; then
    sudo=""
    [[ $(id -u) -ne 0 ]] && sudo="sudo"
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends strace
fi
build=build-bench
configure_and_build -S bench -B "$build" -DCMAKE_BUILD_TYPE=Release -- -j 2 --target quillon-cli
cli=$PWD/$build/quillon/cli/quillon-cli
[[ -x $cli ]] || cli=$(find "$PWD/$build" -name quillon-cli -type f -perm -u+x | head -n 1)

disk=$(mktemp -d "$PWD/$build/provision.XXXXXX")
shm=""
[[ -d /dev/shm ]] && shm=$(mktemp -d /dev/shm/quillon-provision.XXXXXX)
trap 'rm -rf "$disk" ${shm:+"$shm"}' EXIT

# The table: a name, a device ID, the last address octet and the gateway flag per row.
{
    echo "name,Port_0_DevID,Ethernet_IP4,Ethernet_EN_GAT"
    for i in $(seq 1 "$rows"); do echo "Meter $i,$(( (i - 1) % 250 + 1 )),$(( i % 256 )),$(( i % 2 ))"; done
} > "$disk/table.csv"

# A workspace with the template, fresh for each run.
fresh() {
    rm -rf "$1/PROJECTS"
    mkdir -p "$1/PROJECTS/Template/bin"
    printf '%s' '<Par_Gen><Device_Type_Type>1</Device_Type_Type><Port_0_Baud>7</Port_0_Baud><Port_0_Par>0</Port_0_Par><Port_0_DevID>1</Port_0_DevID><Port_0_BroadCast>0</Port_0_BroadCast><Port_1_Port>1</Port_1_Port><Port_1_Baud>7</Port_1_Baud><Port_1_Par>0</Port_1_Par><Port_1_DevID>1</Port_1_DevID><Port_1_BroadCast>0</Port_1_BroadCast><Opt_Off_Reg>0</Opt_Off_Reg><Opt_Off_Status>0</Opt_Off_Status><Ethernet_IP1>192</Ethernet_IP1><Ethernet_IP2>168</Ethernet_IP2><Ethernet_IP3>0</Ethernet_IP3><Ethernet_IP4>10</Ethernet_IP4><Ethernet_SM1>255</Ethernet_SM1><Ethernet_SM2>255</Ethernet_SM2><Ethernet_SM3>255</Ethernet_SM3><Ethernet_SM4>0</Ethernet_SM4><Ethernet_GAT1>192</Ethernet_GAT1><Ethernet_GAT2>168</Ethernet_GAT2><Ethernet_GAT3>0</Ethernet_GAT3><Ethernet_GAT4>1</Ethernet_GAT4><Ethernet_EN_GAT>0</Ethernet_EN_GAT></Par_Gen><!--SW_VERSION = 2.002-->' \
        > "$1/PROJECTS/Template/ParGen.xml"
    sync
}

timed() {
    local base=$1 name=$2 times=()
    for r in $(seq 1 "$runs"); do
        fresh "$base"
        local start end
        start=$(date +%s%N)
        "$cli" provision "$base/PROJECTS/Template" "$disk/table.csv" > /dev/null
        end=$(date +%s%N)
        times+=("$(( (end - start) / 1000000 ))")
    done
    printf '%-28s %s ms (runs: %s)\n' "$name" "$(printf '%s\n' "${times[@]}" | sort -n | head -n 1)" "${times[*]}"
}

echo "provision of $rows rows: $(nproc) cores, $(uname -sr)"
echo "best of $runs, whole command (reading, checking every row, writing 3 files and 2 directories per row):"
timed "$disk" "$(df -T "$disk" | awk 'NR==2 {print $2}') ($(df "$disk" | awk 'NR==2 {print $1}')):"
[[ -n $shm ]] && timed "$shm" "tmpfs (/dev/shm):"

echo
echo "system calls of one run on $(df -T "$disk" | awk 'NR==2 {print $2}') (strace -c -w: wall time inside each call; strace slows the run):"
fresh "$disk"
strace -f -c -w -o "$disk/strace.txt" "$cli" provision "$disk/PROJECTS/Template" "$disk/table.csv" > /dev/null
head -n 2 "$disk/strace.txt"
grep -E ' (fsync|fdatasync|sync_file_range|renameat2?|rename|openat|write|mkdir|unlink|total)$' "$disk/strace.txt"

# The row check alone: a table whose last row repeats the first name is read and checked whole, then refused
# before anything is made. Linear checking takes ten times as long for ten times the rows.
echo
echo "row check alone (table read, every row checked, the last refused; best of $runs):"
fresh "$disk"
check_ms() {
    local n=$1 best=""
    {
        echo "name,Port_0_DevID,Ethernet_IP4,Ethernet_EN_GAT"
        seq 1 "$n" | awk '{ print "Meter " $1 "," ($1 - 1) % 250 + 1 "," $1 % 256 "," $1 % 2 }'
        echo "Meter 1,1,1,1"
    } > "$disk/check.csv"
    for r in $(seq 1 "$runs"); do
        local start end ms
        start=$(date +%s%N)
        "$cli" provision "$disk/PROJECTS/Template" "$disk/check.csv" > /dev/null 2>&1 || true
        end=$(date +%s%N)
        ms=$(( (end - start) / 1000000 ))
        [[ -z $best || $ms -lt $best ]] && best=$ms
    done
    echo "$best"
}
declare -A check_time
for n in 1000 10000 100000; do
    check_time[$n]=$(check_ms "$n")
    printf '%7d rows: %6d ms, %8d rows/s\n' "$n" "${check_time[$n]}" "$(( n * 1000 / (check_time[$n] > 0 ? check_time[$n] : 1) ))"
done
awk -v a="${check_time[100000]}" -v b="${check_time[10000]}" \
    'BEGIN { printf "time of 100 000 rows / time of 10 000 rows: %.1f (linear: 10)\n", a / (b > 0 ? b : 1) }'
