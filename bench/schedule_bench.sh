#!/bin/sh
# What the schedule costs: check --older-than on a tree where everything was
# verified lately against list, a full check with the ledger against one
# without, and the ledger's size for a million files. Timed with farm-bench
# (pairs of runs, the median ratio).
# Usage: schedule_bench.sh QUORVANE LEDGER_SIZE [DIRECTORY]
set -u
Q=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
SIZE=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
W=$(mktemp -d "${3:-/tmp}/schedule_bench.XXXXXX") || exit 1
trap 'rm -rf "$W"' EXIT
XDG_STATE_HOME=$W/state
export XDG_STATE_HOME

python3 "$(dirname "$0")/make_tree.py" "$W/recent" 200000 1024
"$Q" create --quiet "$W/recent" >/dev/null
"$Q" check --quiet "$W/recent"
echo "check --older-than 30d against list, 200,000 files verified lately:"
farm-bench -n 5 --timeout 600 --vs "sh -c 'exec $Q list -j 1 $W/recent >/dev/null'" -- \
    sh -c "exec $Q check -j 1 --older-than 30d $W/recent >/dev/null"

python3 "$(dirname "$0")/make_tree.py" "$W/small" 20000 16384
"$Q" create --quiet "$W/small" >/dev/null
echo "check -j 1 of 20,000 files of 0-16 KiB, with the ledger against --no-ledger:"
farm-bench -n 7 --timeout 600 --vs "$Q check -j 1 --no-ledger --quiet $W/small" -- \
    "$Q" check -j 1 --quiet "$W/small"

"$SIZE" "$W/million" 1000000
