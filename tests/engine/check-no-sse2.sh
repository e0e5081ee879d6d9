#!/bin/sh
# Usage: check-no-sse2.sh OBJDUMP EXECUTABLE...
# Fails when an instruction that needs SSE or SSE2 (any xmm register, or one of
# SSE2's few instructions without one) appears outside CompressBlockSse2.
# MinGW's linker puts exception tables and constructor lists inside .text;
# those are data and are not read as instructions.
objdump="$1"
shift
status=0
for file in "$@"; do
    if [ ! -f "$file" ]; then
        echo "missing: $file"
        status=1
        continue
    fi
    "$objdump" -d --no-show-raw-insn "$file" | awk -v file="$file" '
        /^[0-9a-f]+ <.*>:$/ {
            symbol = $2
            allowed = (symbol ~ /^<_?_Z17CompressBlockSse2v/ ||
                       symbol ~ /^<\.(gcc_except_table|ctors|dtors)/)
            if (symbol ~ /^<_?_Z17CompressBlockSse2v/) seen++
            next
        }
        !allowed && /^ +[0-9a-f]+:/ &&
        (/%[xyz]mm[0-9]/ || /\t(mfence|lfence|movnti|movq2dq|movdq2q|maskmovdqu|clflush)/ ||
         /\t(paddq|psubq|pmuludq|pshufd|pshufhw|pshuflw)[ \t]/) {
            print file ": " symbol " " $0
            bad++
        }
        END {
            if (!seen) { print file ": CompressBlockSse2 not found"; exit 1 }
            if (bad) { print file ": " bad " SSE instruction(s) outside CompressBlockSse2"; exit 1 }
            print file ": clean"
        }' || status=1
done
exit $status
