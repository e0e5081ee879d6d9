#!/bin/sh
# The Windows build of each compression routine against the Linux build of the
# same routine, in one run: the two compress_bench programs take turns REPEAT
# times (default 5), the best time of each is kept, and the ratio is Windows
# time over Linux time (1.00: as fast; above: slower).
# Usage: compress_bench_vs.sh LINUX_COMPRESS_BENCH WINDOWS_COMPRESS_BENCH.EXE
# The .exe runs under /usr/lib/wine/wine64 in $WINEPREFIX (default ~/.wine).
set -u
linux=$1
windows=$2
repeat=${REPEAT:-5}
out=$(mktemp -d) || exit 1
trap 'rm -rf "$out"' EXIT
i=0
while [ $i -lt "$repeat" ]; do
    "$linux" >>"$out/linux" || exit 1
    WINEDEBUG=-all /usr/lib/wine/wine64 "$windows" | tr -d '\r' >>"$out/windows" || exit 1
    i=$((i + 1))
done
awk '
    FNR == 1 { side++ }
    { if (!(($1, side) in best) || $2 < best[$1, side]) best[$1, side] = $2; names[$1] = 1 }
    END {
        printf "%-11s %14s %14s %9s\n", "routine", "Linux ns/block", "Windows ns/bl", "Win/Linux"
        split("Avx512 Avx2 Sse2 Scalar Avx512Lanes", order, " ")
        for (n = 1; n <= 5; n++) {
            r = order[n]
            if (!(r in names)) continue
            printf "%-11s %14.2f %14.2f %9.2f\n", r, best[r, 1], best[r, 2], best[r, 2] / best[r, 1]
        }
    }' "$out/linux" "$out/windows"
