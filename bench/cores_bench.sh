#!/bin/sh
# The console on every core, beside one thread and beside a plain program:
#   - check of 8 files of 128 MiB and of 20,000 files of 0-16 KiB, -j 2 against -j 1
#   - create and check of the 20,000 files against reference_walk (one thread,
#     nftw, HashFile, fsetxattr/getxattr: no lists, no reports)
#   - create of 200,000 empty files against 20,000
#   - peak memory (max RSS) of check and create on 20,000 and 200,000 files
#   - system calls per file of check (strace -c -f)
# Usage: cores_bench.sh QUORVANE REFERENCE_WALK [DIRECTORY]
# Environment: REPEAT (default 5) runs per figure, the median kept.
# Figures are page-cached; compare only ratios taken in the same run.
set -u
Q=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
R=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
BASE=${3:-/tmp}
REPEAT=${REPEAT:-5}
W=$(mktemp -d "$BASE/cores_bench.XXXXXX") || exit 1
trap 'rm -rf "$W"' EXIT

# make_tree DIR COUNT MAXBYTES [fixed]: COUNT files of 0..MAXBYTES bytes (each
# MAXBYTES with fixed), 1000 a folder.
make_tree() { python3 "$(dirname "$0")/make_tree.py" "$@"; }

# measure SETUP COMMAND...: the median of REPEAT runs in $median (seconds) and
# the largest peak RSS in $rss (KiB); SETUP is run untimed before each.
measure() {
    python3 - "$REPEAT" "$@" <<'PY'
import resource, statistics, subprocess, sys, time
repeat, setup, command = int(sys.argv[1]), sys.argv[2], sys.argv[3:]
times = []
for _ in range(repeat):
    if setup:
        subprocess.run(setup, shell=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    start = time.perf_counter()
    subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    times.append(time.perf_counter() - start)
rss = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
print("%.3f %d" % (statistics.median(times), rss))
PY
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
strip() { echo "'$Q' remove --yes --quiet -j 2 '$1'"; }

echo "program: $Q"
echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //'); median of $REPEAT runs"

make_tree "$W/big" 8 134217728 fixed
"$Q" create --quiet "$W/big" >/dev/null
set -- $(measure "" "$Q" check -j 1 "$W/big"); one=$1
set -- $(measure "" "$Q" check -j 2 "$W/big"); two=$1
echo "check 8 x 128 MiB       -j1 ${one} s   -j2 ${two} s   -j2 speed-up $(ratio "$one" "$two")x"
rm -rf "$W/big"

make_tree "$W/small" 20000 16384
set -- $(measure "$(strip "$W/small")" "$R" create "$W/small"); ref_create=$1
set -- $(measure "$(strip "$W/small")" "$Q" create -j 1 "$W/small"); create1=$1
set -- $(measure "$(strip "$W/small")" "$Q" create -j 2 "$W/small"); create2=$1 rss_create=$2
set -- $(measure "" "$R" check "$W/small"); ref_check=$1
set -- $(measure "" "$Q" check -j 1 "$W/small"); check1=$1
set -- $(measure "" "$Q" check -j 2 "$W/small"); check2=$1 rss_check=$2
echo "20000 files 0-16 KiB    reference create ${ref_create} s   check ${ref_check} s"
echo "  create -j1 ${create1} s ($(ratio "$create1" "$ref_create")x reference)   -j2 ${create2} s ($(ratio "$create2" "$ref_create")x reference)"
echo "  check  -j1 ${check1} s ($(ratio "$check1" "$ref_check")x reference)   -j2 ${check2} s ($(ratio "$check2" "$ref_check")x reference), -j2 speed-up $(ratio "$check1" "$check2")x"
echo "  peak RSS of the runs so far: ${rss_check} KiB"
if command -v strace >/dev/null 2>&1; then
    strace -c -f -o "$W/strace" "$Q" check -j 1 "$W/small" >/dev/null 2>&1
    awk '$NF == "total" { printf "  check -j1: %.2f system calls a file\n", $4 / 20000 }' "$W/strace"
fi
rm -rf "$W/small"

make_tree "$W/e20k" 20000 0
set -- $(measure "$(strip "$W/e20k")" "$Q" create "$W/e20k"); e20=$1 rss20=$2
rm -rf "$W/e20k"
make_tree "$W/e200k" 200000 0
set -- $(measure "$(strip "$W/e200k")" "$Q" create "$W/e200k"); e200=$1 rss200=$2
echo "create of empty files   20000 ${e20} s   200000 ${e200} s   ratio $(ratio "$e200" "$e20")x"
echo "  peak RSS: ${rss20} KiB with 20000 files listed, ${rss200} KiB with 200000:" \
     "$(awk -v a="$rss20" -v b="$rss200" 'BEGIN { printf "%.0f", (b - a) * 1024 / 180000 }') bytes a file"
set -- $(measure "" "$Q" check "$W/e200k"); c200=$1 rss=$2
echo "  check of them ${c200} s"
