#!/bin/sh
# Wall time and system calls of the console's runs on trees of many files.
# Usage: console_bench.sh QUORVANE [DIRECTORY]
#   QUORVANE   the console program to measure
#   DIRECTORY  where the trees are made (default /tmp); it needs user.* xattrs
# Environment: REPEAT (default 3) runs per figure, the fastest kept;
#   SIZES (default "50000 200000") the counts of empty files.
# Needs python3 (to make the trees) and strace (system calls; skipped without).
# Prints one line per figure; compare two programs under the same conditions.
set -u
Q=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
BASE=${2:-/tmp}
REPEAT=${REPEAT:-3}
SIZES=${SIZES:-"50000 200000"}

W=$(mktemp -d "$BASE/console_bench.XXXXXX") || exit 1
trap 'rm -rf "$W"' EXIT

# make_tree DIR COUNT MAXBYTES: COUNT files of 0..MAXBYTES bytes (always the
# same sizes and contents), 1000 to a folder.
make_tree() { python3 "$(dirname "$0")/make_tree.py" "$@"; }

now_ns() { date +%s%N; }

# timed COMMAND...: seconds of the fastest of REPEAT runs in $best; before each
# run, "$setup" (if any) is evaluated untimed.
timed() {
    best=
    r=0
    while [ "$r" -lt "$REPEAT" ]; do
        [ -n "${setup:-}" ] && eval "$setup"
        start=$(now_ns)
        "$@" >/dev/null 2>&1
        spent=$(($(now_ns) - start))
        if [ -z "$best" ] || [ "$spent" -lt "$best" ]; then best=$spent; fi
        r=$((r + 1))
    done
    best=$(awk -v n="$best" 'BEGIN { printf "%.2f", n / 1e9 }')
}

strip() { "$Q" remove --yes --quiet "$1" >/dev/null 2>&1; }

# calls TREE COUNT COMMAND: system calls per file of the whole process, in total
# and for futex and rt_sigprocmask.
calls() {
    if ! command -v strace >/dev/null 2>&1; then
        echo "  strace missing: no system call counts"
        return
    fi
    strace -c -f -o "$W/strace" "$Q" "$3" "$1" >/dev/null 2>&1
    awk -v n="$2" -v what="$3" '
        $NF == "total" { total = $4 }
        $NF == "futex" { futex = $4 }
        $NF == "rt_sigprocmask" { mask = $4 }
        END { printf "  %-6s syscalls/file %6.2f   futex/file %5.2f   sigprocmask/file %5.2f\n",
              what, total / n, futex / n, mask / n }' "$W/strace"
}

measure() {
    tree=$1
    count=$2
    label=$3
    setup="strip $tree"
    timed "$Q" create "$tree"
    create=$best
    setup=
    timed "$Q" check "$tree"
    check=$best
    timed "$Q" list "$tree"
    list=$best
    printf '%-22s create %7s s   check %7s s   list %7s s\n' "$label" "$create" "$check" "$list"
}

echo "program: $Q"
echo "trees in $BASE, fastest of $REPEAT runs"
make_tree "$W/small" 20000 16384
measure "$W/small" 20000 "20000 files 0-16 KiB"
strip "$W/small"
calls "$W/small" 20000 create
calls "$W/small" 20000 check
rm -rf "$W/small"

for n in $SIZES; do
    make_tree "$W/empty$n" "$n" 0
    measure "$W/empty$n" "$n" "$n empty files"
    if [ "$n" = "$(echo "$SIZES" | awk '{print $1}')" ]; then
        strip "$W/empty$n"
        calls "$W/empty$n" "$n" create
        calls "$W/empty$n" "$n" check
    fi
    rm -rf "$W/empty$n"
done
