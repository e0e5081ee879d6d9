#!/bin/sh
# The window on every core against one thread, under Wine: Create Hashes and
# Check (Start) of 8 files of 128 MiB and of 20,000 files of 0-16 KiB, each
# the median of REPEAT runs, and the thread count the window chooses.
# Usage: window_bench.sh WINDOW_BENCH_EXE [DIRECTORY]
#   WINDOW_BENCH_EXE  build/win64/bench/window_bench.exe (or the win32 one)
#   DIRECTORY         where the files are made (default /tmp)
# Environment: REPEAT (default 5) runs of the large files, TREE_REPEAT (default
#   REPEAT) of the tree, whose runs take minutes under Wine; WINEPREFIX;
#   DISPLAY (else an Xvfb of its own). SIZES="2000 20000 200000" instead times
#   List Files, Create Hashes and Check of trees of those many files of
#   0-16 KiB on one thread (THREADS), each run and the dialog thread's
#   processor time per 1,000 files: how the window's time grows.
# Figures are page-cached; compare only ratios taken in the same run.
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
B=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
BASE=${2:-/tmp}
REPEAT=${REPEAT:-5}
TREE_REPEAT=${TREE_REPEAT:-$REPEAT}
W=$(mktemp -d "$BASE/window_bench.XXXXXX") || exit 1
trap 'rm -rf "$W"' EXIT

# run FOLDER REPEAT [THREADS]: the bench on FOLDER, a Linux path, as Wine's Z:
# drive names it.
run() {
    windows="Z:$(printf '%s' "$1" | tr / '\\')"
    sh "$HERE/../tests/ui/with-display.sh" sh "$HERE/../cmake/wine-run.sh" "$B" "$windows" "$2" ${3:+"$3"}
}

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //')"
if [ -n "${SIZES:-}" ]; then
    for size in $SIZES; do
        python3 "$HERE/make_tree.py" "$W/tree$size" "$size" 16384
        run "$W/tree$size" "$TREE_REPEAT" "${THREADS:-1}"
        rm -rf "$W/tree$size"
    done
    exit
fi
python3 "$HERE/make_tree.py" "$W/big" 8 134217728 fixed
echo "8 files of 128 MiB, median of $REPEAT runs:"
run "$W/big" "$REPEAT"
rm -rf "$W/big"

python3 "$HERE/make_tree.py" "$W/small" 20000 16384
echo "20,000 files of 0-16 KiB, median of $TREE_REPEAT runs:"
run "$W/small" "$TREE_REPEAT"
