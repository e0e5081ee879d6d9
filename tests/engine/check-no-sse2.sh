#!/bin/sh
# Usage: check-no-sse2.sh [--sse2-baseline] OBJDUMP EXECUTABLE...
# Fails when an instruction that needs SSE or later (any xmm, ymm, zmm or
# opmask register, or one of the few such instructions without one) appears
# outside the vector compression routines, or when one of those routines is
# missing. Only the routines chosen by CPUID may use them. With
# --sse2-baseline (x86-64, where SSE2 is always there) only AVX and later
# count: VEX and EVEX instructions, ymm, zmm and opmask registers.
# MinGW's linker puts exception tables and constructor lists inside .text;
# those are data and are not read as instructions.
baseline=none
if [ "$1" = "--sse2-baseline" ]; then
    baseline=sse2
    shift
fi
objdump="$1"
shift
status=0
for file in "$@"; do
    if [ ! -f "$file" ]; then
        echo "missing: $file"
        status=1
        continue
    fi
    "$objdump" -d --no-show-raw-insn "$file" | awk -v file="$file" -v baseline="$baseline" '
        BEGIN {
            routines["CompressBlockSse2"] = 0
            routines["CompressBlockAvx2"] = 0
            routines["CompressBlockAvx512"] = 0
            routines["CompressLanesAvx512"] = 0
        }
        /^[0-9a-f]+ <.*>:$/ {
            symbol = $2
            # The name without <, >:, the leading underscore of i686 and any
            # suffix GCC gives a split-off part (.cold, .part.0); of a C++
            # name only the identifier, without its parameter types.
            name = symbol
            sub(/^</, "", name)
            sub(/>:$/, "", name)
            sub(/^__Z/, "_Z", name)
            sub(/\..*$/, "", name)
            if (match(name, /^_Z[0-9]+/)) name = substr(name, RLENGTH + 1, substr(name, 3, RLENGTH - 2) + 0)
            allowed = (name in routines) || symbol ~ /^<\.(gcc_except_table|ctors|dtors)/
            if (name in routines) routines[name]++
            next
        }
        !allowed && /^ +[0-9a-f]+:/ {
            if (baseline == "sse2") {
                vector = /%[yz]mm[0-9]/ || /%k[0-7]/ || /:\tv[a-z]/
            } else {
                vector = /%[xyz]mm[0-9]/ || /%k[0-7]/ ||
                         /\t(mfence|lfence|sfence|movnti|movq2dq|movdq2q|maskmovdqu|clflush|ldmxcsr|stmxcsr|vzeroupper|vzeroall)/ ||
                         /\t(paddq|psubq|pmuludq|pshufd|pshufhw|pshuflw)[ \t]/
            }
            if (vector) {
                print file ": " symbol " " $0
                bad++
            }
        }
        END {
            for (name in routines) {
                if (!routines[name]) { print file ": " name " not found"; missing++ }
            }
            if (missing) exit 1
            if (bad) { print file ": " bad " vector instruction(s) outside the vector routines"; exit 1 }
            print file ": clean"
        }' || status=1
done
exit $status
